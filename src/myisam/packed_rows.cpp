#include "myisam/packed_rows.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "app/app_state.h"
#include "app/block_reader.h"
#include "myisam/myisam_reader.h"
#include "myisam/myisam_row.h"

namespace brix {

namespace {

// The fixed head of a packed data file: the magic and version (4 bytes),
// then little-endian: u32 bytes of the whole header, u32 shortest and u32
// longest record, u32 nodes of all trees, u32 bytes of all distinct values,
// u16 trees, u8 bytes of the longest record head, u8 bytes of a record
// pointer.
constexpr size_t kHeadVersion = 3;
constexpr size_t kHeadHeaderLength = 4;
constexpr size_t kHeadMinPack = kHeadHeaderLength + 4;
constexpr size_t kHeadMaxPack = kHeadMinPack + 4;
constexpr size_t kHeadTrees = kHeadMaxPack + 4 + 4 + 4;

// Bits each field takes in the header: its kind, flags, count bits, then
// the number of its tree in as many bits as the highest tree number needs.
constexpr unsigned kFieldKindBits = 5;
constexpr unsigned kFieldFlagBits = 6;
constexpr unsigned kFieldCountBits = 5;

// A BLOB field of a row image ends in a pointer of this many bytes.
constexpr uint32_t kBlobPointerBytes = 8;

// A header is read whole; no real table's trees and values come near this.
constexpr uint64_t kMaxHeaderBytes = 256u << 20;

// Bytes looked at for a record that decodes again after a record length that
// cannot be right, and how many records in a row must decode there.
constexpr uint64_t kResyncBytes = 256u << 10;
constexpr int kResyncRecords = 3;
constexpr uint64_t kResyncWork = 64u << 20;

// Zero bytes the packer writes after the last record.
constexpr uint64_t kPaddingBytes = 7;

unsigned BitsFor(uint32_t value) {
    unsigned n = 1;
    while (value >>= 1) ++n;
    return n;
}

const char* const kOutOfBits = "record's codes run past its end";

class CFieldDecoder {
  public:
    CFieldDecoder(const CPackedLayout& layout, CBitReader& bits) : layout_(layout), bits_(bits) {}

    // Decodes n bytes into to. Every code takes at least one bit, so more
    // bytes than bits left cannot be right; checked before the loop, which
    // then runs n times at most.
    const char* Bytes(const CPackedField& f, uint8_t* to, size_t n) {
        if (n == 0) return nullptr;
        if (n > bits_.BitsLeft()) return kOutOfBits;
        const CHuffmanTree& tree = layout_.trees[f.tree];
        if (!tree.hasCodes()) return "field's decode tree holds no codes";
        uint32_t value = 0;
        for (size_t i = 0; i < n; ++i) {
            tree.Decode(bits_, value);
            to[i] = static_cast<uint8_t>(value);
        }
        return bits_.Overrun() ? kOutOfBits : nullptr;
    }

    // Spaces cut from the end (or, pre, the start), then the bytes.
    const char* CutSpaces(const CPackedField& f, uint8_t* to, size_t n, bool pre) {
        const uint32_t spaces = bits_.Bits(f.countBits);
        if (spaces > n) return "count of cut spaces is longer than the field";
        if (pre) {
            std::memset(to, ' ', spaces);
            return Bytes(f, to + spaces, n - spaces);
        }
        std::memset(to + (n - spaces), ' ', spaces);
        return Bytes(f, to, n - spaces);
    }

    // A field whose spaces may be cut at one end: the empty flag (all
    // spaces) and the sometimes flag (a bit says whether any are cut) come
    // first where the field has them.
    const char* Spaced(const CPackedField& f, uint8_t* to, size_t n, bool pre) {
        if ((f.flags & PackedFieldFlag::kEmptyFlag) && bits_.Bit()) {
            std::memset(to, ' ', n);
            return nullptr;
        }
        if ((f.flags & PackedFieldFlag::kSometimes) && !bits_.Bit()) return Bytes(f, to, n);
        return CutSpaces(f, to, n, pre);
    }

