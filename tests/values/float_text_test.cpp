#include "values/float_text.h"

#include <gtest/gtest.h>

#include <limits>

#include "support/test_support.h"

namespace brix {
namespace {

// Texts the servers printed for these values in the fixture tables, and the
// edges of plain and e notation.
TEST(FloatTextTest, ValuesAreWrittenAsTheServerWritesThem) {
    struct Case {
        double value;
        bool isFloat;
        int decimals;
        const char* text;
    };
    constexpr int kNotFixed = 31;
    const Case cases[] = {
        {-1.7976931348623157e308, false, kNotFixed, "-1.7976931348623157e308"},
        {-2.2250738585072014e-308, false, kNotFixed, "-2.2250738585072014e-308"},
        {0.1, false, kNotFixed, "0.1"},
        {1e-5, false, kNotFixed, "0.00001"},
        {1.5e-14, false, kNotFixed, "0.000000000000015"},
        {1e-15, false, kNotFixed, "0.000000000000001"},
        {1e-16, false, kNotFixed, "1e-16"},
        {1e14, false, kNotFixed, "100000000000000"},
        {1e15, false, kNotFixed, "1e15"},
        {123456789012345.6, false, kNotFixed, "123456789012345.6"},
        {123456789012345678.0, false, kNotFixed, "1.2345678901234568e17"},
        {0.0, false, kNotFixed, "0"},
        {-2.5, false, kNotFixed, "-2.5"},
        {static_cast<double>(3.4e38f), true, kNotFixed, "3.4e38"},
        {static_cast<double>(-3.40282e38f), true, kNotFixed, "-3.40282e38"},
        {static_cast<double>(1e-9f), true, kNotFixed, "0.000000001"},
        {static_cast<double>(0.1f), true, kNotFixed, "0.1"},
        // Six digits would read back to another FLOAT: the stored one wins.
        {static_cast<double>(12345679.0f), true, kNotFixed, "12345679"},
        {static_cast<double>(1.0f / 7), true, kNotFixed, "0.14285715"},
        {-1.5, false, 3, "-1.500"},
        {0.0, true, 3, "0.000"},
        {static_cast<double>(9999.999f), true, 3, "9999.999"},
        {-0.00001, false, 5, "-0.00001"},
        {123.0, false, 0, "123"},
        {1.25, false, -3, "1"},
        {std::numeric_limits<double>::quiet_NaN(), false, kNotFixed, "nan"},
        {-std::numeric_limits<double>::infinity(), false, 2, "-inf"},
    };
    for (const Case& c : cases) {
        std::u16string out;
        AppendServerFloat(out, c.value, c.isFloat, c.decimals);
        EXPECT_EQ(test::U8(out), c.text) << c.value << " decimals " << c.decimals;
    }
}

}  // namespace
}  // namespace brix
