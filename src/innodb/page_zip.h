#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "app/byte_reader.h"

namespace brix {

// ROW_FORMAT=COMPRESSED tables keep every page in a smaller physical page
// (1, 2, 4, 8 or 16 KiB, the tablespace's zip size). An index page holds its
// uncompressed header, a zlib stream of its records without their five
// header bytes, a log of the records changed since it was compressed, and at
// its end the dense directory and the columns kept out of the stream (node
// pointers, transaction ids and roll pointers, off-page references). Other
// pages (BLOB, allocation, inode pages) are kept as they are, only shorter.

// The physical page size a tablespace's flags give for its zip pages; 0 when
// the flags name none (the tablespace is not ROW_FORMAT=COMPRESSED).
uint32_t ZipPageSize(uint32_t spaceFlags);

// The compressed page's checksum, in its first four bytes, is one the
// server writes (crc32, innodb or none), or the page is all zeros.
bool ZipChecksumSound(ByteSpan raw);

// Page types whose pages are compressed index pages: B-tree, R-tree and
// dictionary (SDI) pages.
bool IsZipIndexPageType(uint16_t type);

struct ZipPageResult {
    bool done = false;           // out holds the uncompressed index page
    bool checksumSound = false;  // the compressed page passed its checksum
    std::string why;             // when not done: why, in the damage report's words
};

// Rebuilds the uncompressed index page (of out's size, the logical page size,
// at most 16 KiB) from the compressed page raw, as the readers of
// uncompressed pages know it: page header, infimum and supremum, records with
// their headers, the sparse page directory. The result carries a checksum
// and trailer of its own, a valid one when the compressed page's checksum
// was sound and a wrong one otherwise, so that the page checks as its
// compressed form did. Never reads outside raw nor writes outside out,
// whatever the bytes.
ZipPageResult DecompressZipPage(ByteSpan raw, std::span<uint8_t> out);

}  // namespace brix
