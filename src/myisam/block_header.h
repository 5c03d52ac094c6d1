#pragma once

#include <array>
#include <cstdint>

#include "app/byte_reader.h"

namespace brix {

// What the header of one block of a dynamic data file says.
struct MyisamBlockInfo {
    uint8_t type = 0;
    uint32_t recordLen = 0;
    uint32_t dataLen = 0;
    uint32_t blockLen = 0;
    uint64_t dataPos = 0;  // where the data starts; a deleted block's own position
    uint64_t nextPos = 0;
    uint64_t prevPos = 0;
    uint32_t secondRead = 0;  // set by the types that name a next block
};

// Status bits of a block header.
namespace BlockStatus {
inline constexpr int kFirst = 1;    // starts a record
inline constexpr int kLast = 2;     // ends a record
inline constexpr int kDeleted = 4;  // a free block
inline constexpr int kOutOfSequence =
    16;                              // a start where a continuation was expected, or the reverse
inline constexpr int kInvalid = 32;  // a type byte above 13: not a block header
}  // namespace BlockStatus

// The longest block header: a type byte, a 4-byte record length, a 3-byte
// data length, an 8-byte link and room to spare.
inline constexpr size_t kBlockHeaderSize = 20;

// One big-endian number of a block header: width bytes at offset at of the
// header; width 0 when the block type has no such field.
struct BlockField {
    uint8_t at = 0;
    uint8_t width = 0;
};

// How one block type lays out its header. The type byte comes first; the
// fields follow it, and the data starts headerLength bytes after the block's
// start (a free block has no data and names its own position instead).
struct BlockLayout {
    BlockField recordLength;  // the whole record's length, in the blocks that start one
    BlockField dataLength;    // this block's data bytes
    BlockField freeLength;    // a free block's length
    BlockField unused;        // unused bytes after the data, counted in the block's length
    BlockField next;          // the position of the record's next block, or the next free one
    BlockField previous;      // the previous free block
    uint8_t headerLength = 0;
    int status = 0;          // BlockStatus bits
    bool continued = false;  // the record goes on in the block that next names
};

// Types 0 to 13 of the type byte; a byte above that is not a block header.
inline constexpr uint8_t kMaxBlockType = 13;
extern const std::array<BlockLayout, kMaxBlockType + 1> kBlockLayouts;

// The block type names the record's next block.
inline bool BlockHasNext(uint8_t type) {
    return type <= kMaxBlockType && kBlockLayouts[type].continued;
}

// Decodes the block header h of the block at pos into info, replacing
// everything it held but secondRead, which says whether a continuation block
// is expected. h holds up to kBlockHeaderSize bytes, fewer at the end of the
// file: a field that reaches past its end reads as zero, a link as two halves
// of four bytes. Returns the status bits.
int DecodeBlockHeader(ByteSpan h, uint64_t pos, MyisamBlockInfo& info);

}  // namespace brix
