#include "values/float_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace brix {

namespace {

// Decimals at or above this mean "not fixed".
constexpr int kNotFixedDecimals = 31;
// Plain notation is kept while the decimal point is at most this far right
// of the first digit (or anywhere within the digits), and this far left of
// it.
constexpr int kMaxPlainPointRight = 15;
constexpr int kMaxPlainPointLeft = 14;
constexpr int kFloatDigits = 6;
// More than any DOUBLE needs: the fewest digits that read back always win.
constexpr int kDoubleDigits = 32;

// Significant digits (no leading or trailing zeros) and where the decimal
// point goes: value = 0.DIGITS * 10^point.
struct Digits {
    char text[32] = {};
    int length = 0;
    int point = 0;
};

// Reads the digits and exponent of to_chars' scientific form "d.ddde-XX".
Digits FromScientific(const char* begin, const char* end) {
    Digits d;
    const char* p = begin;
    int exponent = 0;
    for (; p < end && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9' && d.length < 31) d.text[d.length++] = *p;
    if (p < end) std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
    d.point = exponent + 1;
    while (d.length > 1 && d.text[d.length - 1] == '0') --d.length;
    if (d.length == 1 && d.text[0] == '0') d.point = 1;
    return d;
}

// The fewest digits that read back to value, or value rounded to n
// significant digits when those are fewer.
Digits Significant(double value, int n) {
    char buffer[64];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    Digits shortest = FromScientific(buffer, r.ptr);
    if (shortest.length <= n) return shortest;
    r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific,
                      n > 0 ? n - 1 : 0);
    return FromScientific(buffer, r.ptr);
}

// value rounded to n digits after the decimal point; no digits when that
// leaves nothing but zeros.
Digits Fixed(double value, int n) {
    char buffer[400];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, n);
    Digits d;
    int integerDigits = 0;
    bool seenPoint = false;
    bool leading = true;
    for (const char* p = buffer; p < r.ptr; ++p) {
        if (*p == '.') {
            seenPoint = true;
            continue;
        }
        if (!seenPoint) ++integerDigits;
        if (leading && *p == '0') {
            if (seenPoint) --d.point;
            continue;
        }
        leading = false;
        if (d.length < 31) d.text[d.length++] = *p;
    }
    if (d.length == 0) return d;
    if (integerDigits > 0 && buffer[0] != '0') d.point = integerDigits;
    while (d.length > 1 && d.text[d.length - 1] == '0') --d.length;
    return d;
}

void AppendAscii(std::u16string& out, const char* begin, const char* end) {
    for (const char* p = begin; p < end; ++p) out.push_back(static_cast<char16_t>(*p));
}

void AppendPlain(std::u16string& out, const Digits& d) {
    if (d.length == 0) {
        out.push_back(u'0');
        return;
    }
    if (d.point <= 0) {
        out += u"0.";
        for (int i = d.point; i < 0; ++i) out.push_back(u'0');
        AppendAscii(out, d.text, d.text + d.length);
        return;
    }
    for (int i = 0; i < d.length; ++i) {
        out.push_back(static_cast<char16_t>(d.text[i]));
        if (i + 1 == d.point && i + 1 < d.length) out.push_back(u'.');
    }
    for (int i = d.length; i < d.point; ++i) out.push_back(u'0');
}

void AppendExponent(std::u16string& out, const Digits& d) {
    out.push_back(static_cast<char16_t>(d.text[0]));
    if (d.length > 1) {
        out.push_back(u'.');
        AppendAscii(out, d.text + 1, d.text + d.length);
    }
    out.push_back(u'e');
    int exponent = d.point - 1;
    if (exponent < 0) {
        out.push_back(u'-');
        exponent = -exponent;
    }
    char digits[8];
    const auto r = std::to_chars(digits, digits + sizeof digits, exponent);
    AppendAscii(out, digits, r.ptr);
}

}  // namespace

void AppendServerFloat(std::u16string& out, double value, bool isFloat, int decimals) {
    if (!std::isfinite(value)) {
        out += std::isnan(value) ? u"nan" : (value < 0 ? u"-inf" : u"inf");
        return;
    }
    const bool negative = std::signbit(value) && value != 0;
    const double magnitude = std::fabs(value);
    if (decimals < kNotFixedDecimals) {
        // A damaged definition may give a negative count.
        decimals = std::max(decimals, 0);
        const Digits d = Fixed(magnitude, decimals);
        if (negative && d.length != 0) out.push_back(u'-');
        // Every decimal is written, zeros too.
        const size_t start = out.size();
        AppendPlain(out, d);
        const size_t pointAt = out.find(u'.', start);
        const int have =
            pointAt == std::u16string::npos ? 0 : static_cast<int>(out.size() - pointAt - 1);
        if (decimals > 0 && pointAt == std::u16string::npos) out.push_back(u'.');
        for (int i = have; i < decimals; ++i) out.push_back(u'0');
        return;
    }
    Digits d;
    if (isFloat) {
        d = Significant(magnitude, kFloatDigits);
        // Six digits that make another FLOAT would change the value saved.
        char buffer[48];
        char* p = std::copy_n(d.text, d.length, buffer);
        *p++ = 'e';
        p = std::to_chars(p, buffer + sizeof buffer, d.point - d.length).ptr;
        float back = 0;
        std::from_chars(buffer, p, back);
        if (back != static_cast<float>(magnitude)) {
            const auto r =
                std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(magnitude),
                              std::chars_format::scientific);
            d = FromScientific(buffer, r.ptr);
        }
    } else {
        d = Significant(magnitude, kDoubleDigits);
    }
    if (negative) out.push_back(u'-');
    if (d.point >= -kMaxPlainPointLeft && (d.point <= kMaxPlainPointRight || d.length > d.point))
        AppendPlain(out, d);
    else
        AppendExponent(out, d);
}

}  // namespace brix
