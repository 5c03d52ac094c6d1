#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/byte_reader.h"
#include "innodb/tablespace.h"

namespace brix {

// Page types of the file header.
inline constexpr uint16_t kIndexPageType = 17855;  // B-tree node
// The root of a clustered index whose columns were added or dropped in place.
inline constexpr uint16_t kInstantIndexPageType = 18;
// A page of the index MySQL 8.0 and later keep their dictionary information in.
inline constexpr uint16_t kSdiIndexPageType = 17853;

// The 38 bytes at the start of every page.
struct FilHeader {
    uint32_t checksum = 0;
    uint32_t pageNumber = 0;
    uint32_t previousPage = kNoPage;
    uint32_t nextPage = kNoPage;
    uint64_t lsn = 0;
    uint16_t pageType = 0;
    uint64_t flushLsn = 0;
    uint32_t spaceId = 0;
};

// The index page header at offset 38, of the fields the walks use.
struct IndexPageHeader {
    uint16_t directorySlots = 0;
    uint16_t heapTop = 0;
    uint16_t heapRecords = 0;  // bit 15 set: records in the compact layout
    uint16_t instantBits = 0;  // the direction field; an instant root keeps its field count here
    uint16_t userRecords = 0;
    uint16_t level = 0;  // 0 = leaf
    uint64_t indexId = 0;

    bool compact() const { return (heapRecords & 0x8000) != 0; }
};

FilHeader ReadFilHeader(ByteSpan page);
IndexPageHeader ReadIndexPageHeader(ByteSpan page);

// Index pages, and the root of an index changed in place, hold records.
inline bool IsIndexPage(const FilHeader& header) {
    return header.pageType == kIndexPageType || header.pageType == kInstantIndexPageType;
}

enum class RecordLayout : uint8_t { kRedundant, kCompact };

// Where the infimum and supremum records start, by layout.
inline constexpr uint16_t kCompactInfimum = 99;
inline constexpr uint16_t kCompactSupremum = 112;
inline constexpr uint16_t kRedundantInfimum = 101;
inline constexpr uint16_t kRedundantSupremum = 116;

// Record origins a walk accepts: past the supremum, inside the page.
inline constexpr uint32_t kLowestUserOrigin = 113;
// Records a 16 KiB page can hold at most; a chain longer than that loops.
inline constexpr uint32_t kMaxRecordsPerPage = 1501;
// The same for a page of any size: larger pages hold as many more.
inline uint32_t MaxRecordsOnPage(size_t pageSize) {
    return pageSize <= 16384 ? kMaxRecordsPerPage
                             : kMaxRecordsPerPage * static_cast<uint32_t>(pageSize / 16384);
}

// The infimum record carries its name as text (or zeros at the root of an
// index changed in place).
bool HasInfimum(ByteSpan page, RecordLayout layout);
// The origin of the first record after the infimum.
uint32_t FirstRecord(ByteSpan page, RecordLayout layout);
// The origin of the record after the one at origin; 0 for none.
uint32_t NextRecord(ByteSpan page, uint32_t origin, RecordLayout layout);
// The text at origin up to its first zero byte is "supremum".
bool IsSupremumText(ByteSpan page, uint32_t origin);
// The eight bytes at origin read "supremum".
bool IsSupremumBytes(ByteSpan page, uint32_t origin);

// Header bits of a record.
inline constexpr uint8_t kInfoMinRecord =
    0x10;  // leftmost node pointer; an instant metadata record
inline constexpr uint8_t kInfoDeleted = 0x20;
uint8_t RecordInfoBits(ByteSpan page, uint32_t origin, RecordLayout layout);
// Compact records: 0 ordinary, 1 node pointer, 2 infimum, 3 supremum, 4 an
// ordinary record written after columns were added in place.
uint8_t CompactRecordStatus(ByteSpan page, uint32_t origin);

// One field of a redundant-layout record.
struct RedundantField {
    uint32_t start = 0;  // page offset of its first byte
    uint32_t length = 0;
    bool null = false;
    bool external = false;
};

// The info bit of a record written after MySQL 8.0.29 added or dropped
// columns in place: its header names the layout version it has.
inline constexpr uint8_t kInfoRowVersion = 0x40;
// The info bit of a compact record written after MySQL 8.0.12 to 8.0.28 added
// columns in place: its header holds its field count.
inline constexpr uint8_t kInfoInstantAdded = 0x80;

// The fields of a redundant-layout record from its end-offset array. Empty
// when the array or a field would lie outside the page or the offsets run
// backwards. A record that names its layout version keeps that byte between
// the header and the array; version is set to it (0 for other records).
bool ReadRedundantFields(ByteSpan page, uint32_t origin, std::vector<RedundantField>& fields,
                         uint8_t* version = nullptr);

}  // namespace brix
