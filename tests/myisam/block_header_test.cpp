// The header of every block type of a dynamic MyISAM data file decoded from
// bytes: the lengths, links and data position each type gives, and the
// status bits that say where in a record the block belongs.

#include "myisam/block_header.h"

#include <gtest/gtest.h>

#include <vector>

namespace brix {
namespace {

constexpr uint64_t kPos = 4096;
constexpr int kFirst = BlockStatus::kFirst;
constexpr int kLast = BlockStatus::kLast;

struct BlockCase {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t expectedSecondRead;  // what the block is read as: 0 a record's first block
    int status;
    uint32_t recordLen;
    uint32_t dataLen;
    uint32_t blockLen;
    uint64_t dataOffset;  // from the block's start
    uint64_t nextPos;
    uint64_t prevPos;
    uint32_t secondRead;  // after the call
};

// Eight bytes of a link.
std::vector<uint8_t> Link(uint64_t v) {
    std::vector<uint8_t> out;
    for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
    return out;
}

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(BlockHeaderTest, EveryBlockTypeGivesItsLengthsLinksAndDataPosition) {
    const uint64_t next = 0x0102030405060708;
    const uint64_t prev = 0x1112131415161718;
    const std::vector<BlockCase> cases = {
        {"free", Cat(Cat({0, 0x01, 0x00, 0x20}, Link(next)), Link(prev)), 0, BlockStatus::kDeleted,
         0, 0, 0x010020, 0, next, prev, 0},
        {"free, a continuation expected", Cat(Cat({0, 0, 0, 0x40}, Link(next)), Link(prev)), 1,
         BlockStatus::kDeleted, 0, 0, 0x40, 0, next, prev, 1},
        {"whole record, 2-byte length",
         {1, 0x01, 0x02},
         0,
         kFirst | kLast,
         0x0102,
         0x0102,
         0x0102,
         3,
         0,
         0,
         0},
        {"whole record, 3-byte length",
         {2, 0x01, 0x02, 0x03},
         0,
         kFirst | kLast,
         0x010203,
         0x010203,
         0x010203,
         4,
         0,
         0,
         0},
        {"whole record, 2-byte length, unused bytes",
         {3, 0x00, 0x30, 0x05},
         0,
         kFirst | kLast,
         0x30,
         0x30,
         0x35,
         4,
         0,
         0,
         0},
        {"whole record, 3-byte length, unused bytes",
         {4, 0x00, 0x01, 0x30, 0x07},
         0,
         kFirst | kLast,
         0x0130,
         0x0130,
         0x0137,
         5,
         0,
         0,
         0},
        {"first of several, 2-byte lengths", Cat({5, 0x12, 0x34, 0x00, 0x40}, Link(next)), 0,
         kFirst, 0x1234, 0x40, 0x40, 13, next, 0, 1},
        {"first of several, 3-byte lengths",
         Cat({6, 0x12, 0x34, 0x56, 0x00, 0x01, 0x40}, Link(next)), 0, kFirst, 0x123456, 0x0140,
         0x0140, 15, next, 0, 1},
        {"last, 2-byte length", {7, 0x00, 0x50}, 1, kLast, 0, 0x50, 0x50, 3, 0, 0, 1},
        {"last, 3-byte length", {8, 0x01, 0x00, 0x50}, 1, kLast, 0, 0x010050, 0x010050, 4, 0, 0, 1},
        {"last, 2-byte length, unused bytes",
         {9, 0x00, 0x50, 0x03},
         1,
         kLast,
         0,
         0x50,
         0x53,
         4,
         0,
         0,
         1},
        {"last, 3-byte length, unused bytes",
         {10, 0x01, 0x00, 0x50, 0xFF},
         1,
         kLast,
         0,
         0x010050,
         0x01014F,
         5,
         0,
         0,
         1},
        {"middle, 2-byte length", Cat({11, 0x00, 0x60}, Link(next)), 1, 0, 0, 0x60, 0x60, 11, next,
         0, 1},
        {"middle, 3-byte length", Cat({12, 0x02, 0x00, 0x60}, Link(next)), 1, 0, 0, 0x020060,
         0x020060, 12, next, 0, 1},
        {"first of several, 4-byte record length",
         Cat({13, 0x01, 0x02, 0x03, 0x04, 0x00, 0x10, 0x00}, Link(next)), 0, kFirst, 0x01020304,
         0x1000, 0x1000, 16, next, 0, 1},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> header = c.bytes;
        header.resize(kBlockHeaderSize, 0xEE);  // bytes past the header are not read
        MyisamBlockInfo info;
        info.secondRead = c.expectedSecondRead;
        info.recordLen = 99;  // replaced
        const int status = DecodeBlockHeader(header, kPos, info);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(info.type, c.bytes[0]);
        EXPECT_EQ(info.recordLen, c.recordLen);
        EXPECT_EQ(info.dataLen, c.dataLen);
        EXPECT_EQ(info.blockLen, c.blockLen);
        EXPECT_EQ(info.dataPos, kPos + c.dataOffset);
        EXPECT_EQ(info.nextPos, c.nextPos);
        EXPECT_EQ(info.prevPos, c.prevPos);
        EXPECT_EQ(info.secondRead, c.secondRead);
        EXPECT_EQ(BlockHasNext(info.type), c.nextPos != 0 && c.bytes[0] != 0);
    }
}

TEST(BlockHeaderTest, ABlockInTheWrongPlaceOfARecordIsOutOfSequence) {
    struct SequenceCase {
        uint8_t type;
        uint32_t secondRead;
        bool outOfSequence;
    };
    const std::vector<SequenceCase> cases = {
        {1, 0, false}, {1, 1, true},  {5, 0, false},  {5, 1, true},   {13, 0, false},
        {13, 1, true}, {7, 1, false}, {7, 0, true},   {11, 1, false}, {12, 0, true},
        {0, 0, false}, {0, 1, false}, {10, 1, false}, {6, 1, true},
    };
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type) * 10 + static_cast<int>(c.secondRead));
        std::vector<uint8_t> header(kBlockHeaderSize, 0);
        header[0] = c.type;
        header[2] = 8;
        MyisamBlockInfo info;
        info.secondRead = c.secondRead;
        const int status = DecodeBlockHeader(header, 0, info);
        EXPECT_EQ((status & BlockStatus::kOutOfSequence) != 0, c.outOfSequence);
    }
}

