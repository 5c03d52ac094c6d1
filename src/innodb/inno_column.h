#pragma once

#include <cstdint>
#include <vector>

#include "innodb/page.h"
#include "innodb/page_set.h"
#include "innodb/tablespace.h"
#include "schema/row_window.h"

namespace brix {

// InnoDB main types (MTYPE) that the reader treats specially.
namespace InnoType {
inline constexpr uint32_t kVarchar = 1;
inline constexpr uint32_t kChar = 2;
inline constexpr uint32_t kFixBinary = 3;
inline constexpr uint32_t kBinary = 4;
inline constexpr uint32_t kBlob = 5;
inline constexpr uint32_t kInt = 6;
inline constexpr uint32_t kSys = 8;
inline constexpr uint32_t kFloat = 9;
inline constexpr uint32_t kDouble = 10;
inline constexpr uint32_t kDecimal = 11;
inline constexpr uint32_t kVarMysql = 12;
inline constexpr uint32_t kMysql = 13;
inline constexpr uint32_t kGeometry = 14;
}  // namespace InnoType

// Precise-type (PRTYPE) flags.
namespace InnoFlag {
inline constexpr uint32_t kNotNull = 0x100;
inline constexpr uint32_t kUnsigned = 0x200;
inline constexpr uint32_t kBinary = 0x400;
inline constexpr uint32_t kVirtual = 0x2000;
}  // namespace InnoFlag

// Columns longer than this are never stored with a fixed length.
inline constexpr uint32_t kMaxFixedLength = 768;

// One field of a clustered-index record, in record order.
struct CInnoColumnDef {
    uint32_t mainType = 0;
    uint32_t preciseType = 0;
    uint32_t maxLength = 0;
    uint32_t precision = 0;
    // The table column whose value this field holds; -1 for the hidden system
    // columns and for key prefixes, whose bytes are skipped.
    int32_t position = -1;
    uint32_t fixedLength = 0;  // 0: the length is in the record header
    uint32_t charWidths = 0;   // min + 5 * max bytes per character; 0 unknown

    bool nullable() const { return (preciseType & InnoFlag::kNotNull) == 0; }
    // Lengths above 127 take two header bytes for such columns.
    bool big() const {
        return maxLength > 255 || mainType == InnoType::kBlob || mainType == InnoType::kGeometry;
    }
};

// What the InnoDB reader keeps of the table being read.
struct CInnoTableState {
    // The table's own .ibd file; the system tablespace belongs to the
    // dictionary.
    CTablespace ownSpace;
    // The tablespace the rows come from: ownSpace or the system tablespace.
    CTablespace* space = nullptr;
    bool perTableSource = false;
    std::vector<CInnoColumnDef> physicalColumns;
    // Fields of records written before columns were added in place; 0 when
    // the table was never changed in place.
    uint32_t coreFields = 0;
    // The values such records show for the fields they lack: one row.
    CRowWindow defaults;
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
    uint32_t walkEndOrigin = 0;

    void Reset() {
        pagesWalked = 0;
        windowsRead = 0;
        leavesWalked.Clear();
        walkEndPage = kNoPage;
        walkEndOrigin = 0;
        ownSpace.Close();
        space = nullptr;
        perTableSource = false;
        physicalColumns.clear();
        coreFields = 0;
        defaults.Reset(0);
        currentPage = FilHeader{};
    }
};

}  // namespace brix
