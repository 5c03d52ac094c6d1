#include "schema/row_window.h"

namespace brix {

void CRowWindow::Reset(size_t columnCount) {
    columns_ = columnCount;
    rows_ = 0;
    text_.clear();
}

void CRowWindow::BeginRow() {
    const size_t first = rows_ * columns_;
    if (cells_.size() < first + columns_) cells_.resize(first + columns_);
    if (rowTextStart_.size() <= rows_) rowTextStart_.resize(rows_ + 1);
    const Cell empty{text_.size(), 0, false, false};
    Cell* row = cells_.data() + first;
    for (size_t c = 0; c < columns_; ++c) row[c] = empty;
    rowTextStart_[rows_] = text_.size();
    ++rows_;
}

void CRowWindow::SetCell(size_t column, size_t start, bool isNull) {
    Cell& c = cells_[(rows_ - 1) * columns_ + column];
    if (isNull) {
        text_.resize(start);
        c = Cell{start, 0, true, false};
    } else {
        c = Cell{start, text_.size() - start, false, false};
    }
}

void CRowWindow::SetNull(size_t column) {
    SetCell(column, text_.size(), true);
}

void CRowWindow::MarkSpilled(size_t column) {
    cells_[(rows_ - 1) * columns_ + column].spilled = true;
}

void CRowWindow::DropLastRow() {
    if (rows_ == 0) return;
    --rows_;
    text_.resize(rowTextStart_[rows_]);
}

}  // namespace brix
