#pragma once

#include <cstdint>
#include <vector>

#include "app/byte_reader.h"
#include "innodb/inno_table_reader.h"
#include "innodb/tablespace.h"

namespace brix {

class CAppState;

// Where a deleted InnoDB record was found on its page.
enum class DeletedRecordSource : uint8_t {
    kDeleteMarked,  // in the record list with its delete mark, not purged yet
    kFreeList,      // in the page's free space: its list of freed records,
                    // or the unused bytes above the heap
};

struct DeletedRecord {
    uint32_t origin = 0;
    DeletedRecordSource source = DeletedRecordSource::kDeleteMarked;
};

// Finds on the leaf page (16 KiB, of the table's clustered index) the
// records that can be deleted rows of the table: delete-marked records of
// its record list, delete-marked records of its free list (followed from the
// page header, at most as many as a page holds, never twice) and, on compact
// pages, delete-marked records in the unused space between the heap's top
// and the page directory. Each one counts only when it fits the table: its
// fields lie inside the record area, its transaction id and roll pointer are
// not zero (a freed record whose bytes were wiped has both zero), and every
// value is one its column can hold (PlausibleStoredValue). Appends them to
// out in that order; a page that is not a leaf index page adds nothing. Any
// bytes are safe: nothing outside page is read.
void FindDeletedRecords(const CInnoTableReader& inno, ByteSpan page, const CAppState& app,
                        std::vector<DeletedRecord>& out);

// Fills the window (emptied first, with the table's columns and the two
// cells of a deleted row: where it was found and the overwritten columns,
// always none for InnoDB) with the deleted records of the clustered index's
// leaf pages in file order, from startPage on, leaving out the first skip
// records found on startPage (a window that ended part way through it).
// When the window fills it sets windowFull and, when wanted, appends the
// bookmark {page, records of it taken}. Reads each page once: it ends.
void FillDeletedWindow(CInnoTableReader& inno, CTablespace& space, uint64_t startPage,
                       uint32_t skip, bool wantBookmark, CAppState& app);

}  // namespace brix
