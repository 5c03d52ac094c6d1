#include "myisam/block_header.h"

#include <bit>
#include <cstring>

namespace brix {

namespace {

constexpr int kFirstAndLast = BlockStatus::kFirst | BlockStatus::kLast;

// Layouts by type byte. A record that fits one block: types 1 to 4 (a
// record length of 2 or 3 bytes, which is also the data length; 3 and 4 add
// a byte of unused length). The first block of a longer one: 5, 6 and 13
// (the record length, the block's data length, the link to the next block).
// A later block: 7 to 10 (the last one, with or without unused bytes) and 11
// and 12 (one with a link to the next). Type 0 is a free block in the chain
// of free blocks.
constexpr BlockLayout Layout(BlockField recordLength, BlockField dataLength, BlockField unused,
                             BlockField next, uint8_t headerLength, int status) {
    BlockLayout layout;
    layout.recordLength = recordLength;
    layout.dataLength = dataLength;
    layout.unused = unused;
    layout.next = next;
    layout.headerLength = headerLength;
    layout.status = status;
    layout.continued = next.width != 0;
    return layout;
}

constexpr BlockLayout FreeBlock() {
    BlockLayout layout;
    layout.freeLength = {1, 3};
    layout.next = {4, 8};
    layout.previous = {12, 8};
    layout.status = BlockStatus::kDeleted;
    return layout;
}

constexpr BlockField kNone{};

// Reads a field as the header's loads do: a field of up to 4 bytes that
// reaches past the end of h is zero; an 8-byte one is read as two 4-byte
// halves.
uint64_t LoadField(ByteSpan h, BlockField field) {
    switch (field.width) {
        case 1:
            return LoadU8(h, field.at);
        case 2:
            return LoadU16be(h, field.at);
        case 3:
            return LoadU24be(h, field.at);
        case 4:
            return LoadU32be(h, field.at);
        case 8:
            return LoadU64be(h, field.at);
        default:
            return 0;
    }
}

// A whole header, the usual case: every field lies within it with room for
// eight bytes from its start, so it is the top width bytes of the eight
// read there at once.
inline uint64_t LoadWholeField(const uint8_t* h, BlockField field) {
    if (field.width == 0) return 0;
    uint64_t v;
    std::memcpy(&v, h + field.at, sizeof v);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v >> (64 - 8 * field.width);
}

constexpr bool FitsWholeHeader(BlockField field) {
    return field.width == 0 || (field.width <= 8 && field.at + 8u <= kBlockHeaderSize);
}

}  // namespace

constexpr std::array<BlockLayout, kMaxBlockType + 1> kBlockLayouts = {
    FreeBlock(),
    Layout({1, 2}, {1, 2}, kNone, kNone, 3, kFirstAndLast),
    Layout({1, 3}, {1, 3}, kNone, kNone, 4, kFirstAndLast),
    Layout({1, 2}, {1, 2}, {3, 1}, kNone, 4, kFirstAndLast),
    Layout({1, 3}, {1, 3}, {4, 1}, kNone, 5, kFirstAndLast),
    Layout({1, 2}, {3, 2}, kNone, {5, 8}, 13, BlockStatus::kFirst),
    Layout({1, 3}, {4, 3}, kNone, {7, 8}, 15, BlockStatus::kFirst),
    Layout(kNone, {1, 2}, kNone, kNone, 3, BlockStatus::kLast),
    Layout(kNone, {1, 3}, kNone, kNone, 4, BlockStatus::kLast),
    Layout(kNone, {1, 2}, {3, 1}, kNone, 4, BlockStatus::kLast),
    Layout(kNone, {1, 3}, {4, 1}, kNone, 5, BlockStatus::kLast),
    Layout(kNone, {1, 2}, kNone, {3, 8}, 11, 0),
    Layout(kNone, {1, 3}, kNone, {4, 8}, 12, 0),
    Layout({1, 4}, {5, 3}, kNone, {8, 8}, 16, BlockStatus::kFirst),
};

static_assert([] {
    for (const BlockLayout& l : kBlockLayouts)
        for (const BlockField f :
             {l.recordLength, l.dataLength, l.freeLength, l.unused, l.next, l.previous})
            if (!FitsWholeHeader(f)) return false;
    return true;
}());

int DecodeBlockHeader(ByteSpan h, uint64_t pos, MyisamBlockInfo& info) {
    const uint32_t secondRead = info.secondRead;
    info = MyisamBlockInfo{};
    info.type = LoadU8(h, 0);
    info.secondRead = secondRead;
    if (info.type > kMaxBlockType) return BlockStatus::kInvalid;
    const BlockLayout& layout = kBlockLayouts[info.type];
    const auto fill = [&](auto load) {
        info.recordLen = static_cast<uint32_t>(load(layout.recordLength));
        info.dataLen = static_cast<uint32_t>(load(layout.dataLength));
        info.blockLen = static_cast<uint32_t>(load(layout.freeLength)) + info.dataLen +
                        static_cast<uint32_t>(load(layout.unused));
        info.nextPos = load(layout.next);
        info.prevPos = load(layout.previous);
    };
    if (h.size() >= kBlockHeaderSize) {
        fill([&](BlockField field) { return LoadWholeField(h.data(), field); });
    } else {
        fill([&](BlockField field) { return LoadField(h, field); });
    }
    info.dataPos = pos + layout.headerLength;
    // A free block is no part of a record: whether one was expected does
    // not matter.
    if (layout.status & BlockStatus::kDeleted) return layout.status;
    if (layout.continued) info.secondRead = 1;
    int status = layout.status;
    const bool startsRecord = (layout.status & BlockStatus::kFirst) != 0;
    if ((secondRead == 0) != startsRecord) status |= BlockStatus::kOutOfSequence;
    return status;
}

}  // namespace brix
