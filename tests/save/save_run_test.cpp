// The save run without a server: scripts, its log and messages, the state it
// holds while it runs, and the runs it refuses.

#include "save/save_run.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/text.h"
#include "browse/table_rows.h"
#include "save/create_table.h"
#include "save/save_worker.h"
#include "save/sql_text.h"
#include "support/browse_session.h"
#include "support/test_support.h"

namespace brix {
namespace {

// A scanned fixture data directory and the recording user interface that a
// save run reports through.
struct SaveSession : test::BrowseSession {
    explicit SaveSession(const std::filesystem::path& dataDir = test::FixtureDataDir())
        : BrowseSession(dataDir) {
        EXPECT_TRUE(Scan());
        ui.ResetLogList();
    }

    std::vector<CSaveObject> Objects(const std::vector<std::u16string>& names) {
        std::vector<std::u16string> missing;
        auto objects = SelectSaveObjects(SaveObjectsOfCatalogue(frame.catalogue), names, missing);
        EXPECT_TRUE(missing.empty());
        return objects;
    }

    CSaveResult Save(const std::vector<std::u16string>& names, const CSaveSettings& settings,
                     bool withDictionary = false) {
        journalStart = ui.journal().size();
        messagesStart = ui.messages().size();
        return RunSave(Objects(names), settings, app, withDictionary ? &frame.dictionary : nullptr,
                       ui);
    }

    std::vector<std::string> Log() const {
        std::vector<std::string> lines;
        for (const std::u16string& row : ui.logRows()) lines.push_back(test::U8(row));
        return lines;
    }
    bool Logged(const std::string& line) const {
        const auto lines = Log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool LoggedSomething(const std::string& part) const {
        for (const std::string& line : Log())
            if (line.find(part) != std::string::npos) return true;
        return false;
    }
    // The progress indicator's changes during the last run.
    std::vector<std::string> Progress() const {
        std::vector<std::string> calls;
        const auto journal = ui.journal();
        for (size_t i = journalStart; i < journal.size(); ++i)
            if (journal[i].rfind("ShowProgress:", 0) == 0) calls.push_back(journal[i]);
        return calls;
    }

    // The message boxes of the last run.
    std::vector<std::string> Messages() const {
        const auto all = ui.messages();
        return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(messagesStart),
                                        all.end());
    }

    size_t journalStart = 0;
    size_t messagesStart = 0;
};

CSaveSettings Script(const std::filesystem::path& folder) {
    CSaveSettings settings;
    settings.destination = SaveDestination::kScript;
    settings.scriptFolder = folder;
    return settings;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(SaveRunTest, ScriptsLogEveryObjectAndTheRunLeavesNoSaveStateBehind) {
    test::TempDir dir;
    SaveSession session;
    CAppState& app = session.app;
    const auto folder = dir.path() / "new" / "folder";
    const CSaveResult result =
        session.Save({u"types/ints_fixed", u"keys/no_key_myisam"}, Script(folder));
    EXPECT_FALSE(result.refused);
    EXPECT_EQ(result.saved, 2u);
    EXPECT_EQ(result.failed, 0u);
    EXPECT_TRUE(session.Logged("Saving table types.ints_fixed"));
    EXPECT_TRUE(session.Logged("48 rows written to types.ints_fixed"));
    EXPECT_TRUE(session.Logged("30 rows written to keys.no_key_myisam"));
    EXPECT_EQ(session.Messages(),
              std::vector<std::string>{"Saving is finished: 2 objects saved, 0 failed."});
    EXPECT_EQ(session.Progress(),
              (std::vector<std::string>{"ShowProgress:on", "ShowProgress:off"}));
    EXPECT_EQ(app.busy, 0);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "blobdata"));

