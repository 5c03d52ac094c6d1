// Round trips through the private test server: every table of the fixture
// data directory is saved as scripts and loaded with the stock client, and
// saved straight into the server over ODBC; each then answers the same SELECT
// with the rows the server that wrote the fixtures returned.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

// Every fixture table but the one packed by myisampack, whose rows the
// readers cannot read (saving it is reported as a failure).
std::vector<FixtureTable> FixtureTables() {
    std::vector<FixtureTable> tables;
    const auto rows = test::ReadTsv(test::FixtureExpectedDir() / "tables.tsv");
    for (size_t i = 1; i < rows.size(); ++i)
        if (rows[i][3] != "Compressed") tables.push_back({rows[i][0], rows[i][1]});
    return tables;
}

std::set<std::string> FixtureDatabases() {
    std::set<std::string> names;
    for (const FixtureTable& t : FixtureTables()) names.insert(t.database);
    return names;
}

std::string Shell(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs the console program; its messages go to the file err.
int RunCli(const std::string& arguments, const std::filesystem::path& err) {
    const std::string command =
        Shell(BRIX_CLI_PATH) + " " + arguments + " >/dev/null 2>" + Shell(err.string());
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string TableArguments() {
    std::string arguments;
    for (const FixtureTable& t : FixtureTables())
        arguments += " " + Shell(t.database + "/" + t.name);
    return arguments;
}

// The select list the fixtures were made with: binary and spatial columns as
// hex, BIT(M) as M binary digits, the rest as the server prints it.
std::string SelectList(const test::CTestServer& server, const FixtureTable& t) {
    const auto rows = server.Rows(
        "SELECT GROUP_CONCAT(CASE "
        "WHEN DATA_TYPE IN ('binary','varbinary','tinyblob','blob','mediumblob','longblob',"
        "'geometry','point','linestring','polygon','multipoint','multilinestring',"
        "'multipolygon','geometrycollection') "
        "THEN CONCAT('HEX(`', COLUMN_NAME, '`)') "
        "WHEN DATA_TYPE = 'bit' "
        "THEN CONCAT('LPAD(BIN(`', COLUMN_NAME, '`), ', NUMERIC_PRECISION, ', ''0'')') "
        "ELSE CONCAT('`', COLUMN_NAME, '`') END ORDER BY ORDINAL_POSITION SEPARATOR ', ') "
        "FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = " +
        test::SqlString(t.database) + " AND TABLE_NAME = " + test::SqlString(t.name));
    if (!rows || rows->empty() || rows->front().empty()) return {};
    return rows->front().front();
}

// What differs between the rows the saved table returns and the fixture's, as
// sorted lists of rows: row order is the engine's business, not the data.
std::vector<std::string> RowDifferences(const test::CTestServer& server, const FixtureTable& t) {
    const std::string where = t.database + "." + t.name;
    const std::string list = SelectList(server, t);
    if (list.empty()) return {where + ": the table is missing"};
    const auto got = server.Rows("SELECT " + list + " FROM `" + t.database + "`.`" + t.name + "`");
    if (!got) return {where + ": the SELECT failed"};
    auto want = test::ReadTsv(test::FixtureExpectedDir() / t.database / (t.name + ".select.tsv"));
    if (!want.empty()) want.erase(want.begin());
    auto have = *got;
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

// SHOW CREATE TABLE of the saved table against the fixture's, without what a
// save does not carry over: the next AUTO_INCREMENT value, column defaults
// and foreign keys; and the storage format of temporal columns, which a
// server of today writes in its own format.
std::string Comparable(std::string create) {
    create = std::regex_replace(create, std::regex(" /\\* mariadb-5.3 \\*/"), "");
    create = std::regex_replace(create, std::regex(" AUTO_INCREMENT=\\d+"), "");
    create = std::regex_replace(create, std::regex(",\n  CONSTRAINT [^\n]*FOREIGN KEY[^\n]*"), "");
    create = std::regex_replace(
        create, std::regex(" DEFAULT ('([^'\\\\]|\\\\.|'')*'|\\([^\\n]*\\)(?=,?\\n)|[^ ,\\n]+)"),
        "");
    while (!create.empty() && create.back() == '\n') create.pop_back();
    return create;
}

std::vector<std::string> DefinitionDifferences(const test::CTestServer& server,
                                               const FixtureTable& t) {
    std::string output;
    if (!server.Run("SHOW CREATE TABLE `" + t.database + "`.`" + t.name + "`\\G", &output))
        return {t.database + "." + t.name + ": SHOW CREATE TABLE failed"};
    const size_t at = output.find("Create Table: ");
    if (at == std::string::npos) return {t.database + "." + t.name + ": no statement"};
    const std::string have = Comparable(output.substr(at + 14));
    const std::string want = Comparable(
        test::ReadFileText(test::FixtureExpectedDir() / t.database / (t.name + ".create.sql")));
    if (have == want) return {};
    return {t.database + "." + t.name + " is defined as\n" + have + "\ninstead of\n" + want};
}

void DropFixtureDatabases(const test::CTestServer& server) {
    std::string sql;
    for (const std::string& db : FixtureDatabases())
        sql += "DROP DATABASE IF EXISTS `" + db + "`;\n";
    ASSERT_TRUE(server.Run(sql));
}

void ExpectEveryTableAsTheFixture(const test::CTestServer& server) {
    std::vector<std::string> problems;
    for (const FixtureTable& t : FixtureTables()) {
        for (const std::string& p : RowDifferences(server, t)) problems.push_back(p);
        for (const std::string& p : DefinitionDifferences(server, t)) problems.push_back(p);
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
    DropFixtureDatabases(*server_);
    test::TempDir dir;
    const auto folder = dir.path() / "scripts";
    const auto err = dir.path() / "err";
    ASSERT_EQ(RunCli("save " + Shell(test::FixtureDataDir().string()) + " --script " +
                         Shell(folder.string()) + TableArguments(),
                     err),
              0)
        << test::ReadFileText(err);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "blobdata"));
    for (const std::string& db : FixtureDatabases()) {
        std::string output;
        EXPECT_TRUE(server_->Load(folder / (db + ".sql"), &output)) << db << ": " << output;
    }
    ExpectEveryTableAsTheFixture(*server_);
}

TEST_F(RoundTripTest, ServerSaveOverOdbcHoldsEveryFixtureTable) {
    DropFixtureDatabases(*server_);
    const std::string password = test::RandomPassword();
    ASSERT_TRUE(server_->CreateAccount("brix_save", password));
    // The password reaches the program through its environment only.
    ASSERT_EQ(setenv("BRIXTALLOW_PASSWORD", password.c_str(), 1), 0);
    test::TempDir dir;
    const auto err = dir.path() / "err";
    const int status =
        RunCli("save " + Shell(test::FixtureDataDir().string()) + " --server 127.0.0.1 --port " +
                   server_->port() + " --user brix_save" + TableArguments(),
               err);
    unsetenv("BRIXTALLOW_PASSWORD");
    const std::string messages = test::ReadFileText(err);
    ASSERT_EQ(status, 0) << messages;
    EXPECT_EQ(messages.find(password), std::string::npos) << "the password was printed";
    ExpectEveryTableAsTheFixture(*server_);
}

}  // namespace
}  // namespace brix
