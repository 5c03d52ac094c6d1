// The save's pipeline: a window's INSERT statements are built and written on
// a second thread while the reader fills the next window, off-page values
// read through the save's own handle of the tablespace. Built once more with
// ThreadSanitizer (tools/test), so that a race between the reader, the
// builder and the damage log shows.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/text.h"
#include "browse/table_rows.h"
#include "save/save_objects.h"
#include "save/save_run.h"
#include "support/browse_session.h"
#include "support/test_support.h"

namespace brix {
namespace {

// The rows of the table, read on one thread.
int64_t RowsReadAlone(const std::string& database, const std::string& table) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CReadOptions options;
    options.exportMode = true;
    options.keepExternal = true;  // counted only: nothing spilled
    CTableRows rows;
    EXPECT_EQ(rows.Open(test::FixtureDataDir() / database, Utf8ToUtf16(table), *app, options),
              OpenRowsResult::kOk);
    int64_t count = 0;
    do {
        count += static_cast<int64_t>(rows.rows().rowCount());
    } while (rows.ReadNextWindow(*app));
    return count;
}

TEST(SavePipelineTest, EveryRowOfEveryWindowIsWrittenOnceInOrder) {
    test::TempDir dir;
    test::BrowseSession session(test::FixtureDataDir());
    ASSERT_TRUE(session.Scan());
    const char* const tables[] = {"inno_blobs_offpage", "inno_dynamic_2500", "my_dyn_2500"};
    std::vector<std::u16string> names;
    for (const char* table : tables) names.push_back(u"paging/" + Utf8ToUtf16(table));
    std::vector<std::u16string> missing;
    const auto objects =
        SelectSaveObjects(SaveObjectsOfCatalogue(session.frame.catalogue), names, missing);
    ASSERT_TRUE(missing.empty());
    CSaveSettings settings;
    settings.destination = SaveDestination::kScript;
    settings.scriptFolder = dir.path();
    const CSaveResult result =
        RunSave(objects, settings, session.app, &session.frame.dictionary, session.ui);
    EXPECT_EQ(result.saved, 3u);
    const std::string script = test::ReadFileText(dir.path() / "paging.sql");
    for (const char* table : tables) {
        SCOPED_TRACE(table);
        const int64_t rows = RowsReadAlone("paging", table);
        ASSERT_GT(rows, 0);
        bool logged = false;
        for (const std::u16string& line : session.ui.logRows())
            logged = logged ||
                     test::U8(line) == std::to_string(rows) + " rows written to paging." + table;
        EXPECT_TRUE(logged);
    }
    // Rows keep their order across windows: the first column counts up.
    const size_t insert = script.find("INSERT INTO `my_dyn_2500`");
    ASSERT_NE(insert, std::string::npos);
    size_t last = insert;
    for (const char* id : {"(1,", "(1000,", "(1001,", "(2001,", "(2500,"}) {
        const size_t at = script.find(id, last);
        ASSERT_NE(at, std::string::npos) << id;
        last = at;
    }
}

}  // namespace
}  // namespace brix
