#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <type_traits>

#include "app/ui_operations.h"

class QWidget;

namespace brix {

class CBrixStatic;
class CDesktopServices;
class CMyCaptionBar;
class COutputWnd;
class CRibbonStatusBarCls;
class CXHtmlTree;

// The parts of the main window the user-interface operations act on.
struct CMainFrameParts {
    QWidget* owner = nullptr;  // owner of the message boxes
    CMyCaptionBar* captionBar = nullptr;
    CRibbonStatusBarCls* statusBar = nullptr;
    CXHtmlTree* tree = nullptr;
    COutputWnd* output = nullptr;
    CBrixStatic* recordPanel = nullptr;
    CDesktopServices* desktop = nullptr;
};

// The user-interface operations on the main window's widgets.
//
// The widgets belong to the thread that made this object. A call from another
// thread (the scan worker) is carried over to that thread as an event, in the
// order the calls were made: a call that returns nothing is queued and the
// caller goes on; a call that returns an answer (a question, a message box
// that must be closed first, a query of the tree) waits until the owning
// thread has run it. Tree items made from another thread get their handle at
// once, so that the caller can go on building under them.
class CMainFrameUi : public QObject, public CUiOperations {
    Q_OBJECT

  public:
    CMainFrameUi(CAppState& app, const CMainFrameParts& parts, QObject* parent = nullptr);

    void ShowCaptionMessage(std::u16string_view text) override;
    void ShowProgress(bool on) override;
    void ShowMessage(std::u16string_view text) override;
    bool AskYesNo(std::u16string_view text, MessageIcon icon) override;
    std::optional<std::filesystem::path> ChooseFileToOpen() override;

    TreeItem InsertItem(std::u16string_view text, int image, TreeItem parent) override;
    void SetItemData(TreeItem item, int64_t data) override;
    int64_t GetItemData(TreeItem item) const override;
    std::u16string GetItemText(TreeItem item) const override;
    TreeItem GetParentItem(TreeItem item) const override;
    TreeItem GetSelectedItem() const override;
    void SelectItem(TreeItem item) override;
    void Expand(TreeItem item) override;
    void DeleteAllItems() override;
    int GetCheckedCount() const override;
    void LockTree() override;
    void UnlockTree() override;
    void RedrawTree() override;
    void MarkTreeItem(TreeItem item, std::u16string_view reason) override;

    void ClearGrid(int n) override;
    void ShowRows(std::shared_ptr<const CGridWindow> window) override;
    void RedrawGrid() override;
    void ShowGrid(bool on) override;
    void ShowTextBox(bool on) override;
    void SetTextBoxText(std::u16string_view text) override;
    void ShowPagingButtons(bool on) override;
    void EnablePrevious(bool on) override;
    void EnableNext(bool on) override;

    // Runs, on the owning thread, the calls other threads have queued so far.
    void RunQueuedCalls();
    // Shows the grid's pending rows and columns now.
    void PublishGrid();
    // Empties the record panel's hidden label.
    void ClearPanelLabel();

  protected:
    void InsertLogRow(int index, std::u16string_view text) override;
    void DeleteLogRows() override;
    void InsertDamageLogRow(int index, std::u16string_view text) override;

  private:
    bool OnOwnThread() const { return QThread::currentThread() == thread(); }

    // Runs f on the owning thread: at once there, queued from elsewhere.
    template <typename F>
    void Post(F f) const {
        if (OnOwnThread()) {
            f();
        } else {
            QMetaObject::invokeMethod(const_cast<CMainFrameUi*>(this), std::move(f),
                                      Qt::QueuedConnection);
        }
    }

    // Runs f on the owning thread and returns its answer; a caller on another
    // thread waits for it.
    template <typename F>
    auto Call(F f) const -> std::invoke_result_t<F> {
        using Result = std::invoke_result_t<F>;
        if (OnOwnThread()) return f();
        if constexpr (std::is_void_v<Result>) {
            QMetaObject::invokeMethod(const_cast<CMainFrameUi*>(this), std::move(f),
                                      Qt::BlockingQueuedConnection);
        } else {
            Result result{};
            QMetaObject::invokeMethod(
                const_cast<CMainFrameUi*>(this), [&result, &f] { result = f(); },
                Qt::BlockingQueuedConnection);
            return result;
        }
    }

    // Shows the grid's changes once the owning thread is back in its event
    // loop, unless something showed them before.
    void SchedulePublish();
    // Enables Next Records where the record browser wants it and the window
    // of rows to be shown may have a next one (a window of a table's rows
    // that did not fill is the last).
    void UpdateNextButton();

    CMainFrameParts parts_;
    std::atomic<TreeItem> nextItem_{1};
    bool publishScheduled_ = false;
    // What the record browser last asked of Next Records.
    bool nextWanted_ = false;
};

}  // namespace brix
