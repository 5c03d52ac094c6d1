#include "innodb/inno_table_reader.h"

#include "app/app_state.h"
#include "innodb/btree.h"

namespace brix {

void ReadInnoWindowAt(CInnoTableReader& inno, const RecordBookmark& from, bool bookmarkWanted,
                      CAppState& app) {
    CWindowState& window = inno.window;
    window.rows.Reset(inno.table.columns.size());
    window.suppressBookmark = !bookmarkWanted;
    window.windowFull = false;
    const auto origin = static_cast<uint32_t>(from.origin & 0xFFFF);
    if (inno.space && IsScanBookmark(from))
        FillScanWindow(inno, *inno.space, from.page, origin, false, app);
    else if (inno.space)
        FillRowWindow(inno, *inno.space, from.page, origin, true, app);
    window.suppressBookmark = false;
}

bool ReadNextInnoWindow(CInnoTableReader& inno, CAppState& app) {
    const CWindowState& window = inno.window;
    if (!window.windowFull || window.bookmarks.empty()) return false;
    if (inno.space) {
        // Each window reads its leaves and the page its bookmark is on again:
        // more than that means the leaf chain runs in a circle.
        if (inno.pagesWalked > inno.space->pageCount() + 2 * ++inno.windowsRead) return false;
    }
    ReadInnoWindowAt(inno, window.bookmarks.back(), true, app);
    return true;
}

}  // namespace brix
