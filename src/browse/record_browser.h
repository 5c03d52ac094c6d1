#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include "app/busy.h"
#include "app/grid_window.h"
#include "app/ui_operations.h"
#include "browse/table_rows.h"
#include "catalogue/frame_state.h"
#include "values/row_window.h"

namespace brix {

class CAppState;

// Texts the record browser shows.
inline constexpr char16_t kNoMoreRecords[] = u"No more records in table";
// After a table's name in the caption of its deleted rows, and after the
// count when none were found.
inline constexpr char16_t kDeletedRowsCaption[] = u" \u2014 deleted rows";
inline constexpr char16_t kNoDeletedRowsFound[] = u" \u2014 no deleted rows found";

// The window of rows the reader filled into table.rows(), as a grid window
// with the table's column names: the rows are moved into it, not copied, and
// table.rows() starts empty for the next window.
std::shared_ptr<const CGridWindow> TakeGridWindow(CTableRows& table);

// What a click on a tree node shows, and the paging of a table's rows: the
// record panel's side of the main window. The commands are given on the
// user-interface thread; every command is refused there, at once, while busy
// is set (a scan, or another command). A command that is not refused takes
// busy and hands the rest of its work, the reading included, to the runner:
// at once on the calling thread unless a runner is set (the window runs it on
// a worker, so that a big or slow table does not freeze it). The work reaches
// the window only through the user-interface operations, in the same order
// either way, and asks the tree nothing.
class CRecordBrowser {
  public:
    // Runs a command's work, now or on another thread.
    using Runner = std::function<void(std::function<void()> work)>;

    CRecordBrowser(CAppState& app, CUiOperations& ui, CFrameState& frame)
        : app_(app), ui_(ui), frame_(frame) {}

    void SetRunner(Runner runner) { runner_ = std::move(runner); }
    // Called on the reading thread just before each read of a table's rows
    // (for tests: to hold a read, or to make it fail).
    void SetReadHook(std::function<void()> hook) { readHook_ = std::move(hook); }

    // The selection handler. Decides by the selected node's item data: a
    // "Keys" node shows the column definitions, a view node the CREATE VIEW
    // text, a trigger node the trigger script, a table node the first window
    // of the table's rows with the node text and the row count in the caption;
    // a table's "Deleted rows" node the first window of its deleted rows
    // (the table's columns, then _source and _unknown), paged as the live
    // rows are, with "TABLE — deleted rows[N]" in the caption and " — no
    // deleted rows found" after it when there are none; other nodes show
    // nothing. Logs the start and the end of the load.
    // Returns 0 when refused (busy: the previous node is selected again and
    // the user is told), 1 otherwise.
    int OnTreeSelection(TreeItem clicked);

    // "Recover Table": shows in the grid the first window of the rows of
    // dataFile, a data file no table owns any more, laid out by the table
    // definition in definition (a .frm, or a MySQL 8.0+ tablespace holding
    // its definition), as CTableRows::OpenRecovered reads them: live and
    // deleted records with the columns _source and _unknown after the
    // table's. Paging goes on through it as for a table of the tree. Says
    // why in the caption when nothing could be read. Returns 0 when refused
    // (busy), 1 otherwise.
    int ShowRecoveredRows(const std::filesystem::path& definition,
                          const std::filesystem::path& dataFile);

    // "Next Records": reads the window after the one shown, from the newest
    // bookmark, and shows "N rows to M" in the caption. Says "No more records
    // in table" and disables itself after the last window. Returns 0 when
    // refused or already at the end, 1 otherwise.
    int ShowNextRecords();

    // "Previous Records": reads the window before the one shown. Returns 0
    // when refused, 1 otherwise.
    int ShowPreviousRecords();

    // Where the open table's reader reports. Tests report into it from the
    // read hook to stand for a reader that finds damage.
    CDamageSink& damageSink() { return damage_; }
    // Findings of the open table's reads so far, each counted once however
    // often its window is read again.
    size_t tableFindings() const { return tableFindings_; }

