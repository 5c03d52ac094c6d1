// The window's cells when it is filled again: rows of an earlier window, a
// wider one or one taken back must leave nothing behind in the new cells.

#include "values/row_window.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace brix
