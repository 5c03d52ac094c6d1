#include "innodb/btree.h"

#include <algorithm>
#include <bitset>
#include <unordered_map>

#include "app/app_state.h"
#include "innodb/columns.h"
#include "innodb/page.h"
#include "innodb/page_check.h"
#include "innodb/page_compressed.h"
#include "innodb/page_view.h"
#include "innodb/record.h"
#include "innodb/record_header.h"

namespace brix {

namespace {

constexpr uint32_t kRowIdLength = 6;

// Nullable fields of the records a node pointer's null bitmap is sized by:
// the fields records had before any column was added in place.
size_t NodePointerNullableFields(const CInnoTableReader& inno) {
    const auto& fields = inno.physicalColumns;
    const size_t core =
        inno.coreFields != 0 ? std::min<size_t>(inno.coreFields, fields.size()) : fields.size();
    size_t nullable = 0;
    for (size_t i = 0; i < core; ++i)
        nullable += fields[i].nullable() && fields[i].InVersion(0) ? 1 : 0;
    return nullable;
}

// The record list of a page runs from the infimum to the supremum without
// leaving the page or coming back to a record: a page whose checksum fails
// may still be read when it does.
bool RecordChainParses(const CIndexPageView& view) {
    if (!view.holdsRecords()) return false;
    std::bitset<kMaxPageSize> seen;
    uint32_t origin = view.FirstRecord();
    for (uint32_t n = 0; n <= MaxRecordsOnPage(view.size()); ++n) {
        if (view.AtSupremum(origin)) return true;
        if (origin < kLowestUserOrigin || origin >= view.lastOrigin() || seen[origin]) return false;
        seen[origin] = true;
        origin = view.NextRecord(origin);
    }
    return false;
}

// Why page (read as view, checked as state) cannot stand in the index whose
// id is indexId (0: any): null when it can. A page whose checksum fails is
// still taken when its record list parses; the caller reports that.
const char* PageProblem(const CIndexPageView& view, uint64_t page, PageState state,
                        uint64_t indexId) {
    const bool badSum = state == PageState::kBadChecksum || state == PageState::kLsnMismatch;
    if (state == PageState::kZero) return "page is all zeros";
    if (state == PageState::kNotDecompressed) return UndecompressedReason(view.bytes());
    if (!view.isIndexPage()) return badSum ? "checksum mismatch" : "page is not an index page";
    // A whole page that names another page was written in the wrong place;
    // a damaged one is judged by whether its records parse.
    if (state == PageState::kSound && view.fil().pageNumber != page)
        return "page carries another page's number";
    if (indexId != 0 && view.header().indexId != indexId)
        return badSum ? "checksum mismatch" : "page belongs to another index";
    if (!view.holdsRecords()) return badSum ? "checksum mismatch" : "page has no record list";
    if (badSum && !RecordChainParses(view)) return "checksum mismatch";
    return nullptr;
}

// The finding for a page taken although its checksum failed.
const char* StillReadReason(PageState state) {
    if (state == PageState::kBadChecksum) return "checksum mismatch";
    if (state == PageState::kLsnMismatch) return "LSN copies in header and trailer differ";
    return nullptr;
}

// Rows a lost page held, where it says so: the record count of a leaf.
int64_t RowsOnLeaf(const CIndexPageView& view) {
    return view.isIndexPage() && view.level() == 0 ? view.header().userRecords : -1;
}

// A page of the walk that is not read, with the rows its header counts.
DamageFinding LostPage(const CIndexPageView& view, uint64_t page, const char* why) {
    return DamageFinding{
        {}, -1, static_cast<int64_t>(page), DamageWhat::kPage, why, RowsOnLeaf(view), false};
}

// One window's walk over leaf pages, in key order along the leaf level or
// in file order past a broken tree.
struct LeafWalk {
    LeafWalk(CInnoTableReader& inno, CTablespace& space, CAppState& app, bool forward)
        : inno(inno), space(space), decoder(inno, app), forward(forward) {}

