// Next Records and Previous Records: the paging half of CRecordBrowser.
//
// The table's bookmarks are a last-in-first-out list: the start of every
// window read so far and, once a window filled, the start of the one after
// it; an end marker once a window turned out to be the last. Neither engine
// can seek to a row number, so paging back drops bookmarks and reads from an
// older one, and the row numbers in the caption count on every earlier window
// having held a full window of rows (only a full window leaves a bookmark).

#include <string>

#include "app/app_state.h"
#include "app/text.h"
#include "browse/record_browser.h"
#include "browse/table_rows.h"
#include "catalogue/scan_worker.h"

namespace brix {

namespace {

bool IsEndMarker(const RecordBookmark& bookmark) {
    return bookmark.page == kEndMarkerPage;
}

bool SameBookmark(const RecordBookmark& a, const RecordBookmark& b) {
    return a.page == b.page && a.origin == b.origin;
}

std::u16string RowsCaption(int64_t from, int64_t to) {
    std::u16string caption;
    AppendAscii(caption, std::to_string(from));
    caption += u" rows to ";
    AppendAscii(caption, std::to_string(to));
    return caption;
}

}  // namespace

size_t CRecordBrowser::ReadWindowFrom(const RecordBookmark& from, bool bookmarkWanted,
                                      int64_t firstRow) {
    BeforeRead();
    CTableRows& table = OpenTable();
    table.ReadWindowAt(from, bookmarkWanted, app_);
    const size_t rows = ShowTableWindow(table, firstRow);
    tableRowsRead_ += static_cast<int64_t>(rows);
    LogNewFindings();
    return rows;
}

int CRecordBrowser::ShowNextRecords() {
    CBusyGuard busy(app_.busy);
    if (!busy) {
        ui_.ShowMessage(kWaitForRunningProcess);
        return 0;
    }
    // Which of the three it is depends only on the bookmarks, which no work
    // changes while this command holds busy: decided here, so that the
    // answer is known before the work is handed over.
    const std::vector<RecordBookmark>& bookmarks = Bookmarks();
    const size_t n = bookmarks.size();
    NextStep step = NextStep::kRead;
    if (n <= 1) {
        step = NextStep::kDisable;
    } else if ((n == static_cast<size_t>(lastBookmarkCount_) &&
                SameBookmark(bookmarks.back(), lastWindowStart_)) ||
               IsEndMarker(bookmarks.back())) {
        step = NextStep::kAtEnd;
    }
    Run(std::move(busy), [this, step](CBusyGuard& held) { ShowNext(step, held); });
    return step == NextStep::kAtEnd ? 0 : 1;
}

void CRecordBrowser::ShowNext(NextStep step, CBusyGuard& busy) {
    ui_.ShowProgress(true);
    if (step == NextStep::kDisable) {
        ui_.EnableNext(false);
    } else if (step == NextStep::kAtEnd) {
        // Only a table with bookmarks comes here: it is open.
        std::vector<RecordBookmark>& bookmarks = OpenTable().window().bookmarks;
        bookmarks.push_back({kEndMarkerPage, 0});
        endSeen_ = true;
        ui_.ShowMessage(kNoMoreRecords);
        ui_.EnableNext(false);
    } else {
        CWindowState& window = OpenTable().window();
        std::vector<RecordBookmark>& bookmarks = window.bookmarks;
        const RecordBookmark newest = bookmarks.back();
        ui_.EnablePrevious(true);
        lastWindowStart_ = newest;
        lastBookmarkCount_ = static_cast<int32_t>(bookmarks.size());
        const size_t count = ReadWindowFrom(newest, true, rowsTo_);
        rowsFrom_ = rowsTo_;
        rowsTo_ += static_cast<int64_t>(count);
        rowsShown_ += static_cast<int64_t>(count);
        // The caption tells of the window shown before any message box.
        ui_.ShowCaptionMessage(RowsCaption(rowsFrom_, rowsTo_) + DamageCaption());
        // A window may end short of kWindowRows rows with more after it
        // (one that moved over much deleted space): only its reader knows.
        if (!window.windowFull) {
            bookmarks.push_back({kEndMarkerPage, 0});
            ui_.ShowMessage(kNoMoreRecords);
            ui_.EnableNext(false);
        }
    }
    ui_.ShowProgress(false);
    busy.Release();
}

int CRecordBrowser::ShowPreviousRecords() {
    CBusyGuard busy(app_.busy);
    if (!busy) {
        ui_.ShowMessage(kWaitForRunningProcess);
        return 0;
    }
    Run(std::move(busy), [this](CBusyGuard& held) { ShowPrevious(held); });
    return 1;
}

void CRecordBrowser::ShowPrevious(CBusyGuard& busy) {
    ui_.ShowProgress(true);
    const size_t n = Bookmarks().size();
    if (n <= 1) {
        ui_.EnablePrevious(false);
    } else {
        std::vector<RecordBookmark>& bookmarks = OpenTable().window().bookmarks;
        ui_.EnableNext(true);
        ui_.EnablePrevious(true);
        // Drop the start of the window after the one shown, keep the start of
        // the one shown (it becomes the newest again) and read the one before.
        RecordBookmark x;
        if (n > 2) {
            bookmarks.pop_back();
            x = bookmarks.back();
            bookmarks.pop_back();
        } else {
            lastBookmarkCount_ = 2;
            x = bookmarks.back();
            bookmarks.pop_back();
        }
        const RecordBookmark y = bookmarks.back();
        bookmarks.push_back(x);
        if (bookmarks.size() == 2) ui_.EnablePrevious(false);
        lastWindowStart_ = y;
        const size_t count =
            ReadWindowFrom(y, false, rowsFrom_ - static_cast<int64_t>(kWindowRows));
        rowsFrom_ -= static_cast<int64_t>(kWindowRows);
        rowsTo_ = rowsFrom_ + static_cast<int64_t>(count);
        rowsShown_ -= static_cast<int64_t>(count);
        ui_.ShowCaptionMessage(RowsCaption(rowsFrom_, rowsTo_) + DamageCaption());
    }
    ui_.ShowProgress(false);
    busy.Release();
}

}  // namespace brix