    // Bytes with a tail of zeros that is not stored.
    const char* ZeroTail(const CPackedField& f, uint8_t* to, size_t n) {
        if (f.countBits > n) return "field's zero tail is longer than the field";
        std::memset(to + n - f.countBits, 0, f.countBits);
        return Bytes(f, to, n - f.countBits);
    }

  private:
    const CPackedLayout& layout_;
    CBitReader& bits_;
};

}  // namespace

bool LooksPackedDataFile(ByteSpan head) {
    return head.size() >= kPackedFixedHeadSize &&
           std::equal(std::begin(kPackedFileMagic), std::end(kPackedFileMagic), head.begin());
}

uint64_t PackedHeaderLength(ByteSpan head) {
    return LooksPackedDataFile(head) ? LoadU32le(head, kHeadHeaderLength) : 0;
}

bool ReadPackedLayout(ByteSpan head, const CMyisamHeader& header, CPackedLayout& layout,
                      std::string& why) {
    layout = CPackedLayout{};
    if (!LooksPackedDataFile(head)) {
        why = "data file does not start like a packed one";
        return false;
    }
    layout.version = head[kHeadVersion];
    layout.headerLength = LoadU32le(head, kHeadHeaderLength);
    layout.minPackLength = LoadU32le(head, kHeadMinPack);
    layout.maxPackLength = LoadU32le(head, kHeadMaxPack);
    const uint32_t treeCount = LoadU16le(head, kHeadTrees);
    if (layout.headerLength < kPackedFixedHeadSize) {
        why = "packed header is shorter than its fixed part";
        return false;
    }
    if (layout.headerLength > head.size()) {
        why = "packed header runs past the end of the file";
        return false;
    }
    const std::vector<CMyisamColumnDef>& entries = header.myisamColumns;
    if (entries.size() < header.fieldCount) {
        why = "index file lists fewer fields than the packed header describes";
        return false;
    }
    // The packer makes a tree for a field at most.
    if (treeCount > std::max<size_t>(entries.size(), 1)) {
        why = "packed header has more decode trees than the table has fields";
        return false;
    }

    const ByteSpan bytes =
        head.subspan(kPackedFixedHeadSize, layout.headerLength - kPackedFixedHeadSize);
    CBitReader bits(bytes);
    const unsigned treeBits = BitsFor(treeCount > 0 ? treeCount - 1 : 0);
    layout.fields.reserve(entries.size());
    for (const CMyisamColumnDef& e : entries) {
        CPackedField f;
        f.kind = static_cast<uint8_t>(bits.Bits(kFieldKindBits));
        f.flags = static_cast<uint8_t>(bits.Bits(kFieldFlagBits));
        f.countBits = static_cast<uint8_t>(bits.Bits(kFieldCountBits));
        f.tree = static_cast<uint16_t>(bits.Bits(treeBits));
        f.offset = e.offset;
        f.length = e.myisamLength;
        f.blobEntry = e.myisamType == MyisamFieldKind::kBlob;
        if (f.kind > PackedFieldKind::kCheck) {
            why = "packed field of unknown kind";
            return false;
        }
        if (f.tree >= treeCount && f.kind != PackedFieldKind::kZero &&
            f.kind != PackedFieldKind::kCheck) {
            why = "packed field names a decode tree that is not there";
            return false;
        }
        if (f.kind == PackedFieldKind::kBlob) {
            if (f.length <= kBlobPointerBytes || f.length > kBlobPointerBytes + 4) {
                why = "packed BLOB field has no room for its length";
                return false;
            }
            layout.hasBlobs = true;
        }
        if (f.kind == PackedFieldKind::kVarchar && f.length < 2) {
            why = "packed VARCHAR field has no room for its length";
            return false;
        }
        layout.fields.push_back(f);
    }
    // Each record gives the length of its blobs when the table has any.
    layout.hasBlobs = std::any_of(entries.begin(), entries.end(), [](const CMyisamColumnDef& e) {
        return e.myisamType == MyisamFieldKind::kBlob;
    });
    bits.AlignToByte();
    layout.trees.resize(treeCount);
    for (CHuffmanTree& tree : layout.trees)
        if (!tree.Read(bits, bytes, why)) return false;
    if (bits.Overrun()) {
        why = "decode tree runs past the end of the header";
        return false;
    }
    for (const CPackedField& f : layout.fields) {
        if (f.kind != PackedFieldKind::kConstant) continue;
        if (layout.trees[f.tree].values().size() < f.length) {
            why = "constant field's value is shorter than the field";
            return false;
        }
    }
    return true;
}

bool ReadPackedRecordHead(ByteSpan bytes, const CPackedLayout& layout, CPackedRecordHead& head) {
    // A length below 254 in one byte; 254 and two bytes; 255 and three
    // bytes (version 1) or four.
    const auto length = [&](size_t at, uint64_t& out) -> uint32_t {
        if (at >= bytes.size()) return 0;
        const uint8_t first = bytes[at];
        if (first < 254) {
            out = first;
            return 1;
        }
        const uint32_t width = first == 254 ? 2 : layout.version == 1 ? 3 : 4;
        if (bytes.size() - at - 1 < width) return 0;
        out = LoadUIntLe(bytes, at + 1, width);
        return width + 1;
    };
    head = CPackedRecordHead{};
    const uint32_t n = length(0, head.recordLength);
    if (n == 0) return false;
    head.headLength = n;
    if (layout.hasBlobs) {
        const uint32_t m = length(n, head.blobLength);
        if (m == 0) return false;
        head.headLength += m;
    }
    return true;
}

CPackedRecordDecoder::CPackedRecordDecoder(const CPackedLayout& layout, size_t imageLength)
    : layout_(layout) {
    size_t end = imageLength;
    size_t blobEntries = 0;
    for (const CPackedField& f : layout.fields) {
        end = std::max<size_t>(end, size_t{f.offset} + f.length);
        if (f.blobEntry) ++blobEntries;
    }
    image_.assign(end, 0);
    blobs_.reserve(blobEntries);
}

const char* CPackedRecordDecoder::Decode(ByteSpan record, uint64_t blobLength) {
    // Every byte of a blob takes a bit of the record at least.
    if (blobLength > uint64_t{record.size()} * 8)
        return "blob length is longer than the record can hold";
    std::fill(image_.begin(), image_.end(), uint8_t{0});
    blobArea_.resize(static_cast<size_t>(blobLength));
    blobs_.clear();
    size_t blobUsed = 0;
    CBitReader bits(record);
    CFieldDecoder decode(layout_, bits);
    for (const CPackedField& f : layout_.fields) {
        // The decoder's image holds every field (sized so when made).
        uint8_t* to = image_.data() + f.offset;
        const size_t n = f.length;
        const char* problem = nullptr;
        ByteSpan blob;
        switch (f.kind) {
            case PackedFieldKind::kNormal:
                if (f.flags & PackedFieldFlag::kEmptyFlag) {
                    if (bits.Bit())
                        std::memset(to, ' ', n);
                    else
                        problem = decode.Bytes(f, to, n);
                } else if (f.flags & PackedFieldFlag::kZeroTail) {
                    problem = decode.ZeroTail(f, to, n);
                } else {
                    problem = decode.Bytes(f, to, n);
                }
                break;
            case PackedFieldKind::kSkipZero:
                // A set bit: the field is all zeros.
                if (bits.Bit()) break;
                problem = (f.flags & PackedFieldFlag::kZeroTail) ? decode.ZeroTail(f, to, n)
                                                                 : decode.Bytes(f, to, n);
                break;
            case PackedFieldKind::kSkipEndSpace:
            case PackedFieldKind::kSkipPreSpace:
                problem = decode.Spaced(f, to, n, f.kind == PackedFieldKind::kSkipPreSpace);
                break;
            case PackedFieldKind::kConstant:
                // Checked when the layout was read: the value is long enough.
                std::memcpy(to, layout_.trees[f.tree].values().data(), n);
                break;
            case PackedFieldKind::kInterval: {
                const CHuffmanTree& tree = layout_.trees[f.tree];
                uint32_t index = 0;
                if (!tree.Decode(bits, index)) {
                    problem = "field's decode tree holds no codes";
                    break;
                }
                const ByteSpan values = tree.values();
                if (n == 0) break;
                if (index >= values.size() / n) {
                    problem = "code points past the column's distinct values";
                    break;
                }
                std::memcpy(to, values.data() + size_t{index} * n, n);
                break;
            }
            case PackedFieldKind::kZero:
            case PackedFieldKind::kCheck:
                break;
            case PackedFieldKind::kBlob: {
                // Checked when the layout was read: room for the length.
                const size_t lengthBytes = n - kBlobPointerBytes;
                if (bits.Bit()) break;  // an empty BLOB
                const uint32_t length = bits.Bits(f.countBits);
                if (length > blobArea_.size() - blobUsed) {
                    problem = "blob runs past the record's blob length";
                    break;
                }
                uint8_t* data = blobArea_.data() + blobUsed;
                problem = decode.Bytes(f, data, length);
                for (size_t b = 0; b < lengthBytes; ++b)
                    to[b] = static_cast<uint8_t>(length >> (8 * b));
                blob = ByteSpan(data, length);
                blobUsed += length;
                break;
            }
            case PackedFieldKind::kVarchar: {
                const size_t lengthBytes = n <= 256 ? 1 : 2;
                if (bits.Bit()) break;  // an empty string
                const uint32_t length = bits.Bits(f.countBits);
                if (length > n - lengthBytes) {
                    problem = "value is longer than its VARCHAR column";
                    break;
                }
                to[0] = static_cast<uint8_t>(length);
                if (lengthBytes == 2) to[1] = static_cast<uint8_t>(length >> 8);
                problem = decode.Bytes(f, to + lengthBytes, length);
                break;
            }
            default:
                break;  // kinds are checked when the layout was read
        }
        if (problem) return problem;
        if (bits.Overrun()) return kOutOfBits;
        if (f.blobEntry) blobs_.push_back(blob);
    }
    if (bits.BytesTouched() != record.size()) return "record is longer than its codes";
    return nullptr;
}

bool LoadPackedLayout(CMyisamTableReader& myisam, std::string& why) {
    uint8_t fixed[kPackedFixedHeadSize] = {};
    const size_t got = myisam.dataFile.ReadAt(0, fixed, sizeof fixed);
    const ByteSpan fixedHead(fixed, got);
    if (!LooksPackedDataFile(fixedHead)) {
        why = "data file does not start like a packed one";
        return false;
    }
    const uint64_t headerLength = PackedHeaderLength(fixedHead);
    if (headerLength > myisam.dataFile.Length() || headerLength > kMaxHeaderBytes) {
        why = "packed header runs past the end of the file";
        return false;
    }
    std::vector<uint8_t> head(static_cast<size_t>(std::max<uint64_t>(headerLength, got)));
    const size_t read = myisam.dataFile.ReadAt(0, head.data(), head.size());
    auto layout = std::make_shared<CPackedLayout>();
    if (!ReadPackedLayout(ByteSpan(head.data(), read), myisam.header, *layout, why)) return false;
    myisam.packed = std::move(layout);
    return true;
}

namespace {

// Whether a whole record that decodes starts at pos, ending before end; sets
// next to where the record after it starts.
bool RecordDecodesAt(CBlockReader& reader, const CPackedLayout& layout,
                     CPackedRecordDecoder& decoder, uint64_t pos, uint64_t end, uint64_t& next,
                     uint64_t& work) {
    CPackedRecordHead head;
    if (!ReadPackedRecordHead(reader.Read(pos, 10), layout, head)) return false;
    if (head.recordLength > layout.maxPackLength || head.recordLength < layout.minPackLength)
        return false;
    const uint64_t start = pos + head.headLength;
    if (start > end || end - start < head.recordLength) return false;
    work += head.recordLength;
    const ByteSpan record = reader.Read(start, static_cast<size_t>(head.recordLength));
    if (record.size() != head.recordLength) return false;
    if (decoder.Decode(record, head.blobLength) != nullptr) return false;
    next = start + head.recordLength;
    return true;
}

// The first position after pos, before limit, where kResyncRecords records
// in a row decode (or fewer that end exactly at the end of the data); limit
// when there is none.
uint64_t NextDecodingRecord(CBlockReader& reader, const CPackedLayout& layout,
                            CPackedRecordDecoder& decoder, uint64_t pos, uint64_t limit,
                            uint64_t end) {
    // Bytes of records decoded on the way: long records at every position
    // could cost far more than the stretch looked at.
    uint64_t work = 0;
    for (uint64_t at = pos + 1; at < limit && work < kResyncWork; ++at) {
        uint64_t p = at;
        int good = 0;
        uint64_t next = 0;
        while (good < kResyncRecords && p < end &&
               RecordDecodesAt(reader, layout, decoder, p, end, next, work)) {
            ++good;
            p = next;
        }
        if (good == kResyncRecords || (good > 0 && p == end)) return at;
    }
    return limit;
}

// Whether the bytes from pos to end are the few zero bytes the packer
// leaves after the last record; the index file's data length ends the
// records before them, but a table read without it meets them.
bool IsPadding(CBlockReader& reader, uint64_t pos, uint64_t end) {
    if (end - pos > kPaddingBytes) return false;
    const ByteSpan tail = reader.Read(pos, static_cast<size_t>(end - pos));
    return std::all_of(tail.begin(), tail.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace

bool ReadPackedRowWindow(CMyisamTableReader& myisam, uint64_t start, uint64_t fileLength,
                         bool wantBookmark, const CAppState& app) {
    if (!myisam.packed) return !myisam.dataFile.Failed();
    const CPackedLayout& layout = *myisam.packed;
    const CMyIsamRowRenderer renderer(myisam.table, myisam.header.myisamColumns, app,
                                      myisam.options.exportMode);
    CPackedRecordDecoder decoder(layout, renderer.imageLength());
    CWindowState& window = myisam.window;
    CBlockReader reader(myisam.dataFile);
    // Decoding looks at the records' bytes again after a bad length; the
    // window reads them through a second reader so the scan's stays put.
    CBlockReader probe(myisam.dataFile, 64u << 10);
    uint64_t pos = std::max(start, layout.headerLength);
    const uint64_t end = fileLength;
    while (pos < end) {
        CPackedRecordHead head;
        const char* lengthProblem = nullptr;
        if (!ReadPackedRecordHead(reader.Read(pos, 10), layout, head) ||
            end - pos < head.headLength)
            lengthProblem = "record head runs past the end of the file";
        else if (head.recordLength > layout.maxPackLength)
            lengthProblem = "record is longer than the longest packed record";
        else if (end - pos - head.headLength < head.recordLength)
            lengthProblem = "record runs past the end of the file";
        uint64_t next = 0;
        const char* problem = lengthProblem;
        if (!problem) {
            const uint64_t at = pos + head.headLength;
            const ByteSpan record = reader.Read(at, static_cast<size_t>(head.recordLength));
            next = at + head.recordLength;
            problem = record.size() == head.recordLength ? decoder.Decode(record, head.blobLength)
                                                         : "record runs past the end of the file";
            if (!problem)
                renderer.AppendRow(myisam.table, window.rows, decoder.image(), decoder.blobs());
        }
        if (problem && IsPadding(reader, pos, end)) break;
        if (problem) {
            // Nothing marks where a record starts, and a record that does
            // not decode may have a wrong length: the scan goes on where
            // records decode again, looked for a bounded stretch on. When
            // that is where the record's length said, only the record is
            // lost.
            const uint64_t said = next;
            const uint64_t limit = std::min(end, pos + kResyncBytes);
            next = NextDecodingRecord(probe, layout, decoder, pos, limit, end);
            const bool toEnd = next >= limit;
            if (toEnd) next = end;
            std::string why = problem;
            if (next != said)
                why += "; " + std::to_string(next - pos) + " bytes skipped" +
                       (toEnd ? " to the end of the data" : "");
            myisam.Report(static_cast<int64_t>(pos), DamageWhat::kRecord, std::move(why),
                          next == said ? 1 : -1);
        }
        pos = next;
        const bool full = window.rows.rowCount() >= myisam.options.windowRows;
        if (full || (pos < end && pos - start >= kWindowScanBytes)) {
            window.windowFull = true;
            if (wantBookmark) window.bookmarks.push_back({0, static_cast<int64_t>(pos)});
            break;
        }
    }
    return !myisam.dataFile.Failed();
}

}  // namespace brix