    CInnoTableReader& inno;
    CTablespace& space;
    CInnoRecordDecoder decoder;
    PageBytes pageCopy;
    // Origins already taken on the current page: a record chain that comes
    // back to one of them loops.
    std::bitset<kMaxPageSize> seen;
    // The window that goes furthest: it reports findings and moves the end
    // of the walk; windows read again do neither.
    bool forward;
    // The extent descriptor page last looked at, and whether it is whole.
    uint64_t descriptorPage = kNoPage;
    bool descriptorSound = false;
};

// Extent descriptors: every page-size-th page (page 0 first; 16384 for 16
// KiB pages) describes the extents of the pages after it, one descriptor
// each after the file header and the tablespace header: id (8), list node
// (12), state (4), then two bits per page, the first of which is set while
// the page is free.
constexpr size_t kDescriptorArray = 38 + 112;
constexpr size_t kDescriptorState = 8 + 12;
constexpr size_t kDescriptorBits = kDescriptorState + 4;
constexpr uint32_t kExtentFree = 1;

// The page's extent descriptor, when it is whole, says the page is free: a
// page the index let go of keeps its old records, which are not rows.
bool PageMarkedFree(LeafWalk& walk, uint64_t page) {
    const size_t pageSize = walk.space.pageSize();
    const uint64_t perDescriptorPage = pageSize;
    const uint32_t extentPages = ExtentPages(pageSize);
    const uint64_t descriptorPage = page / perDescriptorPage * perDescriptorPage;
    const ByteSpan bytes = walk.space.Page(descriptorPage);
    if (walk.descriptorPage != descriptorPage) {
        walk.descriptorPage = descriptorPage;
        walk.descriptorSound = CheckPage(bytes) == PageState::kSound;
    }
    if (!walk.descriptorSound) return false;
    const size_t entry =
        kDescriptorArray + (page % perDescriptorPage) / extentPages * DescriptorSize(pageSize);
    if (LoadU32be(bytes, entry + kDescriptorState) == kExtentFree) return true;
    const uint32_t bit = static_cast<uint32_t>(page % extentPages) * 2;
    return ((LoadU8(bytes, entry + kDescriptorBits + bit / 8) >> (bit % 8)) & 1) != 0;
}

enum class PageEnd {
    kDone,        // the page's records are read; the walk goes on
    kEmpty,       // a leaf without records: the index is empty
    kWindowFull,  // the window filled; its bookmark is appended
};

// Reads the records of the leaf page in view from startOrigin (0: the first)
// into the window. Findings are reported when report is set.
PageEnd ReadLeafRecords(LeafWalk& walk, const CIndexPageView& view, uint64_t page,
                        uint32_t startOrigin, bool scan, bool report) {
    CInnoTableReader& inno = walk.inno;
    CWindowState& window = inno.window;
    const ByteSpan bytes = view.bytes();
    const bool fromBookmark = startOrigin != 0;
    uint32_t origin = fromBookmark ? startOrigin : view.FirstRecord();
    if (origin >= view.lastOrigin()) return PageEnd::kDone;
    // A bookmark at the supremum: the rows go on on the next page.
    if (view.AtSupremum(origin)) return fromBookmark ? PageEnd::kDone : PageEnd::kEmpty;
    walk.seen.reset();
    inno.reportingRecords = report;
    uint32_t taken = 0;
    const char* broken = "record chain loops";
    const uint32_t maxRecords = MaxRecordsOnPage(view.size());
    for (uint32_t n = 0; n < maxRecords; ++n) {
        if (view.AtSupremum(origin)) {
            broken = nullptr;
            break;
        }
        if (origin < kLowestUserOrigin || origin >= view.lastOrigin()) {
            broken = "record runs past the end of the page";
            break;
        }
        if (walk.seen[origin]) break;
        walk.seen[origin] = true;
        ++taken;
        const uint32_t next = view.NextRecord(origin);
        // Hidden records of the index are not rows: the metadata record of
        // a table changed in place. Nor are records marked deleted, which
        // stay until purge removes them (the old version of a row whose key
        // changed among them): the server shows none of them, and
        // `rows --deleted` reads them apart.
        const bool hidden = (view.InfoBits(origin) & (kInfoMinRecord | kInfoDeleted)) != 0;
        if (!hidden) {
            bool decoded;
            if (view.compact()) {
                const uint32_t span = next > origin ? next - origin : view.size() - origin;
                decoded = walk.decoder.DecodeCompact(bytes, origin, span);
            } else {
                decoded = walk.decoder.DecodeRedundant(bytes, origin);
            }
            if (!decoded) {
                // Skipped: the records around it are still read.
                if (report)
                    ReportDamage(inno,
                                 DamageFinding{{},
                                               static_cast<int64_t>(page * view.size() + origin),
                                               static_cast<int64_t>(page),
                                               DamageWhat::kRecord,
                                               "record does not decode",
                                               1,
                                               false});
            } else if (window.rows.rowCount() >= inno.options.windowRows) {
                window.windowFull = true;
                // Without a next record the window after this one starts on
                // the next page.
                const uint32_t resume = next != 0 ? next : view.supremum();
                const int64_t bookmarkOrigin = resume | (scan ? kScanBookmarkFlag : 0);
                if (!window.suppressBookmark) {
                    window.bookmarks.push_back(RecordBookmark{page, bookmarkOrigin});
                    if (walk.forward) {
                        inno.walkEndPage = page;
                        inno.walkEndOrigin = bookmarkOrigin;
                    }
                }
                return PageEnd::kWindowFull;
            }
        }
        if (next == 0) {
            broken = "record chain ends before the supremum";
            break;
        }
        origin = next;
    }
    if (broken && report) {
        const int64_t left =
            fromBookmark ? -1 : std::max<int64_t>(0, int64_t{view.header().userRecords} - taken);
        ReportDamage(
            inno, DamageFinding{
                      {}, -1, static_cast<int64_t>(page), DamageWhat::kChain, broken, left, false});
    }
    if (walk.forward) inno.pagesReported.Insert(page);
    return PageEnd::kDone;
}

// Reads, in file order from startPage (at startOrigin of it when not 0),
// the leaf pages of the clustered index that the walk along the leaf level
// did not stand on, until the window fills or the file ends.
void ScanLeaves(LeafWalk& walk, uint64_t startPage, uint32_t startOrigin) {
    CInnoTableReader& inno = walk.inno;
    CTablespace& space = walk.space;
    const bool systemSpace = !inno.perTableSource;
    if (!inno.indexIdKnown) {
        inno.indexId = GuessClusteredIndexId(inno, space);
        inno.indexIdKnown = true;
    }
    // Each page is visited once, in ascending order: the scan ends.
    for (uint64_t page = startPage; page < space.pageCount(); ++page) {
        const uint32_t origin = page == startPage ? startOrigin : 0;
        if ((systemSpace && page == 0) || inno.leavesWalked.Contains(page)) continue;
        space.CopyPage(page, walk.pageCopy);
        const CIndexPageView view{ByteSpan(walk.pageCopy)};
        if (!view.isIndexPage() || view.level() != 0 || view.header().indexId != inno.indexId ||
            PageMarkedFree(walk, page))
            continue;
        const bool report = walk.forward && origin == 0 && !inno.pagesReported.Contains(page);
        const PageState state = CheckPage(view.bytes());
        if (const char* problem = PageProblem(view, page, state, inno.indexId)) {
            if (report) {
                ReportDamage(inno, LostPage(view, page, problem));
                inno.pagesReported.Insert(page);
            }
            continue;
        }
        if (const char* reason = StillReadReason(state); reason && report)
            ReportDamage(
                inno, DamageFinding{
                          {}, -1, static_cast<int64_t>(page), DamageWhat::kPage, reason, 0, true});
        inno.currentPage = view.fil();
        inno.pagesRecovered.Insert(page);
        const bool reportRecords = walk.forward && !inno.pagesReported.Contains(page);
        if (ReadLeafRecords(walk, view, page, origin, true, reportRecords) == PageEnd::kWindowFull)
            return;
    }
    if (!inno.scanReported) {
        inno.scanReported = true;
        ReportDamage(inno, DamageFinding{{},
                                         -1,
                                         -1,
                                         DamageWhat::kChain,
                                         "the tree is broken; " +
                                             std::to_string(inno.pagesRecovered.size()) +
                                             " leaf pages recovered by scanning the file",
                                         0,
                                         true});
    }
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

void ReportDamage(CInnoTableReader& inno, DamageFinding finding) {
    if (!inno.options.damage) return;
    if (finding.file.empty()) finding.file = inno.fileName;
    inno.options.damage->Report(std::move(finding));
}

uint32_t FindFirstLeaf(CInnoTableReader& inno, CTablespace& space, uint32_t page, bool report) {
    const auto lost = [&](int64_t at, DamageWhat what, const char* why, int64_t rows) {
        if (report) ReportDamage(inno, DamageFinding{{}, -1, at, what, why, rows, false});
        return 0u;
    };
    // Every level is another page: a descent longer than the file has pages
    // follows a cycle of node pointers.
    // Each level is below the one before: a child whose level is not lower
    // than its parent's is damage (and a cycle could not go on).
    uint32_t parentLevel = 0x10000;
    int64_t parent = -1;
    for (uint64_t depth = 0; depth <= space.pageCount(); ++depth) {
        if (page >= space.pageCount())
            return lost(parent, DamageWhat::kChain, "link points outside the file", -1);
        const CIndexPageView view(space.Page(page));
        const ByteSpan bytes = view.bytes();
        inno.currentPage = view.fil();
        const PageState state = CheckPage(bytes);
        if (const char* problem = PageProblem(view, page, state, inno.indexId)) {
            // An empty table's root that is fine but for its record list
            // is read as it always was: a leaf without records.
            if (view.isIndexPage() && view.level() == 0 && view.level() < parentLevel &&
                state == PageState::kSound && !view.holdsRecords())
                return page;
            return lost(page, DamageWhat::kPage, problem, RowsOnLeaf(view));
        }
        if (view.level() >= parentLevel)
            return lost(page, DamageWhat::kPage, "page is at the wrong level", -1);
        // A leaf is reported by the leaf walk that reads it, once.
        if (const char* reason = StillReadReason(state); reason && report && view.level() != 0)
            ReportDamage(inno, DamageFinding{{}, -1, page, DamageWhat::kPage, reason, 0, true});
        parentLevel = view.level();
        if (view.level() == 0) return page;
        const uint32_t origin = view.FirstRecord();
        if (origin >= view.size() || origin < kLowestUserOrigin || IsSupremumText(bytes, origin))
            return lost(page, DamageWhat::kRecord, "node pointer does not decode", -1);
        uint32_t child;
        if (view.compact()) {
            const uint32_t keyLength = KeyPrefixLength(inno, bytes, origin);
            if (keyLength == 0 || keyLength + 4 > view.size() - origin)
                return lost(page, DamageWhat::kRecord, "node pointer does not decode", -1);
            child = LoadU32be(bytes, origin + keyLength);
        } else {
            std::vector<RedundantField> fields;
            if (!ReadRedundantFields(bytes, origin, fields) || fields.empty() ||
                fields.back().length != 4)
                return lost(page, DamageWhat::kRecord, "node pointer does not decode", -1);
            child = LoadU32be(bytes, fields.back().start);
        }
        if (child == 0 || child == page)
            return lost(page, DamageWhat::kChain, "link points outside the index", -1);
        parent = page;
        page = child;
    }
    return lost(parent, DamageWhat::kChain, "node pointers run in a circle", -1);
}

uint64_t GuessClusteredIndexId(CInnoTableReader& inno, CTablespace& space) {
    std::unordered_map<uint64_t, uint64_t> votes;
    std::vector<FieldSlot> slots;
    PageBytes copy;
    const bool systemSpace = !inno.perTableSource;
    for (uint64_t page = systemSpace ? 1 : 0; page < space.pageCount(); ++page) {
        space.CopyPage(page, copy);
        const CIndexPageView view{ByteSpan(copy)};
        if (!view.holdsRecords() || view.level() != 0) continue;
        const uint32_t origin = view.FirstRecord();
        if (origin < kLowestUserOrigin || origin >= view.lastOrigin() || view.AtSupremum(origin))
            continue;
        // The first record must fit the table's fields: a page of a
        // secondary index seldom does.
        bool fits;
        if (view.compact()) {
            const uint32_t next = view.NextRecord(origin);
            const uint32_t span = next > origin ? next - origin : view.size() - origin;
            fits = LocateCompactFields(view.bytes(), origin, span, inno.physicalColumns,
                                       inno.coreFields, slots);
        } else {
            std::vector<RedundantField> fields;
            fits = ReadRedundantFields(view.bytes(), origin, fields) &&
                   fields.size() == inno.physicalColumns.size();
        }
        if (fits) ++votes[view.header().indexId];
    }
    uint64_t best = 0;
    uint64_t bestVotes = 0;
    for (const auto& [id, count] : votes) {
        if (count > bestVotes || (count == bestVotes && id < best)) {
            best = id;
            bestVotes = count;
        }
    }
    return best;
}

void FillScanWindow(CInnoTableReader& inno, CTablespace& space, uint64_t startPage,
                    uint32_t startOrigin, bool fresh, CAppState& app) {
    CWindowState& window = inno.window;
    window.windowFull = false;
    if (window.rows.columnCount() != inno.table.columns.size())
        window.rows.Reset(inno.table.columns.size());
    const int64_t origin = startOrigin | kScanBookmarkFlag;
    if (fresh) {
        inno.walkEndPage = startPage;
        inno.walkEndOrigin = origin;
    }
    const bool forward = fresh || (startPage == inno.walkEndPage && origin == inno.walkEndOrigin);
    LeafWalk walk(inno, space, app, forward);
    ScanLeaves(walk, startPage, startOrigin);
}

void FillRowWindow(CInnoTableReader& inno, CTablespace& space, uint64_t startPage,
                   uint32_t startOrigin, bool resume, CAppState& app) {
    const CTableDef& table = inno.table;
    CWindowState& window = inno.window;
    window.windowFull = false;
    if (window.rows.columnCount() != table.columns.size()) window.rows.Reset(table.columns.size());
    const bool systemSpace = !inno.perTableSource;
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
    LeafWalk walk(inno, space, app, forward);
    CPageSet windowPages;
    CPageSet& walked = forward ? inno.leavesWalked : windowPages;
    const auto broken = [&](int64_t at, DamageWhat what, const char* why, int64_t rows) {
        // Only the furthest window follows a link for the first time.
        if (forward) ReportDamage(inno, DamageFinding{{}, -1, at, what, why, rows, false});
    };
    uint64_t page = startPage;
    int64_t from = -1;  // the page whose link led here
    // A chain of pages cannot be longer than the file: past that it loops.
    uint64_t visited = 0;
    for (; page != kNoPage && visited < space.pageCount(); ++visited) {
        if (page >= space.pageCount()) {
            broken(from, DamageWhat::kChain, "link points outside the file", -1);
            break;
        }
        if (systemSpace && page == 0) {
            broken(from, DamageWhat::kChain, "link points outside the index", -1);
            break;
        }
        // Only the page a window starts on may have been walked before: the
        // window before ended on it. Coming back to any other ends the chain.
        if (!walked.Insert(page) && visited != 0) {
            broken(from, DamageWhat::kChain, "leaf chain loops", -1);
            break;
        }
        ++inno.pagesWalked;
        // The decoder may read BLOB pages through the cache; the leaf is read
        // into a buffer of its own.
        space.CopyPage(page, walk.pageCopy);
        const CIndexPageView view{ByteSpan(walk.pageCopy)};
        inno.currentPage = view.fil();
        const uint32_t origin = resuming ? startOrigin : 0;
        const bool report = forward && origin == 0 && !inno.pagesReported.Contains(page);
        const PageState state = CheckPage(view.bytes());
        const char* problem = PageProblem(view, page, state, inno.indexId);
        if (!problem && view.level() != 0) problem = "page is at the wrong level";
        if (problem) {
            if (report) ReportDamage(inno, LostPage(view, page, problem));
            if (forward) inno.pagesReported.Insert(page);
            break;
        }
        if (const char* reason = StillReadReason(state); reason && report)
            ReportDamage(
                inno, DamageFinding{
                          {}, -1, static_cast<int64_t>(page), DamageWhat::kPage, reason, 0, true});
        const bool reportRecords = forward && !inno.pagesReported.Contains(page);
        const PageEnd end = ReadLeafRecords(walk, view, page, origin, false, reportRecords);
        if (end == PageEnd::kWindowFull || end == PageEnd::kEmpty) return;
        resuming = false;
        const uint32_t nextPage = view.fil().nextPage;
        if (nextPage == kNoPage) return;
        if (!systemSpace && nextPage == view.fil().previousPage) {
            broken(static_cast<int64_t>(page), DamageWhat::kChain, "leaf chain loops", -1);
            break;
        }
        from = static_cast<int64_t>(page);
        page = nextPage;
    }
    if (space.pageCount() != 0 && visited >= space.pageCount())
        broken(from, DamageWhat::kChain, "leaf chain loops", -1);
    // The leaf level broke off: the leaves it did not reach are found by
    // their index id in file order.
    ScanLeaves(walk, 0, 0);
}

}  // namespace brix
