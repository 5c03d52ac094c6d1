// The parts of a definition that a save carries beyond columns and keys:
// foreign keys from the InnoDB dictionary, CHECK constraints from the .frm,
// the next AUTO_INCREMENT value from the engines' files, and the row format
// a strict server takes. Pinned by what the server that wrote the fixture
// said in SHOW CREATE TABLE.

#include "save/saved_definition.h"

#include <gtest/gtest.h>

#include <regex>

#include "app/text.h"
#include "innodb/dictionary.h"
#include "innodb/dictionary_foreign.h"
#include "innodb/root_auto_increment.h"
#include "innodb/tablespace.h"
#include "myisam/myisam_auto_increment.h"
#include "save/create_table.h"
#include "schema/frm_reader.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

fs::path DefsDir() {
    return test::SourceDir() / "tests/fixtures/mariadb-defs";
}

const char* const kDefsTables[] = {
    "checked",          "checked_my", "child",     "counter_inno", "counter_my", "counter_start",
    "counter_start_my", "node",       "pair_head", "pair_line",    "parent",     "wide"};

// The lines of a CREATE TABLE text that state constraints (CHECK or
// FOREIGN KEY, on a column or the table), each without its trailing comma
// and, for a column, only from its CHECK on.
std::vector<std::string> ConstraintLines(const std::string& statement) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < statement.size()) {
        size_t end = statement.find('\n', at);
        if (end == std::string::npos) end = statement.size();
        std::string line = statement.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == ',') line.pop_back();
        if (line.rfind("  CONSTRAINT ", 0) == 0) {
            lines.push_back(line.substr(2));
        } else if (const size_t check = line.find(" CHECK ("); check != std::string::npos) {
            lines.push_back(line.substr(0, line.find(' ', 3)) + line.substr(check));
        }
    }
    return lines;
}

// The next value SHOW CREATE TABLE names, 0 for none.
uint64_t ShownAutoIncrement(const std::string& statement) {
    std::smatch match;
    if (!std::regex_search(statement, match, std::regex(" AUTO_INCREMENT=(\\d+)"))) return 0;
    return std::stoull(match[1]);
}

class SavedDefinitionTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dictionary_.Open(DefsDir() / "datadir/ibdata1", test::TestApp()));
        keys_ = ReadInnoForeignKeys(dictionary_);
    }

    CTableDef Saved(const std::string& name, std::vector<std::u16string>& notes) {
        CTableDef table;
        EXPECT_TRUE(ReadTableDefinition(table, DefsDir() / "datadir/defs" / (name + ".frm"),
                                        test::TestApp()));
        return SavedDefinition(table, DefsDir() / "datadir/defs", Utf8ToUtf16(name), &dictionary_,
                               keys_, notes);
    }

    CInnoDictionary dictionary_;
    std::vector<CInnoForeignKey> keys_;
};

TEST_F(SavedDefinitionTest, ConstraintsAndCountersAreThoseTheServerShowed) {
    for (const char* name : kDefsTables) {
        SCOPED_TRACE(name);
        std::vector<std::u16string> notes;
        const CTableDef saved = Saved(name, notes);
        const std::string expected =
            test::ReadFileText(DefsDir() / "expected/defs" / (std::string(name) + ".create.sql"));
        const std::string statement =
            test::U8(CreateTableStatement(saved, Utf8ToUtf16(name), test::TestApp().collations));
        EXPECT_EQ(ConstraintLines(statement), ConstraintLines(expected)) << statement;
        EXPECT_EQ(saved.nextAutoIncrement, ShownAutoIncrement(expected));
        EXPECT_TRUE(DefinitionPartsLeftOut(saved).empty());
    }
}

TEST_F(SavedDefinitionTest, ForeignKeysKeepTheirActionsColumnsAndDatabase) {
    std::vector<std::u16string> notes;
    const CTableDef parent = Saved("parent", notes);
    ASSERT_EQ(parent.foreignKeys.size(), 1u);
    const CForeignKeyDef& region = parent.foreignKeys[0];
    EXPECT_EQ(region.name, u"fk_parent_region");
    EXPECT_EQ(region.referencedDatabase, u"defs_other");
    EXPECT_EQ(region.referencedTable, u"region");
    EXPECT_EQ(region.onDelete, ForeignKeyAction::kRestrict);
    EXPECT_EQ(region.onUpdate, ForeignKeyAction::kCascade);
    // Every referenced table is in the data directory: nothing to say.
    EXPECT_TRUE(notes.empty());

    const CTableDef child = Saved("child", notes);
    ASSERT_EQ(child.foreignKeys.size(), 2u);
    EXPECT_EQ(child.foreignKeys[0].onDelete, ForeignKeyAction::kSetNull);
    EXPECT_EQ(child.foreignKeys[0].onUpdate, ForeignKeyAction::kSetNull);
    EXPECT_EQ(child.foreignKeys[1].onDelete, ForeignKeyAction::kCascade);
    EXPECT_TRUE(child.foreignKeys[1].referencedDatabase.empty());
    // MyISAM tables get none, whatever the dictionary lists.
    EXPECT_TRUE(Saved("checked_my", notes).foreignKeys.empty());
}

