// Round trips of every other fixture set through the private test server:
// partitioned tables, ROW_FORMAT=COMPRESSED, page sizes of 4 to 64 KiB and
// PAGE_COMPRESSED, myisampack'ed tables, MariaDB's own types and long unique
// keys, old .frm layouts and the definitions set. Each data directory is
// saved as scripts, which the stock client loads, and straight into the
// server over ODBC; each table then answers the SELECT its set's make-script
// ran with the rows the server that wrote the set returned.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "support/test_server.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

// How a set's make-script selected the columns it wrote into
// TABLE.select.tsv.
enum class SelectedAs {
    kAsStored,          // every column as the server prints it
    kBlobsAsHex,        // BLOB columns as HEX(col)
    kBlobsAsPrefixHex,  // BLOB and binary columns as '0x' and HEX(col), BIT as binary digits
    kBinaryAsHex,       // BINARY, VARBINARY and BLOB as HEX(col), BIT(M) as M digits
};

struct FixtureSet {
    const char* label;
    const char* folder;                  // under tests/fixtures, holding datadir/ and expected/
    std::vector<std::string> databases;  // in the order their scripts load
    SelectedAs selected;
    // Lines the script of the first database must hold: what it says of
    // tables that cannot go back as they were.
    std::vector<std::string> scriptSays;
    // Tables whose SHOW CREATE TABLE must hold a text, where the set keeps
    // none of the writing server's.
    std::vector<std::pair<std::string, std::string>> createSays = {};
    // SHOW CREATE TABLE equals the writing server's where the set keeps it.
    bool definitionsAsWritten = true;
};

void PrintTo(const FixtureSet& set, std::ostream* out) {
    *out << set.folder;
}

const std::vector<FixtureSet>& FixtureSets() {
    static const std::vector<FixtureSet> sets = {
        {"partitions", "mariadb-parts", {"parts"}, SelectedAs::kAsStored, {}},
        {"compressed",
         "compressed",
         {"zip"},
         SelectedAs::kBlobsAsHex,
         {"-- Table `kb1`: saved with ROW_FORMAT=COMPRESSED as it was; a server with "
          "innodb_read_only_compressed on refuses to create it"},
         {{"kb1", "ROW_FORMAT=COMPRESSED KEY_BLOCK_SIZE=1"},
          {"kb4", "ROW_FORMAT=COMPRESSED KEY_BLOCK_SIZE=4"},
          {"lobs8", "ROW_FORMAT=COMPRESSED KEY_BLOCK_SIZE=8"}}},
        {"pages4k",
         "page-sizes/p4k",
         {"pages"},
         SelectedAs::kBlobsAsHex,
         {},
         {{"squeezed", "`PAGE_COMPRESSED`='1'"}}},
        {"pages8k",
         "page-sizes/p8k",
         {"pages"},
         SelectedAs::kBlobsAsHex,
         {},
         {{"squeezed", "`PAGE_COMPRESSED`='1'"}}},
        {"pages32k",
         "page-sizes/p32k",
         {"pages"},
         SelectedAs::kBlobsAsHex,
         {},
         {{"squeezed", "`PAGE_COMPRESSED`='1'"}}},
        {"pages64k",
         "page-sizes/p64k",
         {"pages"},
         SelectedAs::kBlobsAsHex,
         {},
         {{"squeezed", "`PAGE_COMPRESSED`='1'"}}},
        {"pages16kCrc32",
         "page-sizes/classic",
         {"pages"},
         SelectedAs::kBlobsAsHex,
         {},
         {{"squeezed", "`PAGE_COMPRESSED`='1'"}}},
        {"pageCompressionAlgorithms",
         "page-sizes/algos",
         {"pages"},
         SelectedAs::kBlobsAsHex,
         {},
         {{"squeezed_snappy", "`PAGE_COMPRESSED`='1'"}}},
        {"packed",
         "packed",
         {"packed"},
         SelectedAs::kBinaryAsHex,
         {"-- Table `pk_types`: its rows were packed with myisampack (a read-only table); it is "
          "saved as an ordinary MyISAM table holding the same rows\n",
          "-- Table `pk_fixed`: its rows were packed with myisampack"}},
        {"mariadbTypes", "mariadb-types", {"newtypes"}, SelectedAs::kBlobsAsPrefixHex, {}},
        // MySQL 9's compressed tables whose long values are compressed large
        // objects, JSON among them; MySQL's own statements are not MariaDB's.
        {"mysqlCompressedLargeObjects",
         "mysql9-extra",
         {"zlob"},
         SelectedAs::kBinaryAsHex,
         {},
         {},
         false},
        // The 4.1 VARCHAR of packed records is saved as the VARCHAR the
        // servers of that layout showed; MariaDB 10.11 calls it CHAR.
        {"legacy",
         "legacy",
         {"legacy"},
         SelectedAs::kAsStored,
         {},
         {{"v41", "`c` varchar(10) DEFAULT NULL"},
          {"v41", "`s` char(3) DEFAULT NULL"},
          {"v41_fixed", "`c` char(10) DEFAULT NULL"},
          {"vc101", "`v` int(11) GENERATED ALWAYS AS (`a` + 1) VIRTUAL"}},
         false},
        // Its definitions, which the save changes where a server of today
        // needs it, are compared in definition_save_test.
        {"definitions",
         "mariadb-defs",
         {"defs", "defs_other"},
         SelectedAs::kAsStored,
         {},
         {},
         false},
    };
    return sets;
}

