#include "myisam/fixed_rows.h"

#include <algorithm>

#include "app/app_state.h"

namespace brix {

namespace {

// Distance from one row to the next: the packed record length where the index
// file gives one that differs and fits the file, else the .frm's.
uint64_t RowStride(const CTableDef& table, uint64_t fileLength) {
    const uint64_t recordLength = static_cast<uint64_t>(std::max(table.recordLength, 0));
    if (table.packRecLength != recordLength && table.packRecLength < fileLength)
        return table.packRecLength;
    return recordLength;
}

}  // namespace

bool ReadFixedRow(CTableDef& table, CBlockReader& reader, const CMyIsamRowRenderer& renderer,
                  uint64_t rowStart, size_t stride, std::vector<uint8_t>& image) {
    reader.ReadZeroFilled(rowStart, std::max(stride, renderer.imageLength()), image);
    // A deleted slot has the delete mark (bit 0 of its first byte) clear.
    if (table.ReservesDeleteMark() && !(image[0] & 1)) return false;
    renderer.AppendRow(table, image, {});
    return true;
}

bool ReadFixedRowWindow(CTableDef& table, uint64_t start, uint64_t fileLength, bool wantBookmark,
                        const CAppState& app) {
    const CMyIsamRowRenderer renderer(table, app);
    const uint64_t stride = RowStride(table, fileLength);
    CBlockReader reader(table.dataFile);
    std::vector<uint8_t> image;
    for (uint64_t pos = start; pos < fileLength;) {
        ReadFixedRow(table, reader, renderer, pos, static_cast<size_t>(stride), image);
        // A stride of 0 (no record length known) gives the one row and ends.
        if (stride == 0) break;
        pos += stride;
        if (pos > fileLength) break;
        if (table.rows.rowCount() >= kWindowRows) {
            table.windowFull = true;
            if (wantBookmark) table.bookmarks.push_back({0, static_cast<int64_t>(pos)});
            break;
        }
    }
    return !table.dataFile.Failed();
}

}  // namespace brix
