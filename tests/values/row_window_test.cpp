// The window's cells when it is filled again: rows of an earlier window, a
// wider one or one taken back must leave nothing behind in the new cells;
// rows moved from one window into another keep every cell as it was.

#include "values/row_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brix {
namespace {

void Put(CRowWindow& window, size_t column, std::u16string_view text) {
    const size_t start = window.arena().size();
    window.arena() += text;
    window.SetCell(column, start, false);
}

TEST(RowWindowTest, RefilledWindowsKeepNothingOfEarlierRows) {
    CRowWindow window;
    window.Reset(3);
    window.BeginRow();
    Put(window, 0, u"first");
    window.SetNull(1);
    Put(window, 2, u"/spill/1");
    window.MarkSpilled(2);
    window.BeginRow();
    Put(window, 0, u"second");
    ASSERT_EQ(window.rowCount(), 2u);

    // Narrower rows over the same memory: a cell left unset is an empty
    // text, not what the earlier window held there.
    window.Reset(2);
    window.BeginRow();
    Put(window, 1, u"x");
    window.BeginRow();
    EXPECT_EQ(window.rowCount(), 2u);
    EXPECT_EQ(window.Text(0, 0), u"");
    EXPECT_FALSE(window.IsNull(0, 0));
    EXPECT_EQ(window.Text(0, 1), u"x");
    EXPECT_FALSE(window.IsNull(1, 0));
    EXPECT_FALSE(window.IsSpilled(1, 0));
    EXPECT_EQ(window.Text(1, 1), u"");

    // A row taken back leaves its texts out of the next one.
    window.Reset(3);
    window.BeginRow();
    Put(window, 0, u"kept");
    window.BeginRow();
    Put(window, 0, u"dropped");
    window.SetNull(1);
    window.MarkSpilled(2);
    window.DropLastRow();
    window.BeginRow();
    Put(window, 2, u"new");
    ASSERT_EQ(window.rowCount(), 2u);
    EXPECT_EQ(window.Text(0, 0), u"kept");
    EXPECT_EQ(window.Text(1, 0), u"");
    EXPECT_FALSE(window.IsNull(1, 1));
    EXPECT_FALSE(window.IsSpilled(1, 2));
    EXPECT_EQ(window.Text(1, 2), u"new");
    EXPECT_EQ(window.arena(), u"keptnew");

    // A NULL drops the text written for it.
    window.BeginRow();
    window.arena() += u"garbage";
    window.SetCell(0, window.arena().size() - 7, true);
    EXPECT_TRUE(window.IsNull(2, 0));
    EXPECT_EQ(window.Text(2, 0), u"NULL");
    EXPECT_EQ(window.arena(), u"keptnew");
}

// Rows appended from another window (a partition's) behind rows already
// there: texts, NULLs, spill marks and off-page references each as they
// were, the references marked with the partition they came from.
TEST(RowWindowTest, AppendedRowsKeepEveryCellAndNameTheirSource) {
    const std::vector<uint8_t> reference{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    CRowWindow partition;
    partition.Reset(3);
    partition.BeginRow();
    Put(partition, 0, u"a1");
    partition.SetExternal(1, reference, 77, true);
    partition.SetNull(2);
    partition.BeginRow();
    partition.SetExternal(0, std::vector<uint8_t>{9}, 78, false);
    Put(partition, 1, u"b2");
    Put(partition, 2, u"/spill/4");
    partition.MarkSpilled(2);

    CRowWindow table;
    table.Reset(3);
    table.BeginRow();
    Put(table, 0, u"before");
    table.SetExternal(2, std::vector<uint8_t>{42}, 5, true);
    table.AppendRows(partition, 513);
    table.AppendRows(partition, 2);

    ASSERT_EQ(table.rowCount(), 5u);
    EXPECT_EQ(table.Text(0, 0), u"before");
    EXPECT_EQ(table.External(0, 2).source, 0);
    for (const auto& [row, source] : {std::pair<size_t, uint16_t>{1, 513}, {3, 2}}) {
        SCOPED_TRACE(row);
        EXPECT_EQ(table.Text(row, 0), u"a1");
        ASSERT_TRUE(table.IsExternal(row, 1));
        const ExternalCell cell = table.External(row, 1);
        EXPECT_EQ(std::vector<uint8_t>(cell.bytes.begin(), cell.bytes.end()), reference);
        EXPECT_EQ(cell.leafPage, 77u);
        EXPECT_TRUE(cell.reportBroken);
        EXPECT_EQ(cell.source, source);
        EXPECT_TRUE(table.IsNull(row, 2));

        const ExternalCell second = table.External(row + 1, 0);
        ASSERT_EQ(second.bytes.size(), 1u);
        EXPECT_EQ(second.bytes[0], 9);
        EXPECT_EQ(second.leafPage, 78u);
        EXPECT_FALSE(second.reportBroken);
        EXPECT_EQ(second.source, source);
        EXPECT_EQ(table.Text(row + 1, 1), u"b2");
        EXPECT_EQ(table.Text(row + 1, 2), u"/spill/4");
        EXPECT_TRUE(table.IsSpilled(row + 1, 2));
    }
    // The copy's own source stays as it was in the partition's window.
    EXPECT_EQ(partition.External(0, 1).source, 0);

    // Taking back an appended row takes back its texts and references too.
    table.DropLastRow();
    table.BeginRow();
    Put(table, 1, u"new");
    EXPECT_EQ(table.Text(4, 1), u"new");
    EXPECT_EQ(table.Text(3, 0), u"a1");
}

}  // namespace
}  // namespace brix
