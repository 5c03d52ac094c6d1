#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "values/row_window.h"

namespace brix::test {

// A table of the fixture data directory and what the server returned for it.
struct ExpectedTable {
    std::string database;
    std::string name;
    std::string engine;
    std::string rowFormat;
    std::vector<std::string> columnNames;
    std::vector<std::string> dataTypes;          // information_schema DATA_TYPE per column
    std::vector<std::string> charsets;           // CHARACTER_SET_NAME per column ("NULL" for none)
    std::vector<std::vector<std::string>> rows;  // SELECT output, "NULL" for NULL
};

// Every base table of the fixture data directory, from expected/tables.tsv.
std::vector<ExpectedTable> FixtureTables();
ExpectedTable LoadExpectedTable(const std::string& database, const std::string& name);
// A table's columns and rows as a server's answers in folder (NAME.columns.tsv
// and NAME.select.tsv) hold them; database only names it in messages.
ExpectedTable LoadExpectedTableFrom(const std::filesystem::path& folder,
                                    const std::string& database, const std::string& name);

// One row as a reader produced it: texts and NULL flags.
struct ReadRow {
    std::vector<std::string> texts;
    std::vector<bool> nulls;
};

void AppendWindowRows(const CRowWindow& window, std::vector<ReadRow>& rows);

// Compares the rows a reader produced with the server's, value by value, and
// returns a description of every difference (empty when they agree). Binary
// values compare as hex, floating-point numbers as numbers, everything else
// as text; in display mode the placeholders for long and binary values are
// accepted where the value is long enough to get one. InnoDB shows BLOB and
// TEXT values kept in the record whole, and a placeholder for those kept off
// it.
std::vector<std::string> CompareRows(const ExpectedTable& expected, const std::vector<ReadRow>& got,
                                     bool exportMode, bool innodb = false);

// The text in lower case (ASCII letters only).
std::string Lower(std::string text);

// The column grid's type text, in lower case, of a column as a row of
// information_schema.COLUMNS (as the fixtures keep it: DATA_TYPE fifth,
// COLUMN_TYPE sixth) describes it: its data type, with the lengths and
// members the grid shows.
std::string InformationSchemaGridType(const std::vector<std::string>& columnsRow);

}  // namespace brix::test
