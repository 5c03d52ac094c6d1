// The window's shared state while a scan runs on its worker thread: clicks,
// paging and Stop arrive from the user-interface thread at the same time.
// Built once more with ThreadSanitizer (tools/test), so that a data race on
// the busy flag, the catalogue, the dictionary, the log or the windows of rows
// the reading worker hands over shows.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
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

// The window reads tables on a worker: while a read runs (held here until the
// test lets it go), the user-interface thread gets its refusals at once, reads
// the shown window, and the read ends whole.
TEST(SharedStateTest, ReadsOnAWorkerRefuseOverlappingCommandsAndEndWhole) {
    test::BrowseSession session(test::FixtureDataDir());
    ASSERT_TRUE(session.Scan());
    std::thread reader;
    session.browser.SetRunner([&reader](std::function<void()> work) {
        if (reader.joinable()) reader.join();
        reader = std::thread(std::move(work));
    });
    std::mutex mutex;
    std::condition_variable changed;
    bool reading = false;
    bool release = false;
    session.browser.SetReadHook([&] {
        std::unique_lock<std::mutex> lock(mutex);
        reading = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
    });
    const auto holdUntilReading = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return reading; });
    };
    const auto letGo = [&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            release = true;
        }
        changed.notify_all();
        reader.join();
        reading = false;
        release = false;
    };

    ASSERT_EQ(session.Select("paging/Tables/my_fixed_2500"), 1);
    holdUntilReading();
    EXPECT_EQ(session.Select("shop/Tables/orders"), 0);
    EXPECT_EQ(session.browser.ShowNextRecords(), 0);
    EXPECT_EQ(session.browser.ShowPreviousRecords(), 0);
    EXPECT_FALSE(session.scanner.StartScan(test::FixedScanTime(), true));
    EXPECT_EQ(session.ui.GetGridRowCount(), 0);  // the grid was cleared before the read
    letGo();
    EXPECT_EQ(session.app.busy.load(), 0);
    EXPECT_EQ(session.ui.GetGridRowCount(), 1000);
    EXPECT_EQ(session.ui.caption(), u"my_fixed_2500[1000]");

    // Paging: the window shown stays whole while the next one is read.
    const std::shared_ptr<const CGridWindow> first = session.ui.gridWindow();
    ASSERT_EQ(session.browser.ShowNextRecords(), 1);
    holdUntilReading();
    size_t cells = 0;
    for (size_t r = 0; r < first->rowCount(); ++r) cells += first->Text(r, 0).empty() ? 0 : 1;
    EXPECT_EQ(cells, 1000u);
    letGo();
    EXPECT_EQ(session.browser.rowsTo(), 2000);
    EXPECT_EQ(session.ui.caption(), u"1000 rows to 2000");
    EXPECT_NE(session.ui.gridWindow(), first);
    EXPECT_EQ(session.app.busy.load(), 0);
}

}  // namespace
}  // namespace brix
