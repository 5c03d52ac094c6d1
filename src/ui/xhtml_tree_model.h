#pragma once

#include <QAbstractItemModel>
#include <QString>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "app/ui_operations.h"

namespace brix {

// The start of the tooltip line of an item whose name is not its file's.
inline constexpr char kFileNameTipPrefix[] = "File name: ";

// The record the check-box tree keeps for each of its items.
struct XHTMLTREEDATA {
    bool checked = false;  // the item's own check state
    bool enabled = true;   // a disabled item cannot be checked, selected or expanded
    bool expanded = false;
    int descendantCount = 0;         // items below this one, at every depth
    int checkedDescendantCount = 0;  // checked items below this one, never below 0
};

// What a node of the object tree stands for, worked out from its place and
// its item data, for its picture.
enum class TreeNodeKind {
    kRoot,
    kFolder,
    kDatabase,
    kTable,
    kKeys,
    kDeletedRows,
    kViews,
    kView,
    kTriggers,
    kTrigger
};

// The items of the object tree with their check states. Items are named by
// handles that the caller hands in and that are never reused, so that a handle
// kept from an earlier tree never names an item of a later one.
//
// Check states propagate: checking or unchecking an item gives its whole
// subtree that state, and every ancestor counts its checked descendants and
// is itself checked exactly when all of them are. An item with descendants
// shows unchecked, checked or partly checked by that count.
class CXHtmlTreeModel : public QAbstractItemModel {
    Q_OBJECT

  public:
    explicit CXHtmlTreeModel(QObject* parent = nullptr);

    // Appends an item as the last child of parent (kNoTreeItem: a root),
    // unchecked and enabled, and counts it in every ancestor, which may turn a
    // fully checked ancestor partly checked. False when item is kNoTreeItem or
    // already used, or parent does not exist.
    bool InsertItem(TreeItem item, const QString& text, int image, TreeItem parent);
    // Removes every item and its record.
    void DeleteAllItems();

    bool Contains(TreeItem item) const { return nodes_.count(item) != 0; }
    void SetItemData(TreeItem item, int64_t data);
    // 0 for an item that does not exist.
    int64_t GetItemData(TreeItem item) const;
    // The text the item was inserted with (for databases and their objects,
    // the name of their folder or file); empty for an item that does not exist.
    QString GetItemText(TreeItem item) const;
    // What the tree shows: for a database, table, view or trigger its name as
    // the server shows it, decoded from its file name (odd@002dname is
    // odd-name); the text otherwise. Empty for an item that does not exist.
    QString GetItemName(TreeItem item) const;
    TreeItem GetParentItem(TreeItem item) const;
    int GetItemImage(TreeItem item) const;
    // The children of item in order; the roots for kNoTreeItem.
    std::vector<TreeItem> Children(TreeItem item) const;
    // The item's record; null for an item that does not exist.
    const XHTMLTREEDATA* GetItemRecord(TreeItem item) const;
    TreeNodeKind Kind(TreeItem item) const;

    // An item with descendants is checked when all of them are; any other item
    // by its own state.
    bool GetCheck(TreeItem item) const;
    // Gives the item the state and propagates it (see the class comment).
    // Does nothing while check boxes are off, or for a disabled item.
    void SetCheck(TreeItem item, bool checked);
    // Number of items for which GetCheck is true; 0 while check boxes are off.
    int GetCheckedCount() const;
    // A disabled item can be neither checked nor selected.
    void EnableItem(TreeItem item, bool enabled);
    void SetExpanded(TreeItem item, bool expanded);

    // Marks a table's item as damaged or missing its files, with the reason
    // as its tooltip and a warning sign over its picture; an empty reason
    // takes the mark away.
    void SetMark(TreeItem item, const QString& reason);
    // Empty for an item without a mark.
    QString GetMark(TreeItem item) const;

    void SetCheckBoxes(bool on);
    bool CheckBoxes() const { return checkBoxes_; }

    QModelIndex IndexOf(TreeItem item) const;
    TreeItem ItemOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // A change of the check state toggles the item's own state, whatever the
    // value asked for: a partly checked item becomes checked.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  signals:
    // The check state of item changed through SetCheck.
    void checkBoxClicked(brix::TreeItem item, bool checked);
    // The user toggled the check box of item.
    void checkToggledByUser(brix::TreeItem item);

  private:
    struct Node {
        QString text;
        int image = 0;
        int64_t data = 0;
        TreeItem parent = kNoTreeItem;
        int row = 0;
        std::vector<TreeItem> children;
        XHTMLTREEDATA record;
        QString mark;
    };

    const Node* Find(TreeItem item) const;
    Node* Find(TreeItem item);
    Qt::CheckState StateOf(const Node& node) const;
    // Sets the item and its descendants to checked, emitting for those whose
    // state changed.
    void SetSubtree(TreeItem item, bool checked);
    void EmitChanged(TreeItem item);

    std::unordered_map<TreeItem, Node> nodes_;
    std::vector<TreeItem> roots_;
    bool checkBoxes_ = true;
    bool smartCheck_ = true;
};

}  // namespace brix
