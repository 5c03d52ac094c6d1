#include "app/ui_model.h"

#include <algorithm>
#include <string>

#include "app/text.h"

namespace brix {

using Lock = std::lock_guard<std::mutex>;

std::u16string RowsShownText(const CGridWindow& window) {
    const int64_t first = window.firstRow();
    if (first < 0) return {};
    const auto rows = static_cast<int64_t>(window.rowCount());
    const int64_t total = window.tableRows();
    std::u16string text;
    if (rows == 0 && window.deletedRows() && first == 0 && window.IsLastWindow())
        return u"no deleted rows found";
    if (rows == 0) {
        text = window.deletedRows() ? u"no deleted rows" : u"no rows";
        if (total <= 0) return text;
        text += u" shown";
    } else {
        text = window.deletedRows() ? u"deleted rows " : u"rows ";
        AppendAscii(text, std::to_string(first + 1));
        text += u'-';
        AppendAscii(text, std::to_string(first + rows));
        if (total < 0) return text;
    }
    // Rows shown past a count that is too low (a damaged or stale index
    // file) would make "rows 1-1000 of 10": the count then says at least.
    const bool exact = window.tableRowsExact() && total >= first + rows;
    text += exact ? u" of " : u" of at least ";
    AppendAscii(text, std::to_string(exact ? total : std::max(total, first + rows)));
    return text;
}

void CUiModel::ShowCaptionMessage(std::u16string_view text) {
    Lock lock(mutex_);
    caption_ = text;
}

void CUiModel::ShowProgress(bool on) {
    Lock lock(mutex_);
    progress_ = on;
}

void CUiModel::InsertLogRow(int index, std::u16string_view text) {
    Lock lock(mutex_);
    const size_t at = std::min(static_cast<size_t>(std::max(index, 0)), logRows_.size());
    logRows_.insert(logRows_.begin() + static_cast<std::ptrdiff_t>(at), std::u16string(text));
}

void CUiModel::DeleteLogRows() {
    Lock lock(mutex_);
    logRows_.clear();
}

const UiTreeNode* CUiModel::Find(TreeItem item) const {
    auto it = nodes_.find(item);
    return it == nodes_.end() ? nullptr : &it->second;
}

TreeItem CUiModel::InsertItem(std::u16string_view text, int image, TreeItem parent) {
    Lock lock(mutex_);
    if (parent != kNoTreeItem && !Find(parent)) return kNoTreeItem;
    const TreeItem item = nextItem_++;
    UiTreeNode node;
    node.text = text;
    node.image = image;
    node.parent = parent;
    nodes_.emplace(item, std::move(node));
    if (parent == kNoTreeItem) {
        roots_.push_back(item);
    } else {
        nodes_[parent].children.push_back(item);
    }
    return item;
}

void CUiModel::SetItemData(TreeItem item, int64_t data) {
    Lock lock(mutex_);
    auto it = nodes_.find(item);
    if (it != nodes_.end()) it->second.data = data;
}

int64_t CUiModel::GetItemData(TreeItem item) const {
    Lock lock(mutex_);
    const UiTreeNode* node = Find(item);
    return node ? node->data : 0;
}

std::u16string CUiModel::GetItemText(TreeItem item) const {
    Lock lock(mutex_);
    const UiTreeNode* node = Find(item);
    return node ? node->text : std::u16string();
}

TreeItem CUiModel::GetParentItem(TreeItem item) const {
    Lock lock(mutex_);
    const UiTreeNode* node = Find(item);
    return node ? node->parent : kNoTreeItem;
}

TreeItem CUiModel::GetSelectedItem() const {
    Lock lock(mutex_);
    return selected_;
}

void CUiModel::SelectItem(TreeItem item) {
    Lock lock(mutex_);
    selected_ = Find(item) ? item : kNoTreeItem;
}

void CUiModel::Expand(TreeItem item) {
    Lock lock(mutex_);
    auto it = nodes_.find(item);
    if (it != nodes_.end()) it->second.expanded = true;
}

void CUiModel::DeleteAllItems() {
    Lock lock(mutex_);
    // Item numbers are not reused, so that a stale item never names a new node.
    nodes_.clear();
    roots_.clear();
    selected_ = kNoTreeItem;
}

int CUiModel::GetCheckedCount() const {
    Lock lock(mutex_);
    return static_cast<int>(std::count_if(nodes_.begin(), nodes_.end(),
                                          [](const auto& entry) { return entry.second.checked; }));
}

void CUiModel::SetItemChecked(TreeItem item, bool checked) {
    Lock lock(mutex_);
    auto it = nodes_.find(item);
    if (it != nodes_.end()) it->second.checked = checked;
}

void CUiModel::LockTree() {
    Lock lock(mutex_);
    treeLocked_ = true;
}

void CUiModel::UnlockTree() {
    Lock lock(mutex_);
    treeLocked_ = false;
}

void CUiModel::RedrawTree() {}

void CUiModel::ClearGrid(int n) {
    Lock lock(mutex_);
    if (n != 0) grid_.reset();
    textBox_.clear();
    panelChanged_ = true;
}

void CUiModel::ShowRows(std::shared_ptr<const CGridWindow> window) {
    Lock lock(mutex_);
    grid_ = std::move(window);
    panelChanged_ = true;
}

int CUiModel::GetGridRowCount() const {
    Lock lock(mutex_);
    return grid_ ? static_cast<int>(grid_->rowCount()) : 0;
}

std::shared_ptr<const CGridWindow> CUiModel::gridWindow() const {
    Lock lock(mutex_);
    return grid_;
}

std::u16string CUiModel::rowsShownText() const {
    Lock lock(mutex_);
    return grid_ ? RowsShownText(*grid_) : std::u16string();
}

void CUiModel::RedrawGrid() {}

void CUiModel::ShowGrid(bool on) {
    Lock lock(mutex_);
    if (gridShown_ != on) panelChanged_ = true;
    gridShown_ = on;
}

void CUiModel::ShowTextBox(bool on) {
    Lock lock(mutex_);
    if (textBoxShown_ != on) panelChanged_ = true;
    textBoxShown_ = on;
}

void CUiModel::SetTextBoxText(std::u16string_view text) {
    Lock lock(mutex_);
    if (textBox_ != text) panelChanged_ = true;
    textBox_ = text;
}

void CUiModel::ShowPagingButtons(bool on) {
    Lock lock(mutex_);
    pagingShown_ = on;
}

void CUiModel::EnablePrevious(bool on) {
    Lock lock(mutex_);
    previousEnabled_ = on;
}

void CUiModel::EnableNext(bool on) {
    Lock lock(mutex_);
    nextEnabled_ = on;
}

std::u16string CUiModel::caption() const {
    Lock lock(mutex_);
    return caption_;
}

bool CUiModel::progressShown() const {
    Lock lock(mutex_);
    return progress_;
}

std::vector<std::u16string> CUiModel::logRows() const {
    Lock lock(mutex_);
    return logRows_;
}

std::vector<TreeItem> CUiModel::rootItems() const {
    Lock lock(mutex_);
    return roots_;
}

std::vector<TreeItem> CUiModel::Children(TreeItem item) const {
    Lock lock(mutex_);
    if (item == kNoTreeItem) return roots_;
    const UiTreeNode* node = Find(item);
    return node ? node->children : std::vector<TreeItem>();
}

UiTreeNode CUiModel::Node(TreeItem item) const {
    Lock lock(mutex_);
    const UiTreeNode* node = Find(item);
    return node ? *node : UiTreeNode();
}

TreeItem CUiModel::FindItem(TreeItem under, std::span<const std::u16string> texts) const {
    Lock lock(mutex_);
    TreeItem current = under;
    for (const std::u16string& text : texts) {
        const std::vector<TreeItem>* children = &roots_;
        if (current != kNoTreeItem) {
            const UiTreeNode* node = Find(current);
            if (!node) return kNoTreeItem;
            children = &node->children;
        }
        auto it = std::find_if(children->begin(), children->end(),
                               [&](TreeItem child) { return nodes_.at(child).text == text; });
        if (it == children->end()) return kNoTreeItem;
        current = *it;
    }
    return current;
}

bool CUiModel::treeLocked() const {
    Lock lock(mutex_);
    return treeLocked_;
}

std::vector<std::u16string> CUiModel::gridColumns() const {
    const std::shared_ptr<const CGridWindow> grid = gridWindow();
    return grid ? grid->columns() : std::vector<std::u16string>();
}

std::vector<std::vector<std::u16string>> CUiModel::gridRows() const {
    const std::shared_ptr<const CGridWindow> grid = gridWindow();
    std::vector<std::vector<std::u16string>> rows;
    if (!grid) return rows;
    rows.resize(grid->rowCount());
    for (size_t r = 0; r < rows.size(); ++r) {
        rows[r].reserve(grid->columnCount());
        for (size_t c = 0; c < grid->columnCount(); ++c) rows[r].emplace_back(grid->Text(r, c));
    }
    return rows;
}

std::u16string CUiModel::textBoxText() const {
    Lock lock(mutex_);
    return textBox_;
}

bool CUiModel::gridShown() const {
    Lock lock(mutex_);
    return gridShown_;
}

bool CUiModel::textBoxShown() const {
    Lock lock(mutex_);
    return textBoxShown_;
}

bool CUiModel::pagingButtonsShown() const {
    Lock lock(mutex_);
    return pagingShown_;
}

bool CUiModel::previousEnabled() const {
    Lock lock(mutex_);
    return previousEnabled_;
}

bool CUiModel::nextEnabled() const {
    Lock lock(mutex_);
    return nextEnabled_;
}

bool CUiModel::TakePanelChanged() {
    Lock lock(mutex_);
    const bool changed = panelChanged_;
    panelChanged_ = false;
    return changed;
}

}  // namespace brix
