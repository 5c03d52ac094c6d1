// Definitions that servers no longer write (MySQL 4.1's VARCHAR, layouts of
// before 4.1, MariaDB's virtual columns of before 10.2, collation numbers that
// moved) are byte-built here: no server we can run makes them any more.
#include "schema/frm_legacy.h"

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/damage_report.h"
#include "schema/column_type_text.h"
#include "schema/field_types.h"
#include "schema/frm_reader.h"
#include "support/frm_builder.h"
#include "support/test_support.h"
#include "values/value_render.h"

namespace brix {
namespace {

using test::FrmBuilder;

constexpr uint16_t kNullable = 0x8000;
constexpr uint16_t kPackRecord = 1;

class FrmLegacyTest : public ::testing::Test {
  protected:
    bool Read(const std::vector<uint8_t>& image) {
        test::WriteFile(dir.path() / "t.frm", image);
        table = CTableDef();
        report = std::make_unique<CDamageReport>();
        return ReadTableDefinition(table, dir.path() / "t.frm", test::TestApp(), report.get());
    }
    std::vector<std::string> Reasons() const {
        std::vector<std::string> out;
        for (const DamageFinding& f : report->Findings()) out.push_back(f.why);
        return out;
    }
    std::string TypeText(const CColumnDef& c) const {
        return test::U8(ColumnTypeText(c, table.tableCharset, test::TestApp().collations));
    }

