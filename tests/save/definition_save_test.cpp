// A saved script of the definitions fixture loads into a server with the
// defaults of MariaDB 10.11 (innodb_strict_mode on) and makes every table
// as the server that wrote it showed it: foreign keys (across databases,
// self-referencing, of two columns), CHECK constraints, the next
// AUTO_INCREMENT value, and the same rows; the wide COMPACT table comes back
// in ROW_FORMAT=DYNAMIC, as the script says.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "support/test_server.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

fs::path DefsDir() {
    return test::SourceDir() / "tests/fixtures/mariadb-defs";
}

const char* const kDatabases[] = {"defs", "defs_other"};

class DefinitionSaveTest : public testing::Test {
  protected:
    void SetUp() override {
        server_ = test::CTestServer::Get();
        if (!server_) GTEST_SKIP() << "no test server runs (tools/test-server start)";
        DropDatabases();
    }
    void TearDown() override {
        if (server_) DropDatabases();
    }
    void DropDatabases() {
        ASSERT_TRUE(
            server_->Run("DROP DATABASE IF EXISTS defs; DROP DATABASE IF EXISTS defs_other;"));
    }

    // Every table of both databases against the fixture: SHOW CREATE TABLE
    // as the writing server gave it (but for the wide table's row format) and
    // the rows.
    void ExpectTablesAsTheFixture() {
        const auto strict = server_->Rows("SELECT @@innodb_strict_mode");
        ASSERT_TRUE(strict && !strict->empty());
        EXPECT_EQ((*strict)[0][0], "1");
        size_t tables = 0;
        for (const char* db : kDatabases) {
            for (const auto& entry : fs::directory_iterator(DefsDir() / "expected" / db)) {
                const std::string file = entry.path().filename().string();
                const size_t suffix = file.rfind(".create.sql");
                if (suffix == std::string::npos) continue;
                const std::string table = file.substr(0, suffix);
                SCOPED_TRACE(std::string(db) + "." + table);
                ++tables;
                std::string want = test::ReadFileText(entry.path());
                while (!want.empty() && want.back() == '\n') want.pop_back();
                if (table == "wide")
                    want = std::regex_replace(want, std::regex("COMPACT$"), "DYNAMIC");
                const std::string from = std::string("`") + db + "`.`" + table + "`";
                const auto shown = server_->Rows("SHOW CREATE TABLE " + from);
                ASSERT_TRUE(shown && shown->size() == 1 && (*shown)[0].size() == 2);
                // The key into defs_other names that database, over ODBC too.
                EXPECT_EQ((*shown)[0][1], want);
                auto rows = server_->Rows("SELECT * FROM " + from + " ORDER BY 1");
                ASSERT_TRUE(rows);
                auto expected =
                    test::ReadTsv(DefsDir() / "expected" / db / (table + ".select.tsv"));
                if (!expected.empty()) expected.erase(expected.begin());
                EXPECT_EQ(*rows, expected);
            }
        }
        EXPECT_EQ(tables, 13u);
    }

    const test::CTestServer* server_ = nullptr;
};

TEST_F(DefinitionSaveTest, AScriptCarriesConstraintsCountersAndAWorkableRowFormat) {
    test::TempDir dir;
    const auto err = dir.path() / "err";
    ASSERT_EQ(test::RunCli("save " + test::ShellWord((DefsDir() / "datadir").string()) +
                               " --script " + test::ShellWord(dir.path().string()),
                           err),
              0)
        << test::ReadFileText(err);
    const std::string script = test::ReadFileText(dir.path() / "defs.sql");
    EXPECT_NE(script.find("SET FOREIGN_KEY_CHECKS=0;"), std::string::npos);
    EXPECT_NE(script.find("-- Table `wide`: saved with ROW_FORMAT=DYNAMIC instead of COMPACT"),
              std::string::npos);
    EXPECT_NE(test::ReadFileText(err).find("Table defs.wide: saved with ROW_FORMAT=DYNAMIC"),
              std::string::npos);
    // defs first: its tables reference defs_other's before that exists.
    for (const char* db : {"defs", "defs_other"}) {
        std::string output;
        EXPECT_TRUE(server_->Load(dir.path() / (std::string(db) + ".sql"), &output))
            << db << ": " << output;
    }
    ExpectTablesAsTheFixture();
    // The keys work: deleting a parent cascades to its children.
    ASSERT_TRUE(server_->Run("DELETE FROM defs.parent WHERE id = 1;"));
    const auto left = server_->Rows("SELECT COUNT(*) FROM defs.child");
    ASSERT_TRUE(left && !left->empty());
    EXPECT_EQ((*left)[0][0], "1");
}

TEST_F(DefinitionSaveTest, AServerSaveCarriesTheSame) {
    const std::string password = test::RandomPassword();
    ASSERT_TRUE(server_->CreateAccount("brix_defs", password));
    ASSERT_EQ(setenv("BRIXTALLOW_PASSWORD", password.c_str(), 1), 0);
    test::TempDir dir;
    const auto err = dir.path() / "err";
    const int status =
        test::RunCli("save " + test::ShellWord((DefsDir() / "datadir").string()) +
                         " --server 127.0.0.1 --port " + server_->port() + " --user brix_defs",
                     err);
    unsetenv("BRIXTALLOW_PASSWORD");
    ASSERT_EQ(status, 0) << test::ReadFileText(err);
    ExpectTablesAsTheFixture();
}

}  // namespace
}  // namespace brix
