#include "catalogue/scan_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "support/browse_session.h"
#include "support/test_support.h"

namespace brix {
namespace {

const std::string kAskIbdata =
    "Ibdata1File Cannot be opened.Do you want to browse ibdata1 File Manually?";
const std::string kCompleted = "Scanning completed for selected database file(s)";

std::filesystem::path TwoDb() {
    return test::CatalogueFixtureDir() / "twodb";
}

// UTF-16LE bytes of text, as the log file holds them.
std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// Text of the log file written by a scan of BrowseSession.
std::string LogFileLines(const test::TempDir& dir) {
    const std::string bytes =
        test::ReadFileText(dir.path() / "KarvoMySQLDBRec_log_5-3-2024-9-7-3.txt");
    std::string ascii;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) ascii.push_back(bytes[i]);
    return ascii;
}

TEST(ScanWorkerTest, CataloguesTwoDatabasesAndAsksForTheMissingSystemTablespace) {
    test::BrowseSession s(TwoDb());
    s.app.logLineCount = 7;  // rows of an earlier scan: deleted by the reset
    ASSERT_TRUE(s.Scan());
    EXPECT_EQ(s.ui.TreeLines(), (std::vector<std::string>{
                                    "MYSQL database [-1]",
                                    "  " + TwoDb().string() + " [-1]",
                                    "    north [-1]",
                                    "      Tables [-1]",
                                    "        DATA [1]",
                                    "          Keys [-2]",
                                    "        items [2]",
                                    "          Keys [-2]",
                                    "        stock [3]",
                                    "          Keys [-2]",
                                    "          Deleted rows [-5]",
                                    "      Trigger [-3]",
                                    "        items [1]",
                                    "      Views [-4]",
                                    "        v_quote [1]",
                                    "    south [-1]",
                                    "      Tables [-1]",
                                    "        notes [4]",
                                    "          Keys [-2]",
                                    "      Trigger [-3]",
                                    "        notes [2]",
                                    "      Views [-4]",
                                    "        v_notes [2]",
                                }));
    EXPECT_EQ(s.ui.questions(), std::vector<std::string>{kAskIbdata});
    EXPECT_EQ(s.ui.messages(), std::vector<std::string>{kCompleted});
    EXPECT_EQ(s.ui.logRows(),
              (std::vector<std::u16string>{u"Finding Database and tables",
                                           u"Processing ibdata1 File", u"scanning completed."}));
    EXPECT_EQ(s.ui.caption(), u"Scanning completed for selected database file(s).\r\n");
    EXPECT_FALSE(s.ui.progressShown());
    EXPECT_EQ(s.app.busy, 0);
    EXPECT_FALSE(s.frame.dictionary.IsOpen());
    EXPECT_TRUE(s.ui.Node(s.ui.rootItems()[0]).expanded);
    ASSERT_EQ(s.frame.catalogue.databaseFolders.size(), 2u);
    EXPECT_EQ(s.frame.catalogue.databaseFolders[1], TwoDb() / "south");
    EXPECT_EQ(s.frame.catalogue.catalogueTables[3].databaseNumber, 1);
}

TEST(ScanWorkerTest, DataDirectoryWithSystemTablespaceAsksNothing) {
    test::BrowseSession s(test::FixtureDataDir());
    ASSERT_TRUE(s.Scan(true));
    EXPECT_TRUE(s.ui.questions().empty());
    EXPECT_TRUE(s.frame.dictionary.IsOpen());
    std::vector<std::string> databases;
    for (TreeItem db : s.ui.Children(s.ui.Children(s.ui.rootItems()[0])[0])) {
        databases.push_back(test::U8(s.ui.GetItemText(db)));
        EXPECT_EQ(test::U8(s.ui.Node(s.ui.Children(db)[0]).text), "Tables");
    }
    EXPECT_EQ(databases, (std::vector<std::string>{"evolve", "formats", "keys", "nulls", "paging",
                                                   "shop", "types"}));
    EXPECT_EQ(s.ui.messages(), std::vector<std::string>{kCompleted});
}

TEST(ScanWorkerTest, ManualChoiceOfTheSystemTablespace) {
    struct Case {
        bool yes;
        std::optional<std::filesystem::path> chosen;
        bool opened;
        bool failureLogged;
    };
    const Case cases[] = {
        {false, std::nullopt, false, false},
        {true, std::nullopt, false, false},  // the file dialog cancelled
        {true, test::FixtureDataDir() / "ibdata1", true, false},
        {true, TwoDb() / "missing_ibdata1", false, true},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        test::BrowseSession s(TwoDb());
        s.app.logFolder = dir.path().u16string();
        s.ui.AnswerQuestions({c.yes});
        s.ui.ChooseFiles({c.chosen});
        ASSERT_TRUE(s.Scan());
        EXPECT_EQ(s.frame.dictionary.IsOpen(), c.opened);
        const std::string log = LogFileLines(dir);
        EXPECT_NE(log.find("ibdata1 File cannot be open\r\n"), std::string::npos);
        EXPECT_EQ(log.find("Manually browse ibdata1 File cannot be open\r\n") != std::string::npos,
                  c.failureLogged);
        EXPECT_EQ(s.ui.messages(), std::vector<std::string>{kCompleted});
        EXPECT_EQ(s.app.busy, 0);
    }
}

TEST(ScanWorkerTest, FolderWithoutSubfoldersIsTheOnlyDatabase) {
    for (const std::string suffix : {"", "/", "//"}) {
        test::BrowseSession s(
            std::filesystem::path((test::CatalogueFixtureDir() / "frmonly").string() + suffix));
        ASSERT_TRUE(s.Scan());
        const std::vector<std::string> lines = s.ui.TreeLines();
        ASSERT_EQ(lines.size(), 8u) << suffix;
        EXPECT_EQ(lines[2], "    frmonly [-1]");
        EXPECT_EQ(lines[4], "        items [1]");
        EXPECT_EQ(lines[6], "        stock [2]");
        EXPECT_EQ(s.frame.catalogue.databaseFolders.size(), 1u);
    }
}

TEST(ScanWorkerTest, RescanStartsFromAnEmptyCatalogue) {
    test::BrowseSession s(TwoDb());
    ASSERT_TRUE(s.Scan());
    ASSERT_EQ(s.Select("north/Tables/items/Keys"), 1);
    ASSERT_TRUE(s.Scan());
    EXPECT_EQ(s.frame.catalogue.catalogueTables.size(), 4u);
    EXPECT_EQ(s.frame.catalogue.catalogueViews.size(), 2u);
    // Four tables, stock (InnoDB) with a "Deleted rows" node.
    EXPECT_EQ(s.ui.TreeLines().size(), 23u);
    EXPECT_EQ(s.ui.logRows().front(), u"Finding Database and tables");
    // The reset removed the five columns of the column grid.
    EXPECT_TRUE(s.ui.gridColumns().empty());
    // The table the browser had open is dropped with its files.
    EXPECT_FALSE(s.frame.openTable);
}

TEST(ScanWorkerTest, OpenIsRefusedWhileBusy) {
    test::BrowseSession s(TwoDb());
    ASSERT_TRUE(s.Scan());
    const size_t nodes = s.ui.TreeLines().size();
    CBusyGuard running(s.app.busy);
    EXPECT_FALSE(s.scanner.StartScan(test::FixedScanTime(), false));
    EXPECT_EQ(s.ui.messages().back(), "Please wait for the running process.");
    EXPECT_EQ(s.ui.TreeLines().size(), nodes);
    EXPECT_EQ(s.app.busy, 1);
}

TEST(ScanWorkerTest, StopEndsTheScanBetweenDatabaseFoldersWithItsUsualEnd) {
    test::BrowseSession s(TwoDb());
    // The user stops while the first database is being catalogued.
    s.ui.AnswerQuestions({true});
    s.ui.onInsertItem = [&](std::u16string_view text) {
        if (text == u"north") s.scanner.StopCommand();
    };
    ASSERT_TRUE(s.Scan(true));
    const std::vector<std::string> lines = s.ui.TreeLines();
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines.back(), "        v_quote [1]");
    EXPECT_EQ(s.ui.questions(),
              std::vector<std::string>{"Are you sure to stop the running process?"});
    EXPECT_EQ(s.ui.messages(), std::vector<std::string>{kCompleted});
    EXPECT_EQ(s.ui.logRows(), (std::vector<std::u16string>{u"Finding Database and tables",
                                                           u"scanning completed."}));
    EXPECT_EQ(s.app.busy, 0);

