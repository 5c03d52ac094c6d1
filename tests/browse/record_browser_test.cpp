#include "browse/record_browser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>
#include <stdexcept>

#include "support/browse_session.h"
#include "support/expected_rows.h"
#include "support/frm_builder.h"
#include "support/test_support.h"

namespace brix {
namespace {

const std::string kWait = "Please wait for the running process.";
const std::string kNoMore = "No more records in table";

std::vector<std::vector<std::string>> Grid(const test::CRecordingUi& ui) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : ui.gridRows()) {
        rows.emplace_back();
        for (const auto& cell : row) rows.back().push_back(test::U8(cell));
    }
    return rows;
}

std::vector<std::string> Titles(const test::CRecordingUi& ui) {
    std::vector<std::string> titles;
    for (const auto& title : ui.gridColumns()) titles.push_back(test::U8(title));
    return titles;
}

// One session per data directory for the whole suite: scans are not free.
class RecordBrowserTest : public ::testing::Test {
  protected:
    static test::BrowseSession& Catalogue() {
        static test::BrowseSession* session = [] {
            auto* s = new test::BrowseSession(test::CatalogueFixtureDir() / "twodb");
            s->Scan();
            return s;
        }();
        return *session;
    }
    static test::BrowseSession& Fixtures() {
        static test::BrowseSession* session = [] {
            auto* s = new test::BrowseSession(test::FixtureDataDir());
            s->Scan();
            return s;
        }();
        return *session;
    }
};

TEST_F(RecordBrowserTest, KeysNodeShowsTheColumnDefinitions) {
    test::BrowseSession& s = Catalogue();
    ASSERT_EQ(s.Select("north/Tables/items/Keys"), 1);
    EXPECT_EQ(Titles(s.ui), (std::vector<std::string>{"Column Name", "Data Type", "size",
                                                      "Allow Nulls", "Key Name"}));
    EXPECT_EQ(Grid(s.ui), (std::vector<std::vector<std::string>>{
                              {"id", "INT", "11", "False", "Primary Key"},
                              {"name", "VARCHAR(30)", "120", "False", "Unique Key"},
                              {"qty", "INT", "11", "True", ""},
                          }));
    EXPECT_EQ(s.ui.caption(), u"Keys[3]");
    EXPECT_TRUE(s.ui.gridShown());
    EXPECT_FALSE(s.ui.textBoxShown());
    EXPECT_EQ(s.app.busy, 0);
    EXPECT_FALSE(s.ui.treeLocked());
    const auto log = s.ui.logRows();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], u"Please wait while Keys folder is scanning.");
    EXPECT_EQ(log.back(), u"Scanning process completed.");

    // The .frm of a table whose files are named in upper case is found.
    ASSERT_EQ(s.Select("north/Tables/DATA/Keys"), 1);
    EXPECT_EQ(Grid(s.ui), (std::vector<std::vector<std::string>>{
                              {"k", "CHAR(4)", "16", "False", ""},
                              {"v", "INT", "11", "True", ""},
                          }));
    // The next selection removes exactly the five grid columns.
    ASSERT_EQ(s.Select("north/Tables/stock"), 1);
    const auto journal = s.ui.journal();
    const auto clear = std::find_if(journal.rbegin(), journal.rend(), [](const std::string& call) {
        return call.starts_with("ClearGrid:");
    });
    ASSERT_NE(clear, journal.rend());
    EXPECT_EQ(*clear, "ClearGrid:5");
    EXPECT_EQ(Titles(s.ui), (std::vector<std::string>{"id", "item_id", "note"}));
}

