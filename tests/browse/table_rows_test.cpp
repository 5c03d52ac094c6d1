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

// Tables written by MySQL 9.7 have no .frm: their rows are read with the
// definition from their tablespace's dictionary information, and every
// value is the one the server's SELECT gave. Floating-point columns are left
// out: MySQL prints them in its shortest form, which the renderer does not
// follow yet.
TEST(TableRowsTest, RowsOfMySqlTablesReadWithTheirTablespacesDefinitions) {
    const std::filesystem::path root = test::SourceDir() / "tests/fixtures/mysql9";
    struct Case {
        const char* table;
        std::set<std::string> skipped;
    };
    for (const Case& c :
         {Case{"temporal", {}}, Case{"choices", {}}, Case{"numbers", {"f", "fd", "db", "dd"}}}) {
        SCOPED_TRACE(c.table);
        const std::unique_ptr<CAppState> app = test::NewTestApp();
        CTableRows rows;
        ASSERT_EQ(rows.Open(root / "datadir/types", Utf8ToUtf16(c.table), *app),
                  OpenRowsResult::kOk);
        const auto expected =
            test::ReadTsv(root / "expected/types" / (std::string(c.table) + ".select.tsv"));
        ASSERT_EQ(rows.rows().rowCount() + 1, expected.size());
        ASSERT_EQ(rows.table().columns.size(), expected[0].size());
        for (size_t r = 0; r < rows.rows().rowCount(); ++r) {
            for (size_t col = 0; col < expected[0].size(); ++col) {
                if (c.skipped.count(expected[0][col])) continue;
                const std::string want = expected[r + 1][col];
                if (want == "NULL") {
                    EXPECT_TRUE(rows.rows().IsNull(r, col)) << r << " " << expected[0][col];
                } else {
                    EXPECT_EQ(test::U8(rows.rows().Text(r, col)), want)
                        << r << " " << expected[0][col];
                }
            }
        }
    }
}

// Tables whose columns MySQL added or dropped in place hold records of
// several layouts: none is read rather than shown garbled.
TEST(TableRowsTest, MySqlTablesChangedInPlaceAreRefusedNotGarbled) {
    const std::filesystem::path folder = test::SourceDir() / "tests/fixtures/mysql9/datadir/evolve";
    for (const char* table : {"versions", "versions_compact", "versions_redundant"}) {
        SCOPED_TRACE(table);
        const std::unique_ptr<CAppState> app = test::NewTestApp();
        CTableRows rows;
        EXPECT_EQ(rows.Open(folder, Utf8ToUtf16(table), *app), OpenRowsResult::kChangedInPlace);
        EXPECT_FALSE(rows.table().columns.empty());
        EXPECT_EQ(rows.rows().rowCount(), 0u);
    }
}

}  // namespace
}  // namespace brix
