#include "innodb/root_auto_increment.h"

#include "innodb/page.h"
#include "innodb/page_check.h"
#include "innodb/tablespace.h"

namespace brix {

namespace {

// In the index page header (after the 38-byte file header): slots (2), heap
// top (2), heap records (2), free list (2), garbage (2), last insert (2),
// direction (2), inserts in that direction (2), records (2), then the eight
// bytes that a root of a clustered index uses for the counter.
constexpr size_t kIndexPageHeader = 38;
constexpr size_t kRootAutoIncrement = kIndexPageHeader + 2 * 9;

}  // namespace

std::optional<uint64_t> ReadRootAutoIncrement(CTablespace& space, uint32_t rootPage,
                                              uint64_t indexId) {
    if (!space.IsOpen() || rootPage >= space.pageCount()) return std::nullopt;
    const ByteSpan page = space.Page(rootPage);
    if (CheckPage(page) != PageState::kSound || !IsIndexPage(ReadFilHeader(page)))
        return std::nullopt;
    if (indexId != 0 && ReadIndexPageHeader(page).indexId != indexId) return std::nullopt;
    // A root keeps the counter only when its previous and next links are
    // empty: it is the only page of its level.
    const FilHeader fil = ReadFilHeader(page);
    if (fil.previousPage != kNoPage || fil.nextPage != kNoPage) return std::nullopt;
    const uint64_t value = LoadU64be(page, kRootAutoIncrement);
    if (value == 0) return std::nullopt;
    return value;
}

}  // namespace brix
