#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "app/damage_report.h"
#include "app/grid_window.h"

namespace brix {

class CAppState;

// A node of the object tree as the realisation knows it; kNoTreeItem stands
// for none (no parent, nothing selected).
using TreeItem = uint64_t;
inline constexpr TreeItem kNoTreeItem = 0;

// The icon of a question box.
enum class MessageIcon { kNone, kInformation, kQuestion };

// The caption of every message box.
inline constexpr char16_t kMessageBoxCaption[] = u"Karvo MySQL Database Repair v22.0";

// What the scan, the catalogue, the column grid and the record browser do to
// the main window's parts: the caption bar, the busy indicator, message
// boxes, the log, the object tree, the record grid, the text box and the
// paging buttons. The core reaches the user only through this interface; the
// desktop window, the console program and the tests each realise it.
//
// The scan worker calls the frame, log and tree operations from its own
// thread. A realisation whose controls belong to one thread carries those
// calls over to it in their order, and waits where a call returns an answer.
//
// The log operations are the same for every realisation and live here: they
// keep the process-wide line counter and the log file, and leave only the list
// rows to the realisation.
class CUiOperations {
  public:
    explicit CUiOperations(CAppState& app) : app_(app) {}
    virtual ~CUiOperations() = default;
    CUiOperations(const CUiOperations&) = delete;
    CUiOperations& operator=(const CUiOperations&) = delete;

    // --- Frame ---
    // Replaces the one-line text of the caption bar and repaints it at once.
    virtual void ShowCaptionMessage(std::u16string_view text) = 0;
    // Shows or hides the busy indicator.
    virtual void ShowProgress(bool on) = 0;
    // A modal message box with the information icon and an OK button;
    // returns when the user has closed it.
    virtual void ShowMessage(std::u16string_view text) = 0;
    // A modal message box with Yes and No; true for Yes.
    virtual bool AskYesNo(std::u16string_view text, MessageIcon icon) = 0;
    // The standard file-open dialog (no filter, no default name); nothing when
    // cancelled.
    virtual std::optional<std::filesystem::path> ChooseFileToOpen() = 0;

    // --- Log ---
    // Starts the log file of a scan started at local time now: closes the one
    // held before, opens logFolder/LogFileName(now) for appending (new files
    // get the byte-order mark), writes the header and then the line
    // currentDatabasePath + " File is selected for recovery...." to list and
    // file. With no log folder set no file is written.
    void StartLog(std::u16string_view currentDatabasePath, const std::tm& now);
    // Adds the text as the next row of the log list and writes it, with CR LF,
    // to the log file.
    void AppendLogLine(std::u16string_view text);
    // The row only.
    void AppendLogListLine(std::u16string_view text);
    // The file only.
    void AppendLogFileLine(std::u16string_view text);
    // Deletes every row of the log list and sets the line counter to 0.
    void ResetLogList();
    // Adds a finding of the damage report as the next row of the log list, a
    // row the realisation sets apart from the ordinary ones, and writes it to
    // the log file: kDamageLinePrefix followed by DamageLine(finding).
    void AppendDamageLine(const DamageFinding& finding);

    // --- Object tree ---
    // Appends an item as the last child of parent (kNoTreeItem: a root),
    // unchecked, with image for both the normal and the selected state.
    virtual TreeItem InsertItem(std::u16string_view text, int image, TreeItem parent) = 0;
    virtual void SetItemData(TreeItem item, int64_t data) = 0;
    // 0 for an item that does not exist.
    virtual int64_t GetItemData(TreeItem item) const = 0;
    virtual std::u16string GetItemText(TreeItem item) const = 0;
    virtual TreeItem GetParentItem(TreeItem item) const = 0;
    virtual TreeItem GetSelectedItem() const = 0;
    virtual void SelectItem(TreeItem item) = 0;
    virtual void Expand(TreeItem item) = 0;
    virtual void DeleteAllItems() = 0;
    virtual int GetCheckedCount() const = 0;
    // Disables and greys the tree / enables it with its own colours.
    virtual void LockTree() = 0;
    virtual void UnlockTree() = 0;
    virtual void RedrawTree() = 0;
    // Marks an item as a table with findings or missing files, with the
    // reason as its tooltip; an empty reason takes the mark away. Realisations
    // without marks ignore it.
    virtual void MarkTreeItem(TreeItem item, std::u16string_view reason) {
        (void)item;
        (void)reason;
    }

    // --- Record panel ---
    // When n (the number of columns the grid shows) is not 0: empties the
    // grid of its rows and columns. Always empties the text box.
    virtual void ClearGrid(int n) = 0;
    // Shows a window of rows in the grid, in place of its columns (each 200
    // pixels wide, left aligned) and rows. The realisation keeps the window
    // as it is, shared, for as long as it shows it.
    virtual void ShowRows(std::shared_ptr<const CGridWindow> window) = 0;
    virtual void RedrawGrid() = 0;
    // Switch between the grid and the read-only text box.
    virtual void ShowGrid(bool on) = 0;
    virtual void ShowTextBox(bool on) = 0;
    virtual void SetTextBoxText(std::u16string_view text) = 0;
    // The "Previous Records" and "Next Records" buttons.
    virtual void ShowPagingButtons(bool on) = 0;
    virtual void EnablePrevious(bool on) = 0;
    virtual void EnableNext(bool on) = 0;

  protected:
    // The log list: a row inserted at index; every row deleted.
    virtual void InsertLogRow(int index, std::u16string_view text) = 0;
    virtual void DeleteLogRows() = 0;
    // A row of the damage report: an ordinary row unless the realisation sets
    // such rows apart.
    virtual void InsertDamageLogRow(int index, std::u16string_view text) {
        InsertLogRow(index, text);
    }

    CAppState& app() { return app_; }

  private:
    void WriteToLogFile(std::u16string_view text, bool listRowAdded);

    CAppState& app_;
    // The scan worker and the user-interface thread both log: the line
    // counter and the file are changed under this lock.
    std::recursive_mutex logMutex_;
    // The list has said that the log file cannot be written.
    bool unwritableLogNoted_ = false;
};

// The log list's note that the log file could not be written, shown once per
// list (again after the list is reset) while the file stays unwritable.
inline constexpr char16_t kLogFileUnwritableNote[] = u"Log file cannot be written: ";

// The start of every damage line in the log.
inline constexpr char16_t kDamageLinePrefix[] = u"Damage: ";

}  // namespace brix