TEST_F(RecordBrowserTest, KeysCaptionIsEmptyForOneColumnAndWhenTheFrmIsUnreadable) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() / "db");
    test::FrmBuilder one;
    one.columns = {{.name = "only"}};
    test::WriteFile(dir.path() / "db" / "one.frm", one.Build());
    std::vector<uint8_t> damaged = one.Build();
    damaged.resize(64);
    test::WriteFile(dir.path() / "db" / "cut.frm", damaged);
    test::BrowseSession s(dir.path());
    ASSERT_TRUE(s.Scan());
    ASSERT_EQ(s.Select("db/Tables/one/Keys"), 1);
    EXPECT_EQ(Grid(s.ui),
              (std::vector<std::vector<std::string>>{{"only", "INT", "11", "False", ""}}));
    EXPECT_EQ(s.ui.caption(), u"");
    ASSERT_EQ(s.Select("db/Tables/cut/Keys"), 1);
    EXPECT_EQ(Titles(s.ui).size(), 5u);
    EXPECT_TRUE(Grid(s.ui).empty());
    EXPECT_EQ(s.ui.caption(), u"");
    EXPECT_FALSE(s.ui.nextEnabled());
}

TEST_F(RecordBrowserTest, ViewAndTriggerNodesShowTheirTextInTheTextBox) {
    test::BrowseSession& s = Catalogue();
    ASSERT_EQ(s.Select("north/Views/v_quote"), 1);
    EXPECT_TRUE(s.ui.textBoxShown());
    EXPECT_FALSE(s.ui.gridShown());
    EXPECT_TRUE(s.ui.textBoxText().starts_with(u"CREATE ALGORITHM=UNDEFINED"));
    EXPECT_TRUE(s.ui.textBoxText().ends_with(u"<> 'nut';"));
    EXPECT_EQ(s.ui.caption(), u"v_quote");
    EXPECT_FALSE(s.ui.nextEnabled());
    EXPECT_FALSE(s.ui.previousEnabled());

    ASSERT_EQ(s.Select("south/Trigger/notes"), 1);
    EXPECT_EQ(s.ui.textBoxText(),
              u"SET SQL_MODE='';\nDELIMITER $$\nCREATE TRIGGER `notes_before_insert` BEFORE INSERT "
              u"ON `notes` FOR EACH ROW set NEW.body = UPPER(NEW.body)\n$$\nDELIMITER ;\n"
              u"SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';\n");
    // The trigger and view entries are found by their program-wide numbers.
    ASSERT_EQ(s.Select("north/Trigger/items"), 1);
    EXPECT_TRUE(s.ui.textBoxText().find(u"items_before_update") != std::u16string::npos);

    // Selecting a table afterwards empties the text box and shows the grid.
    ASSERT_EQ(s.Select("south/Tables/notes"), 1);
    EXPECT_TRUE(s.ui.gridShown());
    EXPECT_FALSE(s.ui.textBoxShown());
    EXPECT_EQ(s.ui.textBoxText(), u"");
}

TEST_F(RecordBrowserTest, FolderAndGroupNodesShowNothing) {
    test::BrowseSession& s = Catalogue();
    for (const char* path : {"north", "north/Tables", "north/Views", "south/Trigger"}) {
        ASSERT_EQ(s.Select("north/Tables/items"), 1);
        const size_t logRows = s.ui.logRows().size();
        ASSERT_EQ(s.Select(path), 1) << path;
        EXPECT_TRUE(s.ui.gridColumns().empty()) << path;
        EXPECT_TRUE(s.ui.gridRows().empty()) << path;
        EXPECT_FALSE(s.ui.nextEnabled()) << path;
        EXPECT_FALSE(s.ui.previousEnabled()) << path;
        EXPECT_EQ(s.ui.logRows().size(), logRows + 2) << path;
    }
    // The root and the data-path node too.
    const TreeItem root = s.ui.rootItems()[0];
    s.ui.SelectItem(root);
    EXPECT_EQ(s.browser.OnTreeSelection(root), 1);
    EXPECT_TRUE(s.ui.gridRows().empty());
}

