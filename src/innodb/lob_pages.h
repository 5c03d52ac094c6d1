#pragma once

#include <cstdint>
#include <functional>

#include "app/byte_reader.h"
#include "innodb/tablespace.h"

namespace brix {

// Page types of the large-object layout MySQL 8.0 and later write for the
// off-page values of uncompressed tables: a first page holding a list of
// index entries and the value's first bytes, index pages holding more
// entries, and data pages each holding one stretch of the value.
inline constexpr uint16_t kLobIndexPageType = 22;
inline constexpr uint16_t kLobDataPageType = 23;
inline constexpr uint16_t kLobFirstPageType = 24;

// True when page is the first page of a large object in that layout.
bool IsLobFirstPage(ByteSpan page);

// Calls sink with the bytes of the large object whose first page is
// firstPage, in order, as its index list gives them: no more than total
// bytes. The walk stands on each data page and each index entry at most
// once, and stops at an entry or data page that is out of the file, of the
// wrong type or claims more bytes than its page holds. True when total
// bytes were passed on; false when the value broke off before.
bool ReadLobValue(CTablespace& space, uint64_t firstPage, uint64_t total,
                  const std::function<void(ByteSpan)>& sink);

}  // namespace brix
