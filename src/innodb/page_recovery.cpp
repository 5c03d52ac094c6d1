#include "innodb/page_recovery.h"

#include <unordered_map>
#include <vector>

#include "innodb/deleted_records.h"
#include "innodb/page_view.h"

namespace brix {

RecoveryIndex FindRecoveryIndex(const CInnoTableReader& inno, CTablespace& space,
                                const CAppState& app) {
    std::unordered_map<uint64_t, RecoveryIndex> indexes;
    PageBytes copy;
    std::vector<DeletedRecord> found;
    // Each page once, in ascending order: the search ends.
    for (uint64_t page = 0; page < space.pageCount(); ++page) {
        space.CopyPage(page, copy);
        const CIndexPageView view(copy);
        if (!view.holdsRecords() || view.level() != 0) continue;
        RecoveryIndex& index = indexes[view.header().indexId];
        index.indexId = view.header().indexId;
        found.clear();
        if (FindPageRecords(inno, copy, app, found)) {
            ++index.pagesFitting;
            index.records += found.size();
        } else {
            ++index.pagesNotFitting;
        }
    }
    RecoveryIndex best;
    for (const auto& [id, index] : indexes) {
        // Pages of another index fit now and then by chance (a page of few
        // records whose bytes happen to be plausible); the table's own fit
        // but where damaged.
        if (index.records == 0 || index.pagesFitting <= index.pagesNotFitting) continue;
        if (index.records > best.records ||
            (index.records == best.records && index.indexId < best.indexId))
            best = index;
    }
    return best;
}

}  // namespace brix