TEST_F(RecordBrowserTest, SelectionIsRefusedWhileBusyAndThePreviousNodeStaysSelected) {
    test::BrowseSession& s = Catalogue();
    ASSERT_EQ(s.Select("north/Tables/items"), 1);
    const TreeItem items = s.ui.GetSelectedItem();
    const auto grid = Grid(s.ui);
    const size_t messages = s.ui.messages().size();
    CBusyGuard running(s.app.busy);  // a scan runs
    EXPECT_EQ(s.Select("south/Tables/notes"), 0);
    EXPECT_EQ(s.ui.GetSelectedItem(), items);
    EXPECT_EQ(s.ui.messages().size(), messages + 1);
    EXPECT_EQ(s.ui.messages().back(), kWait);
    EXPECT_EQ(Grid(s.ui), grid);
    EXPECT_EQ(s.browser.ShowNextRecords(), 0);
    EXPECT_EQ(s.browser.ShowPreviousRecords(), 0);
    EXPECT_EQ(s.ui.messages().back(), kWait);
    EXPECT_EQ(s.app.busy, 1);
    running.Release();
}

TEST_F(RecordBrowserTest, AReadThatFailsLeavesNothingBusy) {
    test::BrowseSession& s = Fixtures();
    s.browser.SetReadHook([] { throw std::runtime_error("the read failed"); });
    EXPECT_THROW(s.Select("paging/Tables/my_fixed_2500"), std::runtime_error);
    EXPECT_EQ(s.app.busy, 0);
    s.browser.SetReadHook({});
    ASSERT_EQ(s.Select("paging/Tables/my_fixed_2500"), 1);
    EXPECT_EQ(Grid(s.ui).size(), 1000u);

    s.browser.SetReadHook([] { throw std::bad_alloc(); });
    EXPECT_THROW(s.browser.ShowNextRecords(), std::bad_alloc);
    EXPECT_EQ(s.app.busy, 0);
    s.browser.SetReadHook({});
    EXPECT_EQ(s.browser.ShowPreviousRecords(), 1);
    EXPECT_EQ(s.app.busy, 0);
}

// The window reads on a worker: the command hands its work to the runner and
// returns, and the grid gets one whole window, the snapshot the reader made.
TEST_F(RecordBrowserTest, ARunnerGetsTheWorkAndTheGridGetsTheWholeWindow) {
    test::BrowseSession& s = Catalogue();
    std::vector<std::function<void()>> handed;
    s.browser.SetRunner([&](std::function<void()> work) { handed.push_back(std::move(work)); });
    ASSERT_EQ(s.Select("north/Tables/items"), 1);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_NE(s.app.busy, 0);  // held by the work not yet run
    EXPECT_EQ(s.browser.ShowNextRecords(), 0);
    EXPECT_EQ(s.ui.messages().back(), kWait);
    EXPECT_EQ(handed.size(), 1u);
    handed.front()();
    EXPECT_EQ(s.app.busy, 0);
    s.browser.SetRunner({});
    EXPECT_EQ(Grid(s.ui), (std::vector<std::vector<std::string>>{
                              {"1", "bolt", "10"}, {"2", "nut", "NULL"}, {"3", "washer", "7"}}));
    const std::shared_ptr<const CGridWindow> window = s.ui.gridWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->IsNull(1, 2));
    EXPECT_FALSE(window->IsNull(1, 1));
    EXPECT_EQ(window->columns(), (std::vector<std::u16string>{u"id", u"name", u"qty"}));
    // The reader's own window starts empty for the next read.
    ASSERT_TRUE(s.frame.openTable);
    EXPECT_EQ(s.frame.openTable->rows().rowCount(), 0u);
}

