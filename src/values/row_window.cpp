#include "values/row_window.h"

#include <algorithm>

namespace brix {

void CRowWindow::Reset(size_t columnCount) {
    columns_ = columnCount;
    rows_ = 0;
    text_.clear();
}

void CRowWindow::Grow() {
    cells_.resize(std::max(cells_.size(), (rows_ + 1) * columns_));
    rowTextStart_.resize(std::max(rowTextStart_.size(), rows_ + 1));
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
