// The saved CREATE TABLE of a partitioned table makes, on a real server, a
// table partitioned as the original was.

#include <gtest/gtest.h>

#include "app/text.h"
#include "save/create_table.h"
#include "schema/frm_reader.h"
#include "support/test_server.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

const char* const kTables[] = {"inno_range", "inno_list", "inno_sub",
                               "my_hash",    "my_key",    "my_sub"};

fs::path PartsFolder() {
    return test::SourceDir() / "tests/fixtures/mariadb-parts/datadir/parts";
}

// The part of a CREATE TABLE text from its partitioning clause on.
std::string ClauseOf(const std::string& statement) {
    const size_t at = statement.find("PARTITION BY");
    return at == std::string::npos ? std::string() : statement.substr(at);
}

class PartitionServerTest : public testing::Test {
  protected:
    void SetUp() override {
        server_ = test::CTestServer::Get();
        if (!server_) GTEST_SKIP() << "no test server runs (tools/test-server start)";
        ASSERT_TRUE(
            server_->Run("DROP DATABASE IF EXISTS brix_parts_save;"
                         "CREATE DATABASE brix_parts_save;"));
    }
    void TearDown() override {
        if (server_) server_->Run("DROP DATABASE IF EXISTS brix_parts_save;");
    }
    const test::CTestServer* server_ = nullptr;
};

TEST_F(PartitionServerTest, SavedStatementsMakeTablesPartitionedAsTheOriginals) {
    for (const char* name : kTables) {
        SCOPED_TRACE(name);
        CTableDef table;
        ASSERT_TRUE(ReadTableDefinition(table, PartsFolder() / (std::string(name) + ".frm"),
                                        test::TestApp()));
        const std::string statement =
            test::U8(CreateTableStatement(table, Utf8ToUtf16(name), test::TestApp().collations));
        std::string output;
        ASSERT_TRUE(server_->Run("USE brix_parts_save;\n" + statement + ";", &output))
            << statement << "\n"
            << output;
        const auto shown =
            server_->Rows("SHOW CREATE TABLE brix_parts_save.`" + std::string(name) + "`");
        ASSERT_TRUE(shown && shown->size() == 1 && (*shown)[0].size() == 2);
        std::string expected = test::ReadFileText(PartsFolder() / "../../expected/parts" /
                                                  (std::string(name) + ".create.sql"));
        while (!expected.empty() && expected.back() == '\n') expected.pop_back();
        EXPECT_EQ(ClauseOf((*shown)[0][1]), ClauseOf(expected));
        // The partitions the server made are the original's, in order.
        const auto parts = server_->Rows(
            "SELECT COALESCE(SUBPARTITION_NAME, PARTITION_NAME) FROM information_schema.PARTITIONS "
            "WHERE TABLE_SCHEMA = 'brix_parts_save' AND TABLE_NAME = '" +
            std::string(name) +
            "' ORDER BY PARTITION_ORDINAL_POSITION, SUBPARTITION_ORDINAL_POSITION");
        ASSERT_TRUE(parts);
        EXPECT_EQ(*parts, test::ReadTsv(PartsFolder() / "../../expected/parts" /
                                        (std::string(name) + ".partitions")));
    }
}

}  // namespace
}  // namespace brix