TEST_F(SavedDefinitionTest, AKeyToATableTheDictionaryLacksIsKeptAndSaid) {
    std::vector<CInnoForeignKey> keys = keys_;
    for (CInnoForeignKey& key : keys)
        if (key.forName == u"defs/parent") key.refName = u"gone/region";
    // A key whose columns the dictionary lists only in part is left out.
    for (CInnoForeignKey& key : keys)
        if (key.forName == u"defs/pair_line") key.forColumns.pop_back();
    std::vector<std::u16string> notes;
    CTableDef table;
    ASSERT_TRUE(ReadTableDefinition(table, DefsDir() / "datadir/defs/parent.frm", test::TestApp()));
    const CTableDef parent =
        SavedDefinition(table, DefsDir() / "datadir/defs", u"parent", &dictionary_, keys, notes);
    ASSERT_EQ(parent.foreignKeys.size(), 1u);
    EXPECT_EQ(parent.foreignKeys[0].referencedDatabase, u"gone");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(test::U8(notes[0]).find("gone.region, which this data directory does not hold"),
              std::string::npos);

    notes.clear();
    ASSERT_TRUE(
        ReadTableDefinition(table, DefsDir() / "datadir/defs/pair_line.frm", test::TestApp()));
    const CTableDef line =
        SavedDefinition(table, DefsDir() / "datadir/defs", u"pair_line", &dictionary_, keys, notes);
    EXPECT_TRUE(line.foreignKeys.empty());
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(test::U8(notes[0]),
              "foreign key pair_line_ibfk_1: the dictionary does not list all of its columns; "
              "it is left out");
}

TEST_F(SavedDefinitionTest, ConstraintsThatCannotBeWrittenSafelyAreLeftOutAndNamed) {
    std::vector<std::u16string> notes;
    CTableDef table = Saved("checked", notes);
    table.checks[1].expression = u"1); DROP TABLE t; SELECT (1";
    table.foreignKeys.push_back({u"fk_x", {u"nope"}, {}, u"t", {u"id"}, {}, {}});
    table.foreignKeys.push_back({u"fk_y", {u"lo", u"hi"}, {}, u"t", {u"id"}, {}, {}});
    table.foreignKeys.push_back({std::u16string(u"fk\0z", 4), {u"lo"}, {}, u"t", {u"id"}, {}, {}});
    const std::vector<std::u16string> leftOut = DefinitionPartsLeftOut(table);
    ASSERT_EQ(leftOut.size(), 4u);
    EXPECT_EQ(test::U8(leftOut[0]),
              "CHECK constraint price_positive: its expression cannot be saved safely");
    EXPECT_EQ(test::U8(leftOut[1]), "foreign key fk_x: it names a column the table does not have");
    EXPECT_EQ(test::U8(leftOut[2]), "foreign key fk_y: its column lists do not match");
    const std::string statement =
        test::U8(CreateTableStatement(table, u"checked", test::TestApp().collations));
    EXPECT_EQ(statement.find("DROP"), std::string::npos);
    EXPECT_EQ(statement.find("fk_"), std::string::npos);
    EXPECT_NE(statement.find("CONSTRAINT `range_order` CHECK"), std::string::npos);
}

// The limits a server with innodb_strict_mode on (MariaDB 10.11) was seen to
// hold for tables of latin1 columns: ten columns of VARCHAR(1000) and a
// CHAR(200) are taken in COMPACT, a CHAR(205) is not; REDUNDANT takes a
// CHAR(190) and not a CHAR(195); eleven VARCHAR(1000) alone are too many.
TEST(RowSizeTest, TablesTooWideForTheirFormatOnAStrictServer) {
    constexpr int kLatin1 = 8;
    struct Case {
        uint8_t rowType;
        int varchars;
        int charLength;
        bool tooLarge;
    } const cases[] = {
        {kRowTypeCompact, 10, 200, false},   {kRowTypeCompact, 10, 205, true},
        {kRowTypeRedundant, 10, 190, false}, {kRowTypeRedundant, 10, 195, true},
        {kRowTypeCompact, 10, 0, false},     {kRowTypeCompact, 11, 0, true},
        {kRowTypeDynamic, 40, 0, false},     {0, 40, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << int{c.rowType} << " " << c.varchars << " " << c.charLength);
        CTableDef table;
        table.engineCode = EngineCode::kInnoDb;
        table.rowType = c.rowType;
        int32_t at = 1;
        auto add = [&](std::u16string name, int type, int length, int bytes, bool nullable) {
            CColumnDef column;
            column.name = std::move(name);
            column.type = type;
            column.length = length;
            column.nullable = nullable;
            column.charsetNumber = kLatin1;
            column.recordPos = at;
            at += bytes;
            table.columns.push_back(column);
        };
        add(u"id", FieldType::kLong, 11, 4, false);
        for (int i = 0; i < c.varchars; ++i)
            add(u"v" + Utf8ToUtf16(std::to_string(i)), FieldType::kVarchar, 1000, 1002, true);
        if (c.charLength > 0) add(u"f", FieldType::kString, c.charLength, c.charLength, false);
        table.recordLength = at - 1;
        CKeyDef primary;
        primary.name = u"PRIMARY";
        primary.parts.push_back({0, 4, 4, 0, 1, 0});
        table.keys.push_back(primary);
        EXPECT_EQ(RowsTooLargeForRowFormat(table), c.tooLarge);
        EXPECT_FALSE(RowsTooLargeForDynamic(table));
    }
}

