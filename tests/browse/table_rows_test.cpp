#include "browse/table_rows.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/text.h"
#include "support/test_support.h"

namespace brix {
namespace {

// Checks the first window of table of database db in the MySQL 9.7 fixture
// against the server's SELECT, leaving out the columns named in skipped.
void ExpectServerRows(const std::string& db, const std::string& table,
                      const std::set<std::string>& skipped = {}) {
    SCOPED_TRACE(db + "." + table);
    const std::filesystem::path root = test::SourceDir() / "tests/fixtures/mysql9";
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CTableRows rows;
    ASSERT_EQ(rows.Open(root / "datadir" / db, Utf8ToUtf16(table), *app), OpenRowsResult::kOk);
    const auto expected = test::ReadTsv(root / "expected" / db / (table + ".select.tsv"));
    ASSERT_EQ(rows.rows().rowCount() + 1, expected.size());
    ASSERT_EQ(rows.table().columns.size(), expected[0].size());
    for (size_t r = 0; r < rows.rows().rowCount(); ++r) {
        for (size_t col = 0; col < expected[0].size(); ++col) {
            if (skipped.count(expected[0][col])) continue;
            const std::string want = expected[r + 1][col];
            if (want == "NULL") {
                EXPECT_TRUE(rows.rows().IsNull(r, col)) << r << " " << expected[0][col];
            } else {
                EXPECT_EQ(test::U8(rows.rows().Text(r, col)), want) << r << " " << expected[0][col];
            }
        }
    }
}

// Tables written by MySQL 9.7 have no .frm: their rows are read with the
// definition from their tablespace's dictionary information (or, for a
// MyISAM table, its .sdi file, from which the record layout is derived), and
// every value is the one the server's SELECT gave. Floating-point columns
// are left out: MySQL prints them in its shortest form, which the renderer
// does not follow yet.
TEST(TableRowsTest, RowsOfMySqlTablesReadWithTheirTablespacesDefinitions) {
    ExpectServerRows("types", "temporal");
    ExpectServerRows("types", "choices");
    ExpectServerRows("types", "numbers", {"f", "fd", "db", "dd"});
    ExpectServerRows("layout", "legacy");
    // Tables of a general tablespace: read from shared_ts.ibd at the data
    // directory's top, in either row format.
    ExpectServerRows("layout", "in_shared");
    ExpectServerRows("layout", "in_shared_compact", {"n"});
}

// The mysql schema's own tables are read from mysql.ibd.
TEST(TableRowsTest, MysqlSchemaTablesReadFromTheSystemsTablespace) {
    const std::filesystem::path root = test::SourceDir() / "tests/fixtures/mysql9/datadir";
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CTableRows rows;
    ASSERT_EQ(rows.Open(root / "mysql", u"user", *app), OpenRowsResult::kOk);
    ASSERT_GE(rows.rows().rowCount(), 3u);
    std::set<std::string> users;
    for (size_t r = 0; r < rows.rows().rowCount(); ++r) {
        EXPECT_EQ(test::U8(rows.rows().Text(r, 0)), "localhost");
        users.insert(test::U8(rows.rows().Text(r, 1)));
    }
    EXPECT_TRUE(users.count("mysql.session")) << users.size();
    EXPECT_TRUE(users.count("root")) << users.size();
}

// A CSV table described by its .sdi file: its definition from that file,
// its rows from the .CSV data file, as the server's SELECT gave them.
TEST(TableRowsTest, CsvTableOfMySqlReadsItsRowsFromTheDataFile) {
    ExpectServerRows("layout", "flat");
}

// Tables whose columns MySQL added or dropped in place hold records of
// several layouts, each record naming the version it was written in: every
// record reads with the fields of its version, in their physical order, a
// dropped column's bytes skipped and a column added later showing its
// default, as the server showed them. Redundant records keep the version
// in a byte of their own below the header.
TEST(TableRowsTest, MySqlRowsOfEveryLayoutVersionReadAsTheServerShowedThem) {
    for (const char* table :
         {"versions", "versions_compact", "versions_empty_then", "versions_redundant"})
        ExpectServerRows("evolve", table);
}

}  // namespace
}  // namespace brix
