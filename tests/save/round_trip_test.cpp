// Round trips through the private test server: every table of the fixture
// data directory is saved as scripts and loaded with the stock client, and
// saved straight into the server over ODBC; each then answers the same SELECT
// with the rows the server that wrote the fixtures returned.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "support/test_server.h"
#include "support/test_support.h"

namespace brix {
namespace {

struct FixtureTable {
    std::string database;
    std::string name;
};

// Every fixture table, the one packed by myisampack among them (saved as an
// ordinary MyISAM table).
std::vector<FixtureTable> FixtureTables() {
    std::vector<FixtureTable> tables;
    const auto rows = test::ReadTsv(test::FixtureExpectedDir() / "tables.tsv");
    for (size_t i = 1; i < rows.size(); ++i) tables.push_back({rows[i][0], rows[i][1]});
    return tables;
}

std::set<std::string> FixtureDatabases() {
    std::set<std::string> names;
    for (const FixtureTable& t : FixtureTables()) names.insert(t.database);
    return names;
}

// Every fixture table, and the view and the triggers of shop.
std::string ObjectArguments() {
    std::string arguments;
    for (const FixtureTable& t : FixtureTables())
        arguments += " " + test::ShellWord(t.database + "/" + t.name);
    return arguments + " shop/Views/v_order_totals shop/Trigger/orders";
}

// What the server holds of one saved table: its rows, selected as the
// fixtures were (binary and spatial columns as hex, BIT(M) as M binary
// digits, the rest as the server prints it), and SHOW CREATE TABLE.
struct SavedTable {
    bool found = false;
    std::vector<std::vector<std::string>> rows;
    std::string create;
};

// Every saved table of a database, asked for in one run of the client.
std::map<std::string, SavedTable> DumpDatabase(const test::CTestServer& server,
                                               const std::string& database) {
    std::map<std::string, SavedTable> tables;
    const auto lists = server.Rows(
        "SET SESSION group_concat_max_len = 1048576;\n"
        "SELECT TABLE_NAME, GROUP_CONCAT(CASE "
        "WHEN DATA_TYPE IN ('binary','varbinary','tinyblob','blob','mediumblob','longblob',"
        "'geometry','point','linestring','polygon','multipoint','multilinestring',"
        "'multipolygon','geometrycollection') "
        "THEN CONCAT('HEX(`', COLUMN_NAME, '`)') "
        "WHEN DATA_TYPE = 'bit' "
        "THEN CONCAT('LPAD(BIN(`', COLUMN_NAME, '`), ', NUMERIC_PRECISION, ', ''0'')') "
        "ELSE CONCAT('`', COLUMN_NAME, '`') END ORDER BY ORDINAL_POSITION SEPARATOR ', ') "
        "FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = " +
        test::SqlString(database) + " GROUP BY TABLE_NAME");
    if (!lists) return tables;
    // Each answer follows a marker row, so that one output holds them all.
    constexpr char kMarker[] = "--next--";
    std::string sql;
    for (const auto& row : *lists) {
        const std::string from = "`" + database + "`.`" + row[0] + "`";
        sql += "SELECT 'rows " + row[0] + "' AS `" + kMarker + "`;\nSELECT " + row[1] + " FROM " +
               from + ";\nSELECT 'create " + row[0] + "' AS `" + kMarker +
               "`;\nSHOW CREATE TABLE " + from + ";\n";
    }
    const auto output = server.Rows(sql, false);
    if (!output) return tables;
    SavedTable* table = nullptr;
    bool rows = false;
    bool header = false;
    for (size_t i = 0; i < output->size(); ++i) {
        const auto& line = (*output)[i];
        if (line.size() == 1 && line[0] == kMarker && i + 1 < output->size()) {
            const std::string what = (*output)[++i][0];
            rows = what.rfind("rows ", 0) == 0;
            table = &tables[what.substr(what.find(' ') + 1)];
            table->found = true;
            header = true;
            continue;
        }
        if (!table) continue;
        if (header) {
            header = false;
            continue;
        }
        if (rows) {
            table->rows.push_back(line);
        } else if (line.size() > 1) {
            table->create = line[1];
        }
    }
    return tables;
}

// What differs between the rows the saved table returns and the fixture's, as
// sorted lists of rows: row order is the engine's business, not the data.
std::vector<std::string> RowDifferences(const SavedTable& saved, const FixtureTable& t) {
    const std::string where = t.database + "." + t.name;
    if (!saved.found) return {where + ": the table is missing"};
    auto want = test::ReadTsv(test::FixtureExpectedDir() / t.database / (t.name + ".select.tsv"));
    if (!want.empty()) want.erase(want.begin());
    auto have = saved.rows;
    std::sort(want.begin(), want.end());
    std::sort(have.begin(), have.end());
    if (want == have) return {};
    std::vector<std::string> problems;
    problems.push_back(where + ": " + std::to_string(have.size()) + " rows, the fixture has " +
                       std::to_string(want.size()));
    std::vector<std::vector<std::string>> missing, extra;
    std::set_difference(want.begin(), want.end(), have.begin(), have.end(),
                        std::back_inserter(missing));
    std::set_difference(have.begin(), have.end(), want.begin(), want.end(),
                        std::back_inserter(extra));
    auto show = [](const std::vector<std::string>& row) {
        std::string s;
        for (const std::string& f : row) s += (s.empty() ? "" : " | ") + f.substr(0, 60);
        return s;
    };
    for (size_t i = 0; i < std::min<size_t>(missing.size(), 3); ++i)
        problems.push_back("  fixture row not found: " + show(missing[i]));
    for (size_t i = 0; i < std::min<size_t>(extra.size(), 3); ++i)
        problems.push_back("  saved row not expected: " + show(extra[i]));
    return problems;
}

// SHOW CREATE TABLE of the saved table against the fixture's (its foreign
// keys included), without the storage format of temporal columns, which a
// server of today writes in its own format, and the next AUTO_INCREMENT
// value: the writing server showed its counter in memory, which multi-row
// inserts had taken past the values they used, while its files keep the
// largest value used, which a save carries.
std::string Comparable(std::string create) {
    create = std::regex_replace(create, std::regex(" /\\* mariadb-5.3 \\*/"), "");
    create = std::regex_replace(create, std::regex(" AUTO_INCREMENT=\\d+"), "");
    while (!create.empty() && create.back() == '\n') create.pop_back();
    return create;
}

std::vector<std::string> DefinitionDifferences(const SavedTable& saved, const FixtureTable& t) {
    if (!saved.found) return {};
    const std::string have = Comparable(saved.create);
    const std::string want = Comparable(
        test::ReadFileText(test::FixtureExpectedDir() / t.database / (t.name + ".create.sql")));
    if (have == want) return {};
    return {t.database + "." + t.name + " is defined as\n" + have + "\ninstead of\n" + want};
}

void DropDatabases(const test::CTestServer& server, const std::set<std::string>& names) {
    std::string sql;
    for (const std::string& db : names) sql += "DROP DATABASE IF EXISTS `" + db + "`;\n";
    ASSERT_TRUE(server.Run(sql));
}

// The views and triggers of the databases against what the server that
// wrote them said: SHOW CREATE VIEW, and the triggers' names, events, tables,
// timing and statements.
void ExpectViewsAndTriggersAsWritten(const test::CTestServer& server,
                                     const std::filesystem::path& expected,
                                     const std::set<std::string>& databases) {
    size_t views = 0;
    size_t triggers = 0;
    for (const std::string& db : databases) {
        for (const auto& entry : std::filesystem::directory_iterator(expected / db)) {
            const std::string file = entry.path().filename().string();
            const size_t suffix = file.rfind(".view.sql");
            if (suffix == std::string::npos) continue;
            const std::string view = file.substr(0, suffix);
            std::string want = test::ReadFileText(entry.path());
            while (!want.empty() && want.back() == '\n') want.pop_back();
            const auto got = server.Rows("SHOW CREATE VIEW `" + db + "`.`" + view + "`");
            ASSERT_TRUE(got && got->size() == 1 && got->front().size() > 1) << db << "." << view;
            EXPECT_EQ(got->front()[1], want) << db << "." << view;
            ++views;
        }
        if (!std::filesystem::exists(expected / db / "triggers.tsv")) continue;
        auto want = test::ReadTsv(expected / db / "triggers.tsv");
        want.erase(want.begin());
        const auto got = server.Rows(
            "SELECT TRIGGER_NAME, EVENT_MANIPULATION, EVENT_OBJECT_TABLE, ACTION_TIMING, "
            "ACTION_STATEMENT FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = " +
            test::SqlString(db) + " ORDER BY TRIGGER_NAME");
        ASSERT_TRUE(got) << db;
        EXPECT_EQ(*got, want) << db;
        triggers += want.size();
    }
    EXPECT_GT(views, 0u);
    EXPECT_GT(triggers, 0u);
}

void ExpectEveryTableAsTheFixture(const test::CTestServer& server) {
    std::vector<std::string> problems;
    std::map<std::string, std::map<std::string, SavedTable>> dumps;
    for (const std::string& db : FixtureDatabases()) dumps[db] = DumpDatabase(server, db);
    for (const FixtureTable& t : FixtureTables()) {
        const SavedTable& saved = dumps[t.database][t.name];
        for (const std::string& p : RowDifferences(saved, t)) problems.push_back(p);
        for (const std::string& p : DefinitionDifferences(saved, t)) problems.push_back(p);
    }
    std::string report;
    for (size_t i = 0; i < std::min<size_t>(problems.size(), 40); ++i) report += problems[i] + "\n";
    EXPECT_TRUE(problems.empty()) << problems.size() << " problems:\n" << report;
}

class RoundTripTest : public testing::Test {
  protected:
    void SetUp() override {
        server_ = test::CTestServer::Get();
        if (!server_) GTEST_SKIP() << "no test server runs (tools/test-server start)";
    }
    const test::CTestServer* server_ = nullptr;
};

TEST_F(RoundTripTest, ScriptsOfEveryFixtureTableLoadBackWithTheSameRows) {
    DropDatabases(*server_, FixtureDatabases());
    test::TempDir dir;
    const auto folder = dir.path() / "scripts";
    const auto err = dir.path() / "err";
    ASSERT_EQ(test::RunCli("save " + test::ShellWord(test::FixtureDataDir().string()) +
                               " --script " + test::ShellWord(folder.string()) + ObjectArguments(),
                           err),
              0)
        << test::ReadFileText(err);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "blobdata"));
    for (const std::string& db : FixtureDatabases()) {
        std::string output;
        EXPECT_TRUE(server_->Load(folder / (db + ".sql"), &output)) << db << ": " << output;
    }
    ExpectEveryTableAsTheFixture(*server_);
    ExpectViewsAndTriggersAsWritten(*server_, test::FixtureExpectedDir(), {"shop"});
}

