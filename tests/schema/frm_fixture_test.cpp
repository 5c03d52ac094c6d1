// Every table of the fixture data directory, written by a real MariaDB server,
// read by the .frm reader and checked against what the server itself said of
// its columns (information_schema.COLUMNS) and keys (SHOW CREATE TABLE).

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "schema/column_type_text.h"
#include "schema/frm_reader.h"
#include "support/test_support.h"
#include "values/temporal.h"

namespace brix {
namespace {

struct FixtureTable {
    std::string database;
    std::string name;
    std::string engine;
};

std::vector<FixtureTable> FixtureTables() {
    std::vector<FixtureTable> tables;
    auto rows = test::ReadTsv(test::FixtureExpectedDir() / "tables.tsv");
    for (size_t i = 1; i < rows.size(); ++i) tables.push_back({rows[i][0], rows[i][1], rows[i][2]});
    return tables;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// The server's COLUMN_TYPE reduced to what the column grid shows: no display
// width of integers, no UNSIGNED or ZEROFILL, no fraction digits of temporal
// types, no empty ENUM/SET members.
std::string GridTypeOf(const std::string& dataType, std::string columnType) {
    columnType = std::regex_replace(columnType, std::regex(" /\\* mariadb-5.3 \\*/"), "");
    columnType = std::regex_replace(columnType, std::regex(" (unsigned|zerofill)"), "");
    static const std::regex widthTypes(
        "tinyint|smallint|mediumint|int|bigint|year|time|datetime|timestamp");
    if (std::regex_match(dataType, widthTypes))
        columnType = std::regex_replace(columnType, std::regex("\\(\\d+\\)"), "");
    if (dataType == "enum" || dataType == "set") {
        columnType = std::regex_replace(columnType, std::regex("\\('',"), "(");
        columnType = std::regex_replace(columnType, std::regex(",''"), "");
    }
    return columnType;
}

struct ExpectedKey {
    std::string name;
    std::vector<std::string> columns;
    bool unique;
};

std::vector<ExpectedKey> KeysOf(const std::string& createStatement) {
    std::vector<ExpectedKey> keys;
    static const std::regex keyLine(R"(^\s+(PRIMARY|UNIQUE)? ?KEY (?:`([^`]+)` )?\((.*)\))");
    static const std::regex part(R"(`([^`]+)`)");
    std::istringstream in(createStatement);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (!std::regex_search(line, m, keyLine)) continue;
        ExpectedKey key{m[1] == "PRIMARY" ? "PRIMARY" : m[2].str(), {}, m[1] == "UNIQUE"};
        const std::string parts = m[3];
        for (auto it = std::sregex_iterator(parts.begin(), parts.end(), part);
             it != std::sregex_iterator(); ++it)
            key.columns.push_back((*it)[1]);
        keys.push_back(key);
    }
    return keys;
}

TEST(FrmFixtureTest, EveryTableReadsAsTheServerDescribesIt) {
    const CAppState& app = test::TestApp();
    const std::vector<FixtureTable> tables = FixtureTables();
    ASSERT_GT(tables.size(), 40u);
    for (const FixtureTable& fixture : tables) {
        SCOPED_TRACE(fixture.database + "." + fixture.name);
        CTableDef table;
        ASSERT_TRUE(ReadTableDefinition(
            table, test::FixtureDataDir() / fixture.database / (fixture.name + ".frm"),
            test::TestApp()));
        EXPECT_EQ(table.engineCode, fixture.engine == "InnoDB" ? 12 : 9);

        const auto expected = test::ReadTsv(test::FixtureExpectedDir() / fixture.database /
                                            (fixture.name + ".columns.tsv"));
        ASSERT_EQ(table.columns.size() + 1, expected.size());
        int firstStored = INT32_MAX;
        const bool hasPrimary = std::any_of(table.columns.begin(), table.columns.end(),
                                            [](const CColumnDef& c) { return c.inPrimaryKey; });
        for (size_t i = 0; i < table.columns.size(); ++i) {
            const CColumnDef& c = table.columns[i];
            const auto& e = expected[i + 1];
            const std::string& dataType = e[3];
            const std::string& columnType = e[4];
            SCOPED_TRACE(e[0]);
            EXPECT_EQ(test::U8(c.name), e[0]);
            EXPECT_EQ(c.nullable, e[2] == "YES");
            // Without a primary key the server names the first unique key of
            // NOT NULL columns as one; the .frm still records it as unique.
            EXPECT_EQ(c.inPrimaryKey || (c.inUniqueKey && !hasPrimary), e[12] == "PRI");
            if (e[12] == "UNI") {
                EXPECT_TRUE(c.inUniqueKey);
            }
            EXPECT_EQ(Lower(test::U8(ColumnTypeText(c, table.tableCharset, app.collations))),
                      GridTypeOf(dataType, columnType));
            if (IsNumericType(c.type)) {
                const bool isUnsigned = columnType.find("unsigned") != std::string::npos;
                EXPECT_EQ(c.signedness, isUnsigned ? Signedness::kUnsigned : Signedness::kSigned);
                EXPECT_EQ(c.zerofill, columnType.find("zerofill") != std::string::npos);
            }
            if (dataType == "decimal") {
                EXPECT_EQ(std::to_string(c.precision), e[7]);
                EXPECT_EQ(std::to_string(c.decimals), e[8]);
            }
            if (e[9] != "NULL") {
                EXPECT_EQ(std::to_string(TemporalFractionDigits(c)), e[9]);
            }
            if (e[10] != "NULL") {
                ASSERT_EQ(app.collations.count(c.charsetNumber), 1u);
                EXPECT_EQ(test::U8(app.collations.at(c.charsetNumber).text2), e[10]);
                EXPECT_EQ(test::U8(app.collations.at(c.charsetNumber).text1), e[11]);
                EXPECT_NE(c.decoder, nullptr);
            }
            if (dataType == "char" || dataType == "varchar" || dataType == "binary" ||
                dataType == "varbinary") {
                EXPECT_EQ(std::to_string(c.length), e[6]);
            }
            firstStored = std::min(firstStored, c.recordPos);
        }
        // The null flags fill the row image up to the first stored column.
        EXPECT_EQ(table.nullBytes, firstStored - 1);

        const std::vector<ExpectedKey> keys = KeysOf(test::ReadFileText(
            test::FixtureExpectedDir() / fixture.database / (fixture.name + ".create.sql")));
        std::vector<ExpectedKey> got;
        for (const CKeyDef& k : table.keys) {
            ExpectedKey key{test::U8(k.name), {}, (k.flags & CKeyDef::kUnique) != 0};
            for (const CKeyPartDef& p : k.parts)
                if (p.fieldNumber >= 1 && p.fieldNumber <= table.columns.size())
                    key.columns.push_back(test::U8(table.columns[p.fieldNumber - 1].name));
            got.push_back(key);
        }
        // Foreign keys of InnoDB tables have an index of their own.
        got.erase(std::remove_if(got.begin(), got.end(),
                                 [&](const ExpectedKey& k) {
                                     return std::none_of(
                                         keys.begin(), keys.end(),
                                         [&](const ExpectedKey& e) { return e.name == k.name; });
                                 }),
                  got.end());
        ASSERT_EQ(got.size(), keys.size());
        for (size_t k = 0; k < keys.size(); ++k) {
            EXPECT_EQ(got[k].name, keys[k].name);
            EXPECT_EQ(got[k].columns, keys[k].columns) << keys[k].name;
            if (keys[k].unique) {
                EXPECT_TRUE(got[k].unique) << keys[k].name;
            }
        }
    }
}

TEST(FrmFixtureTest, ViewDefinitionsAreNotTables) {
    CTableDef table;
    EXPECT_TRUE(ReadTableDefinition(table, test::FixtureDataDir() / "shop" / "v_order_totals.frm",
                                    test::TestApp()));
    EXPECT_TRUE(table.columns.empty());
}

TEST(FrmFixtureTest, CommentsAndMultiByteNamesAreUtf8) {
    CTableDef table;
    ASSERT_TRUE(ReadTableDefinition(table, test::FixtureDataDir() / "keys" / "composite_pk.frm",
                                    test::TestApp()));
    ASSERT_EQ(table.columns.size(), 3u);
    EXPECT_EQ(test::U8(table.columns[2].comment), "Größe in cm");
    ASSERT_EQ(table.keys.size(), 3u);
    EXPECT_EQ(test::U8(table.keys[2].comment), "prefix key");
    EXPECT_EQ(test::U8(table.comment), "Schlüssel: zusammengesetzt");
}

TEST(FrmFixtureTest, GeneratedColumnsKeepTheirExpressionsAndAutoIncrementIsMarked) {
    CTableDef table;
    ASSERT_TRUE(ReadTableDefinition(table, test::FixtureDataDir() / "evolve" / "generated.frm",
                                    test::TestApp()));
    ASSERT_EQ(table.columns.size(), 5u);
    const CColumnDef& v = table.columns[2];
    const CColumnDef& s = table.columns[3];
    EXPECT_TRUE(v.isVirtual);
    EXPECT_FALSE(v.isStoredGenerated);
    EXPECT_EQ(test::U8(v.generationExpression), "`a` * 2");
    EXPECT_FALSE(s.isVirtual);
    EXPECT_TRUE(s.isStoredGenerated);
    EXPECT_EQ(test::U8(s.generationExpression), "concat('s',`a`)");
    EXPECT_TRUE(table.columns[4].generationExpression.empty());
    EXPECT_EQ(table.rowType, 2);  // ROW_FORMAT=DYNAMIC

    CTableDef customers;
    ASSERT_TRUE(ReadTableDefinition(customers, test::FixtureDataDir() / "shop" / "customers.frm",
                                    test::TestApp()));
    ASSERT_FALSE(customers.columns.empty());
    EXPECT_EQ(customers.columns[0].uniregType, CColumnDef::kAutoIncrement);
    for (size_t i = 1; i < customers.columns.size(); ++i)
        EXPECT_NE(customers.columns[i].uniregType, CColumnDef::kAutoIncrement) << i;
}

}  // namespace
}  // namespace brix
