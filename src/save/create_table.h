#pragma once

#include <string>
#include <string_view>

#include <vector>

#include "app/collation_table.h"
#include "schema/table_def.h"

namespace brix {

class CAppState;

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

// The DEFAULT (and ON UPDATE) clause of every column, each with a leading
// space, empty for a column without one: an expression default in
// parentheses, CURRENT_TIMESTAMP for the timestamp kinds, DEFAULT NULL when
// the default record holds NULL, else the column's value in the default
// record as a literal (rendered as a save renders values). Generated and
// AUTO_INCREMENT columns, columns without a default, and BLOB, TEXT, JSON
// and spatial columns with nothing but a value in the record get none. Empty
// clauses throughout when the .frm held no default record.
std::vector<std::u16string> ColumnDefaultClauses(const CTableDef& table, const CAppState& app);

// The CREATE TABLE statement, without a terminating semicolon, of a table
// whose .frm was read into table, named name: every column with its type,
// generation expression or NULL / NOT NULL, its clause of defaults (when
// given, one per column), AUTO_INCREMENT and comment; the
// primary key, unique, plain, full-text and spatial keys with their parts,
// prefix lengths, sort order and comments; the engine, the table's default
// character set and collation, its row format and its comment, then the
// partitioning clause when PartitioningKept. KEY_BLOCK_SIZE follows the row
// format where the engine takes it, and MariaDB's page compression options
// (PAGE_COMPRESSED, PAGE_COMPRESSION_LEVEL) where they are plain words. Key parts that name no
// column of the table are left out. CHECK constraints follow: one of a column after that column,
// the table's after the keys (with CONSTRAINT and their names); then the foreign keys, each as
// CONSTRAINT ... FOREIGN KEY
// ... REFERENCES with its ON DELETE and ON UPDATE actions (RESTRICT, the
// default, unsaid). AUTO_INCREMENT=N follows the engine when the table's
// next value is known and above 1. Constraints that DefinitionPartsLeftOut
// names are left out.
std::u16string CreateTableStatement(const CTableDef& table, std::u16string_view name,
                                    const CollationTable& collations,
                                    const std::vector<std::u16string>* defaults = nullptr);

// Why each CHECK constraint and foreign key of the table that
// CreateTableStatement leaves out is left out, in plain words naming it: an
// expression the client or the server could read as more than an
// expression, a name that cannot be written, a key naming columns the table
// does not have or with column lists of unequal length.
std::vector<std::u16string> DefinitionPartsLeftOut(const CTableDef& table);

// Row formats by their number in CTableDef::rowType.
inline constexpr uint8_t kRowTypeDynamic = 2;
inline constexpr uint8_t kRowTypeCompressed = 3;
inline constexpr uint8_t kRowTypeRedundant = 4;
inline constexpr uint8_t kRowTypeCompact = 5;

// Whether an InnoDB table of ROW_FORMAT=COMPACT or REDUNDANT has columns
// whose longest values make a record larger than a server that checks new
// tables (innodb_strict_mode, on by default) lets such a table have: such a
// server refuses its CREATE TABLE ("Row size too large"), where the server
// that made it only warned. Reckoned as the server reckons it for pages of
// 16 KiB; false for other engines and row formats.
bool RowsTooLargeForRowFormat(const CTableDef& table);
// The same for the table in ROW_FORMAT=DYNAMIC, which keeps less of long
// columns in the record: true when no row format takes it on such a server.
bool RowsTooLargeForDynamic(const CTableDef& table);

// Whether CreateTableStatement appends the table's partitioning clause: it
// has one, and the text can be neither more than one statement nor a command
// of the client.
bool PartitioningKept(const CTableDef& table);

// The columns whose DEFAULT or generation expression CreateTableStatement
// leaves out because the client or the server could read it as more than an
// expression, in column order: the save says so for each.
std::vector<size_t> ColumnsWithExpressionsLeftOut(const CTableDef& table);

}  // namespace brix