    int64_t rowsFrom() const { return rowsFrom_; }
    int64_t rowsTo() const { return rowsTo_; }
    int64_t rowsShown() const { return rowsShown_; }

  private:
    // The selected node as the tree told it on the user-interface thread.
    struct SelectedNode {
        std::u16string clickedText;   // the clicked node's text
        std::u16string text;          // the selected node's text
        TreeItem item = kNoTreeItem;  // the selected node
        int64_t data = 0;
        std::optional<int64_t> parentData;  // none for a root
    };
    // What Next Records does, decided before its work is handed over.
    enum class NextStep { kDisable, kAtEnd, kRead };

    void Run(CBusyGuard busy, std::function<void(CBusyGuard&)> work);
    void ShowSelection(const SelectedNode& node, CBusyGuard& busy);
    void ShowNext(NextStep step, CBusyGuard& busy);
    void ShowPrevious(CBusyGuard& busy);
    void BeforeRead() const;
    // The start of every load into the grid: caption and log line shown,
    // the panes set for rows, the tree locked, the open table closed and
    // the paging state and grid emptied. Returns the table to read into.
    CTableRows& BeginLoad(std::u16string_view caption, const std::u16string& logLine);
    // Its end: paging turned off when there is nothing to page to, the grid
    // redrawn, the busy state released, the tree unlocked, the log told.
    void EndLoad(bool nothingToPage, CBusyGuard& busy);
    // The frame's open table, made when there is none yet.
    CTableRows& OpenTable();
    // The bookmarks of the open table; none when no table is open.
    const std::vector<RecordBookmark>& Bookmarks() const;
    // Reads the table's first window, of its deleted rows when deleted is
    // set, and shows it; returns its rows.
    size_t OpenTableWindow(const CatalogueTable& entry, std::u16string_view nodeText,
                           bool deleted = false);
    void ShowRecovered(const std::filesystem::path& definition,
                       const std::filesystem::path& dataFile, CBusyGuard& busy);
    // Reads the window that starts at from, firstRow rows into the table,
    // into the grid; returns its rows.
    size_t ReadWindowFrom(const RecordBookmark& from, bool bookmarkWanted, int64_t firstRow);
    // Hands the window the table's reader filled to the grid, with where it
    // stands in the table and how many rows the table is known to hold;
    // returns its rows.
    size_t ShowTableWindow(CTableRows& table, int64_t firstRow);
    // Logs the findings of the read just made that were not logged before,
    // and marks the table's tree node when it has findings.
    void LogNewFindings();
    // What follows a caption of the table's rows when it has findings:
    // " — damaged: N findings, see the log"; empty otherwise.
    std::u16string DamageCaption() const;
    // Forgets the findings of the table shown before.
    void ForgetFindings();

    CAppState& app_;
    CUiOperations& ui_;
    CFrameState& frame_;
    Runner runner_;
    std::function<void()> readHook_;

    // Only on the user-interface thread.
    TreeItem selectedItem_ = kNoTreeItem;
    // Written by the work of a command; read by the next command once it
    // holds busy.
    int64_t rowsFrom_ = 0;
    int64_t rowsTo_ = 0;
    int64_t rowsShown_ = 0;
    // The end of the furthest window read of the open table, and whether its
    // last window has been read: the table's rows where no file counts them.
    int64_t furthestRow_ = 0;
    bool endSeen_ = false;
    RecordBookmark lastWindowStart_{};
    int32_t lastBookmarkCount_ = 0;

    // Where the open table's reader reports; emptied after each read.
    CDamageReport damage_;
    // The open table's tree node, and what its findings so far say. Written
    // by the work of a command, like the row counts.
    TreeItem tableItem_ = kNoTreeItem;
    std::unordered_set<std::string> findingsSeen_;
    size_t tableFindings_ = 0;
    // Rows read from the table so far, and the first finding that lost rows.
    int64_t tableRowsRead_ = 0;
    std::string firstLoss_;
};

}  // namespace brix