    const std::vector<std::string> script = Lines(test::ReadFileText(folder / "keys.sql"));
    ASSERT_GT(script.size(), 14u);
    // The sandbox line first, then the comment and the session statements.
    EXPECT_TRUE(script[0].starts_with("/*M!999999\\- ")) << script[0];
    const std::vector<std::string> head(script.begin() + 5, script.begin() + 15);
    EXPECT_EQ(head, (std::vector<std::string>{
                        "SET NAMES utf8mb4;", "SET TIME_ZONE='+00:00';",
                        "SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';", "SET FOREIGN_KEY_CHECKS=0;",
                        "SET UNIQUE_CHECKS=0;", "",
                        "CREATE DATABASE IF NOT EXISTS `keys` CHARACTER SET utf8mb4 COLLATE "
                        "utf8mb4_general_ci;",
                        "/* the server's USE */ USE `keys`;", "CREATE TABLE `no_key_myisam` (",
                        "  `a` INT(11) NULL DEFAULT NULL,"}));
    EXPECT_TRUE(std::filesystem::exists(folder / "types.sql"));
}

TEST(SaveRunTest, OneDatabaseSpeltTwoWaysGoesIntoOneScript) {
    test::TempDir dir;
    SaveSession session;
    std::vector<CSaveObject> objects = session.Objects({u"keys/no_key", u"keys/pk_later"});
    ASSERT_EQ(objects.size(), 2u);
    objects[1].databaseFolder = objects[1].databaseFolder / "." / "";
    objects[1].file = objects[1].databaseFolder / objects[1].file.filename();
    ASSERT_EQ(RunSave(objects, Script(dir.path()), session.app, nullptr, session.ui).saved, 2u);
    const std::string script = test::ReadFileText(dir.path() / "keys.sql");
    EXPECT_NE(script.find("CREATE TABLE `no_key`"), std::string::npos);
    EXPECT_NE(script.find("CREATE TABLE `pk_later`"), std::string::npos);
}

TEST(SaveRunTest, SymbolicLinksInTheScriptsOrBlobFoldersPlaceAreRefusedNeverFollowed) {
    test::TempDir dir;
    SaveSession session;
    const auto victim = dir.path() / "victim.txt";
    test::WriteFile(victim, {'k', 'e', 'e', 'p'});
    std::filesystem::create_directories(dir.path() / "scripts");
    std::filesystem::create_symlink(victim, dir.path() / "scripts" / "keys.sql");
    const CSaveResult result = session.Save({u"keys/no_key"}, Script(dir.path() / "scripts"));
    EXPECT_EQ(result.saved, 0u);
    EXPECT_EQ(result.failed, 1u);
    EXPECT_EQ(test::ReadFileText(victim), "keep");
    EXPECT_TRUE(session.LoggedSomething("a symbolic link is in its place"));

    std::filesystem::create_directories(dir.path() / "elsewhere");
    std::filesystem::create_directories(dir.path() / "linked");
    std::filesystem::create_directory_symlink(dir.path() / "elsewhere",
                                              dir.path() / "linked" / "blobdata");
    EXPECT_TRUE(session.Save({u"keys/no_key"}, Script(dir.path() / "linked")).refused);
    EXPECT_TRUE(session.LoggedSomething("it is a symbolic link"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "linked" / "keys.sql"));
}

TEST(SaveRunTest, RowsGoInStatementsNoLargerThanTheLimit) {
    test::TempDir dir;
    SaveSession session;
    CSaveSettings settings = Script(dir.path());
    settings.scriptStatementBytes = 8000;
    ASSERT_EQ(session.Save({u"paging/my_dyn_1000"}, settings).saved, 1u);
    size_t statements = 0;
    size_t rows = 0;
    for (const std::string& line : Lines(test::ReadFileText(dir.path() / "paging.sql"))) {
        if (line.rfind("INSERT INTO", 0) != 0) continue;
        ++statements;
        EXPECT_LE(line.size() - 1, settings.scriptStatementBytes);  // without the semicolon
        for (size_t at = line.find("),("); at != std::string::npos; at = line.find("),(", at + 1))
            ++rows;
        ++rows;
    }
    EXPECT_GT(statements, 10u);
    EXPECT_EQ(rows, 1000u);
}

// The INSERT statements of a table built the plain way, as a reference for
// the save's own statement builder: every row in UTF-16 with
// AppendValueLiteral, measured with Utf8Length, each statement converted to
// UTF-8 and ended with ";\n". Empty when the save writes no rows of it.
std::string ReferenceInserts(const CSaveObject& object, CAppState& app,
                             const CInnoDictionary* dictionary, size_t limit,
                             const std::filesystem::path& spillFolder) {
    CReadOptions options;
    options.exportMode = true;
    options.spillFolder = spillFolder;
    CTableRows rows;
    const OpenRowsResult opened =
        rows.Open(object.databaseFolder, object.FileStem(), app, options, dictionary);
    const CTableDef& table = rows.table();
    if ((opened != OpenRowsResult::kOk && opened != OpenRowsResult::kReadError) ||
        !IsWritableName(object.Name()))
        return {};
    for (const CColumnDef& column : table.columns)
        if (!IsWritableName(column.name)) return {};
    for (const CKeyDef& key : table.keys)
        if (!IsWritableName(key.name)) return {};
    const std::vector<size_t> leftOut = ColumnsWithExpressionsLeftOut(table);
    std::vector<size_t> columns;
    std::u16string prefix = u"INSERT INTO " + QuotedName(object.Name()) + u" (";
    for (size_t c = 0; c < table.columns.size(); ++c) {
        const CColumnDef& column = table.columns[c];
        const bool plainNow = column.isStoredGenerated &&
                              std::find(leftOut.begin(), leftOut.end(), c) != leftOut.end();
        if ((column.isVirtual || column.isStoredGenerated) &&
            !column.generationExpression.empty() && !plainNow)
            continue;
        if (!columns.empty()) prefix += u",";
        prefix += QuotedName(column.name);
        columns.push_back(c);
    }
    prefix += u") VALUES ";
    std::string out;
    std::u16string statement;
    size_t bytes = 0;
    size_t pending = 0;
    auto flush = [&] {
        if (pending == 0) return;
        out += Utf16ToUtf8(statement) + ";\n";
        pending = 0;
    };
    do {
        const CRowWindow& window = rows.rows();
        for (size_t r = 0; r < window.rowCount(); ++r) {
            std::u16string row = u"(";
            for (size_t i = 0; i < columns.size(); ++i) {
                const size_t c = columns[i];
                if (i > 0) row += u",";
                std::u16string text(window.Text(r, c));
                if (window.IsSpilled(r, c)) {
                    std::u16string value;
                    RenderSpilledValue(table, c, std::filesystem::path(text), app, value);
                    text = value;
                }
                AppendValueLiteral(row, table.columns[c], text, window.IsNull(r, c));
            }
            row += u")";
            const size_t rowBytes = Utf8Length(row);
            if (pending > 0 && bytes + 1 + rowBytes > limit) flush();
            if (pending == 0) {
                statement = prefix;
                bytes = Utf8Length(prefix);
            } else {
                statement += u",";
                ++bytes;
            }
            statement += row;
            bytes += rowBytes;
            ++pending;
        }
    } while (rows.ReadNextWindow(app));
    flush();
    return out;
}

// The INSERT lines of a table in a script, each with its line feed.
std::string ScriptInserts(const std::string& script, std::u16string_view table) {
    const std::string start = "INSERT INTO " + test::U8(QuotedName(table)) + " (";
    std::string out;
    for (const std::string& line : Lines(script))
        if (line.starts_with(start)) out += line + "\n";
    return out;
}

TEST(SaveRunTest, EveryInsertOfEveryFixtureTableIsTheReferenceByteForByte) {
    // Small statements put many statement ends among the rows, and rows
    // larger than a statement go alone.
    for (const size_t limit : {size_t{700}}) {
        test::TempDir dir;
        SaveSession session;
        ASSERT_TRUE(session.frame.dictionary.IsOpen());
        std::vector<CSaveObject> tables;
        for (const CSaveObject& object : SaveObjectsOfCatalogue(session.frame.catalogue))
            if (object.kind == SaveObjectKind::kTable) tables.push_back(object);
        ASSERT_GT(tables.size(), 30u);
        CSaveSettings settings = Script(dir.path() / "scripts");
        settings.scriptStatementBytes = limit;
        RunSave(tables, settings, session.app, &session.frame.dictionary, session.ui);
        std::filesystem::create_directories(dir.path() / "spill");
        size_t compared = 0;
        size_t statements = 0;
        for (const CSaveObject& table : tables) {
            const std::string expected = ReferenceInserts(
                table, session.app, &session.frame.dictionary, limit, dir.path() / "spill");
            const std::string script =
                test::ReadFileText(dir.path() / "scripts" / (table.FolderName() + u".sql"));
            EXPECT_EQ(ScriptInserts(script, table.Name()), expected)
                << test::U8(table.DatabaseName()) << "." << test::U8(table.Name());
            if (!expected.empty()) ++compared;
            statements += static_cast<size_t>(std::count(expected.begin(), expected.end(), '\n'));
        }
        EXPECT_GT(compared, 30u);
        EXPECT_GT(statements, 10 * compared);
    }
}

TEST(SaveRunTest, OffPageValuesGoFromTheTablespaceIntoTheScriptWithNoSpillFile) {
    test::TempDir dir;
    SaveSession session;
    ASSERT_TRUE(session.frame.dictionary.IsOpen());
    ASSERT_EQ(session.Save({u"types/blobs_inno"}, Script(dir.path()), true).saved, 1u);
    const std::string script = test::ReadFileText(dir.path() / "types.sql");
    std::string longText;
    for (int i = 0; i < 1300; ++i) longText += "0123456789abcdef";
    EXPECT_NE(script.find("'" + longText + "'"), std::string::npos);
    EXPECT_EQ(script.find((dir.path() / "blobdata").string()), std::string::npos)
        << "a spill file's path went into the script";
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "blobdata"));
}

