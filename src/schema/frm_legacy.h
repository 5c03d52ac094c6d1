#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/byte_reader.h"

namespace brix {

// What servers of older versions wrote in a .frm that today's codes read
// differently: collation numbers that were given to other collations later,
// and the marker MariaDB before 10.2 put in place of a virtual column's type.

// The collation number a .frm written by the server of serverVersion means
// by collation, in today's numbering. MySQL 5.3 gave the Croatian collations
// of ucs2 and utf8 the numbers 149 and 213, and MariaDB 5.5 to 10.0.5 also
// 214 (utf32), 215 (utf16) and 245 (utf8mb4); MariaDB later moved them to
// numbers from 512 on, as the old ones had gone to other collations.
int UpgradeFrmCollation(uint32_t serverVersion, int collation);

// The field type code MariaDB 5.2 to 10.1 writes in place of a virtual
// column's type; MySQL 5.7 uses the same code for JSON.
inline constexpr int kOldVirtualMarker = 245;

// True when a column of field type code type in a .frm of layout version
// frmVersion written by serverVersion is a MariaDB virtual column of before
// 10.2: the code is the marker, the layout is older than the one that keeps
// expressions in a section of their own (11), and the server is not MySQL 5.7,
// whose JSON has the same code.
bool IsOldVirtualColumn(int type, int frmVersion, uint32_t serverVersion);

// The type of a column marked virtual whose entry could not be read: no
// field type has this code, so it is shown as unknown and never decoded.
inline constexpr int kUnknownFieldType = -1;

// What MariaDB before 10.2 keeps of a virtual column in the section after the
// column comments.
struct COldVirtualColumn {
    bool read = false;    // the entry was there and whole
    int type = 0;         // the column's real field type code
    int valueList = 0;    // 1-based value list of an ENUM or SET; 0 = none given
    bool stored = false;  // PERSISTENT: the engine stores its values
    ByteSpan expression;  // the expression's text, within the section
};

// Reads the entries of the columns marked virtual (infoLengths[i] > 0: the
// entry's length, which the column record keeps where the value-list number
// would be) from section, in column order: a byte 1 or 2 (2: a value-list
// number follows the flags), the real type, flags (bit 0: stored), the
// value-list number, then the expression. Entries that do not fit the
// section, or of another kind, stay default and count in badEntries; the
// offset of the first is at badAt. The result has one entry per column.
std::vector<COldVirtualColumn> ReadOldVirtualColumns(ByteSpan section,
                                                     const std::vector<size_t>& infoLengths,
                                                     size_t& badEntries, size_t& badAt);

// MySQL 5.7 keeps a column's type as it is and marks a generated column by
// this bit of the column record's unireg byte, which otherwise holds small
// codes (AUTO_INCREMENT, the timestamp defaults).
inline constexpr uint8_t kMySql57GeneratedFlag = 0x80;

// True when a column whose unireg byte is uniregType, in a .frm of layout
// frmVersion written by serverVersion, is a MySQL 5.7 generated column: the
// flag is set and the server is MySQL 5.7 (MariaDB writes its own layouts).
bool IsMySql57GeneratedColumn(uint8_t uniregType, int frmVersion, uint32_t serverVersion);

// What MySQL 5.7 keeps of a generated column in the section after the
// column comments.
struct CMySql57GeneratedColumn {
    bool read = false;    // the entry was there and whole
    bool stored = false;  // STORED: the engine keeps its values in the record
    ByteSpan expression;  // the expression's text, within the section
};

// Reads the entries of the generated columns (generated[i] true) from
// section, in column order: a byte 1, the expression's length (2 bytes,
// little-endian), flags (bit 0: stored), then the expression. Entries that
// do not fit the section, or of another kind, stay unread and count in
// badEntries, the first at badAt; the entries after it cannot be found. The
// result has one entry per column.
std::vector<CMySql57GeneratedColumn> ReadMySql57GeneratedColumns(ByteSpan section,
                                                                 const std::vector<bool>& generated,
                                                                 size_t& badEntries, size_t& badAt);

}  // namespace brix
