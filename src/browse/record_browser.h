#pragma once

#include <cstdint>
#include <string>

#include "app/ui_operations.h"
#include "catalogue/frame_state.h"
#include "schema/row_window.h"

namespace brix {

class CAppState;

// Texts the record browser shows.
inline constexpr char16_t kNoMoreRecords[] = u"No more records in table";

// Copies the rows of the window into the grid, from grid row 0 on: the first
// column's text with the row, then the other cells. Returns the number of
// rows added; a window without columns adds none.
size_t FillGridFromRowList(CUiOperations& ui, const CRowWindow& rows);

// What a click on a tree node shows, and the paging of a table's rows: the
// record panel's side of the main window. Runs on the user-interface thread;
// every command is refused while busy is set (a scan, or another command).
class CRecordBrowser {
  public:
    CRecordBrowser(CAppState& app, CUiOperations& ui, CFrameState& frame)
        : app_(app), ui_(ui), frame_(frame) {}

    // The selection handler. Decides by the selected node's item data: a
    // "Keys" node shows the column definitions, a view node the CREATE VIEW
    // text, a trigger node the trigger script, a table node the first window
    // of the table's rows with the node text and the row count in the caption;
    // other nodes show nothing. Logs the start and the end of the load.
    // Returns 0 when refused (busy: the previous node is selected again and
    // the user is told), 1 otherwise.
    int OnTreeSelection(TreeItem clicked);

    // "Next Records": reads the window after the one shown, from the newest
    // bookmark, and shows "N rows to M" in the caption. Says "No more records
    // in table" and disables itself after the last window. Returns 0 when
    // refused or already at the end, 1 otherwise.
    int ShowNextRecords();

    // "Previous Records": reads the window before the one shown. Returns 0
    // when refused, 1 otherwise.
    int ShowPreviousRecords();

    int64_t rowsFrom() const { return rowsFrom_; }
    int64_t rowsTo() const { return rowsTo_; }
    int64_t rowsShown() const { return rowsShown_; }

  private:
    bool TryEnterBusy();
    void OpenTableWindow(const CatalogueTable& entry, std::u16string_view nodeText);
    // Reads the window that starts at from into the grid; returns its rows.
    size_t ReadWindowFrom(const RecordBookmark& from, bool bookmarkWanted);

    CAppState& app_;
    CUiOperations& ui_;
    CFrameState& frame_;

    TreeItem selectedItem_ = kNoTreeItem;
    int64_t rowsFrom_ = 0;
    int64_t rowsTo_ = 0;
    int64_t rowsShown_ = 0;
    RecordBookmark lastWindowStart_{};
    int32_t lastBookmarkCount_ = 0;
};

}  // namespace brix
