#include "ui/xhtml_tree_model.h"

#include <algorithm>

#include "app/object_names.h"
#include "catalogue/catalogue.h"
#include "ui/icons.h"

namespace brix {

CXHtmlTreeModel::CXHtmlTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

const CXHtmlTreeModel::Node* CXHtmlTreeModel::Find(TreeItem item) const {
    auto it = nodes_.find(item);
    return it == nodes_.end() ? nullptr : &it->second;
}

CXHtmlTreeModel::Node* CXHtmlTreeModel::Find(TreeItem item) {
    auto it = nodes_.find(item);
    return it == nodes_.end() ? nullptr : &it->second;
}

bool CXHtmlTreeModel::InsertItem(TreeItem item, const QString& text, int image, TreeItem parent) {
    if (item == kNoTreeItem || Find(item)) return false;
    if (parent != kNoTreeItem && !Find(parent)) return false;
    std::vector<TreeItem>& siblings = parent == kNoTreeItem ? roots_ : Find(parent)->children;
    const int row = static_cast<int>(siblings.size());
    beginInsertRows(IndexOf(parent), row, row);
    Node node;
    node.text = text;
    node.image = image;
    node.parent = parent;
    node.row = row;
    nodes_.emplace(item, std::move(node));
    // The parent's vector may have moved with the insertion into the map.
    (parent == kNoTreeItem ? roots_ : Find(parent)->children).push_back(item);
    endInsertRows();

    // The new item is unchecked: every ancestor has one more descendant and
    // no more checked ones, so a fully checked ancestor stops being checked,
    // and that ancestor then counts as one checked descendant less above it.
    int delta = 0;
    for (TreeItem up = parent; up != kNoTreeItem;) {
        Node& ancestor = *Find(up);
        const Qt::CheckState before = StateOf(ancestor);
        XHTMLTREEDATA& record = ancestor.record;
        ++record.descendantCount;
        record.checkedDescendantCount = std::max(0, record.checkedDescendantCount + delta);
        const bool was = record.checked;
        record.checked = record.checkedDescendantCount == record.descendantCount;
        if (record.checked != was) delta += record.checked ? 1 : -1;
        if (StateOf(ancestor) != before) EmitChanged(up);
        up = ancestor.parent;
    }
    return true;
}

void CXHtmlTreeModel::DeleteAllItems() {
    beginResetModel();
    nodes_.clear();
    roots_.clear();
    endResetModel();
}

void CXHtmlTreeModel::SetItemData(TreeItem item, int64_t data) {
    if (Node* node = Find(item)) {
        node->data = data;
        // The picture of a node follows from its item data.
        EmitChanged(item);
    }
}

int64_t CXHtmlTreeModel::GetItemData(TreeItem item) const {
    const Node* node = Find(item);
    return node ? node->data : 0;
}

QString CXHtmlTreeModel::GetItemText(TreeItem item) const {
    const Node* node = Find(item);
    return node ? node->text : QString();
}

QString CXHtmlTreeModel::GetItemName(TreeItem item) const {
    const Node* node = Find(item);
    if (!node) return {};
    // Only a name the server wrote in its file-name form has an "@" in it.
    if (!node->text.contains(QLatin1Char('@'))) return node->text;
    switch (Kind(item)) {
        case TreeNodeKind::kDatabase:
        case TreeNodeKind::kTable:
        case TreeNodeKind::kView:
        case TreeNodeKind::kTrigger:
            return QString::fromStdU16String(ObjectNameFromFileName(node->text.toStdU16String()));
        default:
            return node->text;
    }
}

TreeItem CXHtmlTreeModel::GetParentItem(TreeItem item) const {
    const Node* node = Find(item);
    return node ? node->parent : kNoTreeItem;
}

int CXHtmlTreeModel::GetItemImage(TreeItem item) const {
    const Node* node = Find(item);
    return node ? node->image : 0;
}

std::vector<TreeItem> CXHtmlTreeModel::Children(TreeItem item) const {
    if (item == kNoTreeItem) return roots_;
    const Node* node = Find(item);
    return node ? node->children : std::vector<TreeItem>();
}

const XHTMLTREEDATA* CXHtmlTreeModel::GetItemRecord(TreeItem item) const {
    const Node* node = Find(item);
    return node ? &node->record : nullptr;
}

TreeNodeKind CXHtmlTreeModel::Kind(TreeItem item) const {
    const Node* node = Find(item);
    if (!node) return TreeNodeKind::kFolder;
    switch (node->image) {
        case TreeImage::kKeys:
            return TreeNodeKind::kKeys;
        case TreeImage::kDeletedRows:
            return TreeNodeKind::kDeletedRows;
        case TreeImage::kViews:
            return TreeNodeKind::kViews;
        case TreeImage::kTriggers:
            return TreeNodeKind::kTriggers;
        default:
            break;
    }
    // Every other node has the common picture; its item data and its depth
    // tell what it is: the root, the data path, a database, its "Tables", or
    // an entry of the list its parent stands for.
    if (node->data >= 1) {
        const int64_t parentData = GetItemData(node->parent);
        if (parentData == ItemData::kTriggers) return TreeNodeKind::kTrigger;
        if (parentData == ItemData::kViews) return TreeNodeKind::kView;
        return TreeNodeKind::kTable;
    }
    int depth = 0;
    for (TreeItem up = node->parent; up != kNoTreeItem; up = GetParentItem(up)) ++depth;
    if (depth == 0) return TreeNodeKind::kRoot;
    if (depth == 2) return TreeNodeKind::kDatabase;
    return TreeNodeKind::kFolder;
}

Qt::CheckState CXHtmlTreeModel::StateOf(const Node& node) const {
    const XHTMLTREEDATA& record = node.record;
    if (smartCheck_ && record.descendantCount > 0) {
        if (record.checkedDescendantCount == 0) return Qt::Unchecked;
        if (record.checkedDescendantCount == record.descendantCount) return Qt::Checked;
        return Qt::PartiallyChecked;
    }
    return record.checked ? Qt::Checked : Qt::Unchecked;
}

bool CXHtmlTreeModel::GetCheck(TreeItem item) const {
    const Node* node = Find(item);
    if (!node) return false;
    const XHTMLTREEDATA& record = node->record;
    if (smartCheck_ && record.descendantCount > 0)
        return record.checkedDescendantCount > 0 &&
               record.checkedDescendantCount == record.descendantCount;
    return record.checked;
}

void CXHtmlTreeModel::SetSubtree(TreeItem item, bool checked) {
    Node& node = *Find(item);
    const Qt::CheckState before = StateOf(node);
    node.record.checked = checked;
    node.record.checkedDescendantCount = checked ? node.record.descendantCount : 0;
    if (StateOf(node) != before) EmitChanged(item);
    for (TreeItem child : node.children) SetSubtree(child, checked);
}

void CXHtmlTreeModel::SetCheck(TreeItem item, bool checked) {
    Node* node = Find(item);
    if (!checkBoxes_ || !node || !node->record.enabled) return;
    XHTMLTREEDATA& record = node->record;
    const bool was = record.checked;
    if (smartCheck_ && was != checked) {
        // The number of items of the subtree whose state changes, negative
        // when unchecking.
        int delta = checked ? record.descendantCount - record.checkedDescendantCount + 1
                            : -(record.checkedDescendantCount + 1);
        SetSubtree(item, checked);
        for (TreeItem up = node->parent; up != kNoTreeItem;) {
            Node& ancestor = *Find(up);
            const Qt::CheckState before = StateOf(ancestor);
            XHTMLTREEDATA& above = ancestor.record;
            above.checkedDescendantCount = std::max(0, above.checkedDescendantCount + delta);
            const bool wasChecked = above.checked;
            above.checked = above.checkedDescendantCount == above.descendantCount;
            if (above.checked != wasChecked) delta += above.checked ? 1 : -1;
            if (StateOf(ancestor) != before) EmitChanged(up);
            up = ancestor.parent;
        }
    } else {
        const Qt::CheckState before = StateOf(*node);
        record.checked = checked;
        if (StateOf(*node) != before) EmitChanged(item);
    }
    emit checkBoxClicked(item, checked);
}

int CXHtmlTreeModel::GetCheckedCount() const {
    if (!checkBoxes_) return 0;
    int count = 0;
    for (const auto& entry : nodes_)
        if (GetCheck(entry.first)) ++count;
    return count;
}

void CXHtmlTreeModel::EnableItem(TreeItem item, bool enabled) {
    if (Node* node = Find(item)) {
        node->record.enabled = enabled;
        EmitChanged(item);
    }
}

void CXHtmlTreeModel::SetExpanded(TreeItem item, bool expanded) {
    if (Node* node = Find(item)) node->record.expanded = expanded;
}

void CXHtmlTreeModel::SetCheckBoxes(bool on) {
    if (checkBoxes_ == on) return;
    beginResetModel();
    checkBoxes_ = on;
    endResetModel();
}

QModelIndex CXHtmlTreeModel::IndexOf(TreeItem item) const {
    const Node* node = Find(item);
    if (!node) return {};
    return createIndex(node->row, 0, static_cast<quintptr>(item));
}

TreeItem CXHtmlTreeModel::ItemOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return kNoTreeItem;
    return static_cast<TreeItem>(index.internalId());
}

