// Saving a table's deleted rows apart, into TABLE__deleted: the table's
// definition (no key a recovered row could violate) and the save run's
// script, log and counts, on tables a real server wrote.

#include "save/deleted_table.h"

#include <gtest/gtest.h>

#include "app/text.h"
#include "browse/table_rows.h"
#include "save/create_table.h"
#include "save/save_run.h"
#include "schema/frm_reader.h"
#include "support/browse_session.h"
#include "support/test_support.h"

namespace brix {
namespace {

const std::filesystem::path kDeletedData =
    test::SourceDir() / "tests" / "fixtures" / "deleted" / "datadir";
const char* const kTables[] = {"inno_kept",  "inno_purged",     "my_fixed",
                               "my_dynamic", "my_dynamic_lead", "my_grown"};

CTableDef FixtureTable(const std::string& name) {
    CTableDef table;
    EXPECT_TRUE(ReadTableDefinition(table, kDeletedData / "recover" / (name + ".frm"),
                                    test::TestApp(), nullptr));
    return table;
}

// Every deleted row the table's files hold, read window by window.
size_t DeletedRowCount(const std::string& table) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CReadOptions options;
    options.deleted = true;
    CTableRows rows;
    EXPECT_EQ(rows.Open(kDeletedData / "recover", Utf8ToUtf16(table), *app, options),
              OpenRowsResult::kOk);
    size_t count = 0;
    size_t windows = 0;
    do {
        count += rows.rows().rowCount();
    } while (rows.ReadNextWindow(*app) && ++windows < 100000);
    return count;
}

CKeyDef Key(std::u16string name, int32_t flags, uint16_t column) {
    CKeyDef key;
    key.name = std::move(name);
    key.flags = flags;
    key.partCount = 1;
    CKeyPartDef part;
    part.fieldNumber = column;
    key.parts.push_back(part);
    return key;
}

TEST(DeletedTableTest, KeepsOnlyKeysThatRecoveredRowsCannotViolate) {
    CTableDef table = FixtureTable("inno_kept");
    ASSERT_EQ(table.columns.size(), 8u);
    table.columns[0].uniregType = CColumnDef::kAutoIncrement;
    table.keys.clear();
    table.keys.push_back(Key(u"PRIMARY", CKeyDef::kUnique, 1));
    table.keys.push_back(Key(u"by_name", CKeyDef::kUnique, 2));
    table.keys.push_back(Key(u"by_price", 0, 3));
    table.keys.push_back(Key(u"by_born", CKeyDef::kSpatial, 4));
    table.keys.push_back(Key(u"words", CKeyDef::kFulltext, 2));
    table.partitioning = u" PARTITION BY HASH (id) PARTITIONS 2";
    table.foreignKeys.push_back(CForeignKeyDef{u"fk", {u"id"}, {}, u"other", {u"id"}});
    table.checks.push_back(CCheckDef{u"positive", u"`id` > 0", -1});
    table.nextAutoIncrement = 51;

    const CTableDef deleted = DeletedRowsTableDef(table);
    std::vector<std::string> keys;
    for (const CKeyDef& key : deleted.keys) keys.push_back(test::U8(key.name));
    EXPECT_EQ(keys, (std::vector<std::string>{"by_price", "words"}));
    ASSERT_EQ(deleted.columns.size(), table.columns.size() + 2);
    for (const CColumnDef& column : deleted.columns) {
        EXPECT_TRUE(column.nullable) << test::U8(column.name);
        EXPECT_EQ(column.uniregType, 0) << test::U8(column.name);
    }
    EXPECT_EQ(deleted.columns[8].name, kDeletedSourceColumn);
    EXPECT_EQ(deleted.columns[9].name, kDeletedUnknownColumn);
    EXPECT_TRUE(deleted.partitioning.empty());

    const std::string statement = test::U8(
        DeletedRowsTableStatement(table, u"inno_kept__deleted", test::TestApp().collations));
    EXPECT_EQ(statement.rfind("CREATE TABLE `inno_kept__deleted` (\n  `id` INT(11) NULL,", 0), 0u)
        << statement;
    for (const char* absent : {"PRIMARY KEY", "UNIQUE", "SPATIAL", "AUTO_INCREMENT", "NOT NULL",
                               "NULL DEFAULT", "PARTITION", "FOREIGN KEY", "CHECK"})
        EXPECT_EQ(statement.find(absent), std::string::npos) << absent << " in\n" << statement;
    for (const char* present :
         {"`_source` VARCHAR(32) CHARACTER SET ascii", "`_unknown` TEXT CHARACTER SET utf8mb4",
          "KEY `by_price` (`price`)", "FULLTEXT KEY `words` (`name`)", "ENGINE=InnoDB"})
        EXPECT_NE(statement.find(present), std::string::npos) << present << " not in\n"
                                                              << statement;
}

TEST(DeletedTableTest, TellsColumnsThatClashWithTheAddedOnes) {
    struct Case {
        std::u16string name;
        bool clash;
    };
    const Case cases[] = {
        {u"_source", true}, {u"_UNKNOWN", true},   {u"_Source", true},
        {u"source", false}, {u"_unknown_", false},
    };
    for (const Case& c : cases) {
        CTableDef table = FixtureTable("my_fixed");
        table.columns[1].name = c.name;
        EXPECT_EQ(HasDeletedRowsColumnName(table), c.clash) << test::U8(c.name);
    }
    EXPECT_FALSE(HasDeletedRowsColumnName(FixtureTable("my_fixed")));
}

TEST(DeletedTableTest, AScriptSaveKeepsEachTablesDeletedRowsInATableOfTheirOwn) {
    test::TempDir dir;
    test::BrowseSession session(kDeletedData);
    ASSERT_TRUE(session.Scan());
    std::vector<std::u16string> missing;
    const auto objects =
        SelectSaveObjects(SaveObjectsOfCatalogue(session.frame.catalogue), {u"recover"}, missing);
    ASSERT_EQ(objects.size(), 6u);
    CSaveSettings settings;
    settings.destination = SaveDestination::kScript;

    // Without the option nothing but the tables.
    settings.scriptFolder = dir.path() / "plain";
    CSaveResult result = RunSave(objects, settings, session.app, nullptr, session.ui);
    EXPECT_EQ(result.saved, 6u);
    EXPECT_EQ(test::ReadFileText(dir.path() / "plain" / "recover.sql").find("__deleted"),
              std::string::npos);

    session.ui.ResetLogList();
    settings.scriptFolder = dir.path() / "deleted";
    settings.deletedRows = true;
    result = RunSave(objects, settings, session.app, nullptr, session.ui);
    const std::string script = test::ReadFileText(dir.path() / "deleted" / "recover.sql");
    std::vector<std::string> log;
    for (const std::u16string& row : session.ui.logRows()) log.push_back(test::U8(row));
    auto logged = [&](const std::string& line) {
        return std::find(log.begin(), log.end(), line) != log.end();
    };
    size_t withRows = 0;
    for (const char* table : kTables) {
        const std::string name = table;
        const size_t count = DeletedRowCount(name);
        const std::string saved = "recover." + name + "__deleted";
        if (count == 0) {
            EXPECT_TRUE(logged("No deleted rows found in recover." + name)) << name;
            EXPECT_EQ(script.find("`" + name + "__deleted`"), std::string::npos) << name;
            continue;
        }
        ++withRows;
        EXPECT_TRUE(logged("Saving table " + saved)) << name;
        EXPECT_TRUE(logged(std::to_string(count) + " rows written to " + saved)) << name;
        // Right after the table itself, never mixed into it.
        const size_t live = script.find("CREATE TABLE `" + name + "` (");
        const size_t apart = script.find("CREATE TABLE `" + name + "__deleted` (");
        ASSERT_NE(live, std::string::npos) << name;
        ASSERT_NE(apart, std::string::npos) << name;
        EXPECT_LT(live, apart) << name;
        const size_t insert = script.find("INSERT INTO `" + name + "__deleted` (", apart);
        ASSERT_NE(insert, std::string::npos) << name;
        const size_t valuesAt = script.find(") VALUES ", insert);
        EXPECT_NE(script.substr(insert, valuesAt - insert).find(",`_source`,`_unknown`"),
                  std::string::npos)
            << name;
        const std::string source = name == "my_fixed"        ? "'deleted-slot'"
                                   : name.starts_with("my_") ? "'deleted-block'"
                                                             : "'delete-marked'";
        EXPECT_NE(script.find(source, valuesAt), std::string::npos) << name;
    }
    EXPECT_GE(withRows, 3u);
    EXPECT_EQ(result.saved, 6u + withRows);
    EXPECT_EQ(result.failed, 0u);
    EXPECT_EQ(test::U8(SaveEndMessage(result)),
              "Saving is finished: " + std::to_string(6 + withRows) + " objects saved, 0 failed.");
}

}  // namespace
}  // namespace brix
