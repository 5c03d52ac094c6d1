#include "values/row_window.h"

#include <algorithm>

namespace brix {

namespace {

// The leaf page number and the flag byte before an external cell's bytes.
constexpr size_t kExternalHeader = 5;

}  // namespace

void CRowWindow::Reset(size_t columnCount) {
    columns_ = columnCount;
    rows_ = 0;
    text_.clear();
    external_.clear();
}

void CRowWindow::Grow() {
    cells_.resize(std::max(cells_.size(), (rows_ + 1) * columns_));
    rowTextStart_.resize(std::max(rowTextStart_.size(), rows_ + 1));
    rowExternalStart_.resize(std::max(rowExternalStart_.size(), rows_ + 1));
}

void CRowWindow::MarkSpilled(size_t column) {
    cells_[(rows_ - 1) * columns_ + column].spilled = true;
}

void CRowWindow::SetExternal(size_t column, std::span<const uint8_t> bytes, uint32_t leafPage,
                             bool reportBroken) {
    const size_t start = external_.size();
    for (int shift = 24; shift >= 0; shift -= 8)
        external_.push_back(static_cast<uint8_t>(leafPage >> shift));
    external_.push_back(reportBroken ? 1 : 0);
    external_.insert(external_.end(), bytes.begin(), bytes.end());
    Cell& c = cells_[(rows_ - 1) * columns_ + column];
    c = Cell{start, external_.size() - start, false, false, true};
}

ExternalCell CRowWindow::External(size_t row, size_t column) const {
    const Cell& c = cell(row, column);
    if (!c.external || c.length < kExternalHeader) return {};
    const uint8_t* p = external_.data() + c.start;
    ExternalCell out;
    out.leafPage = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                   static_cast<uint32_t>(p[2]) << 8 | p[3];
    out.reportBroken = p[4] != 0;
    out.bytes = std::span<const uint8_t>(p + kExternalHeader, c.length - kExternalHeader);
    return out;
}

void CRowWindow::DropLastRow() {
    if (rows_ == 0) return;
    --rows_;
    text_.resize(rowTextStart_[rows_]);
    external_.resize(rowExternalStart_[rows_]);
}

}  // namespace brix
