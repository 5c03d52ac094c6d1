#include "myisam/myisam_reader.h"

#include "app/app_state.h"
#include "myisam/dynamic_rows.h"
#include "myisam/fixed_rows.h"

namespace brix {

namespace {

bool ReadWindowFrom(CTableDef& table, uint64_t start, bool wantBookmark, const CAppState& app) {
    const uint64_t fileLength = table.dataFile.Length();
    switch (table.myisamRowFormat) {
        case 0:
            return ReadFixedRowWindow(table, start, fileLength, wantBookmark, app);
        case 1:
            return ReadDynamicRowWindow(table, start, fileLength, wantBookmark, app);
        default:
            return true;  // compressed rows are not read
    }
}

}  // namespace

bool ReadFirstMyIsamWindow(CTableDef& table, const std::filesystem::path& path,
                           const CAppState& app) {
    table.rows.Reset(table.columns.size());
    if (!table.dataFile.Open(path)) return true;
    table.windowFull = false;
    table.bookmarks.push_back({0, 0});
    return ReadWindowFrom(table, 0, true, app);
}

bool ReadMyIsamWindowAt(CTableDef& table, int64_t origin, bool wantBookmark, const CAppState& app) {
    table.rows.Reset(table.columns.size());
    table.windowFull = false;
    if (!table.dataFile.IsOpen() || origin < 0) return true;
    return ReadWindowFrom(table, static_cast<uint64_t>(origin), wantBookmark, app);
}

}  // namespace brix
