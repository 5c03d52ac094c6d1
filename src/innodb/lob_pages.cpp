#include "innodb/lob_pages.h"

#include <algorithm>

#include "innodb/page_set.h"

namespace brix {

namespace {

constexpr size_t kPageTypeOffset = 24;
// The file trailer every page ends with: no data lies in it.
constexpr size_t kTrailer = 8;

// First page: bytes of the value kept in the page, the base node of the
// index list (length, then the first entry's address), the ten index
// entries it holds and, after them, its part of the value.
constexpr size_t kFirstDataLength = 54;
constexpr size_t kIndexListLength = 64;
constexpr size_t kIndexListFirst = 68;
constexpr size_t kFirstEntries = 96;
constexpr size_t kFirstEntryCount = 10;

// An index entry: its list node (previous and next entry's addresses), the
// base node of its older versions, the creating and modifying
// transactions, then the data page and the bytes of the value it holds
// (written in the first two of the four bytes kept for them).
constexpr size_t kEntrySize = 60;
constexpr size_t kEntryNext = 6;
constexpr size_t kEntryDataPage = 48;
constexpr size_t kEntryDataLength = 52;
constexpr size_t kFirstData = kFirstEntries + kFirstEntryCount * kEntrySize;

// An index page: a version byte, then its entries.
constexpr size_t kIndexPageEntries = 39;

// Data page: its byte count, then its bytes.
constexpr size_t kDataPageLength = 39;
constexpr size_t kDataPageData = 49;

// A file address: page number, then the byte offset in that page.
struct FileAddress {
    uint32_t page = kNoPage;
    uint16_t offset = 0;
};

FileAddress LoadAddress(ByteSpan page, size_t at) {
    return FileAddress{LoadU32be(page, at), LoadU16be(page, at + 4)};
}

uint16_t PageType(ByteSpan page) {
    return page.size() >= kPageTypeOffset + 2 ? LoadU16be(page, kPageTypeOffset) : 0;
}

}  // namespace

bool IsLobFirstPage(ByteSpan page) {
    return page.size() > kFirstData + kTrailer && PageType(page) == kLobFirstPageType;
}

bool ReadLobValue(CTablespace& space, uint64_t firstPage, uint64_t total,
                  const std::function<void(ByteSpan)>& sink) {
    if (firstPage >= space.pageCount()) return false;
    ByteSpan first = space.Page(firstPage);
    if (!IsLobFirstPage(first)) return false;
    const uint64_t entries = LoadU32be(first, kIndexListLength);
    FileAddress at = LoadAddress(first, kIndexListFirst);
    uint64_t written = 0;
    // Each entry names a page of its own (the first page at most once): a
    // walk longer than the file's pages, or back onto a page, loops.
    CPageSet dataPages;
    const uint64_t bound = std::min<uint64_t>(entries, space.pageCount());
    for (uint64_t n = 0; n < bound && written < total; ++n) {
        if (at.page == kNoPage || at.page >= space.pageCount()) return false;
        const ByteSpan entryPage = space.Page(at.page);
        const uint16_t entryType = PageType(entryPage);
        if (entryType != kLobFirstPageType && entryType != kLobIndexPageType) return false;
        const size_t entriesStart =
            entryType == kLobFirstPageType ? kFirstEntries : kIndexPageEntries;
        const size_t entriesEnd =
            entryType == kLobFirstPageType ? kFirstData : entryPage.size() - kTrailer;
        if (at.offset < entriesStart || at.offset + kEntrySize > entriesEnd) return false;
        const FileAddress next = LoadAddress(entryPage, at.offset + kEntryNext);
        const uint32_t dataPage = LoadU32be(entryPage, at.offset + kEntryDataPage);
        const uint32_t entryLength = LoadU16be(entryPage, at.offset + kEntryDataLength);
        if (dataPage >= space.pageCount() || !dataPages.Insert(dataPage)) return false;

        const ByteSpan data = space.Page(dataPage);
        size_t start = kDataPageData;
        uint64_t held = 0;
        if (dataPage == firstPage) {
            start = kFirstData;
            held = LoadU32be(data, kFirstDataLength);
        } else if (PageType(data) == kLobDataPageType) {
            held = LoadU32be(data, kDataPageLength);
        } else {
            return false;
        }
        // The entry and its page agree on the bytes, within the page.
        if (held != entryLength || held > data.size() - kTrailer - start) return false;
        const uint64_t taken = std::min<uint64_t>(held, total - written);
        if (taken > 0) sink(data.subspan(start, static_cast<size_t>(taken)));
        written += taken;
        at = next;
    }
    return written >= total;
}

}  // namespace brix
