// The connection test against the private test server, and names and values
// that try to break out of the statements a save writes.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "app/text.h"
#include "save/connection_test.h"
#include "support/test_server.h"
#include "support/test_support.h"

namespace brix {
namespace {

class ServerTest : public testing::Test {
  protected:
    void SetUp() override {
        server_ = test::CTestServer::Get();
        if (!server_) GTEST_SKIP() << "no test server runs (tools/test-server start)";
    }

    CConnectionSettings Account(const std::string& user, const std::string& password) const {
        CConnectionSettings s;
        s.server = u"127.0.0.1";
        s.port = Utf8ToUtf16(server_->port());
        s.user = Utf8ToUtf16(user);
        s.password = Utf8ToUtf16(password);
        return s;
    }

    const test::CTestServer* server_ = nullptr;
};

TEST_F(ServerTest, TheConnectionTestSucceedsOnlyWithTheRightAccount) {
    const std::string password = test::RandomPassword();
    ASSERT_TRUE(server_->CreateAccount("brix_conn", password));
    CConnectionTestResult r = TestConnection(Account("brix_conn", password));
    EXPECT_TRUE(r.tested);
    EXPECT_EQ(test::U8(r.message), "Connection is successful");

    r = TestConnection(Account("brix_conn", password + "x"));
    EXPECT_FALSE(r.tested);
    EXPECT_NE(test::U8(r.message).find("Access denied for user 'brix_conn'"), std::string::npos)
        << test::U8(r.message);
    EXPECT_EQ(r.message.back(), u'\n');
    EXPECT_EQ(test::U8(r.message).find(password), std::string::npos);
}

TEST_F(ServerTest, UserNamesAndPasswordsWithSemicolonsAndBracesArriveIntact) {
    const std::string user = "we;ir}d{";
    const std::string password = "}};PWD={x};UID=root;";
    ASSERT_TRUE(server_->CreateAccount(user, password));
    EXPECT_TRUE(TestConnection(Account(user, password)).tested);
    // The same text with the braces undone is another account altogether.
    EXPECT_FALSE(TestConnection(Account("we;ir", password)).tested);
}

TEST_F(ServerTest, AnEmptyPasswordIsAcceptedAndPassedOnAsEmpty) {
    ASSERT_TRUE(server_->CreateAccount("brix_nopw", ""));
    EXPECT_TRUE(TestConnection(Account("brix_nopw", "")).tested);
    EXPECT_FALSE(TestConnection(Account("brix_nopw", "x")).tested);
}

// The comments of a table and its columns.
std::optional<std::vector<std::vector<std::string>>> Comments(const test::CTestServer& server,
                                                              const std::string& database) {
    return server.Rows(
        "SELECT TABLE_COMMENT FROM information_schema.TABLES WHERE TABLE_SCHEMA = '" + database +
        "' AND TABLE_NAME = 't`q' UNION ALL SELECT COLUMN_COMMENT FROM information_schema.COLUMNS "
        "WHERE TABLE_SCHEMA = '" +
        database + "' AND TABLE_NAME = 't`q'");
}

// Every cell of a table as hex with its NULL flag, in key order.
std::optional<std::vector<std::vector<std::string>>> Cells(const test::CTestServer& server,
                                                           const std::string& table) {
    return server.Rows(
        "SELECT id, `c``ol` IS NULL, HEX(`c``ol`), `b``in` IS NULL, HEX(`b``in`), "
        "`t``xt` IS NULL, HEX(`t``xt`) FROM " +
        table + " ORDER BY id");
}

// A MyISAM and an InnoDB table whose names hold a backquote, with values that
// hold quotes, backslashes, NUL bytes, line ends, Ctrl-Z, statement text and
// the text NULL beside real NULLs. They are made by the server, their files
// copied into a data directory of their own (database breakout_copy), saved
// as a script and over ODBC, and each copy must hold exactly what the
// original holds.
TEST_F(ServerTest, NamesAndValuesThatTryToBreakOutSurviveBothKindsOfSave) {
    test::TempDir dir;
    const auto copy = dir.path() / "datadir" / "breakout_copy";
    std::filesystem::create_directories(copy);
    const auto from = server_->dataDir() / "breakout";
    // Longer than fits in the .frm's form information: kept after the
    // default record instead.
    std::string longComment = "quote '' and backslash \\\\ ";
    while (longComment.size() < 300) longComment += "long comment ";
    std::string output;
    ASSERT_TRUE(server_->Run(
        "DROP DATABASE IF EXISTS breakout;\n"
        "DROP DATABASE IF EXISTS breakout_copy;\n"
        "CREATE DATABASE breakout CHARACTER SET utf8mb4;\n"
        "USE breakout;\n"
        "CREATE TABLE `t``q` (id INT PRIMARY KEY,\n"
        "  `c``ol` VARCHAR(60) COMMENT 'it''s a \\\\ comment', `b``in` VARBINARY(20),\n"
        "  `t``xt` TEXT) ENGINE=MyISAM COMMENT='" +
            longComment +
            "';\n"
            "CREATE TABLE `i``q` LIKE `t``q`;\n"
            "ALTER TABLE `i``q` ENGINE=InnoDB;\n"
            "INSERT INTO `t``q` VALUES\n"
            "  (1, 'it''s', '\\0x', 'back\\\\slash'),\n"
            "  (2, 'NULL', NULL, NULL),\n"
            "  (3, NULL, 'NULL', 'NULL'),\n"
            "  (4, 'nul\\0in', 0x00275C22, '\"; DROP TABLE x; --'),\n"
            "  (5, 'line\\nfeed\\rreturn\\Z', '', ''),\n"
            "  (6, '`); DROP DATABASE breakout; --', 0x60, '\\\\'''),\n"
            "  (7, '', 0x5C30, '\\\\0 is not a NUL');\n"
            "INSERT INTO `i``q` SELECT * FROM `t``q`;\n"
            "FLUSH TABLES `t``q`, `i``q` FOR EXPORT;\n"
            "\\! cp " +
            test::ShellWord(from.string()) + "/t@0060q.* " + test::ShellWord(from.string()) +
            "/i@0060q.frm " + test::ShellWord(from.string()) + "/i@0060q.ibd " +
            test::ShellWord(copy.string()) +
            "\n"
            "UNLOCK TABLES;\n",
        &output))
        << output;
    ASSERT_TRUE(std::filesystem::exists(copy / "i@0060q.ibd"));
    const auto original = Cells(*server_, "breakout.`t``q`");
    ASSERT_TRUE(original && original->size() == 7u);
    ASSERT_EQ(Cells(*server_, "breakout.`i``q`"), original);
    const auto comments = Comments(*server_, "breakout");
    ASSERT_TRUE(comments && comments->size() == 5u && comments->front().front().size() > 255);

    const auto err = dir.path() / "err";
    const auto scripts = dir.path() / "scripts";
    ASSERT_EQ(test::RunCli("save " + test::ShellWord((dir.path() / "datadir").string()) +
                               " --script " + test::ShellWord(scripts.string()),
                           err),
              0)
        << test::ReadFileText(err);
    ASSERT_TRUE(server_->Load(scripts / "breakout_copy.sql", &output)) << output;
    EXPECT_EQ(Cells(*server_, "breakout_copy.`t``q`"), original);
    EXPECT_EQ(Cells(*server_, "breakout_copy.`i``q`"), original);
    EXPECT_EQ(Comments(*server_, "breakout_copy"), comments);

    ASSERT_TRUE(server_->Run("DROP DATABASE breakout_copy;"));
    const std::string password = test::RandomPassword();
    ASSERT_TRUE(server_->CreateAccount("brix_breakout", password));
    ASSERT_EQ(setenv("BRIXTALLOW_PASSWORD", password.c_str(), 1), 0);
    const int status =
        test::RunCli("save " + test::ShellWord((dir.path() / "datadir").string()) +
                         " --server 127.0.0.1 --port " + server_->port() + " --user brix_breakout",
                     err);
    unsetenv("BRIXTALLOW_PASSWORD");
    ASSERT_EQ(status, 0) << test::ReadFileText(err);
    EXPECT_EQ(Cells(*server_, "breakout_copy.`t``q`"), original);
    EXPECT_EQ(Cells(*server_, "breakout_copy.`i``q`"), original);
    EXPECT_EQ(Comments(*server_, "breakout_copy"), comments);
}

// Defaults of every kind a .frm keeps, in a table made by the server and
// saved from a copy of its files: the copy's SHOW CREATE TABLE must be the
// original's.
TEST_F(ServerTest, DefaultsOfEveryKindSurviveAScript) {
    test::TempDir dir;
    const auto copy = dir.path() / "datadir" / "defaults_copy";
    std::filesystem::create_directories(copy);
    const auto from = server_->dataDir() / "defaults";
    std::string output;
    ASSERT_TRUE(server_->Run(
        "DROP DATABASE IF EXISTS defaults;\n"
        "DROP DATABASE IF EXISTS defaults_copy;\n"
        "CREATE DATABASE defaults CHARACTER SET utf8mb4;\n"
        "USE defaults;\n"
        "CREATE TABLE t (\n"
        "  id INT NOT NULL AUTO_INCREMENT PRIMARY KEY,\n"
        "  a TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,\n"
        "  b DATETIME(3) DEFAULT CURRENT_TIMESTAMP(3),\n"
        "  c TIMESTAMP NULL ON UPDATE CURRENT_TIMESTAMP,\n"
        "  d VARCHAR(10) DEFAULT 'it''s \\\\',\n"
        "  e BLOB DEFAULT 'x',\n"
        "  f BINARY(3) DEFAULT 'ab',\n"
        "  g BIT(5) DEFAULT b'101',\n"
        "  h DECIMAL(5,2) DEFAULT -1.5,\n"
        "  i INT NOT NULL,\n"
        "  j DATE DEFAULT '0000-00-00',\n"
        "  k FLOAT DEFAULT 0.1,\n"
        "  l TEXT,\n"
        "  m ENUM('x','y''s') NOT NULL DEFAULT 'y''s',\n"
        "  n SET('p','q') DEFAULT 'p,q',\n"
        "  o INT DEFAULT (FLOOR(RAND() * 10) + 1),\n"
        "  p CHAR(4) DEFAULT 'NULL',\n"
        "  q TIME(2) DEFAULT '-12:00:00.50'\n"
        ") ENGINE=MyISAM;\n"
        "FLUSH TABLES t;\n"
        "\\! cp " +
            test::ShellWord(from.string()) + "/t.* " + test::ShellWord(copy.string()) + "\n",
        &output))
        << output;
    const auto err = dir.path() / "err";
    ASSERT_EQ(test::RunCli("save " + test::ShellWord((dir.path() / "datadir").string()) +
                               " --script " + test::ShellWord(dir.path().string()),
                           err),
              0)
        << test::ReadFileText(err);
    ASSERT_TRUE(server_->Load(dir.path() / "defaults_copy.sql", &output)) << output;
    const auto original = server_->Rows("SHOW CREATE TABLE defaults.t");
    const auto saved = server_->Rows("SHOW CREATE TABLE defaults_copy.t");
    ASSERT_TRUE(original && saved && original->size() == 1 && saved->size() == 1);
    EXPECT_EQ(saved->front().at(1), original->front().at(1));
}

}  // namespace
}  // namespace brix

