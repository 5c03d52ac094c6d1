#include "save/sql_text.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "app/text.h"
#include "schema/field_types.h"
#include "support/test_support.h"

namespace brix {
namespace {

CColumnDef Column(int type, int charset = 45) {
    CColumnDef c;
    c.type = type;
    c.charsetNumber = charset;
    return c;
}

std::string Literal(const CColumnDef& column, std::u16string_view text, bool isNull = false) {
    std::u16string out;
    AppendValueLiteral(out, column, text, isNull);
    return test::U8(out);
}

TEST(SqlTextTest, NamesCannotLeaveTheirBackquotes) {
    EXPECT_EQ(test::U8(QuotedName(u"plain")), "`plain`");
    EXPECT_EQ(test::U8(QuotedName(u"a`b")), "`a``b`");
    EXPECT_EQ(test::U8(QuotedName(u"`); DROP TABLE x; --")), "```); DROP TABLE x; --`");
    EXPECT_EQ(test::U8(QuotedName(u"")), "``");
}

TEST(SqlTextTest, NamesWithZeroCharactersOrHalfSurrogatesCannotBeWritten) {
    EXPECT_TRUE(IsWritableName(u"plain `name` ünï 😀"));
    EXPECT_FALSE(IsWritableName(std::u16string(u"a\0b", 3)));
    EXPECT_FALSE(IsWritableName(std::u16string(1, char16_t{0xD800}) + u"x"));
    EXPECT_FALSE(IsWritableName(std::u16string(1, char16_t{0xDC00})));
}

TEST(SqlTextTest, StringLiteralsEscapeEveryCharacterThatCouldEndOrBreakThem) {
    EXPECT_EQ(test::U8(StringLiteral(u"it's")), "'it''s'");
    EXPECT_EQ(test::U8(StringLiteral(u"back\\slash")), "'back\\\\slash'");
    EXPECT_EQ(test::U8(StringLiteral(std::u16string(u"nul\0byte", 8))), "'nul\\0byte'");
    EXPECT_EQ(test::U8(StringLiteral(u"line\nfeed\rreturn\x1A")), "'line\\nfeed\\rreturn\\Z'");
    // No escape can be undone, and no quote is written as \', so the literal
    // ends in the same place with and without NO_BACKSLASH_ESCAPES.
    EXPECT_EQ(test::U8(StringLiteral(u"\\'")), "'\\\\'''");
    EXPECT_EQ(test::U8(StringLiteral(u"x\\'); --")), "'x\\\\''); --'");
    EXPECT_EQ(test::U8(StringLiteral(u"tab\t\"quote\" ünï 😀")), "'tab\t\"quote\" ünï 😀'");
    EXPECT_EQ(test::U8(StringLiteral(u"")), "''");
}

TEST(SqlTextTest, ValueLiteralsFollowTheColumnTypeAndTheNullFlag) {
    struct Case {
        const char* what;
        CColumnDef column;
        std::u16string text;
        bool isNull;
        const char* literal;
    };
    const CColumnDef varchar = Column(FieldType::kVarchar);
    const CColumnDef integer = Column(FieldType::kLong, 63);
    const Case cases[] = {
        {"NULL flag", varchar, u"", true, "NULL"},
        {"the text NULL is a string", varchar, u"NULL", false, "'NULL'"},
        {"integer NULL", integer, u"NULL", true, "NULL"},
        {"negative integer", integer, u"-2147483648", false, "-2147483648"},
        {"zerofill integer", integer, u"000123", false, "000123"},
        {"damaged integer", integer, u"12x", false, "'12x'"},
        {"empty integer", integer, u"", false, "''"},
        {"float", Column(FieldType::kFloat, 63), u"3.4028235e+38", false, "3.4028235e+38"},
        {"double", Column(FieldType::kDouble, 63), u"-1.7976931348623157e+308", false,
         "-1.7976931348623157e+308"},
        {"infinity is no number", Column(FieldType::kDouble, 63), u"inf", false, "'inf'"},
        {"decimal", Column(FieldType::kNewDecimal, 63), u"-0.50", false, "-0.50"},
        {"bits", Column(FieldType::kBit, 63), u"00101", false, "b'00101'"},
        {"damaged bits", Column(FieldType::kBit, 63), u"0'1", false, "'0''1'"},
        {"binary", Column(FieldType::kString, 63), u"0x00FF", false, "0x00FF"},
        {"empty binary", Column(FieldType::kVarchar, 63), u"", false, "''"},
        {"binary that is not hex", Column(FieldType::kBlob, 63), u"0x0G", false, "'0x0G'"},
        {"hex-looking text", varchar, u"0x41", false, "'0x41'"},
        {"spatial", Column(FieldType::kGeometry, 63), u"0x000000000101", false, "0x000000000101"},
        {"text blob", Column(FieldType::kBlob), u"a'b", false, "'a''b'"},
        {"date", Column(FieldType::kNewDate, 63), u"0000-00-00", false, "'0000-00-00'"},
        {"timestamp", Column(FieldType::kTimestamp2, 63), u"2038-01-19 03:14:07.999", false,
         "'2038-01-19 03:14:07.999'"},
        {"set", Column(FieldType::kSet), u"a,b", false, "'a,b'"},
        {"enum member with a quote", Column(FieldType::kEnum), u"it's", false, "'it''s'"},
    };
    for (const Case& c : cases) EXPECT_EQ(Literal(c.column, c.text, c.isNull), c.literal) << c.what;
}

TEST(SqlTextTest, PlainNumbersAreWhatTheServerReadsAsNumbers) {
    for (std::u16string_view yes : {u"0", u"-1", u"+7", u"1.5", u".5", u"5.", u"1e10", u"-2.5E-3"})
        EXPECT_TRUE(IsPlainNumber(yes)) << test::U8(yes);
    for (std::u16string_view no :
         {u"", u"-", u".", u"1e", u"1e+", u"1.2.3", u"--1", u"nan", u"1 ", u"0x10", u"1;"})
        EXPECT_FALSE(IsPlainNumber(no)) << test::U8(no);
}

TEST(SqlTextTest, Utf8LengthCountsWhatTheStatementTakesOnTheWire) {
    EXPECT_EQ(Utf8Length(u"abc"), 3u);
    EXPECT_EQ(Utf8Length(u"é"), 2u);
    EXPECT_EQ(Utf8Length(u"中"), 3u);
    EXPECT_EQ(Utf8Length(u"😀"), 4u);
    EXPECT_EQ(Utf8Length(std::u16string(1, char16_t(0xD800))), 3u);  // becomes U+FFFD
    EXPECT_EQ(Utf8Length(u"a😀é中"), 1u + 4u + 2u + 3u);
}

// The UTF-8 literal must be the UTF-16 literal converted, byte for byte:
// scripts and statements are built the fast way and must not change.
TEST(SqlTextTest, Utf8LiteralsAreTheBytesOfTheUtf16LiteralsConverted) {
    const CColumnDef columns[] = {
        Column(FieldType::kVarchar),    Column(FieldType::kLong, 63),
        Column(FieldType::kDouble, 63), Column(FieldType::kBit, 63),
        Column(FieldType::kString, 63), Column(FieldType::kGeometry, 63),
        Column(FieldType::kBlob),       Column(FieldType::kNewDate, 63),
    };
    const char16_t high = 0xD83D, low = 0xDE00;
    std::vector<std::u16string> texts = {
        u"",
        u"plain",
        u"NULL",
        u"-12.5e+3",
        u"0x00FF",
        u"0x0G",
        u"0101",
        std::u16string(u"\0\\\'\n\r\x1A\"(\x7F", 9),
        std::u16string(u"a\0b", 3),
        u"ünï 中 😀",
        std::u16string{high, low},
        std::u16string{high},              // a high half at the end
        std::u16string{low, u'x'},         // a low half alone
        std::u16string{high, u'\'', low},  // a pair split by an escape
        std::u16string{high, high, low},   // a lone half, then a pair
        std::u16string{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0xFFFD},
    };
    // Runs of plain ASCII, which go eight units at a time, with one unit of
    // every other kind at each place in and around such blocks.
    for (char16_t odd : {u'\'',          u'\\',          u'\n', u'\r', u'\0',
                         char16_t{0x1A}, char16_t{0x1F}, u' ',  u'\t', u'"',
                         u'&',           u'(',           u'[',  u']',  char16_t{0x7F},
                         char16_t{0x80}, char16_t{0xE9}, high,  low,   char16_t{0xFF5C}}) {
        for (size_t at = 0; at < 26; ++at) {
            std::u16string text = u"abcdefghijklmnopqrstuvwxy(";
            text[at] = odd;
            texts.push_back(text);
            texts.push_back(text.substr(0, at + 1));
        }
    }
    // Texts drawn from every kind of unit, the same for every run.
    const char16_t alphabet[] = {u'a',  u'0',  u'1',   u'x',  u'.',  u'-',  u'e',
                                 u'\'', u'\\', u'\0',  u'\n', u'\r', 0x1A,  u'(',
                                 u'"',  0xE9,  0x4E2D, high,  low,   0xFFFF};
    uint32_t seed = 12345;
    for (int n = 0; n < 2000; ++n) {
        std::u16string text;
        seed = seed * 1103515245 + 12345;
        const size_t length = seed >> 16 & 15;
        for (size_t i = 0; i < length; ++i) {
            seed = seed * 1103515245 + 12345;
            text.push_back(alphabet[(seed >> 16) % std::size(alphabet)]);
        }
        texts.push_back(text);
    }
    for (const CColumnDef& column : columns) {
        for (const std::u16string& text : texts) {
            for (bool isNull : {false, true}) {
                std::u16string wide = u"(x,";
                AppendValueLiteral(wide, column, text, isNull);
                std::string narrow = "(x,";
                AppendValueLiteralUtf8(narrow, column, text, isNull);
                ASSERT_EQ(narrow, Utf16ToUtf8(wide))
                    << "type " << column.type << ", text " << test::U8(text);
            }
        }
    }
}

// An off-page value reaches the statement in pieces cut anywhere between
// whole characters; the literal must be the one the whole text gives.
TEST(SqlTextTest, ALiteralWrittenInPiecesIsTheWholeValuesLiteral) {
    const CColumnDef columns[] = {Column(FieldType::kBlob), Column(FieldType::kBlob, 63),
                                  Column(FieldType::kVarchar), Column(FieldType::kString, 63)};
    const std::u16string texts[] = {u"",
                                    u"a",
                                    u"0x",
                                    u"0x4",
                                    u"0x41",
                                    u"0x00FF10",
                                    u"it's \\ 中",
                                    std::u16string(u"\n\0\x1A😀", 5),
                                    std::u16string(u"a\0\n'b", 6)};
    for (const CColumnDef& column : columns) {
        for (const std::u16string& text : texts) {
            // A binary value is rendered as hex digits after "0x", or as
            // nothing when empty.
            const bool hexText = text.empty() || (text.starts_with(u"0x") && text.size() % 2 == 0);
            if (column.charsetNumber == 63 && !hexText) continue;
            std::string whole = "(";
            AppendValueLiteralUtf8(whole, column, text, false);
            // Every cut into two and three pieces, never inside a pair.
            for (size_t a = 0; a <= text.size(); ++a) {
                for (size_t b = a; b <= text.size(); ++b) {
                    const auto inPair = [&](size_t at) {
                        return at > 0 && at < text.size() && text[at - 1] >= 0xD800 &&
                               text[at - 1] < 0xDC00;
                    };
                    if (inPair(a) || inPair(b)) continue;
                    std::string parts = "(";
                    CValueLiteralUtf8 literal;
                    literal.Begin(parts, column);
                    literal.Part(std::u16string_view(text).substr(0, a));
                    literal.Part(std::u16string_view(text).substr(a, b - a));
                    literal.Part(std::u16string_view(text).substr(b));
                    literal.End();
                    ASSERT_EQ(parts, whole) << "type " << column.type << ", text " << test::U8(text)
                                            << ", cut at " << a << " and " << b;
                }
            }
        }
    }
}

}  // namespace
}  // namespace brix