TEST(SaveRunTest, APackedTableIsSavedWithItsRowsLikeAnyOther) {
    test::TempDir dir;
    SaveSession session;
    const CSaveResult result =
        session.Save({u"paging/my_packed", u"keys/no_key_myisam"}, Script(dir.path()));
    EXPECT_EQ(result.saved, 2u);
    EXPECT_EQ(result.failed, 0u);
    EXPECT_FALSE(session.LoggedSomething("Error saving table paging.my_packed: "));
    EXPECT_TRUE(session.LoggedSomething("rows written to paging.my_packed"));
    const std::string script = test::ReadFileText(dir.path() / "paging.sql");
    EXPECT_NE(script.find("CREATE TABLE `my_packed`"), std::string::npos);
    EXPECT_NE(script.find("INSERT INTO `my_packed`"), std::string::npos);
}

TEST(SaveRunTest, ATableWhoseDataFileIsMissingFailsWithItsReasonNotAsEmpty) {
    test::TempDir dir;
    const auto data = dir.path() / "data";
    std::filesystem::create_directories(data / "keys");
    for (const char* name : {"no_key_myisam.frm", "no_key_myisam.MYI", "pk_later_myisam.frm",
                             "pk_later_myisam.MYD", "pk_later_myisam.MYI"})
        std::filesystem::copy_file(test::FixtureDataDir() / "keys" / name, data / "keys" / name);
    SaveSession session(data);
    CDamageReport listener;
    CSaveSettings settings = Script(dir.path() / "scripts");
    settings.damage = &listener;
    const CSaveResult result =
        session.Save({u"keys/no_key_myisam", u"keys/pk_later_myisam"}, settings);
    EXPECT_EQ(result.saved, 1u);
    EXPECT_EQ(result.failed, 1u);
    EXPECT_EQ(result.damaged, 0u);
    EXPECT_TRUE(
        session.Logged("Error saving table keys.no_key_myisam: the table was created, but "
                       "none of its rows could be read: data file missing"));
    EXPECT_FALSE(session.LoggedSomething("rows written to keys.no_key_myisam"));
    EXPECT_TRUE(session.LoggedSomething("rows written to keys.pk_later_myisam"));
    // The finding is in the log as a damage line, right after the table's
    // first line, and told to the run's listener.
    const std::vector<std::string> log = session.Log();
    const auto saving = std::find(log.begin(), log.end(), "Saving table keys.no_key_myisam");
    ASSERT_NE(saving, log.end());
    ASSERT_NE(saving + 1, log.end());
    EXPECT_TRUE(saving[1].starts_with("Damage: ")) << saving[1];
    EXPECT_NE(saving[1].find("data file missing"), std::string::npos) << saving[1];
    ASSERT_EQ(listener.Count(), 1u);
    EXPECT_EQ(listener.Findings()[0].why, "data file missing");
    EXPECT_EQ(session.Messages(),
              std::vector<std::string>{"Saving is finished: 1 object saved, 1 failed."});
}

