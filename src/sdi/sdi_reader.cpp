#include "sdi/sdi_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "app/file_names.h"
#include "app/read_only_file.h"
#include "innodb/blob.h"
#include "innodb/page.h"
#include "innodb/page_check.h"
#include "innodb/page_zip.h"
#include "innodb/tablespace.h"

namespace brix {

namespace {

// Tablespace header fields of page 0.
constexpr size_t kFspHeader = 38;
constexpr size_t kFspFlags = kFspHeader + 16;
constexpr size_t kExtentDescriptors = kFspHeader + 112;
// Encryption information between the extent descriptors and the SDI header.
constexpr size_t kEncryptionInfo = 115;
// XDES entry: id, list node and state (24 bytes), then two bits per page.
constexpr size_t kXdesFixed = 24;

// BLOB pages: the length of the part on this page and the next page, then
// the data.
constexpr size_t kBlobPartLength = 38;
constexpr size_t kBlobNextPage = 42;
constexpr size_t kBlobData = 46;

// Compact records: 5 header bytes before the origin.
constexpr uint32_t kCompactExtra = 5;
// A leaf record's fixed fields: type (4), id (8), transaction id (6), roll
// pointer (7), uncompressed length (4), compressed length (4).
constexpr uint32_t kLeafUncompressedLength = 25;
constexpr uint32_t kLeafCompressedLength = 29;
constexpr uint32_t kLeafFixedBytes = 33;
// A node pointer: type, id, then the child page number.
constexpr uint32_t kNodeChild = 12;
// Pages of an older off-page chain, accepted in place of SDI BLOB pages.
constexpr uint16_t kBlobPageType = 10;

// B-trees of the dictionary index are shallow; deeper ones are damaged.
constexpr int kMaxLevels = 32;

uint32_t ExtentPages(uint32_t pageSize) {
    switch (pageSize) {
        case 4096:
            return 256;
        case 8192:
            return 128;
        default:
            return 64;
    }
}

// Where the SDI version and root page number sit in page 0.
size_t SdiHeaderOffset(const TablespaceFlags& flags) {
    const uint32_t extent = ExtentPages(flags.pageSize);
    const size_t descriptorSize = kXdesFixed + (2 * extent + 7) / 8;
    const size_t descriptors = flags.physicalSize / extent;
    return kExtentDescriptors + descriptorSize * descriptors + kEncryptionInfo;
}

// Reads pages of one size from a file or a buffer.
class PageSource {
  public:
    using ReadFn = std::function<size_t(uint64_t, uint8_t*, size_t)>;
    PageSource(ReadFn read, uint64_t length) : read_(std::move(read)), length_(length) {}

    uint64_t length() const { return length_; }

    // Bytes at pos; zero past the end of the file.
    void Read(uint64_t pos, std::vector<uint8_t>& out, size_t n) {
        out.assign(n, 0);
        if (pos < length_)
            read_(pos, out.data(), static_cast<size_t>(std::min<uint64_t>(n, length_ - pos)));
    }

  private:
    ReadFn read_;
    uint64_t length_;
};

class SdiWalk {
  public:
    SdiWalk(PageSource& source, SdiReadResult& result, CDamageSink* damage, std::string file)
        : source_(source), result_(result), damage_(damage), file_(std::move(file)) {}

    void Run();

  private:
    void Note(std::string text);
    bool LoadPage(uint32_t n, std::vector<uint8_t>& into);
    bool LoadZipPage(uint32_t n, std::vector<uint8_t>& into);
    uint32_t NextRecord(ByteSpan page, uint32_t origin, bool compact) const;
    uint32_t LeftmostChild(ByteSpan page, uint32_t pageNo, bool compact);
    void ReadLeaf(ByteSpan page, uint32_t pageNo, bool compact);
    void ReadRecord(ByteSpan page, uint32_t pageNo, uint32_t origin, bool compact);
    bool ReadExternal(ByteSpan reference, uint64_t want, uint32_t pageNo, std::string& out);
    void Inflate(const std::string& compressed, uint32_t declared, uint32_t type, uint64_t id);

