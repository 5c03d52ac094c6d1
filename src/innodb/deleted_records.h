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
    kLive,          // in the record list without a delete mark (recovery of
                    // a file that no table owns any more)
};

struct DeletedRecord {
    uint32_t origin = 0;
    DeletedRecordSource source = DeletedRecordSource::kDeleteMarked;
    // Where the record's data ends: its bytes from origin on, hidden fields
    // included, tell it from any other record.
    uint32_t dataEnd = 0;
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

// For a file no table owns any more: whether the leaf page is one of the
// table's clustered index, and its records. True when every record of its
// record list is a record of the table (the same checks, delete-marked or
// not, ending at the supremum, as many as the page header counts, none
// overlapping the next); the list's records (kLive or kDeleteMarked), then
// those FindDeletedRecords finds in its free space, are appended to out.
// False, with nothing appended, for a page of another index or table, or
// one too damaged to tell. Any bytes are safe.
bool FindPageRecords(const CInnoTableReader& inno, ByteSpan page, const CAppState& app,
                     std::vector<DeletedRecord>& out);

// Fills the window (emptied first, with the table's columns and the two
// cells of a deleted row: where it was found and the overwritten columns,
// always none for InnoDB) with the deleted records of the clustered index's
// leaf pages in file order, from startPage on, leaving out the first skip
// records found on startPage (a window that ended part way through it).
// When the window fills it sets windowFull and, when wanted, appends the
// bookmark {page, records of it taken}. Reads each page once: it ends.
// A record whose bytes were found before, at an earlier place (a copy left
// behind when pages were merged or reorganised), is shown there only. With wholePages (a file no
// table owns any more) every record of the pages FindPageRecords takes is a row, live ones with the
// source "recovered-page"; a leaf of the index it does not take is reported.
void FillDeletedWindow(CInnoTableReader& inno, CTablespace& space, uint64_t startPage,
                       uint32_t skip, bool wantBookmark, CAppState& app, bool wholePages = false);

}  // namespace brix
