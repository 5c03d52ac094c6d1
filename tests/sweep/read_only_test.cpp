// The user's data directory is never written to: a copy whose files and
// folders are all read-only is read in full, in both modes, and afterwards
// every file has the bytes and the modification time it had before.

#include <gtest/gtest.h>

#include <map>

#include "browse/table_rows.h"
#include "innodb/dictionary.h"
#include "support/browse_session.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

struct FileState {
    std::vector<uint8_t> bytes;
    fs::file_time_type modified;
};

std::map<fs::path, FileState> Snapshot(const fs::path& root) {
    std::map<fs::path, FileState> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[entry.path()] = {test::ReadFileBytes(entry.path()), entry.last_write_time()};
    return files;
}

void SetReadOnly(const fs::path& root, bool readOnly) {
    const fs::perms file =
        readOnly ? fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read
                 : fs::perms::owner_read | fs::perms::owner_write;
    const fs::perms folder = file | fs::perms::owner_exec | fs::perms::group_exec |
                             fs::perms::others_exec |
                             (readOnly ? fs::perms::none : fs::perms::owner_write);
    // Folders last when locking, first when unlocking.
    if (!readOnly) fs::permissions(root, folder);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_directory()) {
            if (!readOnly) fs::permissions(entry.path(), folder);
        } else {
            fs::permissions(entry.path(), file);
        }
    }
    if (readOnly) {
        for (const auto& entry : fs::recursive_directory_iterator(root))
            if (entry.is_directory()) fs::permissions(entry.path(), folder);
        fs::permissions(root, folder);
    }
}

TEST(ReadOnlyTest, ReadingEveryTableLeavesEveryFileAsItWas) {
    test::TempDir scratch;
    const fs::path datadir = scratch.path() / "datadir";
    fs::copy(test::FixtureDataDir(), datadir, fs::copy_options::recursive);
    SetReadOnly(datadir, true);
    const std::map<fs::path, FileState> before = Snapshot(datadir);

    const std::unique_ptr<CAppState> owned = test::NewTestApp();
    CAppState& app = *owned;
    CReadOptions options;
    options.spillFolder = scratch.path() / "spill";
    CInnoDictionary dictionary;
    ASSERT_TRUE(dictionary.Open(datadir / "ibdata1", app));
    size_t tables = 0;
    for (const auto& db : fs::directory_iterator(datadir)) {
        if (!db.is_directory()) continue;
        for (const auto& entry : fs::directory_iterator(db.path())) {
            if (entry.path().extension() != ".frm") continue;
            // A view's .frm is text and has no rows.
            if (test::ReadFileText(entry.path()).rfind("TYPE=VIEW", 0) == 0) continue;
            ++tables;
            for (bool exportMode : {false, true}) {
                options.exportMode = exportMode;
                CTableRows table;
                EXPECT_EQ(table.Open(db.path(), entry.path().stem().u16string(), app, options,
                                     &dictionary),
                          OpenRowsResult::kOk)
                    << entry.path();
                while (table.ReadNextWindow(app)) {
                }
            }
        }
    }
    dictionary.Close();
    EXPECT_GT(tables, 80u);

    // The window's way: a scan, then a click on every node and Next Records
    // to the end of every table.
    {
        test::BrowseSession session(datadir);
        ASSERT_TRUE(session.Scan());
        std::vector<TreeItem> pending = session.ui.rootItems();
        size_t clicks = 0;
        while (!pending.empty()) {
            const TreeItem item = pending.back();
            pending.pop_back();
            for (TreeItem child : session.ui.Children(item)) pending.push_back(child);
            session.ui.SelectItem(item);
            session.browser.OnTreeSelection(item);
            ++clicks;
            // Next Records while the button is enabled, as a user can.
            while (session.ui.nextEnabled() && session.browser.ShowNextRecords() == 1) {
            }
        }
        EXPECT_GT(clicks, 150u);
    }

    const std::map<fs::path, FileState> after = Snapshot(datadir);
    ASSERT_EQ(after.size(), before.size());  // nothing created beside them
    for (const auto& [path, state] : before) {
        const FileState& now = after.at(path);
        EXPECT_TRUE(now.bytes == state.bytes) << path;
        EXPECT_TRUE(now.modified == state.modified) << path;
    }
    SetReadOnly(datadir, false);
}

}  // namespace
}  // namespace brix