TEST_F(RecordBrowserTest, TableNodeShowsItsFirstWindowLikeTheServer) {
    test::BrowseSession& s = Catalogue();
    ASSERT_EQ(s.Select("north/Tables/items"), 1);
    EXPECT_EQ(Titles(s.ui), (std::vector<std::string>{"id", "name", "qty"}));
    EXPECT_EQ(Grid(s.ui), (std::vector<std::vector<std::string>>{
                              {"1", "bolt", "10"}, {"2", "nut", "NULL"}, {"3", "washer", "7"}}));
    EXPECT_EQ(s.ui.caption(), u"items[3]");
    EXPECT_EQ(s.browser.rowsShown(), 3);
    EXPECT_TRUE(s.ui.nextEnabled());
    EXPECT_FALSE(s.ui.previousEnabled());

    // An InnoDB table in its own .ibd, with no system tablespace open.
    ASSERT_EQ(s.Select("north/Tables/stock"), 1);
    EXPECT_EQ(Grid(s.ui),
              (std::vector<std::vector<std::string>>{{"1", "1", "shelf A"}, {"2", "3", "NULL"}}));
}

TEST_F(RecordBrowserTest, TableWithUpperCaseFileNamesShowsItsRows) {
    // Waits for the row reader to find the .frm whatever the case of its
    // extension, as it already finds the .MYI and .MYD.
    test::BrowseSession& s = Catalogue();
    ASSERT_EQ(s.Select("north/Tables/DATA"), 1);
    EXPECT_EQ(Grid(s.ui), (std::vector<std::vector<std::string>>{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(s.ui.caption(), u"DATA[2]");
}

// The walk through a table of 2500 rows: first window, Next, Next to the
// end, Previous, Previous; the grid always holds the server's rows of the
// window the caption names.
TEST_F(RecordBrowserTest, PagesThroughTwoAndAHalfWindowsAndBack) {
    test::BrowseSession& s = Fixtures();
    for (const char* name : {"my_fixed_2500", "my_dyn_2500", "inno_compact_2500",
                             "inno_redundant_2500", "inno_sys_2500"}) {
        SCOPED_TRACE(name);
        const test::ExpectedTable expected = test::LoadExpectedTable("paging", name);
        ASSERT_EQ(expected.rows.size(), 2500u);
        const auto checkWindow = [&](size_t from, size_t count) {
            const auto grid = Grid(s.ui);
            ASSERT_EQ(grid.size(), count);
            for (size_t i = 0; i < count; i += 99)
                EXPECT_EQ(grid[i][0], expected.rows[from + i][0]) << "row " << from + i;
            EXPECT_EQ(grid.back()[0], expected.rows[from + count - 1][0]);
        };
        ASSERT_EQ(s.Select(std::string("paging/Tables/") + name), 1);
        EXPECT_EQ(test::U8(s.ui.caption()), std::string(name) + "[1000]");
        checkWindow(0, 1000);
        EXPECT_TRUE(s.ui.nextEnabled());
        EXPECT_FALSE(s.ui.previousEnabled());
        const size_t messages = s.ui.messages().size();

        EXPECT_EQ(s.browser.ShowNextRecords(), 1);
        EXPECT_EQ(s.ui.caption(), u"1000 rows to 2000");
        checkWindow(1000, 1000);
        EXPECT_TRUE(s.ui.previousEnabled());
        EXPECT_EQ(s.ui.messages().size(), messages);

        EXPECT_EQ(s.browser.ShowNextRecords(), 1);
        EXPECT_EQ(s.ui.caption(), u"2000 rows to 2500");
        checkWindow(2000, 500);
        EXPECT_EQ(s.ui.messages().size(), messages + 1);
        EXPECT_EQ(s.ui.messages().back(), kNoMore);
        EXPECT_FALSE(s.ui.nextEnabled());

        EXPECT_EQ(s.browser.ShowPreviousRecords(), 1);
        EXPECT_EQ(s.ui.caption(), u"1000 rows to 2000");
        checkWindow(1000, 1000);
        EXPECT_TRUE(s.ui.nextEnabled());
        EXPECT_TRUE(s.ui.previousEnabled());

        EXPECT_EQ(s.browser.ShowPreviousRecords(), 1);
        EXPECT_EQ(s.ui.caption(), u"0 rows to 1000");
        checkWindow(0, 1000);
        EXPECT_FALSE(s.ui.previousEnabled());

        // And forward again from the first window.
        EXPECT_EQ(s.browser.ShowNextRecords(), 1);
        EXPECT_EQ(s.ui.caption(), u"1000 rows to 2000");
        checkWindow(1000, 1000);
        EXPECT_EQ(s.app.busy, 0);
    }
}

TEST_F(RecordBrowserTest, ExactlyOneWindowEndsWithAnEmptyGridAndTheMessage) {
    test::BrowseSession& s = Fixtures();
    for (const char* name : {"my_fixed_1000", "my_dyn_1000", "inno_dynamic_1000"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(s.Select(std::string("paging/Tables/") + name), 1);
        EXPECT_EQ(test::U8(s.ui.caption()), std::string(name) + "[1000]");
        const size_t messages = s.ui.messages().size();
        EXPECT_EQ(s.browser.ShowNextRecords(), 1);
        EXPECT_TRUE(s.ui.gridRows().empty());
        EXPECT_EQ(s.ui.messages().size(), messages + 1);
        EXPECT_EQ(s.ui.caption(), u"1000 rows to 1000");
        EXPECT_FALSE(s.ui.nextEnabled());
        // Next again at the end marker: the message again, one more marker.
        const size_t bookmarks = s.frame.openTable->window().bookmarks.size();
        EXPECT_EQ(s.browser.ShowNextRecords(), 0);
        EXPECT_EQ(s.ui.messages().size(), messages + 2);
        EXPECT_EQ(s.frame.openTable->window().bookmarks.size(), bookmarks + 1);
        EXPECT_EQ(s.frame.openTable->window().bookmarks.back().page, kEndMarkerPage);
    }
}

TEST_F(RecordBrowserTest, OneShortWindowOnlyDisablesNext) {
    test::BrowseSession& s = Fixtures();
    for (const char* name : {"my_fixed_300", "my_dyn_300", "inno_compact_300", "my_fixed_0"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(s.Select(std::string("paging/Tables/") + name), 1);
        const std::u16string caption = s.ui.caption();
        const size_t messages = s.ui.messages().size();
        EXPECT_EQ(s.browser.ShowNextRecords(), 1);
        EXPECT_FALSE(s.ui.nextEnabled());
        EXPECT_EQ(s.ui.messages().size(), messages);
        EXPECT_EQ(s.ui.caption(), caption);
    }
    ASSERT_EQ(s.Select("paging/Tables/my_fixed_0"), 1);
    EXPECT_EQ(s.ui.caption(), u"my_fixed_0[0]");
    EXPECT_FALSE(s.ui.nextEnabled());
    EXPECT_FALSE(s.ui.previousEnabled());
}

// The text for counts the files cannot be trusted on: an index file that
// counts fewer rows than were read says "at least" what was seen.
TEST(RowsShownTextTest, SaysAtLeastWhereTheCountIsShortOrUnknown) {
    struct Case {
        int64_t first, tableRows;
        bool exact;
        size_t rows;
        std::u16string text;
    };
    const std::vector<Case> cases = {
        {-1, 10, true, 3, u""},
        {0, 5230, true, 3, u"rows 1-3 of 5230"},
        {1000, 1500, false, 3, u"rows 1001-1003 of at least 1500"},
        {0, 2, true, 3, u"rows 1-3 of at least 3"},
        {0, -1, false, 3, u"rows 1-3"},
        {0, 0, true, 0, u"no rows"},
        {0, 7, true, 0, u"no rows shown of 7"},
    };
    for (const Case& c : cases) {
        CTextGridWindow window({u"a"}, std::vector<std::vector<std::u16string>>(c.rows, {u"x"}));
        window.SetPosition(c.first, c.tableRows, c.exact);
        EXPECT_EQ(test::U8(RowsShownText(window)), test::U8(c.text)) << c.first << " " << c.rows;
    }
}

// What the status bar says at every step of paging: MyISAM tables count
// their rows in the index file from the first window on; InnoDB tables are
// counted as they are read, at least so many until the last window is seen.
// When "No more records" shows, caption and rows are already the new ones.
TEST_F(RecordBrowserTest, RowsShownSayWhichRowsOfHowMany) {
    test::BrowseSession& s = Fixtures();
    struct Step {
        const char* command;  // "select", "next" or "previous"
        std::u16string rows;
    };
    struct Case {
        const char* table;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"my_fixed_2500",
         {{"select", u"rows 1-1000 of 2500"},
          {"next", u"rows 1001-2000 of 2500"},
          {"next", u"rows 2001-2500 of 2500"},
          {"previous", u"rows 1001-2000 of 2500"},
          {"previous", u"rows 1-1000 of 2500"}}},
        {"my_dyn_2500", {{"select", u"rows 1-1000 of 2500"}}},
        {"inno_compact_2500",
         {{"select", u"rows 1-1000 of at least 1000"},
          {"next", u"rows 1001-2000 of at least 2000"},
          {"next", u"rows 2001-2500 of 2500"},
          {"previous", u"rows 1001-2000 of 2500"},
          {"previous", u"rows 1-1000 of 2500"}}},
        {"inno_dynamic_1000",
         {{"select", u"rows 1-1000 of at least 1000"}, {"next", u"no rows shown of 1000"}}},
        {"my_fixed_1000", {{"select", u"rows 1-1000 of 1000"}, {"next", u"no rows shown of 1000"}}},
        {"inno_compact_300", {{"select", u"rows 1-300 of 300"}}},
        {"my_fixed_0", {{"select", u"no rows"}}},
    };
    std::vector<std::u16string> atMessage;
    s.ui.onMessage = [&](std::u16string_view) {
        atMessage.push_back(s.ui.caption() + u" | " + s.ui.rowsShownText());
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        for (const Step& step : c.steps) {
            SCOPED_TRACE(step.command);
            const std::string command = step.command;
            atMessage.clear();
            if (command == "select") {
                ASSERT_EQ(s.Select(std::string("paging/Tables/") + c.table), 1);
            } else if (command == "next") {
                s.browser.ShowNextRecords();
            } else {
                ASSERT_EQ(s.browser.ShowPreviousRecords(), 1);
            }
            EXPECT_EQ(test::U8(s.ui.rowsShownText()), test::U8(step.rows));
            for (const std::u16string& seen : atMessage)
                EXPECT_EQ(test::U8(seen), test::U8(s.ui.caption() + u" | " + step.rows));
        }
    }
    s.ui.onMessage = nullptr;
    // The column definitions are no window of a table's rows.
    ASSERT_EQ(s.Select("paging/Tables/my_fixed_2500/Keys"), 1);
    EXPECT_EQ(s.ui.rowsShownText(), u"");
}

}  // namespace
}  // namespace brix

namespace brix {
namespace {

size_t CountDamageRows(const test::CRecordingUi& ui) {
    size_t n = 0;
    for (const std::u16string& row : ui.logRows())
        if (row.starts_with(kDamageLinePrefix)) ++n;
    return n;
}

TEST(RecordBrowserDamageTest, FindingsGoToTheLogOnceAndTheCaptionSaysTheTableIsDamaged) {
    test::BrowseSession s(test::FixtureDataDir());
    ASSERT_TRUE(s.Scan());
    // Stands for a reader that finds the same damaged page at every read.
    s.browser.SetReadHook([&s] {
        DamageFinding finding;
        finding.file = "paging/my_fixed_2500.MYD";
        finding.offset = 4096;
        finding.what = DamageWhat::kBlock;
        finding.why = "block runs past the end of the file";
        finding.rowsLost = 3;
        s.browser.damageSink().Report(finding);
    });
    ASSERT_EQ(s.Select("paging/Tables/my_fixed_2500"), 1);
    // The caption's own text first, the addition after it.
    EXPECT_EQ(s.ui.caption(), u"my_fixed_2500[1000] \u2014 damaged: 1 finding, see the log");
    ASSERT_EQ(CountDamageRows(s.ui), 1u);
    const std::vector<std::u16string> rows = s.ui.logRows();
    const auto damage = std::find_if(rows.begin(), rows.end(), [](const std::u16string& row) {
        return row.starts_with(kDamageLinePrefix);
    });
    EXPECT_EQ(test::U8(*damage),
              "Damage: paging/my_fixed_2500.MYD: offset 4096: block: block runs past the end of "
              "the file (about 3 rows lost)");
    EXPECT_EQ(s.browser.tableFindings(), 1u);
    // Paging reads windows again; the same finding is not logged twice.
    ASSERT_EQ(s.browser.ShowNextRecords(), 1);
    EXPECT_EQ(s.ui.caption(), u"1000 rows to 2000 \u2014 damaged: 1 finding, see the log");
    ASSERT_EQ(s.browser.ShowPreviousRecords(), 1);
    EXPECT_EQ(CountDamageRows(s.ui), 1u);

    // Another table without findings shows the caption as it always did.
    s.browser.SetReadHook({});
    ASSERT_EQ(s.Select("paging/Tables/my_dyn_1000"), 1);
    EXPECT_EQ(s.ui.caption(), u"my_dyn_1000[1000]");
    EXPECT_EQ(s.browser.tableFindings(), 0u);
}

TEST(RecordBrowserDamageTest, ATableWhoseDataFileIsMissingSaysSoInsteadOfShowingNoRows) {
    test::TempDir dir;
    const auto keys = dir.path() / "keys";
    std::filesystem::create_directories(keys);
    for (const char* name : {"no_key_myisam.frm", "no_key_myisam.MYI"})
        std::filesystem::copy_file(test::FixtureDataDir() / "keys" / name, keys / name);
    test::BrowseSession s(dir.path());
    ASSERT_TRUE(s.Scan());
    ASSERT_EQ(s.Select("keys/Tables/no_key_myisam"), 1);
    EXPECT_EQ(s.ui.caption(),
              u"no_key_myisam[0] \u2014 nothing could be read: data file missing, see the log");
    ASSERT_EQ(CountDamageRows(s.ui), 1u);
    EXPECT_EQ(s.ui.gridRows().size(), 0u);
}

// Files copied from another system may have names that are not UTF-8. The
// recovered view names them in its title and log lines instead of failing
// on the conversion (bytes that are not UTF-8 show as U+FFFD).
TEST(RecordBrowserDamageTest, RecoveringFromFilesWhoseNamesAreNotUtf8ShowsTheirRows) {
    test::TempDir dir;
    const std::filesystem::path recover =
        test::SourceDir() / "tests/fixtures/deleted/datadir/recover";
    const std::filesystem::path definition = dir.path() / "kept\xff.frm";
    const std::filesystem::path data = dir.path() / "kept\xff.ibd";
    std::filesystem::copy_file(recover / "inno_kept.frm", definition);
    std::filesystem::copy_file(recover / "inno_kept.ibd", data);
    test::BrowseSession s(dir.path());
    ASSERT_EQ(s.browser.ShowRecoveredRows(definition, data), 1);
    EXPECT_EQ(s.ui.caption(), u"Recovered from kept\uFFFD.ibd [300]");
    EXPECT_EQ(s.ui.gridRows().size(), 300u);
    // A definition that cannot be read is named the same way.
    ASSERT_EQ(s.browser.ShowRecoveredRows(dir.path() / "none\xfe.frm", data), 1);
    EXPECT_EQ(s.ui.caption(),
              u"Recovered from kept\uFFFD.ibd \u2014 no table definition could be read from "
              u"none\uFFFD.frm");
}

}  // namespace
}  // namespace brix
