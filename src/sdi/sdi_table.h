#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "innodb/columns.h"
#include "schema/table_def.h"

namespace brix {

class CAppState;

// What a table's serialized dictionary object says besides its definition.
struct SdiTableInfo {
    std::u16string name;    // the table's name in the dictionary
    std::u16string schema;  // the database it belongs to
    std::u16string engine;  // "InnoDB", "MyISAM", ...
    // The row format the table has (1 fixed, 2 dynamic, 3 compressed,
    // 4 redundant, 5 compact), whether or not it was asked for.
    uint8_t rowFormat = 0;
    uint32_t serverVersion = 0;  // mysqld_version_id of the server that wrote it
    // The server keeps the table out of sight (its own dictionary tables).
    bool hidden = false;
    // The root page of the clustered index (the first index the dictionary
    // lists); 0 when it names none.
    uint32_t clusteredRoot = 0;
    // The id its pages carry; 0 when it names none.
    uint64_t clusteredIndexId = 0;
    // Columns were added or dropped in place (ALGORITHM=INSTANT) in a way
    // the readers cannot lay out: its rows are not read.
    bool changedInPlace = false;
    // Columns added in place before MySQL 8.0.29, which the readers lay out
    // with ApplyInstantColumns; empty (columnsBefore 0) for other tables.
    CInstantColumns instantColumns;
    // Columns were added or dropped in place in MySQL 8.0.29 or later: the
    // place of every stored field in the records and the versions that hold
    // it. Empty for tables whose rows carry no versions.
    std::vector<CVersionedColumn> rowVersions;
    // Per user column of the definition, its position among the dictionary's
    // columns (whose hidden system columns and dropped columns are left out).
    std::vector<size_t> dictionaryColumn;
};

// The value of key in a dictionary option string "a=1;b=2;"; empty when it
// has none.
std::string_view OptionValue(std::string_view options, std::string_view key);

// A decimal option value; 0 when it is empty, not a number or above 2^64 / 10.
uint64_t DecimalOption(std::string_view text);

// The .frm field type of a type code of the dictionary's own column-type
// numbering (1 DECIMAL ... 20 TIME2, 21 NEWDECIMAL ... 30 GEOMETRY, 31 JSON);
// -1 for a code outside it.
int FieldTypeOfDictionaryType(int64_t dictionaryType);

// Gives the columns of a MyISAM table whose definition came from the
// dictionary their places in the record image as the server lays them out:
// the null flags first (after a delete-mark bit unless the records are
// packed, packRecord), then every column's field in column order. Sets the
// record length, the null bytes and the packed-record option.
void LayOutMyisamRecord(CTableDef& table, bool packRecord);

// Builds table from one table object of a tablespace's serialized dictionary
// information (its JSON text, "dd_object_type": "Table") the way the .frm
// reader builds it from a .frm: the user columns in their order with types,
// lengths, collations, nullability, signedness, ENUM/SET members, generated
// expressions, AUTO_INCREMENT and CURRENT_TIMESTAMP defaults and comments;
// the keys with their parts; the engine, default collation, declared row
// format and comment. Columns the storage engine adds and columns dropped by
// later versions are left out; invisible columns are kept. False, with the
// reason in problem, when the text is not such an object; table is then
// left empty.
bool TableDefFromSdi(std::string_view json, const CAppState& app, CTableDef& table,
                     SdiTableInfo& info, std::string& problem);

}  // namespace brix
