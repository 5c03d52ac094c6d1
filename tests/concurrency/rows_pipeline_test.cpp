// The rows command's pipeline: a window is written on a second thread while
// the reader fills the next one, off-page values read through the writer's
// own handle of the tablespace. Built once more with ThreadSanitizer
// (tools/test), so that a race between the reader and the writer shows; the
// output must be what one thread writes alone.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/text.h"
#include "browse/table_rows.h"
#include "cli/output.h"
#include "support/test_support.h"

namespace brix {
namespace {

std::string ReadBack(std::FILE* file) {
    std::string out;
    std::rewind(file);
    char buffer[1 << 14];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) out.append(buffer, n);
    return out;
}

// Every row of the table in export mode, small windows so that the threads
// hand many over; on two threads or, without pipeline, on one.
std::string Export(const std::string& database, const std::string& table, bool pipeline,
                   CDamageReport& damage) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CReadOptions options;
    options.exportMode = true;
    options.keepExternal = true;
    options.windowRows = 7;
    options.damage = &damage;
    CTableRows rows;
    EXPECT_EQ(rows.Open(test::FixtureDataDir() / database, Utf8ToUtf16(table), *app, options),
              OpenRowsResult::kOk);
    CExternalValues values;
    if (!rows.TablespacePath().empty()) {
        EXPECT_TRUE(values.Open(rows.TablespacePath()));
    }
    std::FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    if (!file) return {};
    int64_t count = 0;
    {
        CTsvWriter tsv(file);
        const auto write = [&](const CRowWindow& window) {
            WriteRowWindow(window, rows.table(), *app, &values, &damage, &tsv, nullptr);
        };
        if (pipeline) {
            count = WriteWindows(rows, *app, true, write);
        } else {
            do {
                count += static_cast<int64_t>(rows.rows().rowCount());
                write(rows.rows());
            } while (rows.ReadNextWindow(*app));
        }
        EXPECT_TRUE(tsv.Flush());
    }
    std::string out = ReadBack(file);
    std::fclose(file);
    out += "rows " + std::to_string(count) + "\n";
    return out;
}

TEST(RowsPipelineTest, TwoThreadsWriteWhatOneWrites) {
    const std::pair<const char*, const char*> tables[] = {
        {"paging", "inno_blobs_offpage"},
        {"paging", "inno_blobs_offpage_compact"},
        {"paging", "my_dyn_1000"},
    };
    for (const auto& [database, table] : tables) {
        SCOPED_TRACE(table);
        CDamageReport alone, shared;
        const std::string one = Export(database, table, false, alone);
        const std::string two = Export(database, table, true, shared);
        EXPECT_GT(one.size(), 100u);
        EXPECT_TRUE(two == one);
        EXPECT_EQ(shared.Count(), alone.Count());
    }
}

}  // namespace
}  // namespace brix
