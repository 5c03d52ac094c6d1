#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brix {

// Rows shown at a time: a window fills at this many rows.
inline constexpr size_t kWindowRows = 1000;

// Bytes of a data file that one window of rows moves over at least before
// it may end short of kWindowRows rows, with a bookmark where the next one
// goes on: deleted space, bytes that are no rows, or a sparse file's zeros
// then cost one window at a time, never the whole file at once.
inline constexpr uint64_t kWindowScanBytes = 64u << 20;

// Where a window of rows starts: MyISAM page 0 and a data-file position;
// InnoDB a leaf page and a record origin.
struct RecordBookmark {
    uint64_t page = 0;
    int64_t origin = 0;
};

// The page of the marker that ends the bookmark list.
inline constexpr uint64_t kEndMarkerPage = 0xFFFFFFFF;

// An off-page value a window keeps unread: the column's bytes in the record
// (the local prefix and the reference to its pages), the leaf page the record
// is on, whether a broken chain of the value is to be reported, and which of
// the table's tablespaces holds the pages (a partition's number; 0 for a
// table of one tablespace).
struct ExternalCell {
    std::span<const uint8_t> bytes;
    uint32_t leafPage = 0;
    bool reportBroken = false;
    uint16_t source = 0;
};

// The rows of one window: for every row and column the rendered text and
// whether the reader decided the value is NULL. The column metadata stays in
// the table; the texts of all cells share one buffer, so that filling a
// window allocates nothing once the window has been used. An off-page value
// may instead be kept as its reference, in a byte buffer beside the texts,
// for the writer to read from the tablespace as it writes the value out.
class CRowWindow {
  public:
    // Empties the window for rows of columnCount columns, keeping its memory.
    void Reset(size_t columnCount);

    size_t rowCount() const { return rows_; }
    size_t columnCount() const { return columns_; }

    // The text of a cell; "NULL" for a NULL value.
    std::u16string_view Text(size_t row, size_t column) const {
        const Cell& c = cell(row, column);
        if (c.null) return u"NULL";
        if (c.external) return {};
        return std::u16string_view(text_.data() + c.start, c.length);
    }
    bool IsNull(size_t row, size_t column) const { return cell(row, column).null; }
    // The cell's text is the path of a spill file that holds the value.
    bool IsSpilled(size_t row, size_t column) const { return cell(row, column).spilled; }
    // The cell holds an off-page value by its reference; its text is empty.
    bool IsExternal(size_t row, size_t column) const { return cell(row, column).external; }
    // The reference of an external cell.
    ExternalCell External(size_t row, size_t column) const;

    // Appends a row whose cells are all empty texts.
    void BeginRow() {
        const size_t first = rows_ * columns_;
        if (cells_.size() < first + columns_ || rowTextStart_.size() <= rows_) Grow();
        const Cell empty{text_.size(), 0, false, false, false};
        Cell* row = cells_.data() + first;
        for (size_t c = 0; c < columns_; ++c) row[c] = empty;
        rowTextStart_[rows_] = text_.size();
        rowExternalStart_[rows_] = external_.size();
        ++rows_;
    }
    // Renderers append a cell's text here, then call SetCell.
    std::u16string& arena() { return text_; }
    // The text appended to arena() from start on is the cell of the last row
    // in column; with isNull the text is dropped and the cell is NULL.
    void SetCell(size_t column, size_t start, bool isNull) {
        Cell& c = cells_[(rows_ - 1) * columns_ + column];
        if (isNull) {
            text_.resize(start);
            c = Cell{start, 0, true, false, false};
        } else {
            c = Cell{start, text_.size() - start, false, false, false};
        }
    }
    void SetNull(size_t column) { SetCell(column, text_.size(), true); }
    // Marks the last row's cell in column as the path of a spill file.
    void MarkSpilled(size_t column);
    // Makes the last row's cell in column an off-page value kept by its
    // reference: bytes are the column's bytes in the record.
    void SetExternal(size_t column, std::span<const uint8_t> bytes, uint32_t leafPage,
                     bool reportBroken, uint16_t source = 0);
    // Appends every row of from (the same columns, or as many of them as
    // this window has), its off-page references marked as coming from
    // source.
    void AppendRows(const CRowWindow& from, uint16_t source);
    // Takes back the last row and its texts.
    void DropLastRow();

  private:
    struct Cell {
        size_t start = 0;
        size_t length = 0;
        bool null = false;
        bool spilled = false;
        // start and length are in external_: a leaf page number (4 bytes),
        // a flag byte, then the column's bytes.
        bool external = false;
    };
    const Cell& cell(size_t row, size_t column) const { return cells_[row * columns_ + column]; }
    // Makes room for the cells and the text start of one more row.
    void Grow();

    size_t columns_ = 0;
    size_t rows_ = 0;
    // The cells of the rows, row after row; cells past rows_ * columns_ are
    // left from earlier windows, kept so that a row costs no resizing.
    std::vector<Cell> cells_;
    // Where each row's texts start in text_; also kept past rows_.
    std::vector<size_t> rowTextStart_;
    // Where each row's references start in external_.
    std::vector<size_t> rowExternalStart_;
    std::u16string text_;
    std::vector<uint8_t> external_;
};

// What a table's reader keeps between windows, whatever its engine: the rows
// of the current window and where the windows read so far start.
struct CWindowState {
    CRowWindow rows;
    std::vector<RecordBookmark> bookmarks;
    // The window ended before the rows did: it filled, or it examined as
    // much of the data file as one window may. The bookmark after it says
    // where the next one starts.
    bool windowFull = false;
    // Set while a window is read again (paging back): no bookmark is added.
    bool suppressBookmark = false;

    // Empties the window and the bookmarks, for a table opened anew.
    void Reset(size_t columnCount) {
        rows.Reset(columnCount);
        bookmarks.clear();
        windowFull = false;
        suppressBookmark = false;
    }
};

}  // namespace brix