TEST_F(RoundTripTest, ServerSaveOverOdbcHoldsEveryFixtureTable) {
    DropDatabases(*server_, FixtureDatabases());
    const std::string password = test::RandomPassword();
    ASSERT_TRUE(server_->CreateAccount("brix_save", password));
    // The password reaches the program through its environment only.
    ASSERT_EQ(setenv("BRIXTALLOW_PASSWORD", password.c_str(), 1), 0);
    test::TempDir dir;
    const auto err = dir.path() / "err";
    const int status = test::RunCli("save " + test::ShellWord(test::FixtureDataDir().string()) +
                                        " --server 127.0.0.1 --port " + server_->port() +
                                        " --user brix_save" + ObjectArguments(),
                                    err);
    unsetenv("BRIXTALLOW_PASSWORD");
    const std::string messages = test::ReadFileText(err);
    ASSERT_EQ(status, 0) << messages;
    EXPECT_EQ(messages.find(password), std::string::npos) << "the password was printed";
    ExpectEveryTableAsTheFixture(*server_);
    ExpectViewsAndTriggersAsWritten(*server_, test::FixtureExpectedDir(), {"shop"});
}

// The catalogue fixture: views and triggers whose texts hold quotes,
// backslashes, comments and lower-case keywords, in two databases saved
// whole, without a system tablespace.
TEST_F(RoundTripTest, ViewsAndTriggersOfTwoDatabasesSurviveBothKindsOfSave) {
    const std::filesystem::path fixture = test::SourceDir() / "tests" / "fixtures" / "catalogue";
    const std::set<std::string> databases = {"north", "south"};
    DropDatabases(*server_, databases);
    test::TempDir dir;
    const auto err = dir.path() / "err";
    ASSERT_EQ(test::RunCli("save " + test::ShellWord((fixture / "twodb").string()) + " --script " +
                               test::ShellWord(dir.path().string()),
                           err),
              0)
        << test::ReadFileText(err);
    for (const std::string& db : databases) {
        std::string output;
        EXPECT_TRUE(server_->Load(dir.path() / (db + ".sql"), &output)) << db << ": " << output;
    }
    ExpectViewsAndTriggersAsWritten(*server_, fixture / "expected", databases);

    DropDatabases(*server_, databases);
    const std::string password = test::RandomPassword();
    ASSERT_TRUE(server_->CreateAccount("brix_views", password));
    ASSERT_EQ(setenv("BRIXTALLOW_PASSWORD", password.c_str(), 1), 0);
    const int status =
        test::RunCli("save " + test::ShellWord((fixture / "twodb").string()) +
                         " --server 127.0.0.1 --port " + server_->port() + " --user brix_views",
                     err);
    unsetenv("BRIXTALLOW_PASSWORD");
    ASSERT_EQ(status, 0) << test::ReadFileText(err);
    ExpectViewsAndTriggersAsWritten(*server_, fixture / "expected", databases);
}

