// The "Deleted rows" node under a table: which tables get it (decided by the
// scan without reading any rows), what selecting it shows, and paging through
// more than a window of deleted rows.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/text.h"
#include "app/ui_model.h"
#include "browse/record_browser.h"
#include "browse/table_rows.h"
#include "myisam/myisam_header.h"
#include "schema/frm_reader.h"
#include "support/browse_session.h"
#include "support/expected_rows.h"
#include "support/test_support.h"

namespace brix {
namespace {

const std::filesystem::path kDeletedData =
    test::SourceDir() / "tests" / "fixtures" / "deleted" / "datadir";
const std::filesystem::path kRecover = kDeletedData / "recover";
const char* const kTables[] = {"inno_kept",  "inno_purged",     "my_fixed",
                               "my_dynamic", "my_dynamic_lead", "my_grown"};

// Where the state header of an index file keeps its count of deleted records.
constexpr size_t kMyiDeletedCount = 24 + 4 + 8;

std::vector<std::string> Texts(const std::vector<std::u16string>& texts) {
    std::vector<std::string> out;
    for (const std::u16string& text : texts) out.push_back(test::U8(text));
    return out;
}

std::vector<std::vector<std::string>> Grid(const test::CRecordingUi& ui) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : ui.gridRows()) rows.push_back(Texts(row));
    return rows;
}

// The table's first window of deleted rows as CTableRows reads it, each cell
// as the grid shows it.
std::vector<std::vector<std::string>> DeletedRows(const std::filesystem::path& folder,
                                                  const std::string& table) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CReadOptions options;
    options.deleted = true;
    CTableRows rows;
    EXPECT_EQ(rows.Open(folder, Utf8ToUtf16(table), *app, options), OpenRowsResult::kOk);
    std::vector<std::vector<std::string>> out;
    const CRowWindow& window = rows.rows();
    for (size_t r = 0; r < window.rowCount(); ++r) {
        out.emplace_back();
        for (size_t c = 0; c < window.columnCount(); ++c)
            out.back().push_back(test::U8(window.Text(r, c)));
    }
    return out;
}

bool HasNode(test::BrowseSession& s, const std::string& path) {
    std::vector<std::u16string> texts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        texts.push_back(Utf8ToUtf16(path.substr(at, end - at)));
        at = end + 1;
    }
    // Below the root and the data path node.
    const auto roots = s.ui.rootItems();
    if (roots.empty()) return false;
    const auto paths = s.ui.Children(roots.front());
    return !paths.empty() && s.ui.FindItem(paths.front(), texts) != kNoTreeItem;
}

TEST(DeletedRowsNodeTest, ReadsTheIndexFilesCountOfDeletedRecords) {
    EXPECT_GT(ReadMyisamDeletedCount(kRecover / "my_fixed.MYI"), 0);
    EXPECT_GT(ReadMyisamDeletedCount(kRecover / "my_dynamic.MYI"), 0);
    EXPECT_EQ(ReadMyisamDeletedCount(kRecover / "no_such.MYI"), -1);
    test::TempDir dir;
    std::vector<uint8_t> myi = test::ReadFileBytes(kRecover / "my_fixed.MYI");
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int64_t count;
    };
    std::vector<uint8_t> none = myi;
    std::fill_n(none.begin() + kMyiDeletedCount, 8, uint8_t{0});
    std::vector<uint8_t> packed = myi;
    packed[5] |= 4;  // the options' "compressed records" bit
    std::vector<uint8_t> notMyi = myi;
    notMyi[0] = 0;
    std::vector<uint8_t> huge = myi;
    std::fill_n(huge.begin() + kMyiDeletedCount, 8, uint8_t{0xFF});
    const Case cases[] = {
        {"none deleted", none, 0},
        {"packed by myisampack", packed, 0},
        {"not an index file", notMyi, -1},
        {"cut short before the count", std::vector<uint8_t>(myi.begin(), myi.begin() + 40), -1},
        {"empty", {}, -1},
        {"a count no file can hold", huge, int64_t{1} << 62},
    };
    for (const Case& c : cases) {
        test::WriteFile(dir.path() / "t.MYI", c.bytes);
        EXPECT_EQ(ReadMyisamDeletedCount(dir.path() / "t.MYI"), c.count) << c.what;
    }
}

