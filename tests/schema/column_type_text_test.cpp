#include "schema/column_type_text.h"

#include <gtest/gtest.h>

#include "schema/column_grid.h"
#include "support/test_support.h"

namespace brix {
namespace {

std::string TypeText(int type, int length, int charset = 8, int tableCharset = 8) {
    CColumnDef c;
    c.type = type;
    c.length = length;
    c.charsetNumber = charset;
    return test::U8(ColumnTypeText(c, tableCharset, test::TestApp().collations));
}

TEST(ColumnTypeTextTest, CharacterLengthsDivideByBytesPerCharacter) {
    EXPECT_EQ(TypeText(FieldType::kVarchar, 150, 33), "VARCHAR(50)");      // utf8mb3
    EXPECT_EQ(TypeText(FieldType::kVarchar, 150, 33, 0), "VARCHAR(150)");  // no table charset
    EXPECT_EQ(TypeText(FieldType::kVarchar, 150, 9999), "VARCHAR(150)");   // unknown collation
    EXPECT_EQ(TypeText(FieldType::kVarchar, 300, 63), "VARBINARY(300)");
    EXPECT_EQ(TypeText(FieldType::kString, 40, 45), "CHAR(10)");
    EXPECT_EQ(TypeText(FieldType::kString, 16, 63, 45), "BINARY(16)");
    // The space-padded VARCHAR of MySQL 4.1, shown as the server shows it.
    EXPECT_EQ(TypeText(FieldType::kVarString, 20, 8), "VARCHAR(20)");
}

TEST(ColumnTypeTextTest, EveryTypeCodeHasItsText) {
    struct Case {
        int type;
        int charset;
        const char* text;
    };
    for (const Case& c : {Case{1, 0, "TINYINT"},
                          Case{2, 0, "SMALLINT"},
                          Case{3, 0, "INT"},
                          Case{9, 0, "MEDIUMINT"},
                          Case{8, 0, "BIGINT"},
                          Case{4, 0, "FLOAT"},
                          Case{5, 0, "DOUBLE"},
                          Case{7, 0, "TIMESTAMP"},
                          Case{17, 0, "TIMESTAMP"},
                          Case{10, 0, "DATE"},
                          Case{14, 0, "DATE"},
                          Case{11, 0, "TIME"},
                          Case{19, 0, "TIME"},
                          Case{12, 0, "DATETIME"},
                          Case{18, 0, "DATETIME"},
                          Case{13, 0, "YEAR"},
                          Case{249, 8, "TINYTEXT"},
                          Case{249, 63, "TINYBLOB"},
                          Case{250, 8, "MEDIUMTEXT"},
                          Case{250, 63, "MEDIUMBLOB"},
                          Case{251, 8, "LONGTEXT"},
                          Case{251, 63, "LONGBLOB"},
                          Case{252, 8, "TEXT"},
                          Case{252, 63, "BLOB"},
                          Case{247, 8, "ENUM"},
                          Case{248, 8, "SET"},
                          Case{6, 0, "UNKNOWN DATATYPE"},
                          Case{200, 0, "UNKNOWN DATATYPE"}})
        EXPECT_EQ(TypeText(c.type, 4, c.charset), c.text) << c.type;

    CColumnDef d;
    d.type = FieldType::kNewDecimal;
    d.precision = 10;
    d.decimals = 2;
    EXPECT_EQ(test::U8(ColumnTypeText(d, 8, {})), "DECIMAL(10,2)");
    d.type = FieldType::kDouble;
    d.precision = 12;
    d.decimals = 4;
    EXPECT_EQ(test::U8(ColumnTypeText(d, 8, {})), "DOUBLE(12,4)");
    CColumnDef bit;
    bit.type = FieldType::kBit;
    bit.length = 12;
    EXPECT_EQ(test::U8(ColumnTypeText(bit, 8, {})), "BIT(12)");
    CColumnDef e;
    e.type = FieldType::kEnum;
    e.enumValues = u"'a','b'";
    EXPECT_EQ(test::U8(ColumnTypeText(e, 8, {})), "ENUM('a','b')");
    CColumnDef g;
    g.type = FieldType::kGeometry;
    const char* shapes[] = {"GEOMETRY",   "POINT",           "LINESTRING",   "POLYGON",
                            "MULTIPOINT", "MULTILINESTRING", "MULTIPOLYGON", "GEOMETRYCOLLECTION",
                            "GEOMETRY"};
    for (int sub = 0; sub <= 8; ++sub) {
        g.geometryType = sub;
        EXPECT_EQ(test::U8(ColumnTypeText(g, 8, {})), shapes[sub]);
    }
}

TEST(ColumnGridTest, RowTextsShowSizeNullsAndKeys) {
    CColumnDef c;
    c.name = u"id";
    c.type = FieldType::kLong;
    c.length = 11;
    c.inPrimaryKey = true;
    c.inUniqueKey = true;
    auto row = ColumnGridRow(c, 8, {});
    EXPECT_EQ(test::U8(row[0]), "id");
    EXPECT_EQ(test::U8(row[1]), "INT");
    EXPECT_EQ(test::U8(row[2]), "11");
    EXPECT_EQ(test::U8(row[3]), "False");
    EXPECT_EQ(test::U8(row[4]), "Primary Key");
    c.inPrimaryKey = false;
    c.nullable = true;
    row = ColumnGridRow(c, 8, {});
    EXPECT_EQ(test::U8(row[3]), "True");
    EXPECT_EQ(test::U8(row[4]), "Unique Key");
    c.inUniqueKey = false;
    EXPECT_EQ(test::U8(ColumnGridRow(c, 8, {})[4]), "");
}

TEST(ColumnTypeTextTest, TheGridAndTheStatementKnowTheSameTypes) {
    // A type the grid names but a statement does not would be saved as
    // VARBINARY; only VAR_STRING is named differently.
    for (int type = 0; type < 256; ++type) {
        const CTypeName* grid = FindTypeName(type, TypeTextUse::kGrid);
        const CTypeName* statement = FindTypeName(type, TypeTextUse::kStatement);
        ASSERT_EQ(grid == nullptr, statement == nullptr) << type;
        if (!grid || type == FieldType::kVarString) continue;
        EXPECT_EQ(grid, statement) << type;
    }
    EXPECT_EQ(FindTypeName(FieldType::kVarString, TypeTextUse::kStatement)->text, u"VARCHAR");
}

}  // namespace
}  // namespace brix
