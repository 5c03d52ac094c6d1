#include "save/create_table.h"

#include <gtest/gtest.h>

#include "schema/field_types.h"
#include "schema/frm_reader.h"
#include "support/test_support.h"

namespace brix {
namespace {

// The utf8mb4 collation the fixtures use, four bytes per character at most.
constexpr int kUtf8mb4 = 45;

std::string Statement(const CTableDef& table, std::u16string_view name) {
    return test::U8(CreateTableStatement(table, name, test::TestApp().collations));
}

TEST(CreateTableTest, RebuildsAFixtureTableWithKeysPrefixesAndComments) {
    CTableDef table;
    ASSERT_TRUE(ReadTableDefinition(table, test::FixtureDataDir() / "keys" / "composite_pk.frm",
                                    test::TestApp()));
    EXPECT_EQ(Statement(table, u"composite_pk"),
              "CREATE TABLE `composite_pk` (\n"
              "  `a` INT(11) NOT NULL,\n"
              "  `b` VARCHAR(5) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NOT NULL,\n"
              "  `c` INT(11) NULL COMMENT 'Größe in cm',\n"
              "  PRIMARY KEY (`b`,`a`),\n"
              "  KEY `idx_c` (`c`),\n"
              "  KEY `pre_b` (`b`(3)) COMMENT 'prefix key'\n"
              ") ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci "
              "COMMENT='Schlüssel: zusammengesetzt'");
}

std::vector<std::string> Defaults(const std::string& database, const std::string& table) {
    CTableDef def;
    EXPECT_TRUE(ReadTableDefinition(def, test::FixtureDataDir() / database / (table + ".frm"),
                                    test::TestApp()));
    std::vector<std::string> clauses;
    for (const std::u16string& clause : ColumnDefaultClauses(def, test::TestApp()))
        clauses.push_back(test::U8(clause));
    return clauses;
}

TEST(CreateTableTest, DefaultsComeFromTheDefaultRecordAndTheExpressions) {
    EXPECT_EQ(Defaults("shop", "orders"),
              (std::vector<std::string>{"", "", "", "", " DEFAULT NULL", " DEFAULT NULL",
                                        " DEFAULT 'new'", "", " DEFAULT NULL"}));
    // AUTO_INCREMENT and NOT NULL without a default get nothing; a nullable
    // TEXT column's NULL is its default.
    EXPECT_EQ(Defaults("shop", "products"),
              (std::vector<std::string>{"", "", "", "", " DEFAULT 0", " DEFAULT NULL"}));
    EXPECT_EQ(Defaults("keys", "expr_default"),
              (std::vector<std::string>{" DEFAULT (1 + 2)", " DEFAULT NULL"}));
    // Generated columns have none.
    EXPECT_EQ(Defaults("evolve", "generated"),
              (std::vector<std::string>{"", "", "", "", " DEFAULT NULL"}));
}

CColumnDef Column(std::u16string name, int type, int length, int charset = kUtf8mb4) {
    CColumnDef c;
    c.name = std::move(name);
    c.type = type;
    c.length = length;
    c.charsetNumber = charset;
    c.nullable = true;
    return c;
}

CKeyDef Key(std::u16string name, int32_t flags, std::vector<CKeyPartDef> parts) {
    CKeyDef key;
    key.name = std::move(name);
    key.flags = flags;
    key.parts = std::move(parts);
    key.partCount = static_cast<int32_t>(key.parts.size());
    return key;
}

CKeyPartDef Part(uint16_t field, uint16_t length, uint16_t flags = 0) {
    CKeyPartDef part;
    part.fieldNumber = field;
    part.length = length;
    part.flags = flags;
    return part;
}

TEST(CreateTableTest, NamesMembersAndCommentsCannotBreakOutOfTheStatement) {
    CTableDef table;
    table.engineCode = EngineCode::kMyIsam;
    table.tableCharset = kUtf8mb4;
    table.comment = u"it's";
    table.allEnumValues = {u"", u"it's", u"a\\b"};
    CColumnDef id = Column(u"i`d", FieldType::kLong, 10, 63);
    id.nullable = false;
    id.signedness = Signedness::kUnsigned;
    id.zerofill = true;
    id.uniregType = CColumnDef::kAutoIncrement;
    CColumnDef e = Column(u"e", FieldType::kEnum, 1);
    e.enumFirst = 0;
    e.enumCount = 3;
    e.comment = u"x'); DROP TABLE t; --";
    table.columns = {id, e, Column(u"t", FieldType::kBlob, 2, kUtf8mb4)};
    table.keys = {Key(u"PRIMARY", CKeyDef::kUnique, {Part(1, 4)}),
                  Key(u"k`1", 0, {Part(2, 1, 128), Part(3, 40), Part(9, 4)})};
    EXPECT_EQ(Statement(table, u"t`q"),
              "CREATE TABLE `t``q` (\n"
              "  `i``d` INT(10) UNSIGNED ZEROFILL NOT NULL AUTO_INCREMENT,\n"
              "  `e` ENUM('','it''s','a\\\\b') CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci "
              "NULL COMMENT 'x''); DROP TABLE t; --',\n"
              "  `t` TEXT CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL,\n"
              "  PRIMARY KEY (`i``d`),\n"
              "  KEY `k``1` (`e` DESC,`t`(10))\n"  // the part of no column is left out
              ") ENGINE=MyISAM DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci "
              "COMMENT='it''s'");
}

TEST(CreateTableTest, KeyKindsPrefixesAndUnknownEnginesAndCollations) {
    CTableDef table;
    table.engineCode = 0;       // no engine of its own: the server's default
    table.tableCharset = 9999;  // unknown to the collation table: no clause
    table.rowType = 5;
    CColumnDef name = Column(u"name", FieldType::kVarchar, 80);  // 20 characters
    CColumnDef code = Column(u"code", FieldType::kString, 16, 63);
    CColumnDef body = Column(u"body", FieldType::kBlob, 2);
    CColumnDef shape = Column(u"shape", FieldType::kGeometry, 4, 63);
    shape.geometryType = 1;
    shape.nullable = false;
    CColumnDef odd = Column(u"odd", FieldType::kVarchar, 10, 9999);
    table.columns = {name, code, body, shape, odd};
    table.keys = {Key(u"uq", CKeyDef::kUnique, {Part(1, 80), Part(2, 8)}),
                  Key(u"ft", 1 << 7, {Part(3, 0)}), Key(u"sp", 1 << 10, {Part(4, 25)})};
    table.keys[0].algorithm = 1;
    EXPECT_EQ(Statement(table, u"k"),
              "CREATE TABLE `k` (\n"
              "  `name` VARCHAR(20) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL,\n"
              "  `code` BINARY(16) NULL,\n"
              "  `body` TEXT CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL,\n"
              "  `shape` POINT NOT NULL,\n"
              "  `odd` VARCHAR(10) NULL,\n"
              "  UNIQUE KEY `uq` (`name`,`code`(8)) USING BTREE,\n"
              "  FULLTEXT KEY `ft` (`body`),\n"
              "  SPATIAL KEY `sp` (`shape`)\n"
              ") ROW_FORMAT=COMPACT");
}

// The page size of a compressed table and MariaDB's page compression come
// from the .frm files the server wrote; other engine options, and values that
// are not plain words, stay out.
TEST(CreateTableTest, KeyBlockSizeAndPageCompressionAreKept) {
    const std::filesystem::path fixtures = test::SourceDir() / "tests/fixtures";
    struct Case {
        std::filesystem::path frm;
        const char* tail;
    };
    const Case cases[] = {
        {fixtures / "compressed/datadir/zip/kb4.frm", " ROW_FORMAT=COMPRESSED KEY_BLOCK_SIZE=4"},
        {fixtures / "page-sizes/p4k/datadir/pages/squeezed.frm",
         " PAGE_COMPRESSED=1 PAGE_COMPRESSION_LEVEL=6"},
    };
    for (const Case& c : cases) {
        CTableDef table;
        ASSERT_TRUE(ReadTableDefinition(table, c.frm, test::TestApp()));
        const std::string statement = Statement(table, u"t");
        EXPECT_NE(statement.find(c.tail), std::string::npos) << statement;
    }
    CTableDef table;
    table.engineCode = 0;
    table.columns = {Column(u"a", FieldType::kLong, 11, 63)};
    table.engineOptions = {{"page_compressed", "ON", true},
                           {"ENCRYPTED", "YES", false},
                           {"PAGE_COMPRESSION_LEVEL", "1 DATA DIRECTORY='/tmp'", false},
                           {"PAGE_COMPRESSION_LEVEL", "9;", false}};
    const std::string statement = Statement(table, u"t");
    EXPECT_EQ(statement.substr(statement.find('\n') + 1),
              "  `a` INT(11) NULL\n) page_compressed='ON'");
}

TEST(CreateTableTest, NamesFromAHostileCollationFileAreLeftOut) {
    CollationTable collations;
    collations[8] = {1, 1, u"latin1_swedish_ci\n\\! touch /tmp/x", u"latin1"};
    collations[9] = {1, 1, u"x_ci", u"latin1; DROP TABLE t"};
    collations[10] = {1, 1, u"latin1_bin", u"latin1"};
    CTableDef table;
    table.tableCharset = 8;
    table.columns = {Column(u"a", FieldType::kVarchar, 10, 9),
                     Column(u"b", FieldType::kVarchar, 10, 10)};
    const std::string statement = test::U8(CreateTableStatement(table, u"t", collations, nullptr));
    EXPECT_EQ(statement,
              "CREATE TABLE `t` (\n"
              "  `a` VARCHAR(10) NULL,\n"
              "  `b` VARCHAR(10) CHARACTER SET latin1 COLLATE latin1_bin NULL\n"
              ")");
}

TEST(CreateTableTest, ExpressionsThatCouldEndTheirParenthesesAreLeftOut) {
    CTableDef table;
    CColumnDef a = Column(u"a", FieldType::kLong, 11, 63);
    a.defaultExpression = u"1)\n\\! touch /tmp/x\n(";
    CColumnDef b = Column(u"b", FieldType::kLong, 11, 63);
    b.isVirtual = true;
    b.generationExpression = u"a) VIRTUAL, evil INT, (a";
    CColumnDef c = Column(u"c", FieldType::kLong, 11, 63);
    c.isVirtual = true;
    c.generationExpression = u"(a + 1) * 2";
    table.columns = {a, b, c};
    const std::vector<std::u16string> defaults = {u"", u"", u""};
    const std::string statement =
        test::U8(CreateTableStatement(table, u"t", test::TestApp().collations, &defaults));
    EXPECT_EQ(statement,
              "CREATE TABLE `t` (\n"
              "  `a` INT(11) NULL,\n"
              "  `b` INT(11) NULL,\n"
              "  `c` INT(11) GENERATED ALWAYS AS ((a + 1) * 2) VIRTUAL\n"
              ")");
    // The save names the two columns that lost their expressions.
    EXPECT_EQ(ColumnsWithExpressionsLeftOut(table), (std::vector<size_t>{0, 1}));
}

TEST(CreateTableTest, TypesCarryWidthsFractionsAndPrecision) {
    CTableDef table;
    auto type = [&](CColumnDef c) {
        return test::U8(SqlColumnType(table, c, test::TestApp().collations));
    };
    CColumnDef tiny = Column(u"x", FieldType::kTiny, 4, 63);
    tiny.signedness = Signedness::kSigned;
    EXPECT_EQ(type(tiny), "TINYINT(4)");
    EXPECT_EQ(type(Column(u"x", FieldType::kTime2, 14, 63)), "TIME(3)");
    EXPECT_EQ(type(Column(u"x", FieldType::kDateTime2, 26, 63)), "DATETIME(6)");
    EXPECT_EQ(type(Column(u"x", FieldType::kTimestamp, 19, 63)), "TIMESTAMP");
    EXPECT_EQ(type(Column(u"x", FieldType::kYear, 2, 63)), "YEAR(2)");
    EXPECT_EQ(type(Column(u"x", FieldType::kBit, 12, 63)), "BIT(12)");
    CColumnDef money = Column(u"x", FieldType::kNewDecimal, 12, 63);
    money.precision = 10;
    money.decimals = 2;
    money.signedness = Signedness::kUnsigned;
    EXPECT_EQ(type(money), "DECIMAL(10,2) UNSIGNED");
    EXPECT_EQ(type(Column(u"x", FieldType::kFloat, 12, 63)), "FLOAT");
    EXPECT_EQ(type(Column(u"x", FieldType::kLongBlob, 4, 63)), "LONGBLOB");
    EXPECT_EQ(type(Column(u"x", FieldType::kMediumBlob, 3)),
              "MEDIUMTEXT CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci");
    EXPECT_EQ(type(Column(u"x", FieldType::kVarchar, 300, 63)), "VARBINARY(300)");
}

}  // namespace
}  // namespace brix
