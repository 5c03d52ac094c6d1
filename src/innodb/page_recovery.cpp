#include "innodb/page_recovery.h"

#include <unordered_map>
#include <vector>

#include "innodb/deleted_records.h"
#include "innodb/instant.h"
#include "innodb/page_view.h"

namespace brix {

RecoveryIndex FindRecoveryIndex(const CInnoTableReader& inno, CTablespace& space,
                                const CAppState& app, uint64_t onlyIndex) {
    std::unordered_map<uint64_t, RecoveryIndex> indexes;
    PageBytes copy;
    std::vector<DeletedRecord> found;
    // Each page once, in ascending order: the search ends.
    for (uint64_t page = 0; page < space.pageCount(); ++page) {
        space.CopyPage(page, copy);
        const CIndexPageView view(copy);
        if (!view.holdsRecords() || view.level() != 0) continue;
        if (onlyIndex != 0 && view.header().indexId != onlyIndex) continue;
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

RecoveryIndex FindInstantRecoveryIndex(CInnoTableReader& inno, CTablespace& space, CAppState& app) {
    // Each instant root costs a pass over the file.
    constexpr int kMaxRootsTried = 8;
    const std::vector<CInnoColumnDef> plain = inno.physicalColumns;
    RecoveryIndex best;
    std::vector<CInnoColumnDef> bestFields;
    uint32_t bestCore = 0;
    CRowWindow bestDefaults;
    int tried = 0;
    for (uint64_t page = 0; page < space.pageCount() && tried < kMaxRootsTried; ++page) {
        const FilHeader fil = ReadFilHeader(space.Page(page));
        if (fil.pageType != kInstantIndexPageType) continue;
        ++tried;
        inno.physicalColumns = plain;
        inno.coreFields = 0;
        inno.defaults.Reset(0);
        ReadInstantLayout(inno, space, static_cast<uint32_t>(page), app);
        if (inno.coreFields == 0) continue;
        const RecoveryIndex found =
            FindRecoveryIndex(inno, space, app, ReadIndexPageHeader(space.Page(page)).indexId);
        if (found.indexId == 0 || found.records <= best.records) continue;
        best = found;
        bestFields = inno.physicalColumns;
        bestCore = inno.coreFields;
        std::swap(bestDefaults, inno.defaults);
    }
    inno.physicalColumns = best.indexId != 0 ? std::move(bestFields) : plain;
    inno.coreFields = best.indexId != 0 ? bestCore : 0;
    std::swap(inno.defaults, bestDefaults);
    if (best.indexId == 0) inno.defaults.Reset(0);
    return best;
}

}  // namespace brix
