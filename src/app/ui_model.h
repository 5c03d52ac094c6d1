#pragma once

#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "app/ui_operations.h"

namespace brix {
// What the window shows of its table, for the status bar: "rows 1001-2000 of
// 5230" where the table's rows are known, "rows 1001-2000 of at least 2000"
// while more may follow, "no rows" for an empty window; empty for a window
// that is not a table's rows. A window of deleted rows says "deleted rows
// 1-1000 of at least 1000", and "no deleted rows found" when the table's
// first window of them is empty and the last.
std::u16string RowsShownText(const CGridWindow& window);

// One node of the object tree as CUiModel keeps it.
struct UiTreeNode {
    std::u16string text;
    int image = 0;
    int64_t data = 0;
    TreeItem parent = kNoTreeItem;
    std::vector<TreeItem> children;
    bool expanded = false;
    bool checked = false;
};

// The main window's parts held as plain data: a realisation of the
// user-interface operations for front ends without widgets (the console
// program) and for tests. The frame's modal operations (message boxes and the
// file dialog) are left to the front end. Every operation takes the model's
// lock, so that the scan worker and the front end's own thread may both use
// it.
class CUiModel : public CUiOperations {
  public:
    using CUiOperations::CUiOperations;

    void ShowCaptionMessage(std::u16string_view text) override;
    void ShowProgress(bool on) override;

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

    void ClearGrid(int n) override;
    void ShowRows(std::shared_ptr<const CGridWindow> window) override;
    void RedrawGrid() override;
    void ShowGrid(bool on) override;
    void ShowTextBox(bool on) override;
    void SetTextBoxText(std::u16string_view text) override;
    void ShowPagingButtons(bool on) override;
    void EnablePrevious(bool on) override;
    void EnableNext(bool on) override;

    // --- What the model holds, for the front end and for tests ---
    std::u16string caption() const;
    bool progressShown() const;
    std::vector<std::u16string> logRows() const;

    std::vector<TreeItem> rootItems() const;
    std::vector<TreeItem> Children(TreeItem item) const;
    // A copy of the node; an empty node for an item that does not exist.
    UiTreeNode Node(TreeItem item) const;
    // The item reached from under by following children with these texts, in
    // order (the first child of that text at each level); kNoTreeItem when
    // there is none. under = kNoTreeItem starts at the roots.
    TreeItem FindItem(TreeItem under, std::span<const std::u16string> texts) const;
    bool treeLocked() const;
    // Whether the check boxes of items can be set, for the Save command.
    void SetItemChecked(TreeItem item, bool checked);

    std::vector<std::u16string> gridColumns() const;
    std::vector<std::vector<std::u16string>> gridRows() const;
    int GetGridRowCount() const;
    // The window the grid shows; null when it is empty.
    std::shared_ptr<const CGridWindow> gridWindow() const;
    std::u16string textBoxText() const;
    bool gridShown() const;
    bool textBoxShown() const;
    bool pagingButtonsShown() const;
    bool previousEnabled() const;
    bool nextEnabled() const;
    // RowsShownText of the window the grid shows; empty when it shows none.
    std::u16string rowsShownText() const;
    // True when the grid's columns or rows, the text box or which of the two
    // is shown changed since the last call.
    bool TakePanelChanged();

  protected:
    void InsertLogRow(int index, std::u16string_view text) override;
    void DeleteLogRows() override;

  private:
    const UiTreeNode* Find(TreeItem item) const;

    mutable std::mutex mutex_;
    std::u16string caption_;
    bool progress_ = false;
    std::vector<std::u16string> logRows_;

    std::map<TreeItem, UiTreeNode> nodes_;
    std::vector<TreeItem> roots_;
    TreeItem nextItem_ = 1;
    TreeItem selected_ = kNoTreeItem;
    bool treeLocked_ = false;

    std::shared_ptr<const CGridWindow> grid_;
    std::u16string textBox_;
    bool gridShown_ = true;
    bool textBoxShown_ = false;
    bool pagingShown_ = false;
    bool previousEnabled_ = false;
    bool nextEnabled_ = false;
    bool panelChanged_ = false;
};

}  // namespace brix
