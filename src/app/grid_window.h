#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brix {

// A window of rows as the record grid shows it: the column titles, which of
// them hold numbers, whether the window is the table's last, and, for every
// row and column, the text and whether the value is NULL. Made whole by
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
    // The cell's text is the path of a file that holds the whole value.
    virtual bool IsSpilled(size_t, size_t) const { return false; }

    // Whether the column holds numbers; false when not known.
    bool IsNumeric(size_t column) const { return column < numeric_.size() && numeric_[column]; }
    // Whether the window is known to be a table's last: a window of rows
    // that did not fill. False when a next one may follow or nothing is known.
    bool IsLastWindow() const { return lastWindow_; }
    // Where the window stands in its table: the rows before its first, -1
    // when it is not a window of a table's rows (column definitions, tests).
    int64_t firstRow() const { return firstRow_; }
    // The table's rows: exactly that many when tableRowsExact(), at least that
    // many otherwise; -1 when nothing is known.
    int64_t tableRows() const { return tableRows_; }
    bool tableRowsExact() const { return tableRowsExact_; }
    // The rows are a table's deleted rows, not its live ones.
    bool deletedRows() const { return deletedRows_; }

    // Set by whoever makes the window, before it is handed over.
    void SetNumericColumns(std::vector<bool> numeric) { numeric_ = std::move(numeric); }
    void SetFilled(bool filled) { lastWindow_ = !filled; }
    void SetPosition(int64_t firstRow, int64_t tableRows, bool exact) {
        firstRow_ = firstRow;
        tableRows_ = tableRows;
        tableRowsExact_ = exact;
    }
    void SetDeletedRows(bool deleted) { deletedRows_ = deleted; }

  private:
    std::vector<std::u16string> columns_;
    std::vector<bool> numeric_;
    bool lastWindow_ = false;
    int64_t firstRow_ = -1;
    int64_t tableRows_ = -1;
    bool tableRowsExact_ = false;
    bool deletedRows_ = false;
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