TEST(SaveRunTest, TheEndMessageAddsTheTablesSavedWithDamage) {
    CSaveResult result;
    result.saved = 3;
    result.failed = 1;
    EXPECT_EQ(test::U8(SaveEndMessage(result)), "Saving is finished: 3 objects saved, 1 failed.");
    result.damaged = 2;
    EXPECT_EQ(test::U8(SaveEndMessage(result)),
              "Saving is finished: 3 objects saved, 1 failed. 2 tables were saved with damage; "
              "see the log.");
}

TEST(SaveRunTest, ViewsAndTriggersGoIntoTheScriptAfterTheTables) {
    test::TempDir dir;
    SaveSession session;
    const CSaveResult result = session.Save(
        {u"shop/Trigger/orders", u"shop/Views/v_order_totals", u"shop/orders"}, Script(dir.path()));
    EXPECT_EQ(result.saved, 3u);
    const std::string script = test::ReadFileText(dir.path() / "shop.sql");
    const size_t table = script.find("CREATE TABLE `orders`");
    const size_t view = script.find(
        "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW "
        "`v_order_totals` AS select ");
    const size_t trigger = script.find("DELIMITER $$\nCREATE TRIGGER `orders_before_insert`");
    EXPECT_LT(table, view);
    EXPECT_LT(view, trigger);
    EXPECT_NE(trigger, std::string::npos);
    EXPECT_NE(script.find("\n$$\nDELIMITER ;\n", trigger), std::string::npos);
    EXPECT_TRUE(session.Logged("Saving view shop.v_order_totals"));
    EXPECT_TRUE(session.Logged("Saving triggers of shop.orders"));
}

