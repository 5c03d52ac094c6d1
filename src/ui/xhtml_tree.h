#pragma once

#include <QPalette>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>

#include "ui/xhtml_tree_model.h"

namespace brix {

// Draws the items of the check-box tree and tells where an item's label is.
class CXHtmlTreeDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The rectangle of the item's text as it is drawn: the text area narrowed
    // to the width of the text.
    QRect LabelRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;
};

// The object tree: a tree with three-state check boxes whose states
// propagate (CXHtmlTreeModel). A left click anywhere on an item's row but on
// its check box or expand button opens the item, and so does the keyboard:
// Enter at once, moving to an item once the keys pause.
class CXHtmlTree : public QTreeView {
    Q_OBJECT

  public:
    explicit CXHtmlTree(QWidget* parent = nullptr);

    CXHtmlTreeModel& model() const { return *model_; }

    // Makes the item the selected and highlighted one; ignored for a
    // disabled item. kNoTreeItem clears the selection.
    void SelectItem(TreeItem item);
    TreeItem GetSelectedItem() const;
    void Expand(TreeItem item);
    int GetCheckedCount() const { return model_->GetCheckedCount(); }

    // Disables the tree and greys it: the base colour a little darker, the
    // text in the disabled text colour. UnlockTree enables it with its own
    // colours again.
    void LockTree();
    void UnlockTree();
    bool IsLocked() const { return locked_; }

    // The rectangle of the item's label in viewport coordinates; empty for an
    // item that is not shown.
    QRect LabelRect(TreeItem item) const;
    // The centre of the item's check box in viewport coordinates.
    QPoint CheckBoxCentre(TreeItem item) const;

    // Shows only the tables, views and triggers whose name contains text
    // (case-insensitive), each with what lies below it, and the nodes above
    // them; the root stays shown. An empty text shows every node again.
    // Items are only hidden: their ticks, data and selection stay, and
    // items added later are filtered as they come.
    void SetFilter(const QString& text);
    const QString& filter() const { return filter_; }
    // Whether the filter hides the item or one of the nodes above it.
    bool IsFilteredOut(TreeItem item) const;

    // How long the keyboard must rest on an item before it opens, so that
    // holding an arrow key down does not open every item on the way.
    static constexpr int kKeyboardOpenDelayMs = 250;

  signals:
    // The item is to be opened: a left click on its row (not on its check
    // box or expand button), even when the item was already selected, or
    // the keyboard.
    void labelClicked(brix::TreeItem item);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    QStyleOptionViewItem OptionFor(const QModelIndex& index) const;
    QRect CheckBoxRect(const QModelIndex& index) const;
    // Opens the current item when it is enabled.
    void OpenCurrent();
    void ApplyLockedPalette();
    // Hides or shows the rows below parent by the filter; true when one of
    // them stays shown.
    bool ApplyFilter(TreeItem parent);
    // Shows item's row and every row below it.
    void ShowSubtree(TreeItem item);
    void ScheduleFilter();

    CXHtmlTreeModel* model_;
    CXHtmlTreeDelegate* delegate_;
    bool locked_ = false;
    bool applyingPalette_ = false;
    QString filter_;
    bool filterScheduled_ = false;
    QTimer* keyboardOpen_;
};

// The colour of the locked tree's background: each of red, green and blue
// lowered by 10 where it is 10 or more.
QColor LockedTreeBackground(const QColor& window);

}  // namespace brix
