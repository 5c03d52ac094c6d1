// The window's shared state while a scan runs on its worker thread: clicks,
// paging and Stop arrive from the user-interface thread at the same time.
// Built once more with ThreadSanitizer (tools/test), so that a data race on
// the busy flag, the catalogue, the dictionary or the log shows.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/browse_session.h"
#include "support/test_support.h"

namespace brix {
namespace {

TEST(SharedStateTest, CommandsDuringAScanAreRefusedAndTheScanEndsWhole) {
    test::BrowseSession session(test::FixtureDataDir());
    // Stop asks first; the first answer is No, so the scan runs on.
    session.ui.AnswerQuestions({false});
    std::atomic<int> refused{0};
    std::atomic<bool> started{false};
    session.ui.onInsertItem = [&](std::u16string_view) { started = true; };

    ASSERT_TRUE(session.scanner.StartScan(test::FixedScanTime(), true));
    // While the worker fills the tree: clicks on whatever is there, paging,
    // another Open, and Stop.
    for (int i = 0; i < 200 && session.app.busy.load() != 0; ++i) {
        const std::vector<TreeItem> roots = session.ui.rootItems();
        if (!roots.empty()) {
            session.ui.SelectItem(roots.front());
            if (session.browser.OnTreeSelection(roots.front()) == 0) ++refused;
        }
        if (session.browser.ShowNextRecords() == 0) ++refused;
        if (session.browser.ShowPreviousRecords() == 0) ++refused;
        if (!session.scanner.StartScan(test::FixedScanTime(), true)) ++refused;
        if (i == 5) session.scanner.StopCommand();
        std::this_thread::yield();
    }
    session.scanner.Wait();
    EXPECT_EQ(session.app.busy.load(), 0);
    EXPECT_TRUE(started.load());

    // The scan went to its end: every database is in the tree, and a click
    // on a table now reads its first window.
    ASSERT_NE(session.ui.FindNode("paging/Tables/my_fixed_2500"), kNoTreeItem);
    EXPECT_EQ(session.Select("paging/Tables/my_fixed_2500"), 1);
    EXPECT_EQ(session.ui.GetGridRowCount(), 1000);
    EXPECT_EQ(session.browser.ShowNextRecords(), 1);
    EXPECT_EQ(session.browser.rowsTo(), 2000);
}

TEST(SharedStateTest, StopDuringAScanEndsItAndANewScanStartsClean) {
    test::BrowseSession session(test::FixtureDataDir());
    session.ui.AnswerQuestions({true});  // Stop: yes
    ASSERT_TRUE(session.scanner.StartScan(test::FixedScanTime(), true));
    session.scanner.StopCommand();
    session.scanner.Wait();
    EXPECT_EQ(session.app.busy.load(), 0);

    ASSERT_TRUE(session.Scan(true));
    EXPECT_NE(session.ui.FindNode("shop/Tables/orders"), kNoTreeItem);
    EXPECT_EQ(session.Select("shop/Tables/orders"), 1);
    EXPECT_GT(session.ui.GetGridRowCount(), 0);
}

}  // namespace
}  // namespace brix