TEST(SaveRunTest, ViewsAndTriggersOfAMysql8DictionaryAreSavedAsFromFiles) {
    test::TempDir dir;
    SaveSession session(test::SourceDir() / "tests/fixtures/mysql9/datadir");
    const CSaveResult result =
        session.Save({u"shop/Trigger/items", u"shop/Views/joined"}, Script(dir.path()));
    EXPECT_EQ(result.saved, 2u);
    const std::string script = test::ReadFileText(dir.path() / "shop.sql");
    const size_t view = script.find(
        "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW "
        "`joined` (`item_name`,`what`) AS select ");
    const size_t first = script.find("DELIMITER $$\nCREATE TRIGGER `items_au` AFTER UPDATE");
    const size_t second = script.find(
        "CREATE TRIGGER `items_au2` AFTER UPDATE ON `items` FOR "
        "EACH ROW FOLLOWS `items_au` ");
    EXPECT_NE(view, std::string::npos) << script;
    EXPECT_LT(view, first);
    EXPECT_LT(first, second);
    EXPECT_NE(second, std::string::npos);
    EXPECT_TRUE(session.Logged("Saving view shop.joined"));
    EXPECT_TRUE(session.Logged("Saving triggers of shop.items"));
}

TEST(SaveRunTest, ViewsComeAfterTheViewsTheyUse) {
    test::TempDir dir;
    const auto db = dir.path() / "data" / "d";
    std::filesystem::create_directories(db);
    auto view = [&](const std::string& name, const std::string& query) {
        const std::string text = "TYPE=VIEW\nquery=" + query + "\n";
        test::WriteFile(db / (name + ".frm"), std::vector<uint8_t>(text.begin(), text.end()));
    };
    view("a_top", "select * from `d`.`m_mid`");
    view("m_mid", "select * from `d`.`z_base`");
    view("z_base", "select 1 AS `x`");
    SaveSession session(dir.path() / "data");
    ASSERT_EQ(session.Save({u"d"}, Script(dir.path() / "out")).saved, 3u);
    const std::string script = test::ReadFileText(dir.path() / "out" / "d.sql");
    EXPECT_LT(script.find("VIEW `z_base`"), script.find("VIEW `m_mid`"));
    EXPECT_LT(script.find("VIEW `m_mid`"), script.find("VIEW `a_top`"));
}

TEST(SaveRunTest, AViewWhoseDefinerIsNoWritableNameIsLeftOut) {
    test::TempDir dir;
    const auto db = dir.path() / "data" / "d";
    std::filesystem::create_directories(db);
    const std::string text =
        "TYPE=VIEW\nquery=select 1 AS `x`\ndefiner_user=a\\0b\ndefiner_host=%\n";
    test::WriteFile(db / "v.frm", std::vector<uint8_t>(text.begin(), text.end()));
    SaveSession session(dir.path() / "data");
    const auto result = session.Save({u"d"}, Script(dir.path() / "out"));
    EXPECT_EQ(result.saved, 0u);
    EXPECT_EQ(result.failed, 1u);
    EXPECT_EQ(test::ReadFileText(dir.path() / "out" / "d.sql").find("VIEW `v`"), std::string::npos);
}

