// Hostile names, values, trigger bodies and view definitions, made by the
// private test server (and, where no server would write them, byte-built
// definition files), saved as scripts and loaded with the stock client with
// --comments, and saved straight into the server: the server then holds
// exactly the objects it held before, with the same names, bodies, modes and
// clauses, and no shell command has run.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <set>

#include "support/test_server.h"
#include "support/test_support.h"

namespace brix {
namespace {

// Files that a shell command planted in a name, a value or a body would
// create.
std::string Marker(int n) {
    return "/tmp/brix-pwned-" + std::to_string(getpid()) + "-" + std::to_string(n);
}

// The hostile database: its name ends a comment line and starts a shell
// line; so do a table's, a view's and a value's.
std::string HostileDatabase() {
    return "hostile\n\\! touch " + Marker(1);
}

std::string Quoted(const std::string& name) {
    std::string out = "`";
    for (char c : name) out += c == '`' ? std::string("``") : std::string(1, c);
    return out + "`";
}

std::string CreationSql() {
    const std::string db = Quoted(HostileDatabase());
    const std::string table = Quoted("t\n\\! touch " + Marker(2));
    return "SET NAMES utf8mb4;\n"
           "CREATE DATABASE " +
           db + ";\nUSE " + db +
           ";\n"
           "CREATE TABLE " +
           table +
           " (a INT PRIMARY KEY, b VARCHAR(200)) ENGINE=MyISAM;\n"
           "INSERT INTO " +
           table + " VALUES (1, 'it''s \\\\ \\n\\\\! touch " + Marker(3) +
           "'), (2, '$$');\n"
           // Bodies: the usual delimiter, a whole CREATE DEFINER= statement in a
           // string, a shell line in a string, and one made under
           // NO_BACKSLASH_ESCAPES whose backslash is a plain character.
           "CREATE TRIGGER tr_dollar BEFORE INSERT ON " +
           table +
           " FOR EACH ROW SET NEW.b = CONCAT(NEW.b, '$$');\n"
           "CREATE TRIGGER tr_planted BEFORE UPDATE ON " +
           table +
           " FOR EACH ROW SET @x = 'x'' CREATE DEFINER=`root`@`localhost` TRIGGER victim.planted "
           "BEFORE INSERT ON victim.v FOR EACH ROW SET @y = 1';\n"
           "DELIMITER //\n"
           "CREATE TRIGGER tr_block AFTER DELETE ON " +
           table +
           " FOR EACH ROW\nBEGIN\n"
           "  SET @w = 'line\n\\! touch " +
           Marker(4) +
           "';\nEND//\n"
           "DELIMITER ;\n"
           "SET SESSION sql_mode = 'NO_BACKSLASH_ESCAPES';\n"
           "CREATE TRIGGER tr_nbe AFTER INSERT ON " +
           table +
           " FOR EACH ROW SET @z = 'a\\b''c';\n"
           "SET SESSION sql_mode = DEFAULT;\n"
           // Views: their own algorithm, definer (an account that does not
           // exist), SQL SECURITY and check option; a name decoded from its
           // file name; a string in latin1; a name and a value with shell lines.
           "CREATE ALGORITHM=MERGE DEFINER=`nobody`@`nowhere` SQL SECURITY INVOKER VIEW v_invoker "
           "AS SELECT a, b FROM " +
           table +
           " WHERE a > 0 WITH CASCADED CHECK OPTION;\n"
           "CREATE VIEW `x$session` AS SELECT 1 AS one;\n"
           "CREATE VIEW v_latin AS SELECT _latin1 X'E9' AS e;\n"
           "CREATE VIEW " +
           Quoted("v\n\\! touch " + Marker(5)) + " AS SELECT '\\n\\\\! touch " + Marker(6) +
           "' AS s;\n"
           "FLUSH TABLES;\n";
}

// What the server holds of the hostile database, to compare before and after.
struct Snapshot {
    std::vector<std::vector<std::string>> databases;
    std::vector<std::vector<std::string>> tables;
    std::vector<std::vector<std::string>> triggers;
    std::vector<std::vector<std::string>> views;
    std::vector<std::vector<std::string>> rows;
};

Snapshot Take(const test::CTestServer& server) {
    Snapshot s;
    const std::string db = test::SqlString(HostileDatabase());
    auto get = [&](const std::string& sql) {
        auto rows = server.Rows(sql);
        EXPECT_TRUE(rows) << sql;
        return rows.value_or(std::vector<std::vector<std::string>>{});
    };
    s.databases = get("SELECT SCHEMA_NAME FROM information_schema.SCHEMATA ORDER BY 1");
    s.tables =
        get("SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES WHERE "
            "TABLE_SCHEMA = " +
            db + " ORDER BY 1");
    s.triggers =
        get("SELECT TRIGGER_NAME, EVENT_MANIPULATION, EVENT_OBJECT_TABLE, ACTION_TIMING, "
            "ACTION_STATEMENT, SQL_MODE FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = " +
            db + " ORDER BY 1");
    s.views =
        get("SELECT TABLE_NAME, VIEW_DEFINITION, CHECK_OPTION, DEFINER, SECURITY_TYPE, "
            "ALGORITHM FROM information_schema.VIEWS WHERE TABLE_SCHEMA = " +
            db + " ORDER BY 1");
    s.rows = get("SELECT a, HEX(b) FROM " + Quoted(HostileDatabase()) + "." +
                 Quoted("t\n\\! touch " + Marker(2)) + " ORDER BY a");
    s.rows.push_back({});
    for (const auto& row : get("SELECT HEX(e) FROM " + Quoted(HostileDatabase()) + ".v_latin"))
        s.rows.back().push_back(row.at(0));
    return s;
}

void ExpectSame(const Snapshot& got, const Snapshot& want) {
    EXPECT_EQ(got.databases, want.databases);
    EXPECT_EQ(got.tables, want.tables);
    EXPECT_EQ(got.triggers, want.triggers);
    EXPECT_EQ(got.views, want.views);
    EXPECT_EQ(got.rows, want.rows);
    for (int n = 1; n <= 8; ++n) EXPECT_FALSE(std::filesystem::exists(Marker(n))) << Marker(n);
}

class HostileScriptTest : public testing::Test {
  protected:
    void SetUp() override {
        server_ = test::CTestServer::Get();
        if (!server_) GTEST_SKIP() << "no test server runs (tools/test-server start)";
        for (int n = 1; n <= 8; ++n) std::filesystem::remove(Marker(n));
    }
    void Drop() {
        ASSERT_TRUE(server_->Run("DROP DATABASE IF EXISTS " + Quoted(HostileDatabase()) +
                                 ";\nDROP DATABASE IF EXISTS victim;\n"));
    }
    const test::CTestServer* server_ = nullptr;
};

TEST_F(HostileScriptTest, ScriptsAndServerSavesCarryDataNeverCommands) {
    Drop();
    std::string output;
    ASSERT_TRUE(server_->Run(CreationSql(), &output)) << output;
    const Snapshot before = Take(*server_);
    ASSERT_EQ(before.triggers.size(), 4u);
    ASSERT_EQ(before.views.size(), 4u);

    // The database's folder, copied into a data directory of its own, with
    // two byte-built files no server writes: a view whose query holds a shell
    // line, and a trigger file whose statement names another database.
    test::TempDir dir;
    const auto dataDir = dir.path() / "data";
    std::filesystem::path folder;
    for (const auto& entry : std::filesystem::directory_iterator(server_->dataDir()))
        if (entry.path().filename().string().starts_with("hostile")) folder = entry.path();
    ASSERT_FALSE(folder.empty());
    std::filesystem::create_directories(dataDir);
    std::filesystem::copy(folder, dataDir / folder.filename());
    const std::string frm =
        "TYPE=VIEW\nquery=select 1\\n\\\\! touch " + Marker(7) + "\nalgorithm=0\nsuid=2\n";
    test::WriteFile(dataDir / folder.filename() / "v_bad.frm", {frm.begin(), frm.end()});
    const std::string trg =
        "TYPE=TRIGGERS\ntriggers='CREATE DEFINER=`root`@`localhost` TRIGGER victim.planted BEFORE "
        "INSERT ON other FOR EACH ROW SET @a = 1'\nsql_modes=0\n";
    test::WriteFile(dataDir / folder.filename() / "other.TRG", {trg.begin(), trg.end()});
    // The planted trigger's table, so that only the checks can stop it.
    ASSERT_TRUE(server_->Run("CREATE DATABASE victim; CREATE TABLE victim.v (a INT);"));
    const Snapshot withVictim = Take(*server_);

    Drop();
    ASSERT_TRUE(server_->Run("CREATE DATABASE victim; CREATE TABLE victim.v (a INT);"));
    const auto scripts = dir.path() / "scripts";
    const auto err = dir.path() / "err";
    test::RunCli("save " + test::ShellWord(dataDir.string()) + " --script " +
                     test::ShellWord(scripts.string()),
                 err);
    const std::string log = test::ReadFileText(err);
    EXPECT_NE(log.find("Error saving view"), std::string::npos) << log;
    EXPECT_NE(log.find("another database"), std::string::npos) << log;
    const auto script = scripts / (folder.filename().string() + ".sql");
    const std::string text = test::ReadFileText(script);
    EXPECT_TRUE(text.starts_with("/*M!999999\\- ")) << text.substr(0, 80);
    ASSERT_TRUE(server_->Load(script, &output)) << output;
    ExpectSame(Take(*server_), withVictim);

    Drop();
    ASSERT_TRUE(server_->Run("CREATE DATABASE victim; CREATE TABLE victim.v (a INT);"));
    const std::string password = test::RandomPassword();
    ASSERT_TRUE(server_->CreateAccount("brix_hostile", password));
    ASSERT_EQ(setenv("BRIXTALLOW_PASSWORD", password.c_str(), 1), 0);
    test::RunCli("save " + test::ShellWord(dataDir.string()) + " --server 127.0.0.1 --port " +
                     server_->port() + " --user brix_hostile",
                 err);
    unsetenv("BRIXTALLOW_PASSWORD");
    ExpectSame(Take(*server_), withVictim);
    Drop();
}

}  // namespace
}  // namespace brix
