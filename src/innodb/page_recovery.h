#pragma once

#include <cstdint>

#include "innodb/inno_table_reader.h"
#include "innodb/tablespace.h"

namespace brix {

class CAppState;

// What the search of a file for the table's clustered index found: the
// index id whose leaf pages hold records of the table (0: none), how many of
// its leaf pages did (FindPageRecords) and did not, and the records on them.
struct RecoveryIndex {
    uint64_t indexId = 0;
    uint64_t pagesFitting = 0;
    uint64_t pagesNotFitting = 0;
    uint64_t records = 0;
};

// Looks at every page of space once (a file that no table owns any more: a
// copy of a dropped table's tablespace, or a system tablespace) and chooses
// the index whose leaf pages hold the most records laid out as the reader's
// fields say, among the indexes most of whose leaf pages hold nothing else.
// An index of another table, or another index of this one, fits no page and
// is never chosen; a file with no such index gives indexId 0.
// With onlyIndex, only that index's pages are looked at.
RecoveryIndex FindRecoveryIndex(const CInnoTableReader& inno, CTablespace& space,
                                const CAppState& app, uint64_t onlyIndex = 0);

// The same for a table whose columns MariaDB changed in place: its records
// are laid out as the metadata under an instant root (a page of its own
// type) says. Each such root of the file (a few at most are tried) is read
// into the reader's layout, and the layout under which the most records
// fit is kept in inno; a file with none, or none that fits, gives indexId 0
// and leaves inno as it was.
RecoveryIndex FindInstantRecoveryIndex(CInnoTableReader& inno, CTablespace& space, CAppState& app);

}  // namespace brix
