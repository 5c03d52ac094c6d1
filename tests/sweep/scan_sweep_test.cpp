// Damaged data directories met the way a user meets them: copies of the
// fixture databases with every data file damaged (cut short or overwritten,
// deterministic seeds) and ibdata1 damaged too are scanned, then every node
// of the tree is clicked, every table paged through with Next Records, and
// read again in export mode. Everything must end without a sanitizer report.

#include <gtest/gtest.h>

#include <random>

#include "browse/table_rows.h"
#include "innodb/tablespace.h"
#include "support/browse_session.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

void Damage(const fs::path& file, std::mt19937& random) {
    std::vector<uint8_t> bytes = test::ReadFileBytes(file);
    if (bytes.empty()) return;
    if (random() % 3 == 0) {
        bytes.resize(random() % bytes.size());
    } else {
        for (int run = 0; run < 6; ++run) {
            const size_t at = random() % bytes.size();
            for (size_t i = at; i < std::min(bytes.size(), at + 1 + random() % 32); ++i)
                bytes[i] = static_cast<uint8_t>(random());
        }
    }
    test::WriteFile(file, bytes);
}

// Clicks every node below item, and pages through what shows rows.
void ClickEverything(test::BrowseSession& session, TreeItem item, size_t& clicks) {
    for (TreeItem child : session.ui.Children(item)) {
        session.ui.SelectItem(child);
        EXPECT_EQ(session.browser.OnTreeSelection(child), 1);
        ++clicks;
        // A damaged table may page in a circle: each click ends, and a user
        // could go on clicking; a few hundred windows are enough here.
        for (int windows = 0;
             windows < 300 && session.ui.nextEnabled() && session.browser.ShowNextRecords() == 1;
             ++windows) {
        }
        ClickEverything(session, child, clicks);
    }
}

TEST(ScanSweepTest, DamagedDataDirectoriesScanBrowseAndExportToAnEnd) {
    const fs::path source = test::FixtureDataDir();
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        test::TempDir scratch;
        const fs::path datadir = scratch.path() / "datadir";
        fs::create_directories(datadir);
        // The big paging tables make each pass long under the sanitizers;
        // the other databases hold every layout too.
        for (const char* db : {"types", "keys", "nulls", "formats", "shop", "evolve"})
            fs::copy(source / db, datadir / db, fs::copy_options::recursive);
        std::vector<uint8_t> ibdata = test::ReadFileBytes(source / "ibdata1");
        test::WriteFile(datadir / "ibdata1", ibdata);

        std::mt19937 random(seed);
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(datadir))
            if (entry.is_regular_file()) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files)
            if (file.filename() != "ibdata1" && random() % 2 == 0) Damage(file, random);
        // The dictionary pages of the system tablespace.
        for (int run = 0; run < 8; ++run) {
            const size_t at = random() % (32 * kPageSize);
            for (size_t i = at; i < at + 16; ++i) ibdata[i] = static_cast<uint8_t>(random());
        }
        test::WriteFile(datadir / "ibdata1", ibdata);

        test::BrowseSession session(datadir);
        session.ui.AnswerQuestions({true});  // browse for the system tablespace: yes
        session.ui.ChooseFiles({datadir / "ibdata1"});
        ASSERT_TRUE(session.Scan());
        size_t clicks = 0;
        for (TreeItem root : session.ui.rootItems()) ClickEverything(session, root, clicks);
        EXPECT_GT(clicks, 100u);

        // Every table once more in export mode, to its last window.
        CReadOptions options;
        options.exportMode = true;
        options.spillFolder = scratch.path() / "spill";
        for (const auto& db : fs::directory_iterator(datadir)) {
            if (!db.is_directory()) continue;
            for (const auto& entry : fs::directory_iterator(db.path())) {
                if (entry.path().extension() != ".frm") continue;
                CTableRows table;
                table.Open(db.path(), entry.path().stem().u16string(), session.app, options,
                           &session.frame.dictionary);
                while (table.ReadNextWindow(session.app)) {
                }
            }
        }
    }
}

}  // namespace
}  // namespace brix
