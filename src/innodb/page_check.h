#pragma once

#include <cstdint>
#include <string>

#include "app/byte_reader.h"

namespace brix {

// What the first page of a tablespace says about how its pages are kept,
// read for both servers' flag layouts.
struct SpaceFormat {
    uint32_t flags = 0;
    bool fullCrc32 = false;  // MariaDB's full_crc32 flag layout
    // Logical page size in bytes; 0 when the flags name none.
    uint32_t pageSize = 16384;
    bool rowCompressed = false;   // ROW_FORMAT=COMPRESSED (zip) pages
    bool pageCompressed = false;  // MariaDB PAGE_COMPRESSED pages
    // full_crc32: the algorithm every compressed page of the space uses (the
    // older layout names it on each page instead).
    uint32_t algorithm = 0;
    bool encrypted = false;  // MySQL encryption flag or MariaDB crypt data
};

// Reads the format from page 0 of a tablespace (the first page of the file,
// or fewer bytes when the file is shorter; the flags are in its first 58
// bytes, MariaDB's encryption information further on at a place that
// depends on the page size). Damaged flags give a page size of 0.
SpaceFormat ReadSpaceFormat(ByteSpan firstPage);

// The reason, in the damage report's words, that the rows of a tablespace of
// this format are not read; empty when they are read.
std::string UnreadFormatReason(const SpaceFormat& format);

// CRC-32C (Castagnoli) of bytes, as InnoDB's crc32 checksums use it.
uint32_t Crc32c(ByteSpan bytes, uint32_t crc = 0);

enum class PageState : uint8_t {
    kSound,        // a checksum the page's layout accepts, LSN copies agree
    kZero,         // every byte is zero
    kBadChecksum,  // no checksum algorithm accepts the page
    kLsnMismatch,  // the low half of the LSN differs between header and trailer
    // A page of a PAGE_COMPRESSED tablespace still in its compressed form:
    // it did not decompress.
    kNotDecompressed,
};

// A page size InnoDB writes: 4, 8, 16, 32 or 64 KiB.
bool ValidPageSize(size_t size);

// Pages of an extent at a page size: 1 MiB of pages below 16 KiB, 64 pages
// from 16 KiB up.
uint32_t ExtentPages(size_t pageSize);
// Bytes of one extent descriptor at a page size: 24, then two bits a page.
size_t DescriptorSize(size_t pageSize);

// Checks one whole page (of any page size InnoDB writes) against both checksum layouts, so that a
// damaged first page cannot make every other page look damaged. MySQL and
// MariaDB before full_crc32 keep the checksum in the first four bytes and a
// copy (or the legacy old-style checksum) in the last eight before the low
// half of the LSN: crc32, the legacy innodb checksum and the no-checksum
// magic are accepted. MariaDB's full_crc32 keeps one CRC-32C of all bytes
// before it in the last four, the low half of the LSN before that. A page
// whose size is not one InnoDB writes is kBadChecksum.
PageState CheckPage(ByteSpan page);

}  // namespace brix
