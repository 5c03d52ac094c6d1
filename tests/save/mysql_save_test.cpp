// The MySQL 9 fixture saved for the private test server, a MariaDB 10.11: every
// user database of the data directory is saved as a script by the console
// program and loaded with the stock client (and saved straight into the
// server over ODBC); every table then answers with the rows MySQL itself
// returned, its views read and its triggers are MySQL's.
//
// Rows are compared as the client prints them, with the select list the
// fixture was made with (binary and spatial columns as hex, BIT(M) as M
// binary digits, the rest as printed), as sorted lists: row order is the
// engine's and the collation's business, not the data's. JSON values compare
// as text: MySQL printed its binary JSON in its own normal form, which is the
// text the save writes and MariaDB's LONGTEXT gives back unchanged.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include "support/test_server.h"
#include "support/test_support.h"

namespace brix {
namespace {

std::filesystem::path MysqlFixture() {
    return test::SourceDir() / "tests" / "fixtures" / "mysql9";
}

const std::vector<std::string> kDatabases = {"evolve", "layout", "lobs", "shop", "types"};

// Tables whose rows no reader reads yet: the save creates them and fails them
// with the reason, and the test holds it to that reason. Every table of the
// fixture is read now (the CSV table layout.flat included), so the save
// must fail none and carry all their rows.
const std::map<std::string, std::string> kRowsNotRead = {};

struct FixtureTable {
    std::string database;
    std::string name;
};

std::vector<FixtureTable> FixtureTables() {
    std::vector<FixtureTable> tables;
    const auto rows = test::ReadTsv(MysqlFixture() / "expected" / "tables.tsv");
    for (size_t i = 1; i < rows.size(); ++i) tables.push_back({rows[i][0], rows[i][1]});
    return tables;
}

std::string ObjectArguments() {
    std::string arguments;
    for (const std::string& db : kDatabases) arguments += " " + db;
    return arguments;
}

// The rows of every table of a database as the server holds them, selected
// as the fixture's were, asked for in one run of the client; each answer
// follows a marker row.
std::map<std::string, std::vector<std::vector<std::string>>> DumpRows(
    const test::CTestServer& server, const std::string& database) {
    std::map<std::string, std::vector<std::vector<std::string>>> tables;
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
        test::SqlString(database) +
        " AND TABLE_NAME IN (SELECT TABLE_NAME FROM information_schema.TABLES WHERE "
        "TABLE_SCHEMA = " +
        test::SqlString(database) + " AND TABLE_TYPE = 'BASE TABLE') GROUP BY TABLE_NAME");
    if (!lists) return tables;
    constexpr char kMarker[] = "--next--";
    std::string sql;
    for (const auto& row : *lists)
        sql += "SELECT " + test::SqlString(row[0]) + " AS `" + kMarker + "`;\nSELECT " + row[1] +
               " FROM `" + database + "`.`" + row[0] + "`;\n";
    const auto output = server.Rows(sql, false);
    if (!output) return tables;
    std::vector<std::vector<std::string>>* table = nullptr;
    bool header = false;
    for (size_t i = 0; i < output->size(); ++i) {
        const auto& line = (*output)[i];
        if (line.size() == 1 && line[0] == kMarker && i + 1 < output->size()) {
            table = &tables[(*output)[++i][0]];
            header = true;
            continue;
        }
        if (!table) continue;
        if (header) {
            header = false;
            continue;
        }
        table->push_back(line);
    }
    return tables;
}

std::string Show(const std::vector<std::string>& row) {
    std::string s;
    for (const std::string& f : row) s += (s.empty() ? "" : " | ") + f.substr(0, 60);
    return s;
}

// Every difference between the server's tables and the fixture's answers.
std::vector<std::string> RowProblems(const test::CTestServer& server) {
    std::map<std::string, std::map<std::string, std::vector<std::vector<std::string>>>> dumps;
    for (const std::string& db : kDatabases) dumps[db] = DumpRows(server, db);
    std::vector<std::string> problems;
    for (const FixtureTable& t : FixtureTables()) {
        const std::string where = t.database + "." + t.name;
        const auto& tables = dumps[t.database];
        const auto found = tables.find(t.name);
        if (found == tables.end()) {
            problems.push_back(where + ": the table is missing");
            continue;
        }
        auto have = found->second;
        if (kRowsNotRead.count(where)) {
            if (!have.empty()) problems.push_back(where + ": rows where none were expected");
            continue;
        }
        auto want =
            test::ReadTsv(MysqlFixture() / "expected" / t.database / (t.name + ".select.tsv"));
        if (!want.empty()) want.erase(want.begin());
        std::sort(want.begin(), want.end());
        std::sort(have.begin(), have.end());
        if (want == have) continue;
        problems.push_back(where + ": " + std::to_string(have.size()) + " rows, the fixture has " +
                           std::to_string(want.size()));
        std::vector<std::vector<std::string>> missing, extra;
        std::set_difference(want.begin(), want.end(), have.begin(), have.end(),
                            std::back_inserter(missing));
        std::set_difference(have.begin(), have.end(), want.begin(), want.end(),
                            std::back_inserter(extra));
        for (size_t i = 0; i < std::min<size_t>(missing.size(), 3); ++i)
            problems.push_back("  fixture row not found: " + Show(missing[i]));
        for (size_t i = 0; i < std::min<size_t>(extra.size(), 3); ++i)
            problems.push_back("  saved row not expected: " + Show(extra[i]));
    }
    return problems;
}

// The views read, with the columns MySQL gave them, and the triggers are
// MySQL's: names, events, tables, order, timing and statements.
void ExpectViewsAndTriggers(const test::CTestServer& server) {
    const std::map<std::string, std::vector<std::string>> views = {
        {"cheap", {"id", "name"}}, {"joined", {"item_name", "what"}}, {"quoted", {"id", "said"}}};
    for (const auto& [view, columns] : views) {
        const auto names = server.Rows(
            "SELECT COLUMN_NAME FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = 'shop' "
            "AND TABLE_NAME = " +
            test::SqlString(view) + " ORDER BY ORDINAL_POSITION");
        ASSERT_TRUE(names) << view;
        std::vector<std::string> got;
        for (const auto& row : *names) got.push_back(row[0]);
        EXPECT_EQ(got, columns) << view;
        EXPECT_TRUE(server.Rows("SELECT COUNT(*) FROM shop.`" + view + "`")) << view;
    }
    // The views compute what MySQL's computed from the same rows.
    EXPECT_EQ(server.Rows("SELECT id, name FROM shop.cheap ORDER BY id"),
              (std::vector<std::vector<std::string>>{{"1", "pen"}, {"2", "book"}}));
    EXPECT_EQ(server.Rows("SELECT said FROM shop.quoted WHERE id = 1"),
              (std::vector<std::vector<std::string>>{{"it's pen \\ done"}}));
    // Each server's information_schema shows a copy of a trigger's body in
    // which it undid escapes of string literals, each its own way; the body
    // as written, which the save keeps, is the one SHOW CREATE TRIGGER gives
    // (the text after FOR EACH ROW), and the two servers' are compared.
    const auto bodyOf = [](std::string statement) {
        while (!statement.empty() && statement.back() == '\n') statement.pop_back();
        constexpr std::string_view kForEachRow = "FOR EACH ROW ";
        const size_t body = statement.find(kForEachRow);
        return body == std::string::npos ? statement : statement.substr(body + kForEachRow.size());
    };
    auto want = test::ReadTsv(MysqlFixture() / "expected" / "shop" / "triggers.tsv");
    want.erase(want.begin());
    for (auto& row : want)
        row[5] = bodyOf(
            test::ReadFileText(MysqlFixture() / "expected" / "shop" / (row[0] + ".trigger.sql")));
    auto got = server.Rows(
        "SELECT TRIGGER_NAME, EVENT_MANIPULATION, EVENT_OBJECT_TABLE, ACTION_ORDER, "
        "ACTION_TIMING, '' FROM information_schema.TRIGGERS WHERE "
        "TRIGGER_SCHEMA = 'shop' ORDER BY TRIGGER_NAME");
    ASSERT_TRUE(got);
    for (auto& row : *got) {
        const auto shown = server.Rows("SHOW CREATE TRIGGER shop.`" + row[0] + "`");
        ASSERT_TRUE(shown && shown->size() == 1 && shown->front().size() > 2) << row[0];
        row[5] = bodyOf(shown->front()[2]);
    }
    EXPECT_EQ(*got, want);
}

// The tables whose save failed, by "Error saving table DB.T: reason" lines.
std::map<std::string, std::string> FailedTables(const std::string& messages) {
    std::map<std::string, std::string> failed;
    constexpr std::string_view kError = "Error saving table ";
    for (size_t at = messages.find(kError); at != std::string::npos;
         at = messages.find(kError, at + 1)) {
        const size_t name = at + kError.size();
        const size_t colon = messages.find(": ", name);
        const size_t end = messages.find('\n', name);
        if (colon == std::string::npos || colon > end) continue;
        failed[messages.substr(name, colon - name)] = messages.substr(colon + 2, end - colon - 2);
    }
    return failed;
}

void ExpectOnlyUnreadTablesFailed(const std::string& messages) {
    const auto failed = FailedTables(messages);
    for (const auto& [table, reason] : failed) {
        const auto expected = kRowsNotRead.find(table);
        EXPECT_TRUE(expected != kRowsNotRead.end() &&
                    reason.find(expected->second) != std::string::npos)
            << table << ": " << reason;
    }
    EXPECT_EQ(failed.size(), kRowsNotRead.size()) << messages.substr(0, 4000);
}

void DropDatabases(const test::CTestServer& server) {
    std::string sql;
    for (const std::string& db : kDatabases) sql += "DROP DATABASE IF EXISTS `" + db + "`;\n";
    ASSERT_TRUE(server.Run(sql));
}

std::string Report(const std::vector<std::string>& problems) {
    std::string report;
    for (size_t i = 0; i < std::min<size_t>(problems.size(), 40); ++i) report += problems[i] + "\n";
    return report;
}

class MySqlSaveTest : public testing::Test {
  protected:
    void SetUp() override {
        server_ = test::CTestServer::Get();
        if (!server_) GTEST_SKIP() << "no test server runs (tools/test-server start)";
        DropDatabases(*server_);
    }
    const test::CTestServer* server_ = nullptr;
};

TEST_F(MySqlSaveTest, ScriptsOfEveryDatabaseLoadWithMySqlsRows) {
    test::TempDir dir;
    const auto folder = dir.path() / "scripts";
    const auto err = dir.path() / "err";
    test::RunCli("save " + test::ShellWord((MysqlFixture() / "datadir").string()) + " --script " +
                     test::ShellWord(folder.string()) + ObjectArguments(),
                 err);
    const std::string messages = test::ReadFileText(err);
    ExpectOnlyUnreadTablesFailed(messages);
    for (const std::string& db : kDatabases) {
        std::string output;
        EXPECT_TRUE(server_->Load(folder / (db + ".sql"), &output)) << db << ": " << output;
    }
    const std::vector<std::string> problems = RowProblems(*server_);
    EXPECT_TRUE(problems.empty()) << problems.size() << " problems:\n" << Report(problems);
    ExpectViewsAndTriggers(*server_);

    // What was written differently from MySQL's definition is said in the
    // script, beside the statement, and in the log.
    const std::string types = test::ReadFileText(folder / "types.sql");
    EXPECT_NE(types.find("-- Table `collations`: column ai_ci: collation utf8mb4_0900_ai_ci is "
                         "written as utf8mb4_uca1400_nopad_ai_ci"),
              std::string::npos);
    EXPECT_NE(types.find("-- Table `derived`: key k_expr indexes an expression"),
              std::string::npos);
    // The database's default, which MySQL keeps in its dictionary, too.
    EXPECT_NE(types.find("-- Database `types`: its default collation utf8mb4_0900_ai_ci is "
                         "written as utf8mb4_uca1400_nopad_ai_ci"),
              std::string::npos);
    EXPECT_EQ(server_->Rows("SELECT DEFAULT_COLLATION_NAME FROM information_schema.SCHEMATA "
                            "WHERE SCHEMA_NAME = 'types'"),
              (std::vector<std::vector<std::string>>{{"utf8mb4_uca1400_nopad_ai_ci"}}));
    EXPECT_NE(messages.find("Table types.collations: column ai_ci: collation utf8mb4_0900_ai_ci "
                            "is written as utf8mb4_uca1400_nopad_ai_ci"),
              std::string::npos);
    for (size_t at = types.find("_0900_"); at != std::string::npos;
         at = types.find("_0900_", at + 1)) {
        const size_t line = types.rfind('\n', at) + 1;
        EXPECT_EQ(types.compare(line, 3, "-- "), 0)
            << "a MySQL collation outside the comments: "
            << types.substr(line, types.find('\n', at) - line);
    }
}

TEST_F(MySqlSaveTest, ServerSaveOverOdbcHoldsMySqlsRows) {
    const std::string password = test::RandomPassword();
    ASSERT_TRUE(server_->CreateAccount("brix_mysql", password));
    ASSERT_EQ(setenv("BRIXTALLOW_PASSWORD", password.c_str(), 1), 0);
    test::TempDir dir;
    const auto err = dir.path() / "err";
    test::RunCli("save " + test::ShellWord((MysqlFixture() / "datadir").string()) +
                     " --server 127.0.0.1 --port " + server_->port() + " --user brix_mysql" +
                     ObjectArguments(),
                 err);
    unsetenv("BRIXTALLOW_PASSWORD");
    const std::string messages = test::ReadFileText(err);
    EXPECT_EQ(messages.find(password), std::string::npos) << "the password was printed";
    ExpectOnlyUnreadTablesFailed(messages);
    const std::vector<std::string> problems = RowProblems(*server_);
    EXPECT_TRUE(problems.empty()) << problems.size() << " problems:\n" << Report(problems);
    ExpectViewsAndTriggers(*server_);
}

}  // namespace
}  // namespace brix