TEST(BlockHeaderTest, TypesAbove13AndCutHeadersAreReadSafely) {
    for (int type = 14; type < 256; ++type) {
        std::vector<uint8_t> header(kBlockHeaderSize, 0xFF);
        header[0] = static_cast<uint8_t>(type);
        MyisamBlockInfo info;
        info.secondRead = 1;
        EXPECT_EQ(DecodeBlockHeader(header, 8, info), BlockStatus::kInvalid);
        EXPECT_EQ(info.type, type);
        EXPECT_EQ(info.dataLen, 0u);
        EXPECT_EQ(info.blockLen, 0u);
        EXPECT_EQ(info.secondRead, 1u);
        EXPECT_FALSE(BlockHasNext(static_cast<uint8_t>(type)));
    }

    // At the end of the file the header is short: a field that does not fit
    // reads as zero, and an 8-byte link as two halves of four.
    const std::vector<uint8_t> full = {13, 0, 0, 1, 0, 0, 0, 9, 0, 0, 0, 1, 0, 0, 0, 2};
    struct CutCase {
        size_t length;
        uint32_t recordLen;
        uint32_t dataLen;
        uint64_t nextPos;
    };
    const std::vector<CutCase> cases = {
        {0, 0, 0, 0},
        {4, 0, 0, 0},
        {5, 256, 0, 0},
        {8, 256, 9, 0},
        {12, 256, 9, uint64_t{1} << 32},
        {15, 256, 9, uint64_t{1} << 32},
        {16, 256, 9, (uint64_t{1} << 32) | 2},
    };
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.length);
        MyisamBlockInfo info;
        const int status = DecodeBlockHeader(ByteSpan(full.data(), c.length), 100, info);
        if (c.length == 0) {
            EXPECT_EQ(status, BlockStatus::kDeleted);  // a zero type byte: a free block
            continue;
        }
        EXPECT_EQ(status, BlockStatus::kFirst);
        EXPECT_EQ(info.recordLen, c.recordLen);
        EXPECT_EQ(info.dataLen, c.dataLen);
        EXPECT_EQ(info.nextPos, c.nextPos);
        EXPECT_EQ(info.dataPos, 116u);
    }
}

}  // namespace
}  // namespace brix
