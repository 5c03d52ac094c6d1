#include "app/byte_reader.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace brix {
namespace {

TEST(ByteReaderTest, ReadsBothByteOrdersAndStopsAtTheEnd) {
    const std::vector<uint8_t> bytes = test::Bytes({0x01, 0x02, 0x03, 0x04, 0x05});
    ByteReader r(bytes);
    EXPECT_EQ(r.u16le(), 0x0201);
    EXPECT_EQ(r.u24be(), 0x030405u);
    EXPECT_FALSE(r.overrun());
    EXPECT_TRUE(r.atEnd());
    EXPECT_EQ(r.u32le(), 0u);  // past the end: zero, and the reader knows
    EXPECT_TRUE(r.overrun());
    EXPECT_EQ(r.pos(), bytes.size());

    ByteReader partial(bytes);
    partial.seek(3);
    EXPECT_EQ(partial.bytes(10).size(), 2u);  // only what the span has
    EXPECT_TRUE(partial.overrun());

    ByteReader back(bytes);
    back.seek(2);
    EXPECT_EQ(back.u8Backward(), 0x02);
    EXPECT_EQ(back.u8Backward(), 0x01);
    EXPECT_EQ(back.u8Backward(), 0);
    EXPECT_TRUE(back.overrun());
}

TEST(ByteReaderTest, FixedOffsetLoadsNeverReachOutside) {
    const std::vector<uint8_t> bytes = test::Bytes({0xAA, 0xBB, 0xCC});
    EXPECT_EQ(LoadU16be(bytes, 1), 0xBBCC);
    EXPECT_EQ(LoadU16be(bytes, 2), 0);
    EXPECT_EQ(LoadU32le(bytes, SIZE_MAX - 1), 0u);
    EXPECT_EQ(LoadU24le(bytes, 0), 0xCCBBAAu);
    EXPECT_EQ(LoadUIntBe(bytes, 1, 4), 0xBBCC0000u);  // missing bytes read as zero
    EXPECT_EQ(LoadUIntLe(bytes, 0, 2), 0xBBAAu);
    EXPECT_EQ(LoadU64be(test::Bytes({1, 2, 3, 4, 5, 6, 7, 8}), 0), 0x0102030405060708u);
}

}  // namespace
}  // namespace brix
