// Deleted rows saved apart through the private test server: the tables of
// the deleted fixture saved with --deleted, as a script loaded with the stock
// client and straight over ODBC; each TABLE__deleted then holds exactly the
// rows that rows --deleted reads (export mode, as a save renders them), and
// the live table none of them.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/text.h"
#include "browse/table_rows.h"
#include "support/test_server.h"
#include "support/test_support.h"

namespace brix {
namespace {

const std::filesystem::path kDeletedData =
    test::SourceDir() / "tests" / "fixtures" / "deleted" / "datadir";
const char* const kTables[] = {"inno_kept",  "inno_purged",     "my_fixed",
                               "my_dynamic", "my_dynamic_lead", "my_grown"};

using Rows = std::vector<std::vector<std::string>>;

// Every deleted row of the table as the rows command reads it with --deleted
// --export --all, NULL as the client prints it.
Rows DeletedRows(const std::string& table) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    test::TempDir spill;
    CReadOptions options;
    options.deleted = true;
    options.exportMode = true;
    options.spillFolder = spill.path();
    CTableRows rows;
    EXPECT_EQ(rows.Open(kDeletedData / "recover", Utf8ToUtf16(table), *app, options),
              OpenRowsResult::kOk);
    Rows out;
    size_t windows = 0;
    do {
        const CRowWindow& window = rows.rows();
        for (size_t r = 0; r < window.rowCount(); ++r) {
            out.emplace_back();
            for (size_t c = 0; c < window.columnCount(); ++c)
                out.back().push_back(window.IsNull(r, c) ? "NULL" : test::U8(window.Text(r, c)));
        }
    } while (rows.ReadNextWindow(*app) && ++windows < 100000);
    std::sort(out.begin(), out.end());
    return out;
}

void ExpectDeletedTablesAsRead(const test::CTestServer& server) {
    size_t saved = 0;
    for (const char* table : kTables) {
        const std::string name = table;
        const Rows want = DeletedRows(name);
        const auto exists = server.Rows(
            "SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'recover' AND "
            "TABLE_NAME = " +
            test::SqlString(name + "__deleted"));
        ASSERT_TRUE(exists && exists->size() == 1) << name;
        if (want.empty()) {
            // No table of nothing.
            EXPECT_EQ(exists->front().front(), "0") << name;
            continue;
        }
        ++saved;
        auto have = server.Rows("SELECT * FROM `recover`.`" + name + "__deleted`");
        ASSERT_TRUE(have) << name;
        std::sort(have->begin(), have->end());
        EXPECT_EQ(*have, want) << name;
        // The live table keeps its own rows only: none of the deleted ids.
        const auto live = server.Rows("SELECT COUNT(*) FROM `recover`.`" + name +
                                      "` WHERE id % 3 = 0 OR id BETWEEN 10 AND 20");
        ASSERT_TRUE(live && live->size() == 1) << name;
        EXPECT_EQ(live->front().front(), "0") << name;
    }
    EXPECT_GE(saved, 3u);
}

class DeletedRoundTripTest : public testing::Test {
  protected:
    void SetUp() override {
        server_ = test::CTestServer::Get();
        if (!server_) GTEST_SKIP() << "no test server runs (tools/test-server start)";
        ASSERT_TRUE(server_->Run("DROP DATABASE IF EXISTS `recover`;\n"));
    }
    const test::CTestServer* server_ = nullptr;
};

TEST_F(DeletedRoundTripTest, AScriptLoadsEachTablesDeletedRowsIntoATableOfTheirOwn) {
    test::TempDir dir;
    const auto err = dir.path() / "err";
    ASSERT_EQ(
        test::RunCli("save " + test::ShellWord(kDeletedData.string()) + " --deleted --script " +
                         test::ShellWord((dir.path() / "scripts").string()),
                     err),
        0)
        << test::ReadFileText(err);
    const std::string log = test::ReadFileText(err);
    EXPECT_NE(log.find("[log] Saving table recover.my_fixed__deleted"), std::string::npos) << log;
    std::string output;
    ASSERT_TRUE(server_->Load(dir.path() / "scripts" / "recover.sql", &output)) << output;
    ExpectDeletedTablesAsRead(*server_);
}

TEST_F(DeletedRoundTripTest, AServerSaveOverOdbcDoesTheSame) {
    const std::string password = test::RandomPassword();
    ASSERT_TRUE(server_->CreateAccount("brix_deleted", password));
    ASSERT_EQ(setenv("BRIXTALLOW_PASSWORD", password.c_str(), 1), 0);
    test::TempDir dir;
    const auto err = dir.path() / "err";
    const int status = test::RunCli("save " + test::ShellWord(kDeletedData.string()) +
                                        " --deleted --server 127.0.0.1 --port " + server_->port() +
                                        " --user brix_deleted",
                                    err);
    unsetenv("BRIXTALLOW_PASSWORD");
    ASSERT_EQ(status, 0) << test::ReadFileText(err);
    ExpectDeletedTablesAsRead(*server_);
}

}  // namespace
}  // namespace brix
