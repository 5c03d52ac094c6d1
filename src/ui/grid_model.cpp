#include "ui/grid_model.h"

#include <algorithm>

namespace brix {

CGridModel::CGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void CGridModel::Touch() {
    const bool wasDirty = dirty_;
    dirty_ = true;
    if (!wasDirty) emit changesPending();
}

void CGridModel::ClearGrid(int n) {
    if (n == 0) return;
    work_.rows.clear();
    for (int i = 0; i < n && !work_.columns.isEmpty(); ++i) work_.columns.removeFirst();
    Touch();
}

void CGridModel::InsertColumn(int position, const QString& title) {
    const qsizetype at = std::clamp<qsizetype>(position, 0, work_.columns.size());
    work_.columns.insert(at, title);
    for (QStringList& row : work_.rows) row.insert(std::min(at, row.size()), QString());
    Touch();
}

int CGridModel::InsertRow(int position, const QString& firstCell) {
    const size_t at = static_cast<size_t>(
        std::clamp<qsizetype>(position, 0, static_cast<qsizetype>(work_.rows.size())));
    QStringList row;
    row.resize(std::max<qsizetype>(work_.columns.size(), 1));
    row[0] = firstCell;
    work_.rows.insert(work_.rows.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
    Touch();
    return static_cast<int>(at);
}

void CGridModel::SetCell(int row, int column, const QString& text) {
    if (row < 0 || static_cast<size_t>(row) >= work_.rows.size()) return;
    QStringList& cells = work_.rows[static_cast<size_t>(row)];
    if (column < 0 || column >= cells.size()) return;
    cells[column] = text;
    Touch();
}

void CGridModel::DeleteRows() {
    if (work_.rows.empty()) return;
    work_.rows.clear();
    Touch();
}

void CGridModel::Publish() {
    if (!dirty_) return;
    dirty_ = false;
    if (work_.columns != shown_.columns) {
        beginResetModel();
        shown_ = work_;
        endResetModel();
        return;
    }
    if (!shown_.rows.empty()) {
        beginRemoveRows({}, 0, static_cast<int>(shown_.rows.size()) - 1);
        shown_.rows.clear();
        endRemoveRows();
    }
    if (!work_.rows.empty()) {
        beginInsertRows({}, 0, static_cast<int>(work_.rows.size()) - 1);
        shown_.rows = work_.rows;
        endInsertRows();
    }
}

int CGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.rows.size());
}

int CGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.columns.size());
}

QVariant CGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.model() != this) return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    if (index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const QStringList& row = shown_.rows[static_cast<size_t>(index.row())];
    if (index.column() >= row.size()) return QString();
    const QString& text = row[index.column()];
    // Long values are cut short in their cell; the tooltip shows the start of
    // them in full lines.
    if (role == Qt::ToolTipRole) {
        if (text.size() < 40 && !text.contains(QLatin1Char('\n'))) return {};
        return text.left(2000);
    }
    return text;
}

QVariant CGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= shown_.columns.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) return shown_.columns[section];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

}  // namespace brix