fs::path SetFolder(const FixtureSet& set) {
    return test::SourceDir() / "tests/fixtures" / set.folder;
}

// The select expression of each column of the saved table, as the set's
// make-script wrote it, from the server's own column list.
std::string SelectListSql(const std::string& database, SelectedAs selected) {
    std::string expression;
    switch (selected) {
        case SelectedAs::kAsStored:
            expression = "CONCAT('`', COLUMN_NAME, '`')";
            break;
        case SelectedAs::kBlobsAsHex:
            expression =
                "IF(DATA_TYPE LIKE '%blob', CONCAT('HEX(`', COLUMN_NAME, '`)'), "
                "CONCAT('`', COLUMN_NAME, '`'))";
            break;
        case SelectedAs::kBlobsAsPrefixHex:
            expression =
                "CASE WHEN DATA_TYPE LIKE '%blob' OR DATA_TYPE IN ('binary','varbinary') "
                "THEN CONCAT('CONCAT(''0x'', HEX(`', COLUMN_NAME, '`))') "
                "WHEN DATA_TYPE = 'bit' THEN CONCAT('LPAD(BIN(`', COLUMN_NAME, '`), ', "
                "NUMERIC_PRECISION, ', ''0'')') "
                "ELSE CONCAT('`', COLUMN_NAME, '`') END";
            break;
        case SelectedAs::kBinaryAsHex:
            expression =
                "CASE WHEN DATA_TYPE IN ('binary','varbinary','tinyblob','blob','mediumblob',"
                "'longblob') THEN CONCAT('HEX(`', COLUMN_NAME, '`)') "
                "WHEN DATA_TYPE = 'bit' THEN CONCAT('LPAD(BIN(`', COLUMN_NAME, '`), ', "
                "NUMERIC_PRECISION, ', ''0'')') "
                "ELSE CONCAT('`', COLUMN_NAME, '`') END";
            break;
    }
    return "SET SESSION group_concat_max_len = 1048576;\n"
           "SELECT TABLE_NAME, GROUP_CONCAT(" +
           expression +
           " ORDER BY ORDINAL_POSITION SEPARATOR ', ') FROM information_schema.COLUMNS "
           "WHERE TABLE_SCHEMA = " +
           test::SqlString(database) + " GROUP BY TABLE_NAME";
}

// SHOW CREATE TABLE without the next AUTO_INCREMENT value: the writing
// server showed its counter in memory, which multi-row inserts had taken past
// the values they used, while its files keep the largest value used, which a
// save carries.
std::string Comparable(std::string create) {
    create = std::regex_replace(create, std::regex(" AUTO_INCREMENT=\\d+"), "");
    while (!create.empty() && create.back() == '\n') create.pop_back();
    return create;
}

std::string ShowRow(const std::vector<std::string>& row) {
    std::string s;
    for (const std::string& f : row) s += (s.empty() ? "" : " | ") + f.substr(0, 60);
    return s;
}

