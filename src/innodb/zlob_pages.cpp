#include "innodb/zlob_pages.h"

#include <zlib.h>

#include <algorithm>
#include <set>
#include <vector>

#include "innodb/page_set.h"

namespace brix {

namespace {

constexpr size_t kPageTypeOffset = 24;
constexpr size_t kPageNextOffset = 12;
// The file trailer every page ends with: no data lies in it.
constexpr size_t kTrailer = 8;

// First page: the bytes of the stream it holds, the base node of the list
// of index entries (length, first and last entry's address), then the
// arrays of index entries and fragment entries, whose counts follow from
// the page size, and after them the stream's bytes.
constexpr size_t kFirstDataLength = 54;
constexpr size_t kFirstIndexList = 88;
constexpr size_t kFirstEntries = 136;

// An index entry: its list node (previous and next entry's addresses), the
// base node of its older versions, creating and modifying transactions and
// undo numbers, then the page its stream starts on, the fragment that holds
// it there, the lengths inflated and compressed, and the object version the
// entry was written in.
constexpr size_t kEntrySize = 66;
constexpr size_t kEntryNext = 6;
constexpr size_t kEntryVersions = 12;
constexpr size_t kEntryPage = 48;
constexpr size_t kEntryFrag = 52;
constexpr size_t kEntryDataLength = 54;
constexpr size_t kEntryZipLength = 58;
constexpr size_t kEntryVersion = 62;
constexpr size_t kFragEntrySize = 24;

// Index page: a version byte, then entries.
constexpr size_t kIndexPageEntries = 39;

// Data page: a version byte, the stream bytes it holds, the creating
// transaction, then the bytes.
constexpr size_t kDataPageLength = 39;
constexpr size_t kDataPageData = 49;

// Fragment page: its fragments from after the page header, a directory of
// two-byte fragment offsets growing down from just before the trailer,
// with the directory's entry count above it. A fragment: its list node,
// its whole length (with this header), its id, then its bytes.
constexpr size_t kFragPageFirstFragment = 39;
constexpr size_t kFragCountFromEnd = kTrailer + 2;
constexpr size_t kFragDirFromEnd = kTrailer + 4;
constexpr size_t kFragLength = 4;
constexpr size_t kFragHeader = 8;

constexpr uint32_t kNull = 0xFFFFFFFF;
constexpr size_t kInflateChunk = 16384;

struct Address {
    uint32_t page = kNull;
    uint16_t offset = 0;
};

Address LoadAddress(ByteSpan page, size_t at) {
    return Address{LoadU32be(page, at), LoadU16be(page, at + 4)};
}

uint16_t PageType(ByteSpan page) {
    return LoadU16be(page, kPageTypeOffset);
}

// Index entries and fragment entries the first page holds, by page size;
// none for a size the server does not write.
struct FirstPageEntries {
    size_t index = 0;
    size_t fragments = 0;
};

FirstPageEntries EntriesOfFirstPage(size_t pageSize) {
    switch (pageSize) {
        case 16384:
            return {100, 200};
        case 8192:
            return {80, 100};
        case 4096:
            return {40, 40};
        case 2048:
            return {20, 20};
        case 1024:
            return {5, 5};
        default:
            return {};
    }
}

size_t FirstPageIndexEntries(size_t pageSize) {
    return EntriesOfFirstPage(pageSize).index;
}

size_t FirstPageData(size_t pageSize) {
    return kFirstEntries + FirstPageIndexEntries(pageSize) * kEntrySize +
           EntriesOfFirstPage(pageSize).fragments * kFragEntrySize;
}

class CZlobWalk {
  public:
    CZlobWalk(CTablespace& space, uint64_t firstPage, uint32_t version, uint64_t total,
              const std::function<void(ByteSpan)>& sink)
        : space_(space),
          firstPage_(firstPage),
          version_(version),
          total_(total),
          sink_(sink),
          pageSize_(space.physicalPageSize()) {}