void CXHtmlTreeModel::EmitChanged(TreeItem item) {
    const QModelIndex index = IndexOf(item);
    if (index.isValid()) emit dataChanged(index, index);
}

QModelIndex CXHtmlTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0) return {};
    const TreeItem parentItem = ItemOf(parent);
    if (parent.isValid() && !Find(parentItem)) return {};
    const std::vector<TreeItem>& list = parent.isValid() ? Find(parentItem)->children : roots_;
    if (static_cast<size_t>(row) >= list.size()) return {};
    return createIndex(row, 0, static_cast<quintptr>(list[static_cast<size_t>(row)]));
}

QModelIndex CXHtmlTreeModel::parent(const QModelIndex& child) const {
    const Node* node = Find(ItemOf(child));
    if (!node || node->parent == kNoTreeItem) return {};
    return IndexOf(node->parent);
}

int CXHtmlTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return static_cast<int>(roots_.size());
    if (parent.column() != 0) return 0;
    const Node* node = Find(ItemOf(parent));
    return node ? static_cast<int>(node->children.size()) : 0;
}

int CXHtmlTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

void CXHtmlTreeModel::SetMark(TreeItem item, const QString& reason) {
    Node* node = Find(item);
    if (!node || node->mark == reason) return;
    node->mark = reason;
    EmitChanged(item);
}

