#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/damage_report.h"
#include "app/text.h"
#include "browse/table_rows.h"
#include "support/test_support.h"
#include "values/value_render.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

struct ServerTable {
    const char* folder;  // under tests/fixtures
    const char* database;
    const char* table;
};

// CSV tables written by real servers: MariaDB's with a .frm, MySQL 9's
// described by a .sdi file.
const std::vector<ServerTable> kCsvTables = {
    {"mariadb-types", "newtypes", "csv_types"},
    {"mariadb-types", "newtypes", "csv_latin1"},
    {"mysql9", "layout", "flat"},
};

// Every row of every window in export mode is the row the server's SELECT
// gave (binary values as hex, BIT as its digits), the meta file's count is
// the number of rows, and nothing is reported.
TEST(CsvFixtureTest, EveryCsvTableReadsAsTheServerReturnedIt) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    for (const ServerTable& t : kCsvTables) {
        SCOPED_TRACE(t.table);
        const fs::path root = test::SourceDir() / "tests/fixtures" / t.folder;
        const auto select =
            test::ReadTsv(root / "expected" / t.database / (std::string(t.table) + ".select.tsv"));
        ASSERT_GT(select.size(), 1u);
        CDamageReport damage;
        CReadOptions options;
        options.exportMode = true;
        options.damage = &damage;
        options.windowRows = 2;
        CTableRows rows;
        ASSERT_EQ(rows.Open(root / "datadir" / t.database, Utf8ToUtf16(t.table), *app, options),
                  OpenRowsResult::kOk);
        ASSERT_EQ(rows.table().columns.size(), select[0].size());
        EXPECT_EQ(rows.CountedRows(), static_cast<int64_t>(select.size() - 1));
        size_t row = 1;
        do {
            const CRowWindow& window = rows.rows();
            for (size_t r = 0; r < window.rowCount(); ++r, ++row) {
                ASSERT_LT(row, select.size());
                for (size_t c = 0; c < select[0].size(); ++c) {
                    EXPECT_FALSE(window.IsNull(r, c));
                    // Export mode gives an empty binary value as empty text,
                    // as for every engine; the make-script's '0x' and HEX
                    // gives it as "0x".
                    const std::string want = select[row][c] == "0x" ? "" : select[row][c];
                    EXPECT_EQ(test::U8(window.Text(r, c)), want)
                        << "row " << row << " column " << select[0][c];
                }
            }
        } while (rows.ReadNextWindow(*app));
        EXPECT_EQ(row, select.size());
        EXPECT_TRUE(damage.Empty());
    }
}

// The grid shows CSV values as it shows the other engines': binary values
// and long BLOBs by their placeholders, floats with six decimals; a table
// opened for its deleted rows has none, as the engine rewrites its file.
TEST(CsvFixtureTest, DisplayModeAndDeletedRowsFollowTheOtherEngines) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    const fs::path folder = test::SourceDir() / "tests/fixtures/mariadb-types/datadir/newtypes";
    CTableRows rows;
    ASSERT_EQ(rows.Open(folder, u"csv_types", *app), OpenRowsResult::kOk);
    ASSERT_EQ(rows.rows().rowCount(), 3u);
    const auto column = [&](std::u16string_view name) {
        for (size_t c = 0; c < rows.table().columns.size(); ++c)
            if (rows.table().columns[c].name == name) return c;
        return size_t{0};
    };
    EXPECT_EQ(test::U8(rows.rows().Text(0, column(u"f"))), "1.500000");
    EXPECT_EQ(test::U8(rows.rows().Text(2, column(u"bl"))), test::U8(kLargeBlobText));
    EXPECT_EQ(test::U8(rows.rows().Text(1, column(u"c"))), "ünïcödé");

    CReadOptions deleted;
    deleted.deleted = true;
    ASSERT_EQ(rows.Open(folder, u"csv_types", *app, deleted), OpenRowsResult::kOk);
    EXPECT_EQ(rows.rows().rowCount(), 0u);
    EXPECT_FALSE(rows.ReadNextWindow(*app));
}

}  // namespace
}  // namespace brix
