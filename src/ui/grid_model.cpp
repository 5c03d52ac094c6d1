#include "ui/grid_model.h"

#include <QColor>
#include <QFont>
#include <algorithm>
#include <set>
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

// The text a cell shows: the value, cut at kCellTextLimit characters (never
// between the halves of a surrogate pair) with the cut mark after it.
QString CellText(std::u16string_view text) {
    if (text.size() <= static_cast<size_t>(kCellTextLimit)) return ToQ(text);
    size_t keep = kCellTextLimit;
    if (QChar::isHighSurrogate(text[keep - 1])) --keep;
    QString shown = ToQ(text.substr(0, keep));
    shown += QChar(kCellCutMark);
    return shown;
}

// Long values are cut short in their cell; the tooltip shows the start of
// them in full lines.
QVariant ToolTipText(std::u16string_view text) {
    if (text.size() < 40 && text.find(u'\n') == std::u16string_view::npos) return {};
    return ToQ(text.substr(0, 2000));
}

// A field of copied tab-separated text.
QString CopyField(const QString& value) {
    if (!value.contains(QLatin1Char('\t')) && !value.contains(QLatin1Char('\n')) &&
        !value.contains(QLatin1Char('\r')) && !value.contains(QLatin1Char('"')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
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
    if (index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const size_t row = static_cast<size_t>(index.row());
    const size_t column = static_cast<size_t>(index.column());
    switch (role) {
        case Qt::DisplayRole:
            return CellText(shown_->Text(row, column));
        case Qt::ToolTipRole:
            return ToolTipText(shown_->Text(row, column));
        case kFullTextRole:
            return ToQ(shown_->Text(row, column));
        case kNullRole:
            return shown_->IsNull(row, column);
        case kSpillFileRole:
            return shown_->IsSpilled(row, column) ? ToQ(shown_->Text(row, column)) : QString();
        case Qt::FontRole:
            if (shown_->IsNull(row, column)) {
                QFont font;
                font.setItalic(true);
                return font;
            }
            return {};
        case Qt::ForegroundRole:
            if (shown_->IsNull(row, column)) return QColor(Qt::gray);
            return {};
        case Qt::TextAlignmentRole:
            if (shown_->IsNumeric(column))
                return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
            return {};
        default:
            return {};
    }
}

QString CGridModel::CopyText(const QModelIndexList& cells, bool withHeader) const {
    std::set<int> rows;
    std::set<int> columns;
    std::set<std::pair<int, int>> chosen;
    for (const QModelIndex& cell : cells) {
        if (!cell.isValid() || cell.model() != this || cell.row() >= rowCount() ||
            cell.column() >= columnCount())
            continue;
        rows.insert(cell.row());
        columns.insert(cell.column());
        chosen.emplace(cell.row(), cell.column());
    }
    if (chosen.empty()) return {};
    QStringList lines;
    QStringList fields;
    if (withHeader) {
        for (int c : columns) fields << CopyField(headerData(c, Qt::Horizontal).toString());
        lines << fields.join(QLatin1Char('\t'));
    }
    for (int r : rows) {
        fields.clear();
        for (int c : columns) {
            fields << (chosen.count({r, c}) != 0
                           ? CopyField(index(r, c).data(kFullTextRole).toString())
                           : QString());
        }
        lines << fields.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
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
