#include "ui/main_frame_ui.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include "app/ui_model.h"
#include "ui/bars.h"
#include "ui/desktop_services.h"
#include "ui/grid_model.h"
#include "ui/panes.h"
#include "ui/qt_text.h"
#include "ui/record_panel.h"
#include "ui/xhtml_tree.h"

namespace brix {

CMainFrameUi::CMainFrameUi(CAppState& app, const CMainFrameParts& parts, QObject* parent)
    : QObject(parent), CUiOperations(app), parts_(parts) {}

void CMainFrameUi::RunQueuedCalls() {
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

// --- Frame ---

void CMainFrameUi::ShowCaptionMessage(std::u16string_view text) {
    Post([this, line = ToQString(text)] { parts_.captionBar->SetText(line); });
}

void CMainFrameUi::ShowProgress(bool on) {
    Post([this, on] { parts_.statusBar->ShowProgress(on); });
}

void CMainFrameUi::ShowMessage(std::u16string_view text) {
    Call([this, message = ToQString(text)] {
        // What the grid holds is shown behind the message.
        PublishGrid();
        parts_.desktop->ShowMessage(parts_.owner, message);
    });
}

bool CMainFrameUi::AskYesNo(std::u16string_view text, MessageIcon icon) {
    return Call([this, question = ToQString(text), icon] {
        return parts_.desktop->AskYesNo(parts_.owner, question, icon);
    });
}

std::optional<std::filesystem::path> CMainFrameUi::ChooseFileToOpen() {
    return Call([this] { return parts_.desktop->ChooseFileToOpen(parts_.owner); });
}

// --- Log ---

void CMainFrameUi::InsertLogRow(int index, std::u16string_view text) {
    Post([this, index, row = ToQString(text)] { parts_.output->InsertRow(index, row); });
}

void CMainFrameUi::InsertDamageLogRow(int index, std::u16string_view text) {
    Post([this, index, row = ToQString(text)] { parts_.output->InsertDamageRow(index, row); });
}

void CMainFrameUi::DeleteLogRows() {
    Post([this] { parts_.output->DeleteRows(); });
}

// --- Object tree ---

TreeItem CMainFrameUi::InsertItem(std::u16string_view text, int image, TreeItem parent) {
    const TreeItem item = nextItem_++;
    Post([this, item, label = ToQString(text), image, parent] {
        parts_.tree->model().InsertItem(item, label, image, parent);
    });
    return item;
}

void CMainFrameUi::SetItemData(TreeItem item, int64_t data) {
    Post([this, item, data] { parts_.tree->model().SetItemData(item, data); });
}

int64_t CMainFrameUi::GetItemData(TreeItem item) const {
    return Call([this, item] { return parts_.tree->model().GetItemData(item); });
}

std::u16string CMainFrameUi::GetItemText(TreeItem item) const {
    // The name the tree shows: what the captions and the log speak of.
    return Call([this, item] { return ToU16(parts_.tree->model().GetItemName(item)); });
}

TreeItem CMainFrameUi::GetParentItem(TreeItem item) const {
    return Call([this, item] { return parts_.tree->model().GetParentItem(item); });
}

TreeItem CMainFrameUi::GetSelectedItem() const {
    return Call([this] { return parts_.tree->GetSelectedItem(); });
}

void CMainFrameUi::SelectItem(TreeItem item) {
    Post([this, item] { parts_.tree->SelectItem(item); });
}

void CMainFrameUi::Expand(TreeItem item) {
    Post([this, item] { parts_.tree->Expand(item); });
}

void CMainFrameUi::DeleteAllItems() {
    Post([this] {
        parts_.tree->model().DeleteAllItems();
        parts_.tree->horizontalScrollBar()->setValue(0);
    });
}

int CMainFrameUi::GetCheckedCount() const {
    return Call([this] { return parts_.tree->GetCheckedCount(); });
}

void CMainFrameUi::LockTree() {
    Post([this] { parts_.tree->LockTree(); });
}

void CMainFrameUi::UnlockTree() {
    Post([this] { parts_.tree->UnlockTree(); });
}

void CMainFrameUi::MarkTreeItem(TreeItem item, std::u16string_view reason) {
    Post([this, item, mark = ToQString(reason)] { parts_.tree->model().SetMark(item, mark); });
}

void CMainFrameUi::RedrawTree() {
    Post([this] { parts_.tree->viewport()->update(); });
}

// --- Record panel ---

void CMainFrameUi::SchedulePublish() {
    if (publishScheduled_) return;
    publishScheduled_ = true;
    QTimer::singleShot(0, this, [this] { PublishGrid(); });
}

void CMainFrameUi::PublishGrid() {
    publishScheduled_ = false;
    parts_.recordPanel->gridModel().Publish();
}

void CMainFrameUi::ClearPanelLabel() {
    Post([this] { parts_.recordPanel->ClearLabel(); });
}

void CMainFrameUi::ClearGrid(int n) {
    Post([this, n] {
        parts_.recordPanel->ClearGrid(n);
        parts_.statusBar->SetRowsShown({});
        UpdateNextButton();
        SchedulePublish();
    });
}

void CMainFrameUi::ShowRows(std::shared_ptr<const CGridWindow> window) {
    Post([this, window = std::move(window)]() mutable {
        // Said at once, with the rows: a message box that follows (the
        // last window's) stands in front of a current status bar.
        parts_.statusBar->SetRowsShown(window ? ToQString(RowsShownText(*window)) : QString());
        parts_.recordPanel->gridModel().ShowRows(std::move(window));
        UpdateNextButton();
        SchedulePublish();
    });
}

void CMainFrameUi::RedrawGrid() {
    Post([this] {
        PublishGrid();
        parts_.recordPanel->grid()->viewport()->update();
    });
}

void CMainFrameUi::ShowGrid(bool on) {
    Post([this, on] { parts_.recordPanel->ShowGrid(on); });
}

void CMainFrameUi::ShowTextBox(bool on) {
    Post([this, on] { parts_.recordPanel->ShowTextBox(on); });
}

void CMainFrameUi::SetTextBoxText(std::u16string_view text) {
    Post([this, value = ToQString(text)] { parts_.recordPanel->SetTextBoxText(value); });
}

void CMainFrameUi::ShowPagingButtons(bool on) {
    Post([this, on] { parts_.recordPanel->ShowPagingButtons(on); });
}

void CMainFrameUi::EnablePrevious(bool on) {
    Post([this, on] { parts_.recordPanel->previousButton()->setEnabled(on); });
}

void CMainFrameUi::EnableNext(bool on) {
    Post([this, on] {
        nextWanted_ = on;
        UpdateNextButton();
    });
}

void CMainFrameUi::UpdateNextButton() {
    // No window yet (a table still being read) leaves the browser's word.
    const std::shared_ptr<const CGridWindow>& window =
        parts_.recordPanel->gridModel().pendingWindow();
    parts_.recordPanel->nextButton()->setEnabled(nextWanted_ &&
                                                 !(window && window->IsLastWindow()));
}

}  // namespace brix
