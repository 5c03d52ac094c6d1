// Every InnoDB table of the fixture data directory, read window by window
// with the dictionary of ibdata1 and from the .frm alone, and compared with
// the rows the server itself returned.

#include <gtest/gtest.h>

#include "app/file_names.h"
#include "app/text.h"
#include "browse/table_rows.h"
#include "innodb/dictionary.h"
#include "support/expected_rows.h"
#include "support/test_support.h"

namespace brix {
namespace {

// Reads every row of the table; virtual receives the numbers of the table's
// VIRTUAL generated columns.
std::vector<test::ReadRow> ReadAllRows(const test::ExpectedTable& t, bool exportMode,
                                       const CInnoDictionary* dictionary,
                                       const std::filesystem::path& spillFolder,
                                       std::vector<size_t>& virtualColumns) {
    const std::unique_ptr<CAppState> owned = test::NewTestApp();
    CAppState& app = *owned;
    CReadOptions options;
    options.exportMode = exportMode;
    options.spillFolder = spillFolder;
    CTableRows table;
    std::vector<test::ReadRow> rows;
    const OpenRowsResult result = table.Open(test::FixtureDataDir() / t.database,
                                             Utf8ToUtf16(t.name), app, options, dictionary);
    EXPECT_EQ(result, OpenRowsResult::kOk) << t.name;
    virtualColumns.clear();
    for (const CColumnDef& c : table.table().columns)
        if (c.isVirtual) virtualColumns.push_back(static_cast<size_t>(c.index));
    std::u16string spilled;
    do {
        const CRowWindow& window = table.rows();
        EXPECT_LE(window.rowCount(), kWindowRows);
        for (size_t r = 0; r < window.rowCount(); ++r) {
            test::ReadRow row;
            for (size_t c = 0; c < window.columnCount(); ++c) {
                std::u16string_view text = window.Text(r, c);
                if (window.IsSpilled(r, c)) {
                    spilled.clear();
                    RenderSpilledValue(table.table(), c, std::filesystem::path(text), app, spilled);
                    text = spilled;
                }
                row.texts.push_back(Utf16ToUtf8(text));
                row.nulls.push_back(window.IsNull(r, c));
            }
            rows.push_back(std::move(row));
        }
    } while (table.ReadNextWindow(app));
    return rows;
}

class InnoFixtureTest : public ::testing::Test {
  protected:
    void ReadEveryTable(const CInnoDictionary* dictionary) {
        size_t tables = 0;
        for (const test::ExpectedTable& t : test::FixtureTables()) {
            if (t.engine != "InnoDB") continue;
            ++tables;
            for (bool exportMode : {false, true}) {
                SCOPED_TRACE(t.database + "." + t.name + (exportMode ? " (export)" : "") +
                             (dictionary ? "" : " (.frm only)"));
                std::vector<size_t> virtualColumns;
                const std::vector<test::ReadRow> rows =
                    ReadAllRows(t, exportMode, dictionary, spill_.path(), virtualColumns);
                // The files do not hold VIRTUAL columns: the server computes
                // them from the other columns when it reads a row. The readers
                // leave them empty.
                test::ExpectedTable expected = t;
                for (std::vector<std::string>& row : expected.rows)
                    for (size_t c : virtualColumns) row[c].clear();
                // Without the dictionary a table that has no .ibd of its own
                // cannot be found in the system tablespace.
                if (!dictionary &&
                    FindStorageFile(test::FixtureDataDir() / t.database, Utf8ToUtf16(t.name), "ibd")
                        .empty())
                    expected.rows.clear();
                for (const std::string& p : test::CompareRows(expected, rows, exportMode, true))
                    ADD_FAILURE() << p;
            }
        }
        EXPECT_GT(tables, 40u);
    }

    test::TempDir spill_;
};

TEST_F(InnoFixtureTest, EveryTableReadsAsTheServerReturnedItWithTheDictionary) {
    CInnoDictionary dictionary;
    ASSERT_TRUE(dictionary.Open(test::FixtureDataDir() / "ibdata1", test::TestApp()));
    ReadEveryTable(&dictionary);
}

TEST_F(InnoFixtureTest, EveryFilePerTableTableReadsTheSameFromItsFrmAlone) {
    ReadEveryTable(nullptr);
}

}  // namespace
}  // namespace brix
