#pragma once

#include <string>
#include <string_view>

#include "app/collation_table.h"
#include "schema/table_def.h"

namespace brix {

// The name of a storage engine by its .frm engine code (MyISAM, InnoDB and
// the other engines a server of the same family knows by a fixed code);
// empty for a code that names no engine by itself.
std::u16string EngineName(uint8_t engineCode);

// The full SQL type of a column as a CREATE TABLE statement declares it:
// display widths of integers, UNSIGNED and ZEROFILL, FLOAT and DECIMAL
// precision, fraction digits of temporal types, lengths of character types in
// characters (bytes divided by the largest character of the column's
// collation when the collation table knows it), ENUM and SET members (empty
// ones included, each a string literal), and the character set and collation
// of character columns when the collation table knows them.
std::u16string SqlColumnType(const CTableDef& table, const CColumnDef& column,
                             const CollationTable& collations);

// The CREATE TABLE statement, without a terminating semicolon, of a table
// whose .frm was read into table, named name: every column with its type,
// generation expression or NULL / NOT NULL, AUTO_INCREMENT and comment; the
// primary key, unique, plain, full-text and spatial keys with their parts,
// prefix lengths, sort order and comments; the engine, the table's default
// character set and collation, its row format and its comment. Key parts that name no
// column of the table are left out.
std::u16string CreateTableStatement(const CTableDef& table, std::u16string_view name,
                                    const CollationTable& collations);

}  // namespace brix