// A copy of a fixture table's files with one of them changed or left out.
TEST(DeletedRowsNodeTest, TheScanAddsTheNodeWhereTheFilesMayHoldDeletedRows) {
    struct Case {
        const char* what;
        std::function<void(const std::filesystem::path&)> change;
        bool node;
    };
    const auto myi = [](const std::filesystem::path& db) { return db / "my_fixed.MYI"; };
    const Case cases[] = {
        {"the index file counts deleted records", [](const auto&) {}, true},
        {"the index file counts none",
         [&](const auto& db) {
             std::vector<uint8_t> bytes = test::ReadFileBytes(myi(db));
             std::fill_n(bytes.begin() + kMyiDeletedCount, 8, uint8_t{0});
             test::WriteFile(myi(db), bytes);
         },
         false},
        {"the index file is damaged: it cannot say",
         [&](const auto& db) {
             test::WriteFile(myi(db), {0, 1, 2});
         },
         true},
        {"the index file is missing", [&](const auto& db) { std::filesystem::remove(myi(db)); },
         true},
        {"the data file is missing",
         [](const auto& db) { std::filesystem::remove(db / "my_fixed.MYD"); }, false},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        const std::filesystem::path db = dir.path() / "recover";
        std::filesystem::create_directories(db);
        for (const char* extension : {".frm", ".MYD", ".MYI"})
            std::filesystem::copy_file(kRecover / (std::string("my_fixed") + extension),
                                       db / (std::string("my_fixed") + extension));
        c.change(db);
        test::BrowseSession s(dir.path());
        ASSERT_TRUE(s.Scan());
        EXPECT_TRUE(HasNode(s, "recover/Tables/my_fixed/Keys")) << c.what;
        EXPECT_EQ(HasNode(s, "recover/Tables/my_fixed/Deleted rows"), c.node) << c.what;
    }
}

TEST(DeletedRowsNodeTest, ShowsEachTablesDeletedRowsWithWhereTheyWereFound) {
    test::BrowseSession s(kDeletedData);
    ASSERT_TRUE(s.Scan());
    for (const char* table : kTables) {
        const std::string name = table;
        // InnoDB tables all get the node; these MyISAM ones count deleted
        // records.
        ASSERT_EQ(s.Select("recover/Tables/" + name + "/Deleted rows"), 1) << name;
        std::vector<std::string> titles;
        CTableDef definition;
        ASSERT_TRUE(
            ReadTableDefinition(definition, kRecover / (name + ".frm"), test::TestApp(), nullptr));
        for (const CColumnDef& column : definition.columns) titles.push_back(test::U8(column.name));
        titles.push_back("_source");
        titles.push_back("_unknown");
        EXPECT_EQ(Texts(s.ui.gridColumns()), titles) << name;
        const auto want = DeletedRows(kRecover, name);
        EXPECT_EQ(Grid(s.ui), want) << name;
        const std::string count = std::to_string(want.size());
        if (want.empty()) {
            EXPECT_EQ(test::U8(s.ui.caption()),
                      name + " \u2014 deleted rows[0] \u2014 no deleted rows found");
            EXPECT_EQ(test::U8(s.ui.rowsShownText()), "no deleted rows found");
        } else {
            EXPECT_EQ(test::U8(s.ui.caption()), name + " \u2014 deleted rows[" + count + "]");
            EXPECT_EQ(test::U8(s.ui.rowsShownText()), "deleted rows 1-" + count + " of " + count);
        }
        // One window: the window knows it is the last (the desktop's Next
        // goes by that), and an empty one leaves Next disabled.
        if (want.empty()) {
            EXPECT_FALSE(s.ui.nextEnabled()) << name;
        } else {
            ASSERT_TRUE(s.ui.gridWindow()) << name;
            EXPECT_TRUE(s.ui.gridWindow()->IsLastWindow()) << name;
        }
        EXPECT_FALSE(s.ui.previousEnabled()) << name;
        EXPECT_EQ(s.app.busy, 0);
    }
    // Recovered rows in the fixture: of the 108 rows deleted from each table
    // (every third of 300 and a run), all in the InnoDB table purge did not
    // reach and in the fixed-length MyISAM one; some of the dynamic one whose
    // fields of fixed length come first.
    EXPECT_EQ(DeletedRows(kRecover, "inno_kept").size(), 108u);
    EXPECT_EQ(DeletedRows(kRecover, "my_fixed").size(), 108u);
    EXPECT_GT(DeletedRows(kRecover, "my_dynamic_lead").size(), 0u);
    // The live rows are shown again by the table's own node.
    ASSERT_EQ(s.Select("recover/Tables/inno_kept"), 1);
    EXPECT_EQ(s.ui.gridColumns().size(), 8u);
    EXPECT_EQ(test::U8(s.ui.rowsShownText()).rfind("rows 1-", 0), 0u);
}