QString CXHtmlTreeModel::GetMark(TreeItem item) const {
    const Node* node = Find(item);
    return node ? node->mark : QString();
}

QVariant CXHtmlTreeModel::data(const QModelIndex& index, int role) const {
    const TreeItem item = ItemOf(index);
    const Node* node = Find(item);
    if (!node) return {};
    switch (role) {
        case Qt::DisplayRole:
            return GetItemName(item);
        case Qt::DecorationRole:
            return node->mark.isEmpty() ? TreeNodeIcon(Kind(item)) : MarkedTreeNodeIcon(Kind(item));
        case Qt::ToolTipRole: {
            // The file's name where the name shown is not it, under the
            // mark's reason when there is one.
            const QString name = GetItemName(item);
            QString tip = node->mark;
            if (name != node->text) {
                if (!tip.isEmpty()) tip += QLatin1Char('\n');
                tip += QLatin1String(kFileNameTipPrefix) + node->text;
            }
            if (tip.isEmpty()) return {};
            return tip;
        }
        case Qt::CheckStateRole:
            if (!checkBoxes_) return {};
            return static_cast<int>(StateOf(*node));
        default:
            return {};
    }
}

bool CXHtmlTreeModel::setData(const QModelIndex& index, const QVariant&, int role) {
    const TreeItem item = ItemOf(index);
    const Node* node = Find(item);
    if (role != Qt::CheckStateRole || !node || !checkBoxes_ || !node->record.enabled) return false;
    SetCheck(item, !node->record.checked);
    emit checkToggledByUser(item);
    return true;
}

Qt::ItemFlags CXHtmlTreeModel::flags(const QModelIndex& index) const {
    const Node* node = Find(ItemOf(index));
    if (!node) return Qt::NoItemFlags;
    if (!node->record.enabled) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (checkBoxes_) flags |= Qt::ItemIsUserCheckable;
    return flags;
}

}  // namespace brix
