#include "schema/row_window.h"

namespace brix {

void CRowWindow::Reset(size_t columnCount) {
    columns_ = columnCount;
    rows_ = 0;
    cells_.clear();
    rowTextStart_.clear();
    text_.clear();
}

std::u16string_view CRowWindow::Text(size_t row, size_t column) const {
    const Cell& c = cell(row, column);
    if (c.null) return u"NULL";
    return std::u16string_view(text_).substr(c.start, c.length);
}

void CRowWindow::BeginRow() {
    cells_.resize(cells_.size() + columns_, Cell{text_.size(), 0, false, false});
    rowTextStart_.push_back(text_.size());
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
    cells_.resize(rows_ * columns_);
    text_.resize(rowTextStart_.back());
    rowTextStart_.pop_back();
}

}  // namespace brix
