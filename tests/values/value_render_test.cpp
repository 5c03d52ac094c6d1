#include "values/value_render.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/test_support.h"

namespace brix {
namespace {

using test::Bytes;

struct Column : CColumnDef {
    Column(int t, int len = 0, Signedness s = Signedness::kUnknown) {
        type = t;
        length = len;
        signedness = s;
    }
    Column& Charset(int n) {
        charsetNumber = n;
        decoder = test::TestApp().decoders().ForCollation(static_cast<uint32_t>(n));
        return *this;
    }
};

class RenderTest : public ::testing::Test {
  protected:
    std::string Render(const CColumnDef& column, const std::vector<uint8_t>& bytes,
                       bool exportMode = false) {
        RenderContext context{&test::TestApp().decoders(), members, exportMode};
        std::u16string out;
        lastWasNull = RenderMyIsamValue(column, bytes, context, out);
        return test::U8(out);
    }
    std::vector<std::u16string> members;
    bool lastWasNull = false;
};

TEST_F(RenderTest, IntegersFollowTheColumnsSignedness) {
    using S = Signedness;
    struct Case {
        int type;
        S sign;
        std::vector<uint8_t> bytes;
        const char* text;
    };
    const std::vector<Case> cases = {
        // Without a known sign: narrow types unsigned, wide types signed.
        {FieldType::kTiny, S::kUnknown, Bytes({0xFF}), "255"},
        {FieldType::kShort, S::kUnknown, Bytes({0xFF, 0xFF}), "65535"},
        {FieldType::kInt24, S::kUnknown, Bytes({0xFF, 0xFF, 0xFF}), "16777215"},
        {FieldType::kLong, S::kUnknown, Bytes({0xFF, 0xFF, 0xFF, 0xFF}), "-1"},
        {FieldType::kLongLong, S::kUnknown, std::vector<uint8_t>(8, 0xFF), "-1"},
        {FieldType::kTiny, S::kSigned, Bytes({0xFF}), "-1"},
        {FieldType::kTiny, S::kSigned, Bytes({0x80}), "-128"},
        {FieldType::kShort, S::kSigned, Bytes({0x00, 0x80}), "-32768"},
        {FieldType::kInt24, S::kSigned, Bytes({0x00, 0x00, 0x80}), "-8388608"},
        {FieldType::kInt24, S::kSigned, Bytes({0xFF, 0xFF, 0x7F}), "8388607"},
        {FieldType::kLong, S::kUnsigned, Bytes({0xFF, 0xFF, 0xFF, 0xFF}), "4294967295"},
        {FieldType::kLongLong, S::kUnsigned, std::vector<uint8_t>(8, 0xFF), "18446744073709551615"},
        {FieldType::kLongLong, S::kSigned, Bytes({0, 0, 0, 0, 0, 0, 0, 0x80}),
         "-9223372036854775808"},
        {FieldType::kLong, S::kSigned, Bytes({0x2A}), "42"},  // missing bytes are zero
    };
    for (const Case& c : cases)
        EXPECT_EQ(Render(Column(c.type, 11, c.sign), c.bytes), c.text) << c.type << " " << c.text;
}

TEST_F(RenderTest, ZerofillPadsToTheDisplayWidth) {
    Column c(FieldType::kLong, 6, Signedness::kUnsigned);
    c.zerofill = true;
    EXPECT_EQ(Render(c, Bytes({42, 0, 0, 0})), "000042");
    EXPECT_EQ(Render(c, Bytes({0x40, 0x42, 0x0F, 0})), "1000000");
}

TEST_F(RenderTest, FloatsShowSixDecimalsAndExportTheServersExactText) {
    auto f32 = [](float v) {
        std::vector<uint8_t> b(4);
        std::memcpy(b.data(), &v, 4);
        return b;
    };
    auto f64 = [](double v) {
        std::vector<uint8_t> b(8);
        std::memcpy(b.data(), &v, 8);
        return b;
    };
    Column f(FieldType::kFloat, 12);
    Column d(FieldType::kDouble, 22);
    EXPECT_EQ(Render(f, f32(1.5f)), "1.500000");
    EXPECT_EQ(Render(d, f64(0.0)), "0.000000");
    EXPECT_EQ(Render(d, f64(-2.25)), "-2.250000");
    EXPECT_EQ(Render(d, f64(0.1234567891)), "0.123457");
    EXPECT_EQ(Render(d, f64(0.1234567891), true), "0.1234567891");
    EXPECT_EQ(Render(d, f64(1e-9), true), "0.000000001");
    EXPECT_EQ(Render(f, f32(0.1f), true), "0.1");
    EXPECT_EQ(Render(f, f32(3.4e38f), true), "3.4e38");
    EXPECT_EQ(Render(d, f64(1.7976931348623157e308), true), "1.7976931348623157e308");
    // A column with fixed decimals writes every one of them.
    Column fixed(FieldType::kFloat, 7);
    fixed.precision = 7;
    fixed.decimals = 3;
    EXPECT_EQ(Render(fixed, f32(1.5f), true), "1.500");
}

TEST_F(RenderTest, DecimalsOfBothFormats) {
    Column d(FieldType::kNewDecimal, 7);
    d.precision = 5;
    d.decimals = 2;
    EXPECT_EQ(Render(d, Bytes({0x80, 0x05, 0x32})), "5.50");
    EXPECT_EQ(Render(d, Bytes({0x7F, 0xFA, 0xCD})), "-5.50");
    Column old(FieldType::kDecimal, 8);
    EXPECT_EQ(Render(old, {' ', ' ', '-', '1', '2', '.', '5', '0'}), "-12.50");
}

TEST_F(RenderTest, BitsShowEveryDeclaredBit) {
    EXPECT_EQ(Render(Column(FieldType::kBit, 3), Bytes({5})), "101");
    EXPECT_EQ(Render(Column(FieldType::kBit, 8), Bytes({0xA5})), "10100101");
    EXPECT_EQ(Render(Column(FieldType::kBit, 12), Bytes({0x0A, 0xAA})), "101010101010");
    EXPECT_EQ(Render(Column(FieldType::kBit, 64), std::vector<uint8_t>(8, 0xFF)),
              std::string(64, '1'));
    EXPECT_EQ(Render(Column(FieldType::kBit, 0), Bytes({1})), "");
}

TEST_F(RenderTest, EnumAndSetShowTheirOwnMembers) {
    members = {u"a", u"b", u"c", u"x", u"y", u"z"};
    Column first(FieldType::kEnum, 1);
    first.enumFirst = 0;
    first.enumCount = 3;
    Column second(FieldType::kEnum, 1);
    second.enumFirst = 3;
    second.enumCount = 3;
    EXPECT_EQ(Render(first, Bytes({2})), "b");
    EXPECT_EQ(Render(first, Bytes({0})), "");
    EXPECT_EQ(Render(first, Bytes({4})), "");
    EXPECT_EQ(Render(second, Bytes({1})), "x");

    Column set(FieldType::kSet, 5);
    set.enumFirst = 3;
    set.enumCount = 3;
    EXPECT_EQ(Render(set, Bytes({0b101})), "x,z");
    EXPECT_EQ(Render(set, Bytes({0})), "");
    EXPECT_EQ(Render(set, Bytes({0b111})), "x,y,z");

    // More than 255 members: a two-byte index; 40 members: an 8-byte mask.
    members.clear();
    for (int i = 1; i <= 300; ++i) members.push_back(u"m" + std::u16string(1, char16_t(i)));
    Column big(FieldType::kEnum, 4);
    big.enumFirst = 0;
    big.enumCount = 300;
    EXPECT_EQ(Render(big, Bytes({0x2C, 0x01})), test::U8(members[299]));
    Column wide(FieldType::kSet, 40);
    wide.enumFirst = 0;
    wide.enumCount = 40;
    EXPECT_EQ(StoredValueWidth(wide), 8u);
    EXPECT_EQ(Render(wide, Bytes({0, 0, 0, 0, 0x80, 0, 0, 0})), test::U8(members[39]));
}

TEST_F(RenderTest, StringsDecodeInTheColumnsCharacterSet) {
    const std::string cafeUtf8 = "caf\xC3\xA9";
    EXPECT_EQ(
        Render(Column(FieldType::kVarchar, 40).Charset(45), {cafeUtf8.begin(), cafeUtf8.end()}),
        "café");
    EXPECT_EQ(Render(Column(FieldType::kString, 4).Charset(8), Bytes({'c', 'a', 'f', 0xE9})),
              "café");
    EXPECT_EQ(Render(Column(FieldType::kString, 4).Charset(8), Bytes({0x80})), "€");
    EXPECT_EQ(Render(Column(FieldType::kVarchar, 12).Charset(51), Bytes({0xCF, 0xF0, 0xE8})),
              "При");  // cp1251
    EXPECT_EQ(Render(Column(FieldType::kVarchar, 12).Charset(35), Bytes({0x04, 0x1F, 0x00, 0x41})),
              "ПA");  // ucs2
    EXPECT_EQ(Render(Column(FieldType::kVarchar, 12).Charset(60), Bytes({0, 1, 0xF6, 0x00})),
              "\xF0\x9F\x98\x80");  // utf32: U+1F600
    EXPECT_EQ(Render(Column(FieldType::kVarchar, 12).Charset(13), Bytes({0x93, 0xFA, 0x96, 0x7B})),
              "日本");  // sjis
    // An unknown collation falls back to the ANSI code page.
    EXPECT_EQ(Render(Column(FieldType::kVarchar, 12).Charset(9999), Bytes({0xE9})), "é");
    // Display ends text at a zero byte; export keeps it.
    EXPECT_EQ(Render(Column(FieldType::kVarchar, 12).Charset(8), Bytes({'a', 0, 'b'})), "a");
    EXPECT_EQ(Render(Column(FieldType::kVarchar, 12).Charset(8), Bytes({'a', 0, 'b'}), true),
              std::string("a\0b", 3));
}

TEST_F(RenderTest, BinaryStringsAndBlobsShowHexOrPlaceholders) {
    Column bin = Column(FieldType::kString, 99).Charset(kBinaryCharset);
    std::vector<uint8_t> b99(99, 0x80);
    std::vector<uint8_t> b100(100, 0x80);
    std::string hex99 = "0x";
    for (int i = 0; i < 99; ++i) hex99 += "80";
    EXPECT_EQ(Render(bin, b99), hex99);
    EXPECT_EQ(Render(bin, b100), "0x<Binarydata>");
    EXPECT_EQ(Render(bin, b100, true).size(), 2u + 200u);
    EXPECT_EQ(Render(bin, {}), "");

    Column blob = Column(FieldType::kBlob, 10).Charset(kBinaryCharset);
    EXPECT_EQ(Render(blob, Bytes({0x01, 0xFF})), "0x01FF");
    EXPECT_EQ(Render(blob, std::vector<uint8_t>(999, 0)).size(), 2u + 1998u);
    EXPECT_EQ(Render(blob, std::vector<uint8_t>(1000, 0)), "Large Blob Data");
    EXPECT_EQ(Render(blob, std::vector<uint8_t>(1000, 0), true).size(), 2u + 2000u);

    Column text = Column(FieldType::kBlob, 10).Charset(45);
    EXPECT_EQ(Render(text, std::vector<uint8_t>(999, 'a')), std::string(999, 'a'));
    EXPECT_EQ(Render(text, std::vector<uint8_t>(1000, 'a')), "Large Blob Data");
    EXPECT_EQ(Render(text, std::vector<uint8_t>(1000, 'a'), true), std::string(1000, 'a'));
}

TEST_F(RenderTest, SpatialValuesArePlaceholdersInDisplayAndHexInExport) {
    Column g(FieldType::kGeometry, 4);
    EXPECT_EQ(Render(g, Bytes({1, 2, 3})), "Spatial Data");
    EXPECT_FALSE(lastWasNull);
    EXPECT_EQ(Render(g, Bytes({0, 0, 0}), true), "NULL");
    EXPECT_TRUE(lastWasNull);
    EXPECT_EQ(Render(g, {}, true), "NULL");
    // Zero bytes and a backslash followed by 0 stay apart.
    EXPECT_EQ(Render(g, Bytes({'A', 0, 'B', '\\', '0', 0x80}), true), "0x4100425C3080");
    EXPECT_FALSE(lastWasNull);
}

TEST(NullFlagTest, ASetNullBitMeansNullAndNothingElseDoes) {
    const std::vector<uint8_t> flags = Bytes({0x02, 0x80});
    EXPECT_TRUE(ApplyNullFlag(flags, 0, 0x02));
    EXPECT_TRUE(ApplyNullFlag(flags, 1, 0x80));
    EXPECT_FALSE(ApplyNullFlag(flags, 0, 0x01));
    EXPECT_FALSE(ApplyNullFlag(flags, 0, 0));     // no null bit: never NULL
    EXPECT_FALSE(ApplyNullFlag(flags, 2, 0x02));  // position past the flags
    EXPECT_FALSE(ApplyNullFlag({}, 0, 0x01));
}

}  // namespace
}  // namespace brix
