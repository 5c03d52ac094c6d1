#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/byte_reader.h"
#include "innodb/tablespace.h"

namespace brix {

// Page types of the large-object layout MySQL 8.0 and later write for the
// long off-page values of ROW_FORMAT=COMPRESSED tables: a first page holding
// index entries, fragment entries and the start of one zlib stream; data
// pages each holding a stretch of a stream; index pages holding more
// entries; fragment pages holding short streams of several entries side by
// side; and pages holding more fragment entries.
inline constexpr uint16_t kZlobFirstPageType = 25;
inline constexpr uint16_t kZlobDataPageType = 26;
inline constexpr uint16_t kZlobIndexPageType = 27;
inline constexpr uint16_t kZlobFragPageType = 28;
inline constexpr uint16_t kZlobFragEntryPageType = 29;

// True when page (as the file holds it) is the first page of a compressed
// large object.
bool IsZlobFirstPage(ByteSpan page);

// Calls sink with the bytes of the compressed large object whose first page
// is firstPage, in order: each index entry's zlib stream inflated, no more
// than total bytes. version is the object's version the record's reference
// names: an entry changed in a later version is read from the older version
// it keeps, so the value is the one the record saw. The walk stands on each
// entry at most once and on each page of a stream at most once; it stops at
// an entry or page out of the file, of the wrong type or reaching past its
// page, and at a stream that does not inflate to the length its entry gives.
// True when total bytes were passed on; otherwise false, with why (when
// given) saying what broke.
bool ReadZlobValue(CTablespace& space, uint64_t firstPage, uint32_t version, uint64_t total,
                   const std::function<void(ByteSpan)>& sink, std::string* why = nullptr);

}  // namespace brix