    bool Run() {
        if (firstPage_ >= space_.pageCount()) return Fail("link points outside the file");
        first_ = CopyPage(firstPage_);
        if (!IsZlobFirstPage(first_)) return Fail("first page of the value is of another type");
        // Every entry of the list is a distinct slot of a first or index
        // page, so the file's pages bound its length.
        const uint64_t slotsPerPage = pageSize_ / kEntrySize + 1;
        const uint64_t bound = space_.pageCount() * slotsPerPage;
        Address at = LoadAddress(first_, kFirstIndexList + 4);
        for (uint64_t n = 0; n < bound && written_ < total_; ++n) {
            if (at.page == kNull) break;
            std::vector<uint8_t> entry;
            if (!LoadEntry(at, entry)) return false;
            const Address next = LoadAddress(entry, kEntryNext);
            if (LoadU32be(entry, kEntryVersion) > version_) {
                // Written after the record's version: the version it
                // replaced is the one to read, when the entry kept it.
                std::vector<uint8_t> older;
                if (!FindOlderVersion(entry, older)) return false;
                if (!older.empty()) entry.swap(older);
            }
            if (!ReadChunk(entry)) return false;
            at = next;
        }
        if (written_ < total_) return Fail("value's off-page chain is broken");
        return true;
    }

    const std::string& why() const { return why_; }

  private:
    bool Fail(const char* why) {
        if (why_.empty()) why_ = why;
        return false;
    }

    std::vector<uint8_t> CopyPage(uint64_t page) {
        const ByteSpan bytes = space_.RawPage(page);
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }

    // The entry at an address, copied out of its page: only an address of
    // a whole entry slot in a first or index page is one, and no slot is
    // taken twice.
    bool LoadEntry(Address at, std::vector<uint8_t>& entry) {
        if (at.page >= space_.pageCount()) return Fail("link points outside the file");
        const uint64_t key = static_cast<uint64_t>(at.page) << 16 | at.offset;
        if (!seenEntries_.insert(key).second) return Fail("record chain loops");
        const std::vector<uint8_t> page = at.page == firstPage_ ? first_ : CopyPage(at.page);
        size_t begin = 0;
        size_t end = 0;
        const uint16_t type = PageType(page);
        if (type == kZlobFirstPageType) {
            begin = kFirstEntries;
            end = kFirstEntries + FirstPageIndexEntries(pageSize_) * kEntrySize;
        } else if (type == kZlobIndexPageType) {
            begin = kIndexPageEntries;
            end = page.size() - kTrailer;
        } else {
            return Fail("page belongs to another index");
        }
        if (at.offset < begin || (at.offset - begin) % kEntrySize != 0 ||
            at.offset + kEntrySize > end || end > page.size())
            return Fail("link points outside the page");
        entry.assign(page.begin() + at.offset, page.begin() + at.offset + kEntrySize);
        return true;
    }

    // The newest of an entry's older versions the record can see; empty
    // when none is, in which case the entry itself is read.
    bool FindOlderVersion(const std::vector<uint8_t>& entry, std::vector<uint8_t>& older) {
        Address at = LoadAddress(entry, kEntryVersions + 4);
        const uint64_t bound = space_.pageCount() * (pageSize_ / kEntrySize + 1);
        for (uint64_t n = 0; n < bound && at.page != kNull; ++n) {
            std::vector<uint8_t> candidate;
            if (!LoadEntry(at, candidate)) return false;
            if (LoadU32be(candidate, kEntryVersion) <= version_) {
                older.swap(candidate);
                return true;
            }
            at = LoadAddress(candidate, kEntryNext);
        }
        return true;
    }

    // The bytes of one stream stretch on page: false when the page is not
    // one a stream lies on or its lengths leave the page.
    bool StreamPart(const std::vector<uint8_t>& page, uint16_t fragId, size_t& start,
                    size_t& length) {
        const size_t size = page.size();
        switch (PageType(page)) {
            case kZlobFirstPageType:
                start = FirstPageData(size);
                length = LoadU32be(page, kFirstDataLength);
                break;
            case kZlobDataPageType:
                start = kDataPageData;
                length = LoadU32be(page, kDataPageLength);
                break;
            case kZlobFragPageType: {
                const size_t count = LoadU16be(page, size - kFragCountFromEnd);
                if (fragId >= count || kFragDirFromEnd + 2 * (count + 1) > size)
                    return Fail("link points outside the page");
                const size_t dirEnd = size - kFragDirFromEnd - 2 * (count - 1);
                const size_t at = LoadU16be(page, size - kFragDirFromEnd - 2 * fragId);
                if (at < kFragPageFirstFragment || at + kFragHeader > dirEnd)
                    return Fail("link points outside the page");
                const size_t whole = LoadU16be(page, at + kFragLength);
                if (whole < kFragHeader || whole > dirEnd - at)
                    return Fail("record runs past the end of the page");
                start = at + kFragHeader;
                length = whole - kFragHeader;
                return true;
            }
            default:
                return Fail("page belongs to another index");
        }
        if (start + kTrailer > size || length > size - kTrailer - start)
            return Fail("record runs past the end of the page");
        return true;
    }

