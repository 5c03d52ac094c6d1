#pragma once

#include <cstdint>
#include <optional>

namespace brix {

class CTablespace;

// The persistent AUTO_INCREMENT counter that MariaDB 10.2 and later keep in
// the root page of a table's clustered index (where other index pages keep
// their largest transaction id): the last value given, or the table's
// starting value less one. rootPage must be a B-tree page of the tablespace
// that checks sound and, when indexId is not 0, carries that index id;
// nullopt otherwise, and for a counter of 0 (none kept, or a server that
// keeps none there).
std::optional<uint64_t> ReadRootAutoIncrement(CTablespace& space, uint32_t rootPage,
                                              uint64_t indexId);

}  // namespace brix
