#include "myisam/fixed_rows.h"

#include <algorithm>
#include <string>

#include "app/app_state.h"

namespace brix {

namespace {

// Distance from one row to the next: the packed record length where the index
// file gives one that differs and fits the file, else the .frm's.
uint64_t RowStride(const CMyisamTableReader& reader, uint64_t fileLength) {
    const uint64_t recordLength = static_cast<uint64_t>(std::max(reader.table.recordLength, 0));
    const uint32_t packRecLength = reader.header.packRecLength;
    if (packRecLength != recordLength && packRecLength < fileLength) return packRecLength;
    return recordLength;
}

}  // namespace

FixedRowRead ReadFixedRow(const CTableDef& table, CRowWindow& window, CBlockReader& reader,
                          const CMyIsamRowRenderer& renderer, uint64_t rowStart, size_t stride,
                          std::vector<uint8_t>& image) {
    // A deleted slot has the delete mark (bit 0 of its first byte) clear:
    // nothing more of it is read.
    if (table.ReservesDeleteMark() && !(LoadU8(reader.Read(rowStart, 1), 0) & 1))
        return FixedRowRead::kDeleted;
    reader.ReadZeroFilled(rowStart, std::max(stride, renderer.imageLength()), image);
    const bool fits = renderer.LengthsFit(table, image);
    renderer.AppendRow(table, window, image, {});
    return fits ? FixedRowRead::kRead : FixedRowRead::kDamaged;
}

bool ReadFixedRowWindow(CMyisamTableReader& myisam, uint64_t start, uint64_t fileLength,
                        bool wantBookmark, const CAppState& app) {
    const CMyIsamRowRenderer renderer(myisam.table, myisam.header.myisamColumns, app,
                                      myisam.options.exportMode);
    const uint64_t stride = RowStride(myisam, fileLength);
    CWindowState& window = myisam.window;
    const size_t windowRows = myisam.options.windowRows;
    CBlockReader reader(myisam.dataFile);
    std::vector<uint8_t> image;
    // A window moves over at least kWindowScanBytes, and room for a full
    // window of rows, before it ends short of a full window.
    const uint64_t scanBytes = std::max<uint64_t>(kWindowScanBytes, 2 * windowRows * stride);
    // A file that is not a whole number of rows long ends in a row cut short:
    // it is read with its missing bytes zero, and told once.
    const uint64_t cutRow =
        stride > 0 && fileLength % stride != 0 ? fileLength / stride * stride : fileLength;
    for (uint64_t pos = start; pos < fileLength;) {
        const FixedRowRead read = ReadFixedRow(myisam.table, window.rows, reader, renderer, pos,
                                               static_cast<size_t>(stride), image);
        const bool live = read != FixedRowRead::kDeleted;
        if (live && pos == cutRow)
            myisam.Report(static_cast<int64_t>(pos), DamageWhat::kRecord,
                          "last row is cut short: " + std::to_string(fileLength - pos) + " of " +
                              std::to_string(stride) + " bytes",
                          1, true);
        if (read == FixedRowRead::kDamaged)
            myisam.Report(static_cast<int64_t>(pos), DamageWhat::kRecord,
                          "a value's length runs past its column; the value is cut", 1, true);
        // A stride of 0 (no record length known) gives the one row and ends.
        if (stride == 0) break;
        pos += stride;
        if (read == FixedRowRead::kDeleted && pos < fileLength) {
            // Deleted rows of zero bytes (a sparse file's holes among them)
            // are passed at once, up to the row that holds a byte that is not.
            const uint64_t limit = std::min(fileLength, start + scanBytes);
            const uint64_t nonZero = reader.SkipZeros(pos, limit);
            pos += (nonZero - std::min(nonZero, pos)) / stride * stride;
        }
        if (pos > fileLength) break;
        if (window.rows.rowCount() >= windowRows ||
            (pos < fileLength && pos - start >= scanBytes)) {
            window.windowFull = true;
            if (wantBookmark) window.bookmarks.push_back({0, static_cast<int64_t>(pos)});
            break;
        }
    }
    return !myisam.dataFile.Failed();
}

}  // namespace brix
