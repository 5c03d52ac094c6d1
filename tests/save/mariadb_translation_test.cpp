// Definitions of MySQL 8.0 and later written for MariaDB 10.11: collations it
// lacks, session modes it does not know, and the tables of the MySQL fixture
// whose statements must change (functional keys, invisible columns, SRIDs).

#include "save/mariadb_translation.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/text.h"
#include "save/create_table.h"
#include "sdi/sdi_table.h"
#include "sdi/sdi_table_file.h"
#include "support/test_support.h"

namespace brix {
namespace {

TEST(MariaDbTranslationTest, CollationsMariaDbLacksBecomeTheNearestItHas) {
    struct Case {
        std::u16string_view charset;
        std::u16string_view collation;
        std::string want;  // "charset collation", or empty for none
    };
    const Case cases[] = {
        {u"utf8mb4", u"utf8mb4_0900_ai_ci", "utf8mb4 utf8mb4_uca1400_nopad_ai_ci"},
        {u"utf8mb4", u"utf8mb4_0900_as_ci", "utf8mb4 utf8mb4_uca1400_nopad_as_ci"},
        {u"utf8mb4", u"utf8mb4_0900_as_cs", "utf8mb4 utf8mb4_uca1400_nopad_as_cs"},
        {u"utf8mb4", u"utf8mb4_0900_bin", "utf8mb4 utf8mb4_nopad_bin"},
        // Languages with rules of MariaDB's own, one under another name, and
        // the kana-sensitive Japanese one without a match.
        {u"utf8mb4", u"utf8mb4_de_pb_0900_ai_ci", "utf8mb4 utf8mb4_uca1400_german2_nopad_ai_ci"},
        {u"utf8mb4", u"utf8mb4_es_trad_0900_as_cs", "utf8mb4 utf8mb4_uca1400_spanish2_nopad_as_cs"},
        {u"utf8mb4", u"utf8mb4_sv_0900_ai_ci", "utf8mb4 utf8mb4_uca1400_swedish_nopad_ai_ci"},
        {u"utf8mb4", u"utf8mb4_ja_0900_as_cs", "utf8mb4 utf8mb4_uca1400_nopad_as_cs"},
        {u"utf8mb4", u"utf8mb4_ja_0900_as_cs_ks", "utf8mb4 utf8mb4_uca1400_nopad_as_cs"},
        {u"utf8mb4", u"utf8mb4_ru_0900_ai_ci", "utf8mb4 utf8mb4_uca1400_nopad_ai_ci"},
        {u"gb18030", u"gb18030_chinese_ci", "utf8mb4 utf8mb4_unicode_520_ci"},
        {u"gb18030", u"gb18030_bin", "utf8mb4 utf8mb4_bin"},
        {u"utf8mb3", u"utf8mb3_tolower_ci", "utf8mb3 utf8mb3_general_ci"},
        // What MariaDB has, and names the list does not know, stay as they are.
        {u"utf8mb4", u"utf8mb4_general_ci", ""},
        {u"utf8mb4", u"utf8mb4_unicode_520_ci", ""},
        {u"utf8mb4", u"utf8mb4_xx_0900_ai_ci", ""},
        {u"utf8mb4", u"utf8mb4_0900_xx", ""},
        {u"utf8mb4", u"utf8mb40900_ai_ci", ""},
        {u"latin1", u"latin1_german2_ci", ""},
    };
    for (const Case& c : cases) {
        const std::optional<CCollationName> got = MariaDbCollation(c.charset, c.collation);
        const std::string text = got ? test::U8(got->charset + u" " + got->collation) : "";
        EXPECT_EQ(text, c.want) << test::U8(std::u16string(c.collation));
    }
}

TEST(MariaDbTranslationTest, SessionModesMySqlAloneHasAreLeftOut) {
    std::u16string leftOut;
    EXPECT_EQ(MariaDbSqlMode(u"STRICT_TRANS_TABLES,TIME_TRUNCATE_FRACTIONAL,NO_ZERO_DATE", leftOut),
              u"STRICT_TRANS_TABLES,NO_ZERO_DATE");
    EXPECT_EQ(leftOut, u"TIME_TRUNCATE_FRACTIONAL");
    EXPECT_EQ(MariaDbSqlMode(u"", leftOut), u"");
    EXPECT_EQ(leftOut, u"");
    EXPECT_EQ(MariaDbSqlMode(u"TIME_TRUNCATE_FRACTIONAL", leftOut), u"");
    EXPECT_EQ(leftOut, u"TIME_TRUNCATE_FRACTIONAL");
}

// The statement and the notes a save writes for a table of the MySQL 9
// fixture.
struct Adapted {
    std::string statement;
    std::vector<std::string> notes;
};

Adapted AdaptFixtureTable(const std::string& database, const std::string& name) {
    const std::filesystem::path folder =
        test::SourceDir() / "tests" / "fixtures" / "mysql9" / "datadir" / database;
    CTableDef table;
    SdiTableInfo info;
    std::filesystem::path source;
    EXPECT_TRUE(ReadTableDefinitionFromSdi(folder, Utf8ToUtf16(name), test::TestApp(), table, info,
                                           &source))
        << name;
    std::vector<std::u16string> defaults = DictionaryDefaultClauses(table);
    Adapted adapted;
    for (const std::u16string& note :
         AdaptDefinitionForMariaDb(table, defaults, test::TestApp().collations))
        adapted.notes.push_back(test::U8(note));
    adapted.statement = test::U8(
        CreateTableStatement(table, Utf8ToUtf16(name), test::TestApp().collations, &defaults));
    return adapted;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool AnyHas(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& line : lines)
        if (Has(line, part)) return true;
    return false;
}

TEST(MariaDbTranslationTest, MySqlFixtureTablesAreWrittenInTermsMariaDbTakes) {
    const Adapted collations = AdaptFixtureTable("types", "collations");
    EXPECT_FALSE(Has(collations.statement, "_0900_")) << collations.statement;
    EXPECT_FALSE(Has(collations.statement, "gb18030")) << collations.statement;
    EXPECT_TRUE(Has(collations.statement,
                    "`as_cs` VARCHAR(20) CHARACTER SET utf8mb4 COLLATE "
                    "utf8mb4_uca1400_nopad_as_cs"))
        << collations.statement;
    EXPECT_TRUE(Has(collations.statement,
                    "DEFAULT CHARSET=utf8mb4 COLLATE="
                    "utf8mb4_uca1400_nopad_as_ci"))
        << collations.statement;
    // One note for the table's default and one for each column it changes:
    // ai_ci, as_cs, bin0900, ja, de and gb.
    EXPECT_EQ(collations.notes.size(), 7u);
    EXPECT_TRUE(AnyHas(collations.notes,
                       "column gb: collation gb18030_chinese_ci is written as "
                       "utf8mb4_unicode_520_ci (character set gb18030 as "
                       "utf8mb4)"));

    // The key on an expression goes; the invisible column stays invisible.
    const Adapted derived = AdaptFixtureTable("types", "derived");
    EXPECT_FALSE(Has(derived.statement, "k_expr")) << derived.statement;
    EXPECT_TRUE(Has(derived.statement, "KEY `k_total`")) << derived.statement;
    // The dictionary keeps the expression escaped as a string's text; the
    // statement has it as written, or the column would lose its expression.
    EXPECT_TRUE(
        Has(derived.statement, "GENERATED ALWAYS AS (concat(_utf8mb4'item-',`id`)) VIRTUAL"))
        << derived.statement;
    EXPECT_TRUE(Has(derived.statement,
                    "`secret` VARCHAR(20) CHARACTER SET utf8mb4 COLLATE "
                    "utf8mb4_uca1400_nopad_ai_ci NULL DEFAULT 'hidden' INVISIBLE"))
        << derived.statement;
    EXPECT_TRUE(AnyHas(derived.notes, "key k_expr indexes an expression"));

    const Adapted shapes = AdaptFixtureTable("types", "shapes");
    EXPECT_TRUE(Has(shapes.statement, "`p4326` POINT REF_SYSTEM_ID=4326 NOT NULL,"))
        << shapes.statement;
    EXPECT_FALSE(Has(shapes.statement, "`p` POINT REF_SYSTEM_ID")) << shapes.statement;
    EXPECT_TRUE(AnyHas(shapes.notes, "column p4326: its SRID 4326 is kept as REF_SYSTEM_ID"));

    const Adapted gipk = AdaptFixtureTable("types", "gipk");
    EXPECT_TRUE(Has(gipk.statement,
                    "`my_row_id` BIGINT(20) UNSIGNED NOT NULL AUTO_INCREMENT "
                    "INVISIBLE"))
        << gipk.statement;

    // Defaults come from the dictionary's text: a value, NULL, or none for a
    // NOT NULL column without one.
    const Adapted choices = AdaptFixtureTable("types", "choices");
    EXPECT_TRUE(Has(choices.statement,
                    "'b') CHARACTER SET utf8mb4 COLLATE "
                    "utf8mb4_uca1400_nopad_ai_ci NOT NULL DEFAULT 'b',"))
        << choices.statement;
    EXPECT_TRUE(Has(choices.statement, "`id` INT(11) NOT NULL,")) << choices.statement;
    EXPECT_TRUE(Has(derived.statement, "NULL DEFAULT 'hidden' INVISIBLE")) << derived.statement;
    const Adapted numbers = AdaptFixtureTable("types", "numbers");
    EXPECT_TRUE(Has(numbers.statement, "`ti` TINYINT(4) NULL DEFAULT NULL,")) << numbers.statement;

    const Adapted documents = AdaptFixtureTable("types", "documents");
    EXPECT_TRUE(AnyHas(documents.notes, "column doc: JSON is MariaDB's JSON"));
}

// Version comments MySQL skipped become plain comments: numbers of MySQL
// 8.0 and up and six-digit ones; older ones, which MariaDB also runs, stay,
// and nothing inside quoted text or another comment changes. A "*/" in the
// old comment's literal is broken up so the new comment ends where the old
// one did.
TEST(MariaDbTranslationTest, VersionCommentsMySqlSkippedBecomePlainComments) {
    const struct {
        const char16_t* in;
        bool noBackslashEscapes;
        const char16_t* out;
        size_t changed;
    } cases[] = {
        {u"BEGIN /*!80016 SET @a = 1; */ END", false, u"BEGIN /* !80016 SET @a = 1; */ END", 1},
        {u"BEGIN /*!90100 SET @a = 1; */ END", false, u"BEGIN /* !90100 SET @a = 1; */ END", 1},
        {u"/*!100500 X */ /*!80000Y*/", false, u"/* !100500 X */ /* !80000Y*/", 2},
        {u"BEGIN /*!50003 SET @a = 1; */ END", false, u"BEGIN /*!50003 SET @a = 1; */ END", 0},
        {u"/*!79999 a */ /*! b */ /*!8001 c */", false, u"/*!79999 a */ /*! b */ /*!8001 c */", 0},
        {u"SET @s = '/*!80016 x */'", false, u"SET @s = '/*!80016 x */'", 0},
        {u"SET @s = 'it\\'s /*!80016 x */'", false, u"SET @s = 'it\\'s /*!80016 x */'", 0},
        {u"SET @s = 'a\\' /*!80016 x */ '", true, u"SET @s = 'a\\' /* !80016 x */ '", 1},
        {u"SET @s = \"/*!80016\", `/*!80016` = 1", false, u"SET @s = \"/*!80016\", `/*!80016` = 1",
         0},
        {u"/* /*!80016 x */ y", false, u"/* /*!80016 x */ y", 0},
        {u"-- /*!80016 x */\nSET @a = 1", false, u"-- /*!80016 x */\nSET @a = 1", 0},
        {u"# /*!80016 x */\n/*!80016 y */", false, u"# /*!80016 x */\n/* !80016 y */", 1},
        {u"/*!80016 SET @s = '*/'; */ z", false, u"/* !80016 SET @s = '* /'; */ z", 1},
        {u"/*!80016 never closed", false, u"/* !80016 never closed*/", 1},
        {u"x = 'never closed /*!80016", false, u"x = 'never closed /*!80016", 0},
    };
    for (const auto& c : cases) {
        std::u16string text = c.in;
        SCOPED_TRACE(Utf16ToUtf8(text));
        EXPECT_EQ(DisarmMySqlVersionComments(text, c.noBackslashEscapes), c.changed);
        EXPECT_EQ(Utf16ToUtf8(text), Utf16ToUtf8(c.out));
    }
}

// The dictionary keeps a DEFAULT expression as SQL text, the way SHOW CREATE
// TABLE prints it, but a generation expression escaped once more as a
// string's text: read from the real files, each column's expression is the
// one the server's statement shows, quotes and backslashes included.
TEST(MariaDbTranslationTest, DefaultAndGenerationExpressionsReadAsTheServerShowsThem) {
    const std::filesystem::path root = test::SourceDir() / "tests/fixtures/mysql9-extra";
    CTableDef table;
    SdiTableInfo info;
    std::filesystem::path source;
    ASSERT_TRUE(ReadTableDefinitionFromSdi(root / "datadir/mydefs", u"exprs", test::TestApp(),
                                           table, info, &source));
    const std::string create = test::ReadFileText(root / "expected/mydefs/exprs.create.sql");
    const struct {
        const char* column;
        const char* shownAs;  // the text around the expression in the statement
        bool generated;
    } cases[] = {
        {"q", "DEFAULT (%)", false},
        {"j", "DEFAULT (%)", false},
        {"u", "DEFAULT (%)", false},
        // Its own parentheses, which the dictionary keeps as part of the
        // text, are taken off with the ones it adds.
        {"d", "DEFAULT ((%))", false},
        {"g", "GENERATED ALWAYS AS (%) VIRTUAL", true},
        {"s", "GENERATED ALWAYS AS (%) STORED", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.column);
        const auto column =
            std::find_if(table.columns.begin(), table.columns.end(),
                         [&](const CColumnDef& d) { return d.name == Utf8ToUtf16(c.column); });
        ASSERT_NE(column, table.columns.end());
        const std::string expression =
            test::U8(c.generated ? column->generationExpression : column->defaultExpression);
        ASSERT_FALSE(expression.empty());
        std::string shown = c.shownAs;
        shown.replace(shown.find('%'), 1, expression);
        EXPECT_TRUE(Has(create, shown)) << shown;
    }
}

}  // namespace
}  // namespace brix
