#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brix {

// A window of rows as the record grid shows it: the column titles and, for
// every row and column, the text and whether the value is NULL. Made whole by
// the browse layer and handed to a front end, which keeps it as a shared
// read-only snapshot for as long as it shows it; nothing changes it after it
// was handed over, so that any thread may read it.
class CGridWindow {
  public:
    explicit CGridWindow(std::vector<std::u16string> columns) : columns_(std::move(columns)) {}
    virtual ~CGridWindow() = default;
    CGridWindow(const CGridWindow&) = delete;
    CGridWindow& operator=(const CGridWindow&) = delete;

    const std::vector<std::u16string>& columns() const { return columns_; }
    size_t columnCount() const { return columns_.size(); }
    virtual size_t rowCount() const = 0;
    // The text of a cell ("NULL" for a NULL value); column < columnCount().
    virtual std::u16string_view Text(size_t row, size_t column) const = 0;
    virtual bool IsNull(size_t row, size_t column) const = 0;

  private:
    std::vector<std::u16string> columns_;
};

// A grid window of plain texts, none of them NULL: the column definitions,
// and tests. Each row holds a text per column (missing cells are empty).
class CTextGridWindow final : public CGridWindow {
  public:
    CTextGridWindow(std::vector<std::u16string> columns,
                    std::vector<std::vector<std::u16string>> rows)
        : CGridWindow(std::move(columns)), rows_(std::move(rows)) {
        for (auto& row : rows_) row.resize(columnCount());
    }

    size_t rowCount() const override { return columnCount() == 0 ? 0 : rows_.size(); }
    std::u16string_view Text(size_t row, size_t column) const override {
        return rows_[row][column];
    }
    bool IsNull(size_t, size_t) const override { return false; }

  private:
    std::vector<std::vector<std::u16string>> rows_;
};

}  // namespace brix
