#include <gtest/gtest.h>

#include "support/test_support.h"
#include "values/value_plausibility.h"

namespace brix {
namespace {

using test::Bytes;

CColumnDef Column(int type, int length = 0) {
    CColumnDef c;
    c.type = type;
    c.length = length;
    return c;
}

TEST(ValuePlausibilityTest, TellsValuesAColumnCanHoldFromBytesItCannot) {
    const CAppState& app = test::TestApp();
    RenderContext context;
    context.decoders = &app.decoders();
    CColumnDef decimal = Column(FieldType::kNewDecimal);
    decimal.precision = 10;
    decimal.decimals = 2;
    CColumnDef enumColumn = Column(FieldType::kEnum);
    enumColumn.enumCount = 3;
    CColumnDef setColumn = Column(FieldType::kSet);
    setColumn.enumCount = 3;
    CColumnDef utf8 = Column(FieldType::kVarchar, 8);
    utf8.charsetNumber = 45;
    utf8.decoder = app.decoders().ForCollation(45);
    ASSERT_NE(utf8.decoder, nullptr);
    CColumnDef datetime2 = Column(FieldType::kDateTime2);
    struct Case {
        const char* what;
        CColumnDef column;
        std::vector<uint8_t> bytes;
        bool plausible;
    };
    const Case cases[] = {
        // DECIMAL(10,2): 8 integer digits in 4 bytes, 2 fraction digits in 1.
        {"decimal 1.05", decimal, Bytes({0x80, 0, 0, 1, 5}), true},
        {"decimal -1.05", decimal, Bytes({0x7F, 0xFF, 0xFF, 0xFE, 0xFA}), true},
        {"decimal fraction past 99", decimal, Bytes({0x80, 0, 0, 1, 100}), false},
        {"decimal integer past 8 digits", decimal, Bytes({0x85, 0xF5, 0xE1, 0x00, 0}), false},
        {"decimal cut short", decimal, Bytes({0x80, 0, 0}), false},
        // DATE: day | month << 5 | year << 9, little-endian.
        {"date 2001-02-03", Column(FieldType::kNewDate), Bytes({0x43, 0xA2, 0x0F}), true},
        {"date month 13", Column(FieldType::kNewDate), Bytes({0xA3, 0xA3, 0x0F}), false},
        // DATETIME: YYYYMMDDhhmmss as a little-endian integer.
        {"datetime 2020-02-03 04:05:06", Column(FieldType::kDateTime),
         Bytes({0xFA, 0x36, 0xED, 0x39, 0x5F, 0x12, 0, 0}), true},
        {"datetime hour 24", Column(FieldType::kDateTime),
         Bytes({0x3A, 0x44, 0xF0, 0x39, 0x5F, 0x12, 0, 0}), false},
        // DATETIME2: sign bit, year * 13 + month, day, hour, minute, second.
        {"datetime2 zero date", datetime2, Bytes({0x80, 0, 0, 0, 0}), true},
        {"datetime2 without its sign bit", datetime2, Bytes({0x00, 0, 0, 0, 0}), false},
        {"datetime2 minute 60", datetime2, Bytes({0x80, 0, 0, 0x0F, 0}), false},
        {"enum member 3", enumColumn, Bytes({3}), true},
        {"enum index past the members", enumColumn, Bytes({4}), false},
        {"enum error value", enumColumn, Bytes({0}), false},
        {"set of the members", setColumn, Bytes({7}), true},
        {"set bit past the members", setColumn, Bytes({8}), false},
        {"double 1.0", Column(FieldType::kDouble), Bytes({0, 0, 0, 0, 0, 0, 0xF0, 0x3F}), true},
        {"double NaN", Column(FieldType::kDouble), Bytes({1, 0, 0, 0, 0, 0, 0xF8, 0x7F}), false},
        {"utf8 text", utf8, Bytes({'g', 'r', 0xC3, 0xB6}), true},
        {"utf8 text with a broken sequence", utf8, Bytes({'g', 0xC3, 'r'}), false},
        {"text with a zero", utf8, Bytes({'a', 0, 'b'}), false},
        {"text longer than its column", utf8, Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'}),
         false},
        {"int of any bytes", Column(FieldType::kLong), Bytes({0xFF, 0xFF, 0xFF, 0xFF}), true},
        {"int cut short", Column(FieldType::kLong), Bytes({0xFF}), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlausibleStoredValue(c.column, c.bytes, context), c.plausible) << c.what;
}

}  // namespace
}  // namespace brix