TEST_F(SavedDefinitionTest, TheWideCompactTableIsSavedAsDynamicWithANote) {
    std::vector<std::u16string> notes;
    const CTableDef wide = Saved("wide", notes);
    EXPECT_EQ(wide.rowType, kRowTypeDynamic);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(test::U8(notes[0]).rfind("saved with ROW_FORMAT=DYNAMIC instead of COMPACT", 0), 0u);
    EXPECT_NE(test::U8(CreateTableStatement(wide, u"wide", test::TestApp().collations))
                  .find("ROW_FORMAT=DYNAMIC"),
              std::string::npos);
    notes.clear();
    EXPECT_EQ(Saved("checked", notes).rowType, 0);
    EXPECT_TRUE(notes.empty());
}

// Counters in damaged, short or foreign files are not taken.
TEST(AutoIncrementFilesTest, DamagedFilesGiveNoCounter) {
    const fs::path defs = DefsDir() / "datadir/defs";
    EXPECT_EQ(ReadMyisamAutoIncrement(defs / "counter_my.MYI"), std::optional<uint64_t>(7));
    EXPECT_EQ(ReadMyisamAutoIncrement(defs / "missing.MYI"), std::nullopt);
    test::TempDir dir;
    std::vector<uint8_t> index = test::ReadFileBytes(defs / "counter_my.MYI");
    test::WriteFile(dir.path() / "short.MYI", {index.begin(), index.begin() + 90});
    EXPECT_EQ(ReadMyisamAutoIncrement(dir.path() / "short.MYI"), std::nullopt);
    std::vector<uint8_t> foreign = index;
    foreign[0] = 0;
    test::WriteFile(dir.path() / "foreign.MYI", foreign);
    EXPECT_EQ(ReadMyisamAutoIncrement(dir.path() / "foreign.MYI"), std::nullopt);

    CTablespace space;
    ASSERT_TRUE(space.Open(defs / "counter_inno.ibd"));
    EXPECT_EQ(ReadRootAutoIncrement(space, 3, 0), std::optional<uint64_t>(9));
    // Another index's id, a page that is no B-tree page, a page past the end.
    EXPECT_EQ(ReadRootAutoIncrement(space, 3, 1), std::nullopt);
    EXPECT_EQ(ReadRootAutoIncrement(space, 0, 0), std::nullopt);
    EXPECT_EQ(ReadRootAutoIncrement(space, 1u << 30, 0), std::nullopt);
    std::vector<uint8_t> bytes = test::ReadFileBytes(defs / "counter_inno.ibd");
    bytes[3 * 16384 + 200] ^= 0xFF;
    test::WriteFile(dir.path() / "bad.ibd", bytes);
    CTablespace bad;
    ASSERT_TRUE(bad.Open(dir.path() / "bad.ibd"));
    EXPECT_EQ(ReadRootAutoIncrement(bad, 3, 0), std::nullopt);
}

// A system tablespace whose SYS_FOREIGN root is zeroed gives no keys and a
// finding; one whose pages are all damaged neither hangs nor crashes.
TEST(ForeignKeyDictionaryTest, DamagedDictionaryPagesGiveFindingsNotKeys) {
    CInnoDictionary dictionary;
    ASSERT_TRUE(dictionary.Open(DefsDir() / "datadir/ibdata1", test::TestApp()));
    const uint32_t root = dictionary.FindClusteredRoot(dictionary.FindTableId(u"SYS_FOREIGN"));
    ASSERT_NE(root, 0u);
    EXPECT_EQ(ReadInnoForeignKeys(dictionary).size(), 5u);
    std::vector<uint8_t> bytes = test::ReadFileBytes(DefsDir() / "datadir/ibdata1");
    std::fill(bytes.begin() + size_t{root} * 16384, bytes.begin() + size_t{root + 1} * 16384, 0);
    test::TempDir dir;
    test::WriteFile(dir.path() / "ibdata1", bytes);
    CInnoDictionary damaged;
    ASSERT_TRUE(damaged.Open(dir.path() / "ibdata1", test::TestApp()));
    CDamageReport report;
    EXPECT_TRUE(ReadInnoForeignKeys(damaged, &report).empty());
    ASSERT_GE(report.Count(), 1u);
    EXPECT_NE(report.Findings()[0].why.find("SYS_FOREIGN"), std::string::npos);
}

}  // namespace
}  // namespace brix
