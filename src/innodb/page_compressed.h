#pragma once

#include <cstdint>
#include <span>

#include "app/byte_reader.h"

namespace brix {

struct SpaceFormat;

// MariaDB's PAGE_COMPRESSED tables keep each page compressed on its own, the
// algorithm named by the page (the older layout) or by the tablespace flags
// (full_crc32). Numbers as the server writes them.
enum class PageAlgorithm : uint8_t {
    kNone = 0,
    kZlib = 1,
    kLz4 = 2,
    kLzo = 3,
    kLzma = 4,
    kBzip2 = 5,
    kSnappy = 6,
};

// The algorithm's name as the server's option spells it; "unknown" for a
// number it does not have.
const char* PageAlgorithmName(uint32_t algorithm);

// This build can decompress pages of the algorithm.
bool PageAlgorithmRead(uint32_t algorithm);

enum class DecompressState : uint8_t {
    kNotCompressed,  // the page is kept whole: nothing to do
    kDone,           // out holds the page as it was before it was compressed
    kFailed,         // the page says it is compressed but does not decompress
    kUnsupported,    // compressed by an algorithm this build does not read
};

struct DecompressResult {
    DecompressState state = DecompressState::kNotCompressed;
    uint32_t algorithm = 0;
    // full_crc32 only: the compressed page's own checksum matched.
    bool checksumSound = false;
};

// Decompresses the raw page (a whole page of the tablespace's page size as
// read from the file) into out, which has the same size. Pages of a
// tablespace without page compression are never compressed. Never reads
// outside raw nor writes outside out, whatever the bytes.
DecompressResult DecompressPage(ByteSpan raw, const SpaceFormat& format, std::span<uint8_t> out);

// A page still in its compressed form: of the older layout's compressed page
// types, or marked compressed by full_crc32's page type.
bool LooksPageCompressed(ByteSpan page);

// Why a page still in its compressed form was not read, in the damage
// report's words: that it is encrypted when its type (older layout) or its
// key version (full_crc32) says so, the algorithm it names when this build
// does not read it, otherwise that it does not decompress.
const char* UndecompressedReason(ByteSpan page);

}  // namespace brix
