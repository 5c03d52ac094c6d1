#pragma once

#include <cstdint>

#include "app/block_reader.h"
#include "myisam/myisam_reader.h"
#include "myisam/myisam_row.h"

namespace brix {

class CAppState;

// Appends to the window the fixed-length rows from start on, until the window
// holds a full window of rows (then sets windowFull and, when wanted, adds the
// bookmark where the next window starts) or the data file of fileLength bytes
// ends. A row that starts before the end is read even when it is cut short:
// the missing bytes are zero, and it is told to the reader's damage sink, as is
// a row whose bytes are damaged. Deleted slots are left out. Returns false when the file layer
// reported a read error.
bool ReadFixedRowWindow(CMyisamTableReader& myisam, uint64_t start, uint64_t fileLength,
                        bool wantBookmark, const CAppState& app);

// What became of one fixed-length row.
enum class FixedRowRead { kRead, kDeleted, kDamaged };

// Reads the row at rowStart and appends it to window, unless its slot is
// deleted. A row whose bytes are damaged (a VARCHAR length longer than its
// column) is appended with the value cut to its column, and is kDamaged.
FixedRowRead ReadFixedRow(const CTableDef& table, CRowWindow& window, CBlockReader& reader,
                          const CMyIsamRowRenderer& renderer, uint64_t rowStart, size_t stride,
                          std::vector<uint8_t>& image);

}  // namespace brix