    PageSource& source_;
    SdiReadResult& result_;
    CDamageSink* damage_;
    std::string file_;
    int64_t lastPage_ = -1;      // the page findings are about
    uint32_t pageSize_ = 0;      // of the pages as the walk reads them (logical)
    uint32_t physicalSize_ = 0;  // of the pages in the file (the zip size when compressed)
    bool compressed_ = false;
    uint64_t pageCount_ = 0;
    uint64_t indexId_ = 0;
    size_t droppedFindings_ = 0;
    std::vector<bool> visited_;
    std::vector<bool> seenRecords_;
    std::vector<uint8_t> page_;
    std::vector<uint8_t> blobPage_;
    std::vector<uint8_t> zipPage_;
    std::vector<RedundantField> redundant_;
};

void SdiWalk::Note(std::string text) {
    if (damage_)
        damage_->Report(DamageFinding{file_, -1, lastPage_, DamageWhat::kPage, text, -1, false});
    if (result_.findings.size() + 1 < kMaxSdiFindings) {
        result_.findings.push_back(std::move(text));
        return;
    }
    ++droppedFindings_;
    std::string last = std::to_string(droppedFindings_) + " more problems in the dictionary pages";
    if (result_.findings.size() < kMaxSdiFindings)
        result_.findings.push_back(std::move(last));
    else
        result_.findings.back() = std::move(last);
}

bool SdiWalk::LoadPage(uint32_t n, std::vector<uint8_t>& into) {
    if (n >= pageCount_) {
        Note("dictionary page " + std::to_string(n) + " lies past the end of the file");
        return false;
    }
    lastPage_ = n;
    if (compressed_) return LoadZipPage(n, into);
    source_.Read(static_cast<uint64_t>(n) * pageSize_, into, pageSize_);
    // Only the sink hears of checksums: the records are read all the same,
    // and the findings of the result stay those that cost objects.
    if (damage_ && pageSize_ == kPageSize) {
        const PageState state = CheckPage(into);
        if (state == PageState::kBadChecksum || state == PageState::kLsnMismatch)
            damage_->Report(DamageFinding{file_, -1, n, DamageWhat::kPage,
                                          "dictionary information page: checksum mismatch", -1,
                                          true});
    }
    const FilHeader header = ReadFilHeader(into);
    if (header.pageNumber != n) {
        Note("page " + std::to_string(n) + " carries the number " +
             std::to_string(header.pageNumber) + ": not a dictionary page");
        return false;
    }
    return true;
}

// A page of a ROW_FORMAT=COMPRESSED tablespace, rebuilt at the logical size.
bool SdiWalk::LoadZipPage(uint32_t n, std::vector<uint8_t>& into) {
    source_.Read(static_cast<uint64_t>(n) * physicalSize_, zipPage_, physicalSize_);
    zipPage_.resize(physicalSize_);
    into.assign(pageSize_, 0);
    const ZipPageResult result = DecompressZipPage(zipPage_, into);
    if (damage_ && !result.checksumSound)
        damage_->Report(DamageFinding{file_, -1, n, DamageWhat::kPage,
                                      "dictionary information page: checksum mismatch", -1,
                                      result.done});
    if (!result.done) {
        Note("dictionary page " + std::to_string(n) + ": " + result.why);
        return false;
    }
    const FilHeader header = ReadFilHeader(into);
    if (header.pageNumber != n) {
        Note("page " + std::to_string(n) + " carries the number " +
             std::to_string(header.pageNumber) + ": not a dictionary page");
        return false;
    }
    return true;
}

// Compact links are relative to the origin, modulo the page size; redundant
// links are offsets in the page.
uint32_t SdiWalk::NextRecord(ByteSpan page, uint32_t origin, bool compact) const {
    if (origin < 2 || origin > page.size()) return 0;
    const uint16_t link = LoadU16be(page, origin - 2);
    if (!compact) return link;
    if (link == 0) return 0;
    return (origin + link) & (pageSize_ - 1);
}

void SdiWalk::Run() {
    std::vector<uint8_t> first;
    const uint64_t length = source_.length();
    source_.Read(0, first, 64);
    TablespaceFlags& flags = result_.flags;
    flags = DecodeTablespaceFlags(LoadU32be(first, kFspFlags));
    if (length < kExtentDescriptors) {
        result_.findings.push_back("the file is too short for a tablespace header");
        return;
    }
    if (!flags.valid) {
        result_.findings.push_back("the tablespace flags (" + std::to_string(flags.raw) +
                                   ") name no page size InnoDB writes");
        return;
    }
    if (flags.encrypted) {
        result_.findings.push_back("the tablespace is encrypted: reading it needs the keyring");
        return;
    }
    if (!flags.hasSdi) {
        result_.findings.push_back("the tablespace carries no dictionary information");
        return;
    }
    pageSize_ = flags.physicalSize;
    physicalSize_ = flags.physicalSize;
    // Compressed pages rebuild at the logical size, of at most 16 KiB.
    if (flags.compressed && flags.pageSize <= kPageSize && physicalSize_ <= flags.pageSize) {
        pageSize_ = flags.pageSize;
        compressed_ = true;
    }
    pageCount_ = length / physicalSize_;

    source_.Read(0, page_, physicalSize_);
    const size_t at = SdiHeaderOffset(flags);
    const uint32_t version = LoadU32be(page_, at);
    const uint32_t root = LoadU32be(page_, at + 4);
    if (version == 0 || root == 0 || root >= pageCount_) {
        Note("the tablespace header names no dictionary root page (version " +
             std::to_string(version) + ", page " + std::to_string(root) + ")");
        return;
    }
    result_.rootPage = root;
    if (flags.compressed && !compressed_) {
        Note("the dictionary pages are compressed (ROW_FORMAT=COMPRESSED tablespace, " +
             std::to_string(pageSize_) + "-byte pages) and are not read");
        return;
    }

    visited_.assign(static_cast<size_t>(pageCount_), false);

    // Down the leftmost path to the first leaf.
    uint32_t pageNo = root;
    int expectedLevel = -1;
    for (int depth = 0;; ++depth) {
        if (depth > kMaxLevels || pageNo >= pageCount_ || visited_[pageNo]) {
            Note("the dictionary index loops or is deeper than " + std::to_string(kMaxLevels) +
                 " levels at page " + std::to_string(pageNo));
            return;
        }
        visited_[pageNo] = true;
        if (!LoadPage(pageNo, page_)) return;
        const FilHeader header = ReadFilHeader(page_);
        if (header.pageType != kSdiPageType) {
            Note("page " + std::to_string(pageNo) + " is of type " +
                 std::to_string(header.pageType) + ", not a dictionary index page");
            return;
        }
        const IndexPageHeader index = ReadIndexPageHeader(page_);
        const uint16_t level = index.level;
        if (depth == 0) {
            indexId_ = index.indexId;
        } else if (static_cast<int>(level) != expectedLevel) {
            Note("dictionary page " + std::to_string(pageNo) + " is at level " +
                 std::to_string(level) + " where " + std::to_string(expectedLevel) +
                 " was expected");
            return;
        }
        if (level == 0) break;
        const uint32_t child = LeftmostChild(page_, pageNo, index.compact());
        if (child == kNoPage) return;
        pageNo = child;
        expectedLevel = level - 1;
    }

    // Along the leaves. The first leaf is in page_ already; every page is
    // read at most once, so a chain that loops ends.
    for (;;) {
        const FilHeader header = ReadFilHeader(page_);
        ReadLeaf(page_, pageNo, ReadIndexPageHeader(page_).compact());
        const uint32_t next = header.nextPage;
        if (next == kNoPage) break;
        if (next >= pageCount_) {
            Note("dictionary page " + std::to_string(pageNo) + " links to page " +
                 std::to_string(next) + ", past the end of the file");
            break;
        }
        if (visited_[next]) {
            Note("the dictionary leaf chain loops back to page " + std::to_string(next));
            break;
        }
        visited_[next] = true;
        pageNo = next;
        if (!LoadPage(pageNo, page_)) break;
        const IndexPageHeader index = ReadIndexPageHeader(page_);
        if (ReadFilHeader(page_).pageType != kSdiPageType || index.level != 0 ||
            index.indexId != indexId_) {
            Note("dictionary page " + std::to_string(pageNo) +
                 " is not a leaf of the dictionary index");
            break;
        }
    }
}

uint32_t SdiWalk::LeftmostChild(ByteSpan page, uint32_t pageNo, bool compact) {
    uint32_t origin =
        compact ? NextRecord(page, kCompactInfimum, true) : LoadU16be(page, kRedundantInfimum - 2);
    uint32_t childAt = 0;
    if (origin >= kLowestUserOrigin && origin < page.size()) {
        if (compact) {
            childAt = origin + kNodeChild;
        } else if (ReadRedundantFields(page, origin, redundant_) && redundant_.size() >= 3 &&
                   redundant_[2].length == 4) {
            childAt = redundant_[2].start;
        }
    }
    if (childAt == 0 || childAt + 4 > page.size()) {
        Note("dictionary page " + std::to_string(pageNo) + " holds no readable node pointer");
        return kNoPage;
    }
    return LoadU32be(page, childAt);
}

void SdiWalk::ReadLeaf(ByteSpan page, uint32_t pageNo, bool compact) {
    uint32_t origin =
        compact ? NextRecord(page, kCompactInfimum, true) : LoadU16be(page, kRedundantInfimum - 2);
    // Each record once: a link back to a record already read ends the page.
    seenRecords_.assign(page.size(), false);
    for (;;) {
        if (origin == (compact ? kCompactSupremum : kRedundantSupremum)) return;
        if (origin < kLowestUserOrigin || origin >= page.size()) {
            Note("a record link of dictionary page " + std::to_string(pageNo) +
                 " points outside the page");
            return;
        }
        if (seenRecords_[origin]) {
            Note("the records of dictionary page " + std::to_string(pageNo) + " loop");
            return;
        }
        seenRecords_[origin] = true;
        ReadRecord(page, pageNo, origin, compact);
        origin = NextRecord(page, origin, compact);
    }
}

void SdiWalk::ReadRecord(ByteSpan page, uint32_t pageNo, uint32_t origin, bool compact) {
    const std::string where =
        "dictionary page " + std::to_string(pageNo) + ", record at " + std::to_string(origin);
    if ((RecordInfoBits(page, origin, compact ? RecordLayout::kCompact : RecordLayout::kRedundant) &
         kInfoDeleted) != 0)
        return;

    uint32_t dataStart = 0;
    uint32_t dataLength = 0;
    bool external = false;
    if (compact) {
        // One variable-length field, the data: its length is the byte before
        // the record header, or two bytes when the high bit is set (then
        // 0x40 marks data stored off page).
        if (origin < kCompactExtra + 2) return Note(where + ": header outside the page");
        const uint8_t low = LoadU8(page, origin - kCompactExtra - 1);
        if ((low & 0x80) != 0) {
            dataLength =
                (static_cast<uint32_t>(low & 0x3F) << 8) | LoadU8(page, origin - kCompactExtra - 2);
            external = (low & 0x40) != 0;
        } else {
            dataLength = low;
        }
        dataStart = origin + kLeafFixedBytes;
    } else {
        if (!ReadRedundantFields(page, origin, redundant_) || redundant_.size() != 7 ||
            redundant_[0].length != 4 || redundant_[1].length != 8 || redundant_[4].length != 4 ||
            redundant_[5].length != 4) {
            return Note(where + ": not a dictionary record");
        }
        dataStart = redundant_[6].start;
        dataLength = redundant_[6].length;
        external = redundant_[6].external;
    }
    if (dataStart > page.size() || page.size() - dataStart < dataLength)
        return Note(where + ": its data reaches past the end of the page");

    const uint32_t type = LoadU32be(page, origin);
    const uint64_t id = LoadU64be(page, origin + 4);
    const uint32_t uncompressed = LoadU32be(page, origin + kLeafUncompressedLength);
    const uint32_t compressedLength = LoadU32be(page, origin + kLeafCompressedLength);
    const std::string object =
        "dictionary object " + std::to_string(type) + ":" + std::to_string(id);

    if (uncompressed == 0 || uncompressed > kMaxSdiJson)
        return Note(object + " declares " + std::to_string(uncompressed) +
                    " bytes of JSON; not read");
    // A zlib stream is never much larger than its input.
    const uint64_t maxCompressed = static_cast<uint64_t>(uncompressed) + uncompressed / 8 + 1024;
    if (compressedLength == 0 || compressedLength > maxCompressed ||
        compressedLength > source_.length())
        return Note(object + " declares " + std::to_string(compressedLength) +
                    " compressed bytes; not read");

    std::string compressed;
    if (!external) {
        compressed.assign(reinterpret_cast<const char*>(page.data()) + dataStart, dataLength);
    } else {
        if (dataLength < kExternalReferenceLength)
            return Note(object + ": its off-page reference is cut short");
        const uint32_t local = dataLength - kExternalReferenceLength;
        compressed.assign(reinterpret_cast<const char*>(page.data()) + dataStart, local);
        if (!ReadExternal(page.subspan(dataStart + local, kExternalReferenceLength),
                          compressedLength, pageNo, compressed))
            return Note(object + ": its off-page data could not be read whole");
    }
    if (compressed.size() != compressedLength) {
        Note(object + " holds " + std::to_string(compressed.size()) + " compressed bytes where " +
             std::to_string(compressedLength) + " were declared");
        if (compressed.size() > compressedLength) compressed.resize(compressedLength);
    }
    Inflate(compressed, uncompressed, type, id);
}

// Follows the chain of BLOB pages the reference points to, appending up to
// want bytes in all to out.
bool SdiWalk::ReadExternal(ByteSpan reference, uint64_t want, uint32_t pageNo, std::string& out) {
    uint32_t next = LoadU32be(reference, 4);
    const uint64_t declared = LoadU32be(reference, 16);  // the low half of the length
    const uint64_t total = std::min<uint64_t>(want, out.size() + declared);
    std::vector<bool> seen(visited_.size(), false);
    for (uint64_t step = 0; out.size() < total; ++step) {
        if (next == kNoPage || next >= pageCount_ || seen[next] || step > pageCount_) {
            Note("the off-page chain from dictionary page " + std::to_string(pageNo) +
                 " breaks at page " + std::to_string(next));
            return false;
        }
        seen[next] = true;
        source_.Read(static_cast<uint64_t>(next) * physicalSize_, blobPage_, physicalSize_);
        const FilHeader header = ReadFilHeader(blobPage_);
        if (header.pageType != kSdiBlobPageType && header.pageType != kBlobPageType) {
            Note("off-page dictionary data at page " + std::to_string(next) +
                 " is on a page of type " + std::to_string(header.pageType));
            return false;
        }
        const uint32_t part = LoadU32be(blobPage_, kBlobPartLength);
        if (part == 0 || part > physicalSize_ - kBlobData) {
            Note("off-page dictionary data at page " + std::to_string(next) + " claims a part of " +
                 std::to_string(part) + " bytes");
            return false;
        }
        const size_t take = static_cast<size_t>(std::min<uint64_t>(part, total - out.size()));
        out.append(reinterpret_cast<const char*>(blobPage_.data()) + kBlobData, take);
        next = LoadU32be(blobPage_, kBlobNextPage);
    }
    return true;
}

void SdiWalk::Inflate(const std::string& compressed, uint32_t declared, uint32_t type,
                      uint64_t id) {
    const std::string object =
        "dictionary object " + std::to_string(type) + ":" + std::to_string(id);
    SdiObject result;
    result.type = type;
    result.id = id;

    // Inflated a piece at a time, so that what is held grows with what the
    // stream really yields rather than with what the record claims; never
    // more than declared plus one byte (to see that it is longer).
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return Note(object + ": zlib could not start");
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    constexpr size_t kChunk = 64 * 1024;
    const size_t limit = static_cast<size_t>(declared) + 1;
    int rc = Z_OK;
    while (rc == Z_OK && result.json.size() < limit) {
        const size_t before = result.json.size();
        const size_t grow = std::min(kChunk, limit - before);
        result.json.resize(before + grow);
        stream.next_out = reinterpret_cast<Bytef*>(result.json.data() + before);
        stream.avail_out = static_cast<uInt>(grow);
        rc = inflate(&stream, Z_NO_FLUSH);
        result.json.resize(before + grow - stream.avail_out);
        if (rc == Z_BUF_ERROR && stream.avail_in == 0) break;  // the input ended early
    }
    const uLong produced = stream.total_out;
    const std::string message = stream.msg != nullptr ? stream.msg : "";
    inflateEnd(&stream);

    if (rc == Z_STREAM_END && produced == declared) {
        result_.objects.push_back(std::move(result));
        return;
    }
    if (produced > declared) {
        Note(object + " inflates to more than the " + std::to_string(declared) + " bytes declared");
    } else if (rc == Z_STREAM_END) {
        Note(object + " inflates to " + std::to_string(produced) + " bytes where " +
             std::to_string(declared) + " were declared");
    } else if (rc == Z_OK || rc == Z_BUF_ERROR) {
        Note(object + ": its compressed data ends early");
    } else {
        Note(object + ": its compressed data is damaged (" +
             (message.empty() ? "zlib error " + std::to_string(rc) : message) + ")");
    }
}

}  // namespace

TablespaceFlags DecodeTablespaceFlags(uint32_t raw) {
    TablespaceFlags f;
    f.raw = raw;
    f.postAntelope = (raw & 1) != 0;
    const uint32_t zipShift = (raw >> 1) & 0xF;
    f.atomicBlobs = (raw >> 5 & 1) != 0;
    const uint32_t pageShift = (raw >> 6) & 0xF;
    f.dataDirectory = (raw >> 10 & 1) != 0;
    f.shared = (raw >> 11 & 1) != 0;
    f.temporary = (raw >> 12 & 1) != 0;
    f.encrypted = (raw >> 13 & 1) != 0;
    f.hasSdi = (raw >> 14 & 1) != 0;

    // 0 is the original 16 KiB; otherwise 512 << n for 4 KiB (3) to 64 KiB (7).
    if (pageShift == 0) {
        f.pageSize = 16384;
    } else if (pageShift >= 3 && pageShift <= 7) {
        f.pageSize = 512u << pageShift;
    } else {
        return f;
    }
    f.physicalSize = f.pageSize;
    if (zipShift != 0) {
        // Compressed pages of 1 KiB up to the page size; not for pages over 16 KiB.
        if (zipShift > 5 || f.pageSize > 16384 || (512u << zipShift) > f.pageSize) return f;
        f.compressed = true;
        f.physicalSize = 512u << zipShift;
    }
    f.valid = true;
    return f;
}

SdiReadResult ReadSdi(const std::filesystem::path& path, CDamageSink* damage) {
    SdiReadResult result;
    CReadOnlyFile file;
    const std::string fileName = PathUtf8(path);
    if (!file.Open(path)) {
        result.findings.push_back("the file cannot be opened for reading");
        if (damage)
            damage->Report(DamageFinding{fileName, -1, -1, DamageWhat::kFile,
                                         "the file cannot be opened for reading", -1, false});
        return result;
    }
    PageSource source(
        [&file](uint64_t pos, uint8_t* buf, size_t n) { return file.ReadAt(pos, buf, n); },
        file.Length());
    SdiWalk(source, result, damage, fileName).Run();
    if (file.Failed()) result.findings.push_back("reading the file failed part way");
    return result;
}

SdiReadResult ReadSdi(ByteSpan bytes, CDamageSink* damage) {
    SdiReadResult result;
    PageSource source(
        [bytes](uint64_t pos, uint8_t* buf, size_t n) {
            std::memcpy(buf, bytes.data() + pos, n);
            return n;
        },
        bytes.size());
    SdiWalk(source, result, damage, {}).Run();
    return result;
}

}  // namespace brix
