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
RecoveryIndex FindRecoveryIndex(const CInnoTableReader& inno, CTablespace& space,
                                const CAppState& app);

}  // namespace brix
