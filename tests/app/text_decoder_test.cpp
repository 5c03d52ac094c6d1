#include "app/text_decoder.h"

#include <gtest/gtest.h>

#include "app/text.h"
#include "support/test_support.h"
#include "values/value_text.h"

namespace brix {
namespace {

std::string Decode(const CTextDecoder& d, const std::vector<uint8_t>& bytes,
                   bool stopAtZero = false) {
    std::u16string out;
    d.Append(bytes, out, stopAtZero);
    return test::U8(out);
}

TEST(TextDecoderTest, AnsiCodePageMapsEveryByte) {
    const CTextDecoders decoders("WINDOWS-1252");
    const CTextDecoder& ansi = decoders.Ansi();
    EXPECT_EQ(Decode(ansi, test::Bytes({'c', 'a', 'f', 0xE9})), "café");
    EXPECT_EQ(Decode(ansi, test::Bytes({0x80, 0x9C})), "€œ");
    // Bytes that Windows-1252 leaves undefined read as the C1 controls, as on
    // Windows and in MySQL's latin1.
    EXPECT_EQ(Utf8ToUtf16(Decode(ansi, test::Bytes({0x81, 0x8D}))), (std::u16string{0x81, 0x8D}));
    EXPECT_EQ(Decode(ansi, test::Bytes({'a', 0, 'b'}), true), "a");

    const CTextDecoders cyrillic("CP1251");
    EXPECT_EQ(Decode(cyrillic.Ansi(), test::Bytes({0xCF, 0xF0})), "Пр");
    EXPECT_THROW(CTextDecoders("NO-SUCH-CODEPAGE"), std::invalid_argument);
    EXPECT_THROW(CTextDecoders("SHIFT_JIS"), std::invalid_argument);  // not single-byte
}

TEST(TextDecoderTest, CharacterSetsOfTheCollationTable) {
    const CTextDecoders& decoders = test::TestApp().decoders();
    ASSERT_NE(decoders.ForCollation(45), nullptr);
    EXPECT_EQ(decoders.ForCollation(45)->kind(), CTextDecoder::Kind::kUtf8);
    EXPECT_EQ(decoders.ForCollation(33)->kind(), CTextDecoder::Kind::kUtf8);
    EXPECT_EQ(decoders.ForCollation(8)->kind(), CTextDecoder::Kind::kSingleByte);
    EXPECT_EQ(decoders.ForCollation(54)->kind(), CTextDecoder::Kind::kUtf16Be);  // utf16
    EXPECT_EQ(decoders.ForCollation(56)->kind(), CTextDecoder::Kind::kUtf16Le);  // utf16le
    EXPECT_EQ(decoders.ForCollation(13)->kind(), CTextDecoder::Kind::kIconv);    // sjis
    EXPECT_EQ(decoders.ForCollation(63), nullptr);                               // binary
    EXPECT_EQ(decoders.ForCollation(100000), nullptr);
    EXPECT_EQ(Decode(*decoders.ForCollation(7), test::Bytes({0xF0, 0xD2})), "Пр");   // koi8r
    EXPECT_EQ(Decode(*decoders.ForCollation(25), test::Bytes({0xE1, 0xE2})), "αβ");  // greek
}

TEST(TextDecoderTest, DamagedBytesBecomeReplacementCharacters) {
    const CTextDecoders& decoders = test::TestApp().decoders();
    EXPECT_EQ(Decode(decoders.Utf8(), test::Bytes({'a', 0xC3})), "a\xEF\xBF\xBD");
    EXPECT_EQ(Decode(decoders.Utf8(), test::Bytes({0xED, 0xA0, 0x80})),
              "\xEF\xBF\xBD");  // an encoded surrogate: one bad sequence
    EXPECT_EQ(Decode(*decoders.ForCollation(54), test::Bytes({0x00, 0x41, 0x00})), "A\xEF\xBF\xBD");
    // sjis: a lone lead byte at the end, then an invalid byte in the middle.
    EXPECT_EQ(Decode(*decoders.ForCollation(13), test::Bytes({'a', 0x93})), "a\xEF\xBF\xBD");
    EXPECT_EQ(Decode(*decoders.ForCollation(13), test::Bytes({0xA0, 'b'})),
              "\xEF\xBF\xBD"
              "b");
}

TEST(TextDecoderTest, Utf8OrAnsiChoosesUtf8OnlyForMultiByteText) {
    const CTextDecoders& decoders = test::TestApp().decoders();
    auto pick = [&](const std::string& s) {
        return test::U8(DecodeUtf8OrAnsiText(AsBytes(s), decoders));
    };
    EXPECT_EQ(pick("plain"), "plain");
    EXPECT_EQ(pick("caf\xC3\xA9"), "café");
    EXPECT_EQ(pick("caf\xE9"), "café");  // not UTF-8: the ANSI code page
    EXPECT_EQ(pick(std::string("caf\xC3\xA9\0zz", 8)), "café");
    EXPECT_EQ(pick(""), "");
}

TEST(TextTest, Utf16RoundTripsThroughUtf8) {
    const std::string text = "a é € \xF0\x9F\x98\x80";
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
    EXPECT_EQ(CountUtf16UnitsOfUtf8(AsBytes(text)), 8u);
    EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");
    EXPECT_TRUE(IsValidUtf8(AsBytes(text)));
    EXPECT_FALSE(IsValidUtf8(test::Bytes({0xE9})));
}

}  // namespace
}  // namespace brix