// What differs between every table the set's expected folder has rows of and
// the saved table of the same name, as sorted lists of rows (row order is
// the engine's business, not the data's).
std::vector<std::string> Differences(const test::CTestServer& server, const FixtureSet& set) {
    std::vector<std::string> problems;
    size_t tables = 0;
    for (const std::string& db : set.databases) {
        const auto lists = server.Rows(SelectListSql(db, set.selected));
        if (!lists) {
            problems.push_back(db + ": the column lists cannot be read");
            continue;
        }
        for (const auto& entry : fs::directory_iterator(SetFolder(set) / "expected" / db)) {
            const std::string file = entry.path().filename().string();
            const size_t suffix = file.rfind(".select.tsv");
            if (suffix == std::string::npos || suffix + 11 != file.size()) continue;
            const std::string table = file.substr(0, suffix);
            const std::string where = db + "." + table;
            ++tables;
            const auto list = std::find_if(lists->begin(), lists->end(),
                                           [&](const auto& row) { return row[0] == table; });
            if (list == lists->end() || list->size() < 2) {
                problems.push_back(where + ": the table is missing");
                continue;
            }
            auto have = server.Rows("SELECT " + (*list)[1] + " FROM `" + db + "`.`" + table + "`");
            if (!have) {
                problems.push_back(where + ": the table cannot be read");
                continue;
            }
            const fs::path create = SetFolder(set) / "expected" / db / (table + ".create.sql");
            if (set.definitionsAsWritten && fs::exists(create)) {
                const auto shown = server.Rows("SHOW CREATE TABLE `" + db + "`.`" + table + "`");
                const std::string want = Comparable(test::ReadFileText(create));
                const std::string have = shown && !shown->empty() && (*shown)[0].size() > 1
                                             ? Comparable((*shown)[0][1])
                                             : std::string();
                if (have != want)
                    problems.push_back(where + " is defined as\n" + have + "\ninstead of\n" + want);
            }
            for (const auto& [name, fragment] : set.createSays) {
                if (name != table) continue;
                const auto shown = server.Rows("SHOW CREATE TABLE `" + db + "`.`" + table + "`");
                if (!shown || shown->empty() || (*shown)[0].size() < 2 ||
                    (*shown)[0][1].find(fragment) == std::string::npos)
                    problems.push_back(where + " is not defined with " + fragment);
            }
            auto want = test::ReadTsv(entry.path());
            if (!want.empty()) want.erase(want.begin());
            std::sort(want.begin(), want.end());
            std::sort(have->begin(), have->end());
            if (want == *have) continue;
            problems.push_back(where + ": " + std::to_string(have->size()) +
                               " rows, the fixture has " + std::to_string(want.size()));
            std::vector<std::vector<std::string>> missing, extra;
            std::set_difference(want.begin(), want.end(), have->begin(), have->end(),
                                std::back_inserter(missing));
            std::set_difference(have->begin(), have->end(), want.begin(), want.end(),
                                std::back_inserter(extra));
            for (size_t i = 0; i < std::min<size_t>(missing.size(), 3); ++i)
                problems.push_back("  fixture row not found: " + ShowRow(missing[i]));
            for (size_t i = 0; i < std::min<size_t>(extra.size(), 3); ++i)
                problems.push_back("  saved row not expected: " + ShowRow(extra[i]));
        }
    }
    if (tables == 0) problems.push_back("the set has no expected rows");
    return problems;
}

std::string Report(const std::vector<std::string>& problems) {
    std::string report;
    for (size_t i = 0; i < std::min<size_t>(problems.size(), 40); ++i) report += problems[i] + "\n";
    return report;
}

class FixtureSetRoundTripTest : public testing::TestWithParam<FixtureSet> {
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
        std::string sql;
        for (const std::string& db : GetParam().databases)
            sql += "DROP DATABASE IF EXISTS `" + db + "`;\n";
        ASSERT_TRUE(server_->Run(sql));
    }
    const test::CTestServer* server_ = nullptr;
};

TEST_P(FixtureSetRoundTripTest, ScriptsAndServerSavesHoldTheRowsTheWritingServerReturned) {
    const FixtureSet& set = GetParam();
    const std::string dataDir = test::ShellWord((SetFolder(set) / "datadir").string());
    test::TempDir dir;
    const auto err = dir.path() / "err";
    const auto folder = dir.path() / "scripts";
    ASSERT_EQ(
        test::RunCli("save " + dataDir + " --script " + test::ShellWord(folder.string()), err), 0)
        << test::ReadFileText(err);
    for (const std::string& db : set.databases) {
        std::string output;
        ASSERT_TRUE(server_->Load(folder / (db + ".sql"), &output)) << db << ": " << output;
    }
    const std::string script = test::ReadFileText(folder / (set.databases.front() + ".sql"));
    for (const std::string& line : set.scriptSays)
        EXPECT_NE(script.find(line), std::string::npos) << "the script does not say: " << line;
    std::vector<std::string> problems = Differences(*server_, set);
    EXPECT_TRUE(problems.empty()) << "script: " << problems.size() << " problems:\n"
                                  << Report(problems);

    DropDatabases();
    const std::string password = test::RandomPassword();
    ASSERT_TRUE(server_->CreateAccount("brix_sets", password));
    ASSERT_EQ(setenv("BRIXTALLOW_PASSWORD", password.c_str(), 1), 0);
    const int status = test::RunCli(
        "save " + dataDir + " --server 127.0.0.1 --port " + server_->port() + " --user brix_sets",
        err);
    unsetenv("BRIXTALLOW_PASSWORD");
    ASSERT_EQ(status, 0) << test::ReadFileText(err);
    problems = Differences(*server_, set);
    EXPECT_TRUE(problems.empty()) << "server: " << problems.size() << " problems:\n"
                                  << Report(problems);
}

INSTANTIATE_TEST_SUITE_P(EverySet, FixtureSetRoundTripTest, testing::ValuesIn(FixtureSets()),
                         [](const testing::TestParamInfo<FixtureSet>& info) {
                             return std::string(info.param.label);
                         });

}  // namespace
}  // namespace brix
