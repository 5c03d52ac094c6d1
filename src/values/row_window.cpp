#include "values/row_window.h"

#include <algorithm>

namespace brix {

namespace {

// The leaf page number, the flag byte and the source number before an
// external cell's bytes.
constexpr size_t kExternalHeader = 7;
constexpr size_t kSourceAt = 5;

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
                             bool reportBroken, uint16_t source) {
    const size_t start = external_.size();
    for (int shift = 24; shift >= 0; shift -= 8)
        external_.push_back(static_cast<uint8_t>(leafPage >> shift));
    external_.push_back(reportBroken ? 1 : 0);
    external_.push_back(static_cast<uint8_t>(source >> 8));
    external_.push_back(static_cast<uint8_t>(source));
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
    out.source = static_cast<uint16_t>(p[kSourceAt] << 8 | p[kSourceAt + 1]);
    out.bytes = std::span<const uint8_t>(p + kExternalHeader, c.length - kExternalHeader);
    return out;
}

void CRowWindow::AppendRows(const CRowWindow& from, uint16_t source) {
    const size_t columns = std::min(from.columns_, columns_);
    for (size_t row = 0; row < from.rows_; ++row) {
        // The row's texts and references move in one piece each; the cells
        // then point into them at the same distances as before.
        const size_t textFrom = from.rowTextStart_[row];
        const size_t textTo =
            row + 1 < from.rows_ ? from.rowTextStart_[row + 1] : from.text_.size();
        const size_t externalFrom = from.rowExternalStart_[row];
        const size_t externalTo =
            row + 1 < from.rows_ ? from.rowExternalStart_[row + 1] : from.external_.size();
        BeginRow();
        const size_t textBase = text_.size();
        const size_t externalBase = external_.size();
        text_.append(from.text_, textFrom, textTo - textFrom);
        external_.insert(external_.end(),
                         from.external_.begin() + static_cast<std::ptrdiff_t>(externalFrom),
                         from.external_.begin() + static_cast<std::ptrdiff_t>(externalTo));
        const Cell* in = from.cells_.data() + row * from.columns_;
        Cell* out = cells_.data() + (rows_ - 1) * columns_;
        for (size_t c = 0; c < columns; ++c) {
            Cell cell = in[c];
            if (cell.external) {
                cell.start = cell.start - externalFrom + externalBase;
                if (cell.length >= kExternalHeader) {
                    external_[cell.start + kSourceAt] = static_cast<uint8_t>(source >> 8);
                    external_[cell.start + kSourceAt + 1] = static_cast<uint8_t>(source);
                }
            } else {
                cell.start = cell.start - textFrom + textBase;
            }
            out[c] = cell;
        }
    }
}

void CRowWindow::DropLastRow() {
    if (rows_ == 0) return;
    --rows_;
    text_.resize(rowTextStart_[rows_]);
    external_.resize(rowExternalStart_[rows_]);
}

}  // namespace brix
