#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "innodb/inno_column.h"
#include "innodb/page.h"
#include "innodb/page_set.h"
#include "innodb/tablespace.h"
#include "schema/table_def.h"
#include "values/read_options.h"
#include "values/row_window.h"

namespace brix {

class CAppState;

// The InnoDB side of one open table: the stored layout of its clustered
// records, the tablespace its rows come from and how far the leaf walk has
// gone. The definition and the window are its owner's, who keeps both alive
// for as long as the reader; the tablespace is shared, so that the table's
// own .ibd and the system tablespace of a dictionary are held alike and the
// reader never outlives the file it reads, however the dictionary fares.
class CInnoTableReader {
  public:
    CInnoTableReader(const CTableDef& table, CWindowState& window, CReadOptions options = {})
        : table(table), window(window), options(std::move(options)) {}
    CInnoTableReader(const CInnoTableReader&) = delete;
    CInnoTableReader& operator=(const CInnoTableReader&) = delete;

    const CTableDef& table;
    CWindowState& window;
    CReadOptions options;

    // The tablespace the rows come from: the table's own .ibd or the system
    // tablespace; null until one is given.
    std::shared_ptr<CTablespace> space;
    // The rows come from the table's own .ibd (not the system tablespace).
    bool perTableSource = false;
    std::vector<CInnoColumnDef> physicalColumns;
    // Fields of records written before columns were added in place; 0 when
    // the table was never changed in place.
    uint32_t coreFields = 0;
    // The values such records show for the fields they lack: one row.
    CRowWindow defaults;
    // Columns were added in place by MySQL 8.0.12 to 8.0.28: records written
    // since carry their field count (info bit 0x80), and the fields a record
    // lacks show the default their field keeps (instantDefault), not a row
    // of defaults.
    bool fieldCountInRecords = false;
    // Records carry the version of the table's layout they were written in
    // (MySQL 8.0.29 and later); each field says which versions hold it.
    bool rowVersions = false;
    FilHeader currentPage;
    // Leaf pages read since the table was opened, and windows read: a table
    // whose windows together read many more pages than its file has follows
    // a cycle of leaf pages.
    uint64_t pagesWalked = 0;
    uint64_t windowsRead = 0;
    // The leaf walk as it went forward window after window: a bit for every
    // page it stood on, and where the furthest window read so far ended. A
    // window that starts there goes on only to pages not walked yet, so that
    // no chain of leaves is followed twice and a table gives no more rows
    // than its pages hold.
    CPageSet leavesWalked;
    uint64_t walkEndPage = kNoPage;
    int64_t walkEndOrigin = 0;

    // The file the rows come from, as findings name it (UTF-8).
    std::string fileName;
    // The id of the clustered index, which its pages carry: from the
    // dictionary, the root page or the leaves once known.
    uint64_t indexId = 0;
    bool indexIdKnown = false;
    // Pages whose findings were reported, so that windows read again report
    // nothing twice.
    CPageSet pagesReported;
    // Leaf pages the scan past a broken tree found, and whether the finding
    // that counts them was reported (once, when the scan reached the end).
    CPageSet pagesRecovered;
    bool scanReported = false;
    // Deleted or recovered records by a hash of their bytes, each with where
    // it was first found (page and place among the page's records found):
    // the same record found again further on is shown once.
    std::unordered_map<uint64_t, uint64_t> rowsFound;
    // The records being decoded are read for the first time: what is wrong
    // with their values is reported.
    bool reportingRecords = false;
};

// A bookmark in the scan past a broken tree carries this bit in its origin,
// above the record origin in the low 16 bits: the window starts at that
// record of that page and goes on in file order over leaf pages of the
// clustered index that the walk along the leaf level did not reach.
inline constexpr int64_t kScanBookmarkFlag = int64_t{1} << 32;

inline bool IsScanBookmark(const RecordBookmark& bookmark) {
    return (bookmark.origin & kScanBookmarkFlag) != 0;
}

// Reads the window that starts at from into the window (emptied first), as
// paging does: a window that fills appends the bookmark of the window after
// it only when bookmarkWanted is set. Nothing is read without a tablespace.
void ReadInnoWindowAt(CInnoTableReader& inno, const RecordBookmark& from, bool bookmarkWanted,
                      CAppState& app);

// When the current window filled, reads the window that follows it from the
// last bookmark and returns true; false when the table has no more rows, or
// when the windows read so far walked so many more leaves than the file has
// pages that the leaf chain must run in a circle.
bool ReadNextInnoWindow(CInnoTableReader& inno, CAppState& app);

}  // namespace brix