TEST(SaveRunTest, TheSaverRunsOnAWorkerThreadAndRefusesWhileBusy) {
    test::TempDir dir;
    SaveSession session;
    CSaver saver(session.app, session.ui, session.frame);
    ASSERT_TRUE(saver.StartSave(session.Objects({u"keys/no_key", u"types/blobs_inno"}),
                                Script(dir.path()), true));
    saver.Wait();
    EXPECT_EQ(saver.lastResult().saved, 2u);
    EXPECT_EQ(session.app.busy, 0);
    EXPECT_TRUE(session.Logged("8 rows written to types.blobs_inno"));
    // blobs_inno's off-page values came through the table's tablespace.
    std::string longText;
    for (int i = 0; i < 1300; ++i) longText += "0123456789abcdef";
    EXPECT_NE(test::ReadFileText(dir.path() / "types.sql").find("'" + longText + "'"),
              std::string::npos);

    CBusyGuard running(session.app.busy);
    const size_t before = session.ui.messages().size();
    EXPECT_FALSE(saver.StartSave(session.Objects({u"keys/no_key"}), Script(dir.path()), true));
    EXPECT_EQ(session.ui.messages().size(), before + 1);
    EXPECT_EQ(session.ui.messages().back(), "Please wait for the running process.");
    running.Release();
}

TEST(SaveRunTest, AStoppedRunCountsWhatItDidNotSaveAsFailed) {
    test::TempDir dir;
    SaveSession session;
    std::atomic<bool> stop{true};
    const CSaveResult result = RunSave(session.Objects({u"keys/no_key", u"shop/orders"}),
                                       Script(dir.path()), session.app, nullptr, session.ui, &stop);
    EXPECT_EQ(result.saved, 0u);
    EXPECT_EQ(result.failed, 2u);
    EXPECT_TRUE(session.Logged("Saving was stopped; 2 objects were not saved"));
    EXPECT_TRUE(session.Logged("Of 2 objects, 0 were saved, 0 failed and 2 were not tried"));
    EXPECT_EQ(test::U8(SaveEndMessage(result)),
              "Saving is finished: 0 objects saved, 0 failed. 2 objects were not tried: saving "
              "was stopped.");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "shop.sql"));
}

TEST(SaveRunTest, RefusesWhileBusyWithoutAFolderAndWithoutAConnection) {
    test::TempDir dir;
    SaveSession session;
    CAppState& app = session.app;
    {
        CBusyGuard running(app.busy);
        const CSaveResult result = session.Save({u"keys/no_key"}, Script(dir.path()));
        EXPECT_TRUE(result.refused);
        EXPECT_EQ(session.Messages(),
                  std::vector<std::string>{"Please wait for the running process."});
        EXPECT_EQ(app.busy, 1);  // the running process keeps it
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
        running.Release();
    }
    {
        const CSaveResult result = session.Save({u"keys/no_key"}, Script({}));
        EXPECT_TRUE(result.refused);
        EXPECT_EQ(session.Messages(),
                  std::vector<std::string>{"Please select valid destination folder path."});
        EXPECT_EQ(app.busy, 0);
    }
    {
        // Nothing listens on port 1 of the loopback address.
        CSaveSettings settings;
        settings.destination = SaveDestination::kDatabase;
        settings.connection.server = u"127.0.0.1";
        settings.connection.port = u"1";
        settings.connection.user = u"root";
        const CSaveResult result = session.Save({u"keys/no_key"}, settings);
        EXPECT_TRUE(result.refused);
        EXPECT_EQ(session.Messages(),
                  std::vector<std::string>{
                      "Test connection is unsuccessful.Saving in database cannot be done."});
        EXPECT_TRUE(session.LoggedSomething("Cannot connect to the server: "));
        EXPECT_EQ(app.busy, 0);
    }
}

}  // namespace
}  // namespace brix
