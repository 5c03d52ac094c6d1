#include "ui/xhtml_tree.h"

#include <algorithm>

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QTimer>

namespace brix {

QRect CXHtmlTreeDelegate::LabelRect(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const int width = opt.fontMetrics.horizontalAdvance(opt.text) + 2 * margin;
    if (width < text.width()) text.setWidth(width);
    return text;
}

QColor LockedTreeBackground(const QColor& window) {
    auto lower = [](int c) { return c >= 10 ? c - 10 : c; };
    return QColor(lower(window.red()), lower(window.green()), lower(window.blue()));
}

CXHtmlTree::CXHtmlTree(QWidget* parent)
    : QTreeView(parent),
      model_(new CXHtmlTreeModel(this)),
      delegate_(new CXHtmlTreeDelegate(this)),
      keyboardOpen_(new QTimer(this)) {
    keyboardOpen_->setSingleShot(true);
    keyboardOpen_->setInterval(kKeyboardOpenDelayMs);
    connect(keyboardOpen_, &QTimer::timeout, this, &CXHtmlTree::OpenCurrent);
    setModel(model_);
    setItemDelegate(delegate_);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIconSize(QSize(16, 16));
    setIndentation(16);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::PreventContextMenu);
    // Long names scroll sideways instead of being cut short.
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    // Selection follows a check-box click.
    connect(model_, &CXHtmlTreeModel::checkToggledByUser, this,
            [this](TreeItem item) { SelectItem(item); });
    connect(this, &QTreeView::expanded, this,
            [this](const QModelIndex& index) { model_->SetExpanded(model_->ItemOf(index), true); });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        model_->SetExpanded(model_->ItemOf(index), false);
    });
    // Items arrive one by one and learn what they are from their data after
    // they were inserted: the filter runs again once they are in.
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] { ScheduleFilter(); });
    connect(model_, &QAbstractItemModel::dataChanged, this, [this] { ScheduleFilter(); });
}

void CXHtmlTree::SetFilter(const QString& text) {
    filter_ = text;
    ApplyFilter(kNoTreeItem);
}

void CXHtmlTree::ScheduleFilter() {
    if (filter_.isEmpty() || filterScheduled_) return;
    filterScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        filterScheduled_ = false;
        ApplyFilter(kNoTreeItem);
    });
}

bool CXHtmlTree::IsFilteredOut(TreeItem item) const {
    for (QModelIndex index = model_->IndexOf(item); index.isValid(); index = index.parent()) {
        if (isRowHidden(index.row(), index.parent())) return true;
    }
    return false;
}

void CXHtmlTree::ShowSubtree(TreeItem item) {
    const QModelIndex index = model_->IndexOf(item);
    if (index.isValid()) setRowHidden(index.row(), index.parent(), false);
    for (TreeItem child : model_->Children(item)) ShowSubtree(child);
}

bool CXHtmlTree::ApplyFilter(TreeItem parent) {
    // The tree is a few levels deep (root, data path, database, list,
    // object, Keys): the recursion is bounded by the tree's own depth.
    bool anyShown = false;
    for (TreeItem item : model_->Children(parent)) {
        bool shown = true;
        if (!filter_.isEmpty()) {
            switch (model_->Kind(item)) {
                case TreeNodeKind::kTable:
                case TreeNodeKind::kView:
                case TreeNodeKind::kTrigger:
                    shown = model_->GetItemName(item).contains(filter_, Qt::CaseInsensitive) ||
                            model_->GetItemText(item).contains(filter_, Qt::CaseInsensitive);
                    if (shown) ShowSubtree(item);
                    break;
                case TreeNodeKind::kRoot:
                    ApplyFilter(item);
                    break;
                default:
                    shown = ApplyFilter(item);
                    break;
            }
        } else {
            ApplyFilter(item);
        }
        const QModelIndex index = model_->IndexOf(item);
        if (index.isValid()) setRowHidden(index.row(), index.parent(), !shown);
        anyShown = anyShown || shown;
    }
    return anyShown;
}

