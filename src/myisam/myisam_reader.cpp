#include "myisam/myisam_reader.h"

#include "app/app_state.h"
#include "myisam/dynamic_rows.h"
#include "myisam/fixed_rows.h"

namespace brix {

namespace {

bool ReadWindowFrom(CMyisamTableReader& reader, uint64_t start, bool wantBookmark,
                    const CAppState& app) {
    const uint64_t fileLength = reader.dataFile.Length();
    switch (reader.header.myisamRowFormat) {
        case 0:
            return ReadFixedRowWindow(reader, start, fileLength, wantBookmark, app);
        case 1:
            return ReadDynamicRowWindow(reader, start, fileLength, wantBookmark, app);
        default:
            return true;  // compressed rows are not read
    }
}

}  // namespace

bool ReadFirstMyIsamWindow(CMyisamTableReader& reader, const std::filesystem::path& path,
                           const CAppState& app) {
    CWindowState& window = reader.window;
    window.rows.Reset(reader.table.columns.size());
    if (!reader.dataFile.Open(path)) return true;
    window.windowFull = false;
    window.bookmarks.push_back({0, 0});
    return ReadWindowFrom(reader, 0, true, app);
}

bool ReadMyIsamWindowAt(CMyisamTableReader& reader, int64_t origin, bool wantBookmark,
                        const CAppState& app) {
    reader.window.rows.Reset(reader.table.columns.size());
    reader.window.windowFull = false;
    if (!reader.dataFile.IsOpen() || origin < 0) return true;
    return ReadWindowFrom(reader, static_cast<uint64_t>(origin), wantBookmark, app);
}

}  // namespace brix