    // Inflates the stream of one entry and passes its bytes on, no more
    // than the value still lacks; the stream must give exactly the length
    // the entry names.
    bool ReadChunk(const std::vector<uint8_t>& entry) {
        uint32_t page = LoadU32be(entry, kEntryPage);
        const uint16_t fragId = LoadU16be(entry, kEntryFrag);
        const uint64_t dataLength = LoadU32be(entry, kEntryDataLength);
        uint64_t zipRemain = LoadU32be(entry, kEntryZipLength);
        if (page == kNull || dataLength == 0) return true;
        z_stream stream{};
        if (inflateInit(&stream) != Z_OK) return Fail("value's off-page chain is broken");
        std::vector<uint8_t> out(kInflateChunk);
        uint64_t made = 0;
        int result = Z_OK;
        CPageSet walked;
        bool ok = true;
        while (ok && zipRemain > 0 && result != Z_STREAM_END) {
            if (page == kNull) {
                ok = Fail("value's off-page chain is broken");
                break;
            }
            if (page >= space_.pageCount()) {
                ok = Fail("link points outside the file");
                break;
            }
            if (!walked.Insert(page)) {
                ok = Fail("record chain loops");
                break;
            }
            std::vector<uint8_t> bytes = page == firstPage_ ? first_ : CopyPage(page);
            size_t start = 0;
            size_t length = 0;
            if (!StreamPart(bytes, fragId, start, length)) {
                ok = false;
                break;
            }
            length = static_cast<size_t>(std::min<uint64_t>(length, zipRemain));
            zipRemain -= length;
            stream.next_in = bytes.data() + start;
            stream.avail_in = static_cast<uInt>(length);
            // Each round uses input or makes output; what the stream makes
            // past the entry's length is not passed on.
            while (result == Z_OK && (stream.avail_in > 0 || zipRemain == 0)) {
                stream.next_out = out.data();
                stream.avail_out = static_cast<uInt>(out.size());
                result = inflate(&stream, Z_NO_FLUSH);
                const size_t got = out.size() - stream.avail_out;
                if (got > dataLength - made) {
                    ok = Fail("value's length does not match its chain");
                    break;
                }
                made += got;
                const uint64_t taken = std::min<uint64_t>(got, total_ - written_);
                if (taken > 0) sink_(ByteSpan(out).first(static_cast<size_t>(taken)));
                written_ += taken;
                if (got == 0 && stream.avail_in == 0) break;
            }
            if (result != Z_OK && result != Z_STREAM_END)
                ok = Fail("compressed data does not inflate");
            page = LoadU32be(bytes, kPageNextOffset);
        }
        inflateEnd(&stream);
        if (!ok) return false;
        if (result != Z_STREAM_END) return Fail("compressed data does not inflate");
        if (made != dataLength) return Fail("value's length does not match its chain");
        return true;
    }

    CTablespace& space_;
    uint64_t firstPage_;
    uint32_t version_;
    uint64_t total_;
    const std::function<void(ByteSpan)>& sink_;
    size_t pageSize_;
    std::vector<uint8_t> first_;
    std::set<uint64_t> seenEntries_;
    uint64_t written_ = 0;
    std::string why_;
};

}  // namespace

bool IsZlobFirstPage(ByteSpan page) {
    return PageType(page) == kZlobFirstPageType && FirstPageIndexEntries(page.size()) > 0 &&
           FirstPageData(page.size()) + kTrailer < page.size();
}

bool ReadZlobValue(CTablespace& space, uint64_t firstPage, uint32_t version, uint64_t total,
                   const std::function<void(ByteSpan)>& sink, std::string* why) {
    if (total == 0) return true;
    CZlobWalk walk(space, firstPage, version, total, sink);
    const bool whole = walk.Run();
    if (!whole && why) *why = walk.why();
    return whole;
}

}  // namespace brix