void CXHtmlTree::SelectItem(TreeItem item) {
    if (item == kNoTreeItem) {
        clearSelection();
        setCurrentIndex({});
        return;
    }
    const XHTMLTREEDATA* record = model_->GetItemRecord(item);
    if (!record || !record->enabled) return;
    const QModelIndex index = model_->IndexOf(item);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

TreeItem CXHtmlTree::GetSelectedItem() const {
    return model_->ItemOf(selectionModel()->currentIndex());
}

void CXHtmlTree::Expand(TreeItem item) {
    const QModelIndex index = model_->IndexOf(item);
    if (index.isValid()) expand(index);
}

void CXHtmlTree::LockTree() {
    locked_ = true;
    setEnabled(false);
    ApplyLockedPalette();
}

void CXHtmlTree::UnlockTree() {
    locked_ = false;
    applyingPalette_ = true;
    setPalette(QPalette());
    applyingPalette_ = false;
    setEnabled(true);
}

void CXHtmlTree::ApplyLockedPalette() {
    QPalette palette = QApplication::palette(this);
    palette.setColor(QPalette::Disabled, QPalette::Base,
                     LockedTreeBackground(palette.color(QPalette::Active, QPalette::Base)));
    palette.setColor(QPalette::Disabled, QPalette::Text,
                     palette.color(QPalette::Disabled, QPalette::WindowText));
    applyingPalette_ = true;
    setPalette(palette);
    applyingPalette_ = false;
}

void CXHtmlTree::changeEvent(QEvent* event) {
    // The locked colours follow a change of the application's palette.
    if (event->type() == QEvent::PaletteChange && locked_ && !applyingPalette_)
        ApplyLockedPalette();
    QTreeView::changeEvent(event);
}

QStyleOptionViewItem CXHtmlTree::OptionFor(const QModelIndex& index) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return option;
}

QRect CXHtmlTree::LabelRect(TreeItem item) const {
    const QModelIndex index = model_->IndexOf(item);
    if (!index.isValid() || visualRect(index).isEmpty()) return {};
    return delegate_->LabelRect(OptionFor(index), index);
}

QPoint CXHtmlTree::CheckBoxCentre(TreeItem item) const {
    const QModelIndex index = model_->IndexOf(item);
    if (!index.isValid()) return {};
    return CheckBoxRect(index).center();
}

QRect CXHtmlTree::CheckBoxRect(const QModelIndex& index) const {
    QStyleOptionViewItem option = OptionFor(index);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    option.index = index;
    option.checkState = static_cast<Qt::CheckState>(index.data(Qt::CheckStateRole).toInt());
    option.features |= QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::HasDisplay;
    option.text = index.data().toString();
    option.decorationSize = iconSize();
    return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

void CXHtmlTree::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    // The column is as wide as its widest label: right of it, the row is
    // found at the column's right edge.
    const int columnRight = header()->sectionViewportPosition(0) + header()->sectionSize(0) - 1;
    const QModelIndex index = indexAt(QPoint(std::min(pos.x(), columnRight), pos.y()));
    const TreeItem item = model_->ItemOf(index);
    // Left of the item's rectangle are the indentation and the expand button.
    const bool onRow = event->button() == Qt::LeftButton && index.isValid() &&
                       pos.x() >= visualRect(index).left() && !CheckBoxRect(index).contains(pos);
    QTreeView::mousePressEvent(event);
    if (onRow && (model_->flags(index) & Qt::ItemIsEnabled)) {
        keyboardOpen_->stop();
        SelectItem(item);
        emit labelClicked(item);
    }
}

void CXHtmlTree::keyPressEvent(QKeyEvent* event) {
    const QModelIndex before = currentIndex();
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QTreeView::keyPressEvent(event);
    if (enter) {
        keyboardOpen_->stop();
        OpenCurrent();
    } else if (currentIndex() != before) {
        keyboardOpen_->start();
    }
}

void CXHtmlTree::OpenCurrent() {
    const QModelIndex index = currentIndex();
    if (!index.isValid() || !(model_->flags(index) & Qt::ItemIsEnabled)) return;
    const TreeItem item = model_->ItemOf(index);
    SelectItem(item);
    emit labelClicked(item);
}

void CXHtmlTree::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    const XHTMLTREEDATA* record = model_->GetItemRecord(model_->ItemOf(index));
    // A disabled item neither expands nor collapses.
    if (record && !record->enabled) return;
    QTreeView::mouseDoubleClickEvent(event);
}

}  // namespace brix
