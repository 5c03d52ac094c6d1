#include "values/binary_decimal.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace brix {
namespace {

using test::Bytes;

TEST(BinaryDecimalTest, DecodesGroupsSignsAndScale) {
    struct Case {
        int precision;
        int scale;
        std::vector<uint8_t> bytes;
        const char* text;
    };
    const std::vector<Case> cases = {
        {5, 2, Bytes({0x80, 0x05, 0x32}), "5.50"},
        {5, 2, Bytes({0x7F, 0xFA, 0xCD}), "-5.50"},
        {5, 2, Bytes({0x80, 0x00, 0x00}), "0.00"},
        {5, 2, Bytes({0x80, 0x00, 0x05}), "0.05"},
        {10, 2, Bytes({0x80, 0x00, 0x00, 0x00, 0x32}), "0.50"},
        {10, 2, Bytes({0x7F, 0xFF, 0xFF, 0xFF, 0xCD}), "-0.50"},
        {10, 2, Bytes({0x80, 0x00, 0x00, 0x05, 0x00}), "5.00"},
        // DECIMAL(18,9): one full group on each side of the point.
        {18, 9, Bytes({0x80, 0x00, 0x30, 0x39, 0x00, 0x00, 0x00, 0x01}), "12345.000000001"},
        // DECIMAL(20,0): two digits, then two groups of nine.
        {20, 0, Bytes({0x81, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}),
         "1000000000000000001"},
        {5, 0, Bytes({0x80, 0x00, 0x00}), "0"},
        {3, 3, Bytes({0x83, 0xE7}), "0.999"},
        // A group above 999999999 or a partial group beyond its digits: damage.
        {9, 0, Bytes({0xBB, 0x9A, 0xCA, 0x00}), "0"},
        {2, 0, Bytes({0xE4}), "0"},
        // Declarations no server writes.
        {2, 5, Bytes({0x80}), "0"},
        {66, 0, Bytes({0x80}), "0"},
        // Missing bytes read as zero.
        {10, 2, Bytes({0x80}), "0.00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(test::U8(FormatBinaryDecimal(c.bytes, c.precision, c.scale)), c.text)
            << c.precision << "," << c.scale;
}

TEST(BinaryDecimalTest, WidestDeclarationRoundTrips) {
    // DECIMAL(65,30): 35 integer digits (8 + 3 x 9) and 30 fraction digits (3 x 9 + 3).
    std::vector<uint8_t> bytes = {0x80 | 0x05, 0xF5, 0xE0, 0xFF};  // 99999999
    for (int g = 0; g < 3; ++g) bytes.insert(bytes.end(), {0x3B, 0x9A, 0xC9, 0xFF});
    for (int g = 0; g < 3; ++g) bytes.insert(bytes.end(), {0x3B, 0x9A, 0xC9, 0xFF});
    bytes.insert(bytes.end(), {0x03, 0xE7});  // 999
    EXPECT_EQ(bytes.size(), BinaryDecimalSize(65, 30));
    EXPECT_EQ(test::U8(FormatBinaryDecimal(bytes, 65, 30)),
              std::string(35, '9') + "." + std::string(30, '9'));
}

TEST(BinaryDecimalTest, SizesFollowDigitGroups) {
    EXPECT_EQ(BinaryDecimalSize(5, 2), 3u);
    EXPECT_EQ(BinaryDecimalSize(10, 2), 5u);
    EXPECT_EQ(BinaryDecimalSize(65, 30), 30u);
    EXPECT_EQ(BinaryDecimalSize(9, 0), 4u);
    EXPECT_EQ(BinaryDecimalSize(2, 5), 0u);
}

}  // namespace
}  // namespace brix