namespace brix {
namespace {

// A save into the server of a copy in which one MyISAM table lost its .MYD:
// that table fails with its reason (it is created, but empty) and the run
// ends in status 1, while the whole table beside it arrives with every row.
TEST_F(ServerTest, ATableWhoseDataFileIsMissingFailsAndTheOthersArrive) {
    test::TempDir dir;
    const auto copy = dir.path() / "datadir" / "damage_copy";
    std::filesystem::create_directories(copy);
    for (const char* name : {"no_key_myisam.frm", "no_key_myisam.MYI", "pk_later_myisam.frm",
                             "pk_later_myisam.MYD", "pk_later_myisam.MYI"})
        std::filesystem::copy_file(test::FixtureDataDir() / "keys" / name, copy / name);
    ASSERT_TRUE(server_->Run("DROP DATABASE IF EXISTS damage_copy;"));
    const std::string password = test::RandomPassword();
    ASSERT_TRUE(server_->CreateAccount("brix_damage", password));
    ASSERT_EQ(setenv("BRIXTALLOW_PASSWORD", password.c_str(), 1), 0);
    const auto err = dir.path() / "err";
    const int status =
        test::RunCli("save " + test::ShellWord((dir.path() / "datadir").string()) +
                         " --server 127.0.0.1 --port " + server_->port() + " --user brix_damage",
                     err);
    unsetenv("BRIXTALLOW_PASSWORD");
    const std::string errText = test::ReadFileText(err);
    EXPECT_EQ(status, 1) << errText;
    EXPECT_NE(errText.find("damage: "), std::string::npos) << errText;
    EXPECT_NE(errText.find("data file missing"), std::string::npos) << errText;
    const auto counts = server_->Rows(
        "SELECT (SELECT COUNT(*) FROM damage_copy.no_key_myisam), "
        "(SELECT COUNT(*) FROM damage_copy.pk_later_myisam)");
    ASSERT_TRUE(counts && counts->size() == 1u);
    EXPECT_EQ((*counts)[0][0], "0");
    EXPECT_NE((*counts)[0][1], "0");
    ASSERT_TRUE(server_->Run("DROP DATABASE damage_copy;"));
}

}  // namespace
}  // namespace brix