    test::TempDir dir;
    CTableDef table;
    std::unique_ptr<CDamageReport> report;
};

TEST(FrmCollationTest, MovedCollationNumbersAreMappedByTheWritingServer) {
    const struct {
        uint32_t server;
        int stored;
        int meant;
    } cases[] = {
        {50399, 149, 640},                      // MySQL 5.3: ucs2_croatian_ci
        {50399, 213, 576},                      // utf8_croatian_ci
        {50399, 214, 214},                      // 5.3 had no utf32 Croatian
        {50540, 214, 736},                      // MariaDB 5.5: utf32_croatian_ci
        {50540, 215, 672},                      // utf16_croatian_ci
        {50540, 245, 608},                      // utf8mb4_croatian_ci
        {100005, 215, 672},                     // MariaDB 10.0.5 still numbered them so
        {100006, 215, 215},                     // later servers did not
        {101119, 213, 213}, {50723, 245, 245},  // MySQL 5.7
        {50540, 8, 8},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UpgradeFrmCollation(c.server, c.stored), c.meant) << c.server << " " << c.stored;
}

TEST_F(FrmLegacyTest, Utf32ColumnOfMariaDb55IsReadInUtf32) {
    FrmBuilder b;
    b.version = 10;
    b.serverVersion = 50540;
    b.tableCharset = 214;
    b.columns = {{.name = "s", .type = 15, .length = 40, .charset = 214, .storedBytes = 41}};
    ASSERT_TRUE(Read(b.Build()));
    ASSERT_EQ(table.columns.size(), 1u);
    EXPECT_EQ(table.tableCharset, 736);
    EXPECT_EQ(table.columns[0].charsetNumber, 736);
    ASSERT_NE(table.columns[0].decoder, nullptr);
    EXPECT_EQ(table.columns[0].decoder->kind(), CTextDecoder::Kind::kUtf32Be);
    EXPECT_EQ(TypeText(table.columns[0]), "VARCHAR(10)");

    b.serverVersion = 101119;  // today's 214 is a utf8mb3 collation
    ASSERT_TRUE(Read(b.Build()));
    EXPECT_EQ(table.columns[0].charsetNumber, 214);
}

TEST_F(FrmLegacyTest, LayoutsOfBefore41AreRefusedWithAReason) {
    for (uint8_t version : {6, 7}) {
        FrmBuilder b;
        b.version = version;
        b.columns = {{.name = "a", .type = 3}};
        EXPECT_TRUE(Read(b.Build()));
        EXPECT_TRUE(table.columns.empty());
        EXPECT_EQ(Reasons(), std::vector<std::string>{
                                 "definition layout of servers before MySQL 4.1 is not read"});
    }
}

TEST_F(FrmLegacyTest, VarStringOfMySql41IsVarcharOrCharAsTheServerShowsIt) {
    const struct {
        uint16_t options;
        int length;
        uint8_t version;
        int type;
        const char* text;
    } cases[] = {
        {kPackRecord, 10, 9, FieldType::kVarString, "VARCHAR(10)"},
        {kPackRecord, 3, 9, FieldType::kString, "CHAR(3)"},  // too short to stay
        {0, 10, 9, FieldType::kString, "CHAR(10)"},          // fixed rows: CHAR
        {kPackRecord, 10, 10, FieldType::kVarString, "VARCHAR(10)"},
    };
    for (const auto& c : cases) {
        FrmBuilder b;
        b.version = c.version;
        b.serverVersion = 40122;
        b.createOptions = c.options;
        b.columns = {{.name = "v",
                      .type = FieldType::kVarString,
                      .length = c.length,
                      .storedBytes = c.length}};
        ASSERT_TRUE(Read(b.Build()));
        ASSERT_EQ(table.columns.size(), 1u);
        EXPECT_EQ(table.columns[0].type, c.type) << c.text;
        EXPECT_EQ(TypeText(table.columns[0]), c.text);
    }
}

TEST(FrmVarStringTest, StoredSpacesAreDroppedLikeChar) {
    CColumnDef column;
    column.type = FieldType::kVarString;
    column.length = 8;
    column.charsetNumber = 8;
    RenderContext context;
    context.decoders = &test::TestApp().decoders();
    const std::vector<uint8_t> bytes = {'a', ' ', 'b', ' ', ' ', ' ', ' ', ' '};
    std::u16string out;
    RenderMyIsamValue(column, bytes, context, out);
    EXPECT_EQ(test::U8(out), "a b");
}

// An entry of the section after the comments as MariaDB 5.2 to 10.1 wrote
// it: kind, real type, flags, [value list], expression.
std::vector<uint8_t> OldVirtualEntry(int type, bool stored, const std::string& expression,
                                     int valueList = 0) {
    std::vector<uint8_t> e = {static_cast<uint8_t>(valueList ? 2 : 1), static_cast<uint8_t>(type),
                              static_cast<uint8_t>(stored ? 1 : 0)};
    if (valueList) e.push_back(static_cast<uint8_t>(valueList));
    e.insert(e.end(), expression.begin(), expression.end());
    return e;
}

TEST_F(FrmLegacyTest, MariaDbVirtualColumnsOfBefore102HaveTheirRealTypeAndExpression) {
    const std::vector<uint8_t> v = OldVirtualEntry(FieldType::kLong, false, "(`a` + 1)");
    const std::vector<uint8_t> p = OldVirtualEntry(FieldType::kVarchar, true, "concat(`a`,'x')");
    const std::vector<uint8_t> e = OldVirtualEntry(FieldType::kEnum, false, "'y'", 1);
    FrmBuilder b;
    b.version = 10;
    b.serverVersion = 100144;
    b.valueLists = {{"x", "y"}};
    b.columns = {{.name = "a", .type = 3, .length = 11},
                 {.name = "v",
                  .type = kOldVirtualMarker,
                  .length = 11,
                  .packFlags = kNullable,
                  .valueList = static_cast<int>(v.size()),
                  .recordPos = 100},
                 {.name = "p",
                  .type = kOldVirtualMarker,
                  .length = 20,
                  .packFlags = kNullable,
                  .valueList = static_cast<int>(p.size()),
                  .storedBytes = 21},
                 {.name = "e",
                  .type = kOldVirtualMarker,
                  .length = 1,
                  .valueList = static_cast<int>(e.size()),
                  .recordPos = 104,
                  .storedBytes = 1}};
    b.expressions = v;
    b.expressions.insert(b.expressions.end(), p.begin(), p.end());
    b.expressions.insert(b.expressions.end(), e.begin(), e.end());
    ASSERT_TRUE(Read(b.Build()));
    EXPECT_TRUE(Reasons().empty());
    ASSERT_EQ(table.columns.size(), 4u);
    const CColumnDef& cv = table.columns[1];
    EXPECT_EQ(cv.type, FieldType::kLong);
    EXPECT_TRUE(cv.isVirtual);
    EXPECT_FALSE(cv.isStoredGenerated);
    EXPECT_EQ(test::U8(cv.generationExpression), "(`a` + 1)");
    const CColumnDef& cp = table.columns[2];
    EXPECT_EQ(cp.type, FieldType::kVarchar);
    EXPECT_FALSE(cp.isVirtual);
    EXPECT_TRUE(cp.isStoredGenerated);
    EXPECT_EQ(test::U8(cp.generationExpression), "concat(`a`,'x')");
    EXPECT_EQ(TypeText(cp), "VARCHAR(20)");
    const CColumnDef& ce = table.columns[3];
    EXPECT_EQ(ce.type, FieldType::kEnum);
    EXPECT_EQ(TypeText(ce), "ENUM('x','y')");
    EXPECT_EQ(test::U8(ce.generationExpression), "'y'");
}

TEST_F(FrmLegacyTest, Code245IsJsonInMySql57AndUnknownWhenTheVirtualEntryIsMissing) {
    FrmBuilder b;
    b.version = 10;
    b.serverVersion = 50722;
    b.columns = {{.name = "j", .type = 245, .length = 4, .charset = 63, .storedBytes = 12}};
    ASSERT_TRUE(Read(b.Build()));
    ASSERT_EQ(table.columns.size(), 1u);
    EXPECT_EQ(table.columns[0].type, FieldType::kJson);
    EXPECT_FALSE(table.columns[0].isVirtual);

    // A MariaDB 10.1 marker whose entry runs past the section: no type is
    // guessed, and the reader says why.
    b.serverVersion = 100130;
    b.columns[0].valueList = 9;
    b.expressions = OldVirtualEntry(FieldType::kLong, false, "1");
    ASSERT_TRUE(Read(b.Build()));
    ASSERT_EQ(table.columns.size(), 1u);
    EXPECT_EQ(table.columns[0].type, kUnknownFieldType);
    EXPECT_TRUE(table.columns[0].isVirtual);
    EXPECT_EQ(TypeText(table.columns[0]), "UNKNOWN DATATYPE");
    EXPECT_EQ(Reasons(),
              std::vector<std::string>{"virtual column information does not fit its section"});

    // MariaDB 10.2 and later keep 245 for nothing in their own layout 11.
    EXPECT_FALSE(IsOldVirtualColumn(245, 11, 100300));
    EXPECT_TRUE(IsOldVirtualColumn(245, 10, 50250));
}

// An entry of the section after the comments as MySQL 5.7 writes it for a
// generated column: 1, the expression's length, flags, the expression.
std::vector<uint8_t> MySql57Entry(bool stored, const std::string& expression) {
    std::vector<uint8_t> e = {1, static_cast<uint8_t>(expression.size()),
                              static_cast<uint8_t>(expression.size() >> 8),
                              static_cast<uint8_t>(stored ? 1 : 0)};
    e.insert(e.end(), expression.begin(), expression.end());
    return e;
}

// MySQL 5.7 keeps a generated column's real type and marks it in the unireg
// byte; its expression is in the section after the comments, in column
// order. A virtual one is out of the stored record, a stored one in it.
TEST_F(FrmLegacyTest, MySql57GeneratedColumnsAreMarkedInTheUniregByte) {
    constexpr uint8_t kGenerated = 0x80;
    const std::vector<uint8_t> v = MySql57Entry(false, "(`a` + 1)");
    const std::vector<uint8_t> p = MySql57Entry(true, "concat(`a`,'x')");
    FrmBuilder b;
    b.version = 10;
    b.serverVersion = 50744;
    b.columns = {{.name = "a", .type = 3, .length = 11},
                 {.name = "v",
                  .type = 3,
                  .length = 11,
                  .packFlags = kNullable,
                  .recordPos = 100,
                  .unireg = kGenerated},
                 {.name = "p",
                  .type = 15,
                  .length = 20,
                  .packFlags = kNullable,
                  .storedBytes = 21,
                  .unireg = kGenerated},
                 {.name = "j", .type = 245, .length = 4, .charset = 63, .storedBytes = 12}};
    b.expressions = v;
    b.expressions.insert(b.expressions.end(), p.begin(), p.end());
    ASSERT_TRUE(Read(b.Build()));
    EXPECT_TRUE(Reasons().empty());
    ASSERT_EQ(table.columns.size(), 4u);
    EXPECT_FALSE(table.columns[0].isVirtual || table.columns[0].isStoredGenerated);
    const CColumnDef& cv = table.columns[1];
    EXPECT_EQ(cv.type, FieldType::kLong);
    EXPECT_TRUE(cv.isVirtual);
    EXPECT_FALSE(cv.isStoredGenerated);
    EXPECT_EQ(cv.uniregType, 0);
    EXPECT_EQ(test::U8(cv.generationExpression), "(`a` + 1)");
    const CColumnDef& cp = table.columns[2];
    EXPECT_FALSE(cp.isVirtual);
    EXPECT_TRUE(cp.isStoredGenerated);
    EXPECT_EQ(test::U8(cp.generationExpression), "concat(`a`,'x')");
    EXPECT_EQ(TypeText(cp), "VARCHAR(20)");
    // 245 stays JSON in MySQL 5.7 beside generated columns.
    EXPECT_EQ(table.columns[3].type, FieldType::kJson);
    EXPECT_FALSE(table.columns[3].isVirtual);

    // The second entry runs past the section: the first is still read, the
    // second column is taken as virtual without an expression, and the
    // reader says why.
    b.expressions.resize(v.size() + 6);
    ASSERT_TRUE(Read(b.Build()));
    EXPECT_EQ(test::U8(table.columns[1].generationExpression), "(`a` + 1)");
    EXPECT_TRUE(table.columns[2].isVirtual);
    EXPECT_TRUE(table.columns[2].generationExpression.empty());
    EXPECT_EQ(Reasons(),
              std::vector<std::string>{"generated column information does not fit its section"});

    // The same flag from MariaDB, whose layouts say generated columns
    // otherwise, marks nothing.
    EXPECT_FALSE(IsMySql57GeneratedColumn(kGenerated, 10, 100144));
    EXPECT_FALSE(IsMySql57GeneratedColumn(kGenerated, 10, 50650));
    EXPECT_TRUE(IsMySql57GeneratedColumn(kGenerated | 15, 10, 50700));
}

}  // namespace
}  // namespace brix
