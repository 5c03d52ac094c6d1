#include "ui/grid_model.h"

#include <algorithm>
#include <vector>

namespace brix {

namespace {

const std::vector<std::u16string>& Columns(const std::shared_ptr<const CGridWindow>& window) {
    static const std::vector<std::u16string> kNone;
    return window ? window->columns() : kNone;
}

int Rows(const std::shared_ptr<const CGridWindow>& window) {
    if (!window) return 0;
    return static_cast<int>(std::min<size_t>(window->rowCount(), INT32_MAX));
}

QString ToQ(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CGridModel::CGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void CGridModel::Touch() {
    const bool wasDirty = dirty_;
    dirty_ = true;
    if (!wasDirty) emit changesPending();
}

void CGridModel::ClearGrid(int n) {
    if (n == 0) return;
    work_.reset();
    Touch();
}

void CGridModel::ShowRows(std::shared_ptr<const CGridWindow> window) {
    work_ = std::move(window);
    Touch();
}

void CGridModel::Publish() {
    if (!dirty_) return;
    dirty_ = false;
    if (Columns(work_) != Columns(shown_)) {
        beginResetModel();
        shown_ = work_;
        shownRows_ = Rows(shown_);
        endResetModel();
        return;
    }
    if (shownRows_ > 0) {
        beginRemoveRows({}, 0, shownRows_ - 1);
        shownRows_ = 0;
        endRemoveRows();
    }
    // The same columns: the new window is taken while no rows are shown.
    shown_ = work_;
    if (Rows(shown_) > 0) {
        beginInsertRows({}, 0, Rows(shown_) - 1);
        shownRows_ = Rows(shown_);
        endInsertRows();
    }
}

int CGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int CGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Columns(shown_).size());
}

QVariant CGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.model() != this) return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    if (index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const std::u16string_view text =
        shown_->Text(static_cast<size_t>(index.row()), static_cast<size_t>(index.column()));
    // Long values are cut short in their cell; the tooltip shows the start of
    // them in full lines.
    if (role == Qt::ToolTipRole) {
        if (text.size() < 40 && text.find(u'\n') == std::u16string_view::npos) return {};
        return ToQ(text.substr(0, 2000));
    }
    return ToQ(text);
}

QVariant CGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    const std::vector<std::u16string>& columns = Columns(shown_);
    if (orientation != Qt::Horizontal || section < 0 ||
        static_cast<size_t>(section) >= columns.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) return ToQ(columns[static_cast<size_t>(section)]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

}  // namespace brix
