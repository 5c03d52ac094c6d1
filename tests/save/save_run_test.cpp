// The save run without a server: scripts, its log and messages, the state it
// holds while it runs, and the runs it refuses.

#include "save/save_run.h"

#include <gtest/gtest.h>

#include <sstream>

#include "innodb/dictionary.h"
#include "support/test_support.h"

namespace brix {
namespace {

class CRecordingReport : public CSaveReport {
  public:
    void AppendLogLine(std::u16string_view text) override { lines.push_back(test::U8(text)); }
    void ShowProgress(bool on) override { progress.push_back(on); }
    void ShowMessage(std::u16string_view text) override { messages.push_back(test::U8(text)); }

    bool Logged(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool LoggedSomething(const std::string& part) const {
        for (const std::string& line : lines)
            if (line.find(part) != std::string::npos) return true;
        return false;
    }

    std::vector<std::string> lines;
    std::vector<bool> progress;
    std::vector<std::string> messages;
};

std::vector<CSaveObject> Objects(const std::vector<std::u16string>& names) {
    std::vector<std::u16string> missing;
    auto objects = SelectSaveObjects(ListSaveObjects(test::FixtureDataDir()), names, missing);
    EXPECT_TRUE(missing.empty());
    return objects;
}

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
    CAppState& app = test::TestApp();
    app.spillFolder = u"/elsewhere";
    CRecordingReport report;
    const auto folder = dir.path() / "new" / "folder";
    const CSaveResult result = RunSave(Objects({u"types/ints_fixed", u"keys/no_key_myisam"}),
                                       Script(folder), app, nullptr, report);
    EXPECT_FALSE(result.refused);
    EXPECT_EQ(result.saved, 2u);
    EXPECT_EQ(result.failed, 0u);
    EXPECT_TRUE(report.Logged("Saving table types.ints_fixed"));
    EXPECT_TRUE(report.Logged("48 rows written to types.ints_fixed"));
    EXPECT_TRUE(report.Logged("30 rows written to keys.no_key_myisam"));
    EXPECT_EQ(report.messages,
              std::vector<std::string>{"Saving is finished: 2 objects saved, 0 failed."});
    EXPECT_EQ(report.progress, (std::vector<bool>{true, false}));
    EXPECT_EQ(app.busy, 0);
    EXPECT_EQ(app.saveAsScript, 0);
    EXPECT_EQ(app.saveToDatabase, 0);
    EXPECT_EQ(app.spillFolder, u"/elsewhere");
    app.spillFolder.clear();
    EXPECT_TRUE(std::filesystem::is_directory(folder / "blobdata"));

    const std::vector<std::string> script = Lines(test::ReadFileText(folder / "keys.sql"));
    const std::vector<std::string> head(script.begin() + 2, script.begin() + 12);
    EXPECT_EQ(head, (std::vector<std::string>{
                        "SET NAMES utf8mb4;", "SET TIME_ZONE='+00:00';",
                        "SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';", "SET FOREIGN_KEY_CHECKS=0;",
                        "SET UNIQUE_CHECKS=0;", "",
                        "CREATE DATABASE IF NOT EXISTS `keys` CHARACTER SET utf8mb4 COLLATE "
                        "utf8mb4_general_ci;",
                        "USE `keys`;", "CREATE TABLE `no_key_myisam` (", "  `a` INT(11) NULL,"}));
    EXPECT_TRUE(std::filesystem::exists(folder / "types.sql"));
}

TEST(SaveRunTest, RowsGoInStatementsNoLargerThanTheLimit) {
    test::TempDir dir;
    CRecordingReport report;
    CSaveSettings settings = Script(dir.path());
    settings.scriptStatementBytes = 8000;
    const CSaveResult result =
        RunSave(Objects({u"paging/my_dyn_1000"}), settings, test::TestApp(), nullptr, report);
    ASSERT_EQ(result.saved, 1u);
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

TEST(SaveRunTest, OffPageValuesAreWrittenInlineAndTheirSpillFilesKept) {
    test::TempDir dir;
    CRecordingReport report;
    CInnoDictionary dictionary;
    ASSERT_TRUE(dictionary.Open(test::FixtureDataDir() / "ibdata1", test::TestApp()));
    const CSaveResult result = RunSave(Objects({u"types/blobs_inno"}), Script(dir.path()),
                                       test::TestApp(), &dictionary, report);
    ASSERT_EQ(result.saved, 1u);
    const std::string script = test::ReadFileText(dir.path() / "types.sql");
    std::string longText;
    for (int i = 0; i < 1300; ++i) longText += "0123456789abcdef";
    EXPECT_NE(script.find("'" + longText + "'"), std::string::npos);
    EXPECT_EQ(script.find((dir.path() / "blobdata").string()), std::string::npos)
        << "a spill file's path went into the script";
    EXPECT_FALSE(std::filesystem::is_empty(dir.path() / "blobdata"));
}

TEST(SaveRunTest, ATableWhoseRowsCannotBeReadIsCreatedButCountedAsFailed) {
    test::TempDir dir;
    CRecordingReport report;
    const CSaveResult result = RunSave(Objects({u"paging/my_packed", u"keys/no_key_myisam"}),
                                       Script(dir.path()), test::TestApp(), nullptr, report);
    EXPECT_EQ(result.saved, 1u);
    EXPECT_EQ(result.failed, 1u);
    EXPECT_TRUE(report.LoggedSomething("Error saving table paging.my_packed: "));
    EXPECT_EQ(report.messages,
              std::vector<std::string>{"Saving is finished: 1 object saved, 1 failed."});
    EXPECT_NE(test::ReadFileText(dir.path() / "paging.sql").find("CREATE TABLE `my_packed`"),
              std::string::npos);
}

TEST(SaveRunTest, RefusesWhileBusyWithoutAFolderAndWithoutAConnection) {
    CAppState& app = test::TestApp();
    test::TempDir dir;
    {
        app.busy = 1;
        CRecordingReport report;
        const CSaveResult result =
            RunSave(Objects({u"keys/no_key"}), Script(dir.path()), app, nullptr, report);
        EXPECT_TRUE(result.refused);
        EXPECT_EQ(report.messages,
                  std::vector<std::string>{"Please wait for the running process."});
        EXPECT_EQ(app.busy, 1);  // the running process keeps it
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
        app.busy = 0;
    }
    {
        CRecordingReport report;
        const CSaveResult result =
            RunSave(Objects({u"keys/no_key"}), Script({}), app, nullptr, report);
        EXPECT_TRUE(result.refused);
        EXPECT_EQ(report.messages,
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
        CRecordingReport report;
        const CSaveResult result =
            RunSave(Objects({u"keys/no_key"}), settings, app, nullptr, report);
        EXPECT_TRUE(result.refused);
        EXPECT_EQ(report.messages,
                  std::vector<std::string>{
                      "Test connection is unsuccessful.Saving in database cannot be done."});
        EXPECT_TRUE(report.LoggedSomething("Cannot connect to the server: "));
        EXPECT_EQ(app.busy, 0);
        EXPECT_EQ(app.saveToDatabase, 0);
    }
}

}  // namespace
}  // namespace brix