    // Stop when nothing runs does nothing; answering No keeps the scan going.
    s.ui.onInsertItem = nullptr;
    s.scanner.StopCommand();
    EXPECT_EQ(s.ui.questions().size(), 1u);
    s.ui.onInsertItem = [&](std::u16string_view text) {
        if (text == u"north") s.scanner.StopCommand();
    };
    ASSERT_TRUE(s.Scan(true));
    EXPECT_EQ(s.ui.questions().size(), 3u);  // Stop, then the system tablespace
    EXPECT_EQ(s.ui.TreeLines().size(), 23u);
}

TEST(ScanWorkerTest, NewOpenWaitsUntilTheEarlierWorkerHasEnded) {
    test::BrowseSession s(TwoDb());
    // The first worker clears busy and then waits in its closing message
    // until the test lets it go.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> inMessage;
    int messagesSeen = 0;
    s.ui.onMessage = [&](std::u16string_view) {
        if (++messagesSeen == 1) {
            inMessage.set_value();
            released.wait();
        }
    };
    ASSERT_TRUE(s.scanner.StartScan(test::FixedScanTime(), true));
    inMessage.get_future().wait();
    EXPECT_EQ(s.app.busy, 0);
    // Idle for the commands, but the worker still has calls to make.
    EXPECT_TRUE(s.scanner.Running());
    std::thread second([&] { s.scanner.StartScan(test::FixedScanTime(), true); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    release.set_value();
    second.join();
    s.scanner.Wait();
    EXPECT_FALSE(s.scanner.Running());
    // Each Open clears the tree and so does each worker's reset: the second
    // Open's clearing (the third) must follow the first worker's last step.
    const std::vector<std::string> journal = s.ui.journal();
    std::vector<size_t> clears;
    size_t firstEnd = journal.size();
    for (size_t i = 0; i < journal.size(); ++i) {
        if (journal[i] == "DeleteAllItems") clears.push_back(i);
        if (firstEnd == journal.size() &&
            journal[i] ==
                "ShowCaptionMessage:Scanning completed for selected database file(s).\r\n")
            firstEnd = i;
    }
    ASSERT_EQ(clears.size(), 4u);
    EXPECT_LT(firstEnd, clears[2]);
    EXPECT_EQ(s.ui.TreeLines().size(), 23u);
}

// The log of a scan without a system tablespace and one table selection: the
// lines of each event in the list, the file or both, in order.
TEST(ScanWorkerTest, ScanAndSelectionWriteTheirLogLinesByteForByte) {
    test::TempDir dir;
    const std::filesystem::path data = test::CatalogueFixtureDir() / "twodb";
    test::BrowseSession s(data);
    s.app.logFolder = dir.path().u16string();
    ASSERT_TRUE(s.Scan());
    ASSERT_EQ(s.Select("north/Tables/items"), 1);
    const std::u16string p = data.u16string();
    const std::u16string header = u"\r\n" + std::u16string(80, u'*') + u"\r\n";
    const std::u16string expected =
        header + p + u" File is selected for recovery....\r\n" + u"MySql database File Path:\t" +
        p + u"\r\n" + u"Processing ibdata1 File\r\n" + u"ibdata1 File cannot be open\r\n" +
        u"Scanning completed for selected database file(s).\r\n" +
        u"Please wait while items folder is scanning.\r\n" + u"Scanning process completed.\r\n";
    EXPECT_EQ(test::ReadFileText(dir.path() / "KarvoMySQLDBRec_log_5-3-2024-9-7-3.txt"),
              "\xFF\xFE" + Utf16Le(expected));
    EXPECT_EQ(
        s.ui.logRows(),
        (std::vector<std::u16string>{
            u"Finding Database and tables", u"Processing ibdata1 File", u"scanning completed.",
            u"Please wait while items folder is scanning.", u"Scanning process completed."}));
}

}  // namespace
}  // namespace brix
