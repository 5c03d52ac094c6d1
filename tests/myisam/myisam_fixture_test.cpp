// Every MyISAM table of the fixture data directory, read window by window and
// compared with the rows the server itself returned.

#include <gtest/gtest.h>

#include "app/text.h"
#include "browse/table_rows.h"
#include "support/expected_rows.h"
#include "support/test_support.h"

namespace brix {
namespace {

std::vector<test::ReadRow> ReadAllRows(const test::ExpectedTable& t, bool exportMode) {
    const std::unique_ptr<CAppState> owned = test::NewTestApp();
    CAppState& app = *owned;
    CReadOptions options;
    options.exportMode = exportMode;
    CTableRows table;
    std::vector<test::ReadRow> rows;
    const OpenRowsResult result =
        table.Open(test::FixtureDataDir() / t.database, Utf8ToUtf16(t.name), app, options);
    EXPECT_EQ(result, OpenRowsResult::kOk) << t.name;
    do {
        EXPECT_LE(table.rows().rowCount(), kWindowRows);
        test::AppendWindowRows(table.rows(), rows);
    } while (table.ReadNextWindow(app));
    return rows;
}

TEST(MyIsamFixtureTest, EveryTableReadsAsTheServerReturnedIt) {
    size_t tables = 0;
    for (const test::ExpectedTable& t : test::FixtureTables()) {
        if (t.engine != "MyISAM") continue;
        ++tables;
        for (bool exportMode : {false, true}) {
            SCOPED_TRACE(t.database + "." + t.name + (exportMode ? " (export)" : ""));
            const std::vector<test::ReadRow> rows = ReadAllRows(t, exportMode);
            for (const std::string& p : test::CompareRows(t, rows, exportMode)) ADD_FAILURE() << p;
        }
    }
    EXPECT_GT(tables, 20u);
}

}  // namespace
}  // namespace brix