// The rows of a server save run in transactions: a table whose INSERT
// statements the server refuses is counted failed with the server's message
// and leaves no transaction open behind it, and the next table's rows, over
// several windows, are all committed.
TEST_F(RoundTripTest, ARefusedInsertFailsItsTableAndTheNextTableIsCommittedWhole) {
    DropDatabases(*server_, {"paging"});
    const std::string password = test::RandomPassword();
    std::string output;
    ASSERT_TRUE(server_->Run(
        "DROP USER IF EXISTS 'brix_tx'@'127.0.0.1';\n"
        "CREATE USER 'brix_tx'@'127.0.0.1' IDENTIFIED BY " +
            test::SqlString(password) +
            ";\n"
            // A grant on a table that does not exist yet must include CREATE.
            "GRANT CREATE ON `paging`.* TO 'brix_tx'@'127.0.0.1';\n"
            "GRANT CREATE, INSERT ON `paging`.`inno_compact_2500` TO 'brix_tx'@'127.0.0.1';\n",
        &output))
        << output;
    ASSERT_EQ(setenv("BRIXTALLOW_PASSWORD", password.c_str(), 1), 0);
    test::TempDir dir;
    const auto err = dir.path() / "err";
    const int status = test::RunCli(
        "save " + test::ShellWord(test::FixtureDataDir().string()) + " --server 127.0.0.1 --port " +
            server_->port() + " --user brix_tx paging/inno_dynamic_2500 paging/inno_compact_2500",
        err);
    unsetenv("BRIXTALLOW_PASSWORD");
    const std::string messages = test::ReadFileText(err);
    EXPECT_NE(status, 0) << messages;
    EXPECT_NE(messages.find("Error saving table paging.inno_dynamic_2500: "), std::string::npos)
        << messages;
    EXPECT_NE(messages.find("INSERT command denied"), std::string::npos) << messages;
    EXPECT_NE(messages.find("2500 rows written to paging.inno_compact_2500"), std::string::npos)
        << messages;
    EXPECT_NE(messages.find("1 object saved, 1 failed"), std::string::npos) << messages;
    const auto counts = server_->Rows(
        "SELECT (SELECT COUNT(*) FROM paging.inno_dynamic_2500), "
        "(SELECT COUNT(*) FROM paging.inno_compact_2500)");
    ASSERT_TRUE(counts);
    EXPECT_EQ(*counts, (std::vector<std::vector<std::string>>{{"0", "2500"}}));
    ASSERT_TRUE(server_->Run("DROP USER 'brix_tx'@'127.0.0.1';"));
}

}  // namespace
}  // namespace brix
