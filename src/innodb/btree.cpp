#include "innodb/btree.h"

#include <algorithm>
#include <bitset>

#include "app/app_state.h"
#include "innodb/columns.h"
#include "innodb/page.h"
#include "innodb/page_view.h"
#include "innodb/record.h"
#include "innodb/record_header.h"

namespace brix {

namespace {

constexpr uint32_t kRowIdLength = 6;
// Compact origins at or past this leave no room for a record's data.
constexpr uint32_t kLastCompactOrigin = 16376;

// Nullable fields of the records a node pointer's null bitmap is sized by:
// the fields records had before any column was added in place.
size_t NodePointerNullableFields(const CInnoTableReader& inno) {
    const auto& fields = inno.physicalColumns;
    const size_t core =
        inno.coreFields != 0 ? std::min<size_t>(inno.coreFields, fields.size()) : fields.size();
    size_t nullable = 0;
    for (size_t i = 0; i < core; ++i) nullable += fields[i].nullable() ? 1 : 0;
    return nullable;
}

}  // namespace

uint32_t KeyPrefixLength(const CInnoTableReader& inno, ByteSpan page, uint32_t origin) {
    const auto& fields = inno.physicalColumns;
    const size_t keyFields = KeyFieldCount(fields);
    if (keyFields == 0) return kRowIdLength;
    CompactHeaderCursor header(page, origin);
    if (!header.BeginNullBitmap(NodePointerNullableFields(inno))) return 0;
    for (size_t i = 0; i < keyFields; ++i) {
        const CInnoColumnDef& field = fields[i];
        uint32_t length = field.fixedLength;
        if (length == 0) {
            bool external = false;
            if (!header.NextLength(field.big(), length, external)) return 0;
        }
        uint32_t start = 0;
        if (!header.TakeData(length, start)) return 0;
    }
    return header.dataTaken();
}

uint32_t FindFirstLeaf(CInnoTableReader& inno, CTablespace& space, uint32_t page) {
    // Every level is another page: a descent longer than the file has pages
    // follows a cycle of node pointers.
    // Each level is below the one before: a child whose level is not lower
    // than its parent's is damage (and a cycle could not go on).
    uint32_t parentLevel = 0x10000;
    for (uint64_t depth = 0; depth <= space.pageCount(); ++depth) {
        if (page >= space.pageCount()) return 0;
        const CIndexPageView view(space.Page(page));
        const ByteSpan bytes = view.bytes();
        inno.currentPage = view.fil();
        if (!view.isIndexPage()) return 0;
        if (view.level() >= parentLevel) return 0;
        parentLevel = view.level();
        if (view.level() == 0) return page;
        if (!view.holdsRecords()) return 0;
        const uint32_t origin = view.FirstRecord();
        if (origin > 0x3FFF || origin < kLowestUserOrigin || IsSupremumText(bytes, origin))
            return 0;
        uint32_t child;
        if (view.compact()) {
            const uint32_t keyLength = KeyPrefixLength(inno, bytes, origin);
            if (keyLength == 0 || keyLength > kPageSize - 4 - origin) return 0;
            child = LoadU32be(bytes, origin + keyLength);
        } else {
            std::vector<RedundantField> fields;
            if (!ReadRedundantFields(bytes, origin, fields) || fields.empty() ||
                fields.back().length != 4)
                return 0;
            child = LoadU32be(bytes, fields.back().start);
        }
        if (child == 0 || child == page) return 0;
        page = child;
    }
    return 0;
}

void FillRowWindow(CInnoTableReader& inno, CTablespace& space, uint64_t startPage,
                   uint32_t startOrigin, bool resume, CAppState& app) {
    const CTableDef& table = inno.table;
    CWindowState& window = inno.window;
    window.windowFull = false;
    if (window.rows.columnCount() != table.columns.size()) window.rows.Reset(table.columns.size());
    CInnoRecordDecoder decoder(inno, app);
    const bool systemSpace = !inno.perTableSource;
    PageBuffer pageCopy;
    // Origins already taken on the current page: a record chain that comes
    // back to one of them loops.
    std::bitset<kPageSize> seen;
    // A walk from a leaf rather than a bookmark starts the forward walk anew.
    // A window that starts where the furthest one ended goes on with the
    // pages walked so far; one that reads an earlier window again keeps a set
    // of its own.
    // Only the first page resumes at the bookmark's record.
    bool resuming = resume;
    const bool fromLeaf = !resuming;
    if (fromLeaf) {
        inno.leavesWalked.Clear();
        inno.walkEndPage = startPage;
        inno.walkEndOrigin = startOrigin;
    }
    const bool forward =
        fromLeaf || (startPage == inno.walkEndPage && startOrigin == inno.walkEndOrigin);
    CPageSet windowPages;
    CPageSet& walked = forward ? inno.leavesWalked : windowPages;
    uint64_t page = startPage;
    // A chain of pages cannot be longer than the file: past that it loops.
    for (uint64_t visited = 0; page != kNoPage && visited < space.pageCount(); ++visited) {
        if (page >= space.pageCount()) return;
        if (systemSpace && page == 0) return;
        // Only the page a window starts on may have been walked before: the
        // window before ended on it. Coming back to any other ends the chain.
        if (!walked.Insert(page) && visited != 0) return;
        ++inno.pagesWalked;
        // The decoder may read BLOB pages through the cache; the leaf is read
        // into a buffer of its own.
        space.CopyPage(page, pageCopy);
        const CIndexPageView view{ByteSpan(pageCopy)};
        const ByteSpan bytes = view.bytes();
        inno.currentPage = view.fil();
        if (view.holdsRecords()) {
            uint32_t origin = view.FirstRecord();
            const bool fromBookmark = resuming && startOrigin != 0;
            if (fromBookmark) origin = startOrigin;
            bool pageDone = origin >= kLastCompactOrigin;
            if (!pageDone && view.AtSupremum(origin)) {
                // A bookmark at the supremum: the rows go on on the next page.
                // Otherwise the leaf is empty, and so is the rest of the chain.
                if (!fromBookmark) return;
                pageDone = true;
            }
            seen.reset();
            for (uint32_t n = 0; !pageDone && n < kMaxRecordsPerPage; ++n) {
                if (origin < kLowestUserOrigin || origin >= kLastCompactOrigin || seen[origin] ||
                    view.AtSupremum(origin))
                    break;
                seen[origin] = true;
                const uint32_t next = view.NextRecord(origin);
                // Hidden records of the index are not rows: the metadata
                // record of a table changed in place.
                const bool hidden = (view.InfoBits(origin) & kInfoMinRecord) != 0;
                if (!hidden) {
                    bool decoded;
                    if (view.compact()) {
                        const uint32_t span = next > origin ? next - origin : kPageSize - origin;
                        decoded = decoder.DecodeCompact(bytes, origin, span);
                    } else {
                        decoded = decoder.DecodeRedundant(bytes, origin);
                    }
                    if (!decoded) break;
                    if (window.rows.rowCount() >= inno.options.windowRows) {
                        window.windowFull = true;
                        // Without a next record the window after this one
                        // starts on the next page.
                        const uint32_t resume = next != 0 ? next : view.supremum();
                        if (!window.suppressBookmark) {
                            window.bookmarks.push_back(RecordBookmark{page, resume});
                            if (forward) {
                                inno.walkEndPage = page;
                                inno.walkEndOrigin = resume;
                            }
                        }
                        return;
                    }
                }
                if (next == 0) break;
                origin = next;
            }
        }
        resuming = false;
        const uint32_t nextPage = inno.currentPage.nextPage;
        if (!systemSpace && nextPage == inno.currentPage.previousPage) return;
        page = nextPage;
    }
}

}  // namespace brix