// 2500 deleted slots of my_fixed in a row: three windows of deleted rows.
TEST(DeletedRowsNodeTest, PagesThroughDeletedRowsAWindowAtATime) {
    CTableDef table;
    ASSERT_TRUE(ReadTableDefinition(table, kRecover / "my_fixed.frm", test::TestApp(), nullptr));
    const std::vector<uint8_t> file = test::ReadFileBytes(kRecover / "my_fixed.MYD");
    const auto stride = static_cast<size_t>(table.recordLength);
    ASSERT_GT(stride, 0u);
    size_t at = 0;
    while (at + stride <= file.size() && file[at] != 0) at += stride;
    ASSERT_LT(at + stride, file.size());
    std::vector<uint8_t> slot(file.begin() + static_cast<std::ptrdiff_t>(at),
                              file.begin() + static_cast<std::ptrdiff_t>(at + stride));
    std::fill_n(slot.begin() + 1, 6, uint8_t{0xFF});  // the link: no next slot
    std::vector<uint8_t> data;
    for (int i = 0; i < 2500; ++i) data.insert(data.end(), slot.begin(), slot.end());

    test::TempDir dir;
    const std::filesystem::path db = dir.path() / "recover";
    std::filesystem::create_directories(db);
    std::filesystem::copy_file(kRecover / "my_fixed.frm", db / "my_fixed.frm");
    std::filesystem::copy_file(kRecover / "my_fixed.MYI", db / "my_fixed.MYI");
    test::WriteFile(db / "my_fixed.MYD", data);
    test::BrowseSession s(dir.path());
    ASSERT_TRUE(s.Scan());
    ASSERT_EQ(s.Select("recover/Tables/my_fixed/Deleted rows"), 1);

    struct Step {
        const char* command;
        size_t rows;
        std::string caption;
        std::string shown;
        bool next;
        bool previous;
    };
    const Step steps[] = {
        {"select", 1000, "my_fixed \u2014 deleted rows[1000]",
         "deleted rows 1-1000 of at least 1000", true, false},
        {"next", 1000, "1000 rows to 2000", "deleted rows 1001-2000 of at least 2000", true, true},
        {"next", 500, "2000 rows to 2500", "deleted rows 2001-2500 of 2500", false, true},
        {"previous", 1000, "1000 rows to 2000", "deleted rows 1001-2000 of 2500", true, true},
        {"previous", 1000, "0 rows to 1000", "deleted rows 1-1000 of 2500", true, false},
    };
    for (const Step& step : steps) {
        const std::string command = step.command;
        if (command == "next") s.browser.ShowNextRecords();
        if (command == "previous") s.browser.ShowPreviousRecords();
        EXPECT_EQ(s.ui.gridRows().size(), step.rows) << command << " " << step.caption;
        EXPECT_EQ(test::U8(s.ui.caption()), step.caption);
        EXPECT_EQ(test::U8(s.ui.rowsShownText()), step.shown) << step.caption;
        EXPECT_EQ(s.ui.nextEnabled(), step.next) << step.caption;
        EXPECT_EQ(s.ui.previousEnabled(), step.previous) << step.caption;
        ASSERT_EQ(s.ui.gridColumns().size(), table.columns.size() + 2);
        const auto grid = Grid(s.ui);
        ASSERT_FALSE(grid.empty());
        EXPECT_EQ(grid.front()[table.columns.size()], "deleted-slot") << step.caption;
    }
}

TEST(DeletedRowsNodeTest, TheStatusBarSaysDeletedRows) {
    struct Case {
        int64_t first;
        size_t rows;
        bool last;
        int64_t total;
        bool exact;
        const char* text;
    };
    const Case cases[] = {
        {0, 0, true, 0, true, "no deleted rows found"},
        // An empty window that may have more after it finds none yet.
        {0, 0, false, 0, false, "no deleted rows"},
        {0, 3, true, 3, true, "deleted rows 1-3 of 3"},
        {1000, 2, false, 1002, false, "deleted rows 1001-1002 of at least 1002"},
        {2000, 0, true, 2000, true, "no deleted rows shown of 2000"},
    };
    for (const Case& c : cases) {
        CTextGridWindow window({u"a", u"_source", u"_unknown"},
                               std::vector<std::vector<std::u16string>>(c.rows, {u"1"}));
        window.SetFilled(!c.last);
        window.SetPosition(c.first, c.total, c.exact);
        window.SetDeletedRows(true);
        EXPECT_EQ(test::U8(RowsShownText(window)), c.text);
    }
}

// Tables of MySQL 9 have no .frm: they are found by their tablespace or .sdi
// file, and get the node by the same rule; selecting it shows what the rows
// command reads, and the log line names the table.
TEST(DeletedRowsNodeTest, Mysql9TablesGetTheNodeToo) {
    const std::filesystem::path data =
        test::SourceDir() / "tests" / "fixtures" / "deleted-mysql9" / "datadir";
    test::BrowseSession s(data);
    ASSERT_TRUE(s.Scan());
    for (const std::string name : {"inno_versions", "my_lead"}) {
        ASSERT_EQ(s.Select("undel/Tables/" + name + "/Deleted rows"), 1) << name;
        const auto want = DeletedRows(data / "undel", name);
        if (name == "inno_versions") {
            ASSERT_EQ(want.size(), 68u);
        }
        EXPECT_EQ(Grid(s.ui), want) << name;
        const auto log = s.ui.logRows();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(test::U8(log[log.size() - 2]),
                  "Please wait while deleted rows of " + name + " are being read.");
    }
}

}  // namespace
}  // namespace brix
