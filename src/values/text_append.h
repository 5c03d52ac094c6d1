#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace brix {

// Appends the characters of an ASCII range as UTF-16.
inline void AppendChars(std::u16string& out, const char* begin, const char* end) {
    size_t at = out.size();
    out.resize(at + static_cast<size_t>(end - begin));
    for (const char* p = begin; p != end; ++p) out[at++] = static_cast<unsigned char>(*p);
}

inline void AppendLiteral(std::u16string& out, std::string_view ascii) {
    AppendChars(out, ascii.data(), ascii.data() + ascii.size());
}

// "00" to "99": two digits a step when writing a number.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the digits of value so that they end at end; returns where they
// start. At most 20 characters.
inline char16_t* WriteDigitsBackwards(char16_t* end, uint64_t value) {
    while (value >= 100) {
        const size_t pair = static_cast<size_t>(value % 100) * 2;
        value /= 100;
        *--end = static_cast<char16_t>(kDigitPairs[pair + 1]);
        *--end = static_cast<char16_t>(kDigitPairs[pair]);
    }
    if (value >= 10) {
        const size_t pair = static_cast<size_t>(value) * 2;
        *--end = static_cast<char16_t>(kDigitPairs[pair + 1]);
        *--end = static_cast<char16_t>(kDigitPairs[pair]);
    } else {
        *--end = static_cast<char16_t>(u'0' + value);
    }
    return end;
}

// Appends an integer in decimal, at least minDigits digits (zeros in front);
// a negative number gets its sign before the zeros.
template <typename Int>
void AppendInteger(std::u16string& out, Int value, int minDigits = 1) {
    static_assert(sizeof(Int) <= sizeof(uint64_t));
    const bool negative = value < 0;
    // The magnitude in unsigned arithmetic, so that the lowest value of a
    // signed type has one too.
    const uint64_t magnitude =
        negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char16_t buffer[24];
    char16_t* const end = buffer + sizeof buffer / sizeof buffer[0];
    const char16_t* digits = WriteDigitsBackwards(end, magnitude);
    const size_t count = static_cast<size_t>(end - digits);
    if (!negative && (minDigits <= 1 || count >= static_cast<size_t>(minDigits))) {
        out.append(digits, count);
        return;
    }
    const size_t zeros = minDigits > 0 && count < static_cast<size_t>(minDigits)
                             ? static_cast<size_t>(minDigits) - count
                             : 0;
    if (negative) out.push_back(u'-');
    out.append(zeros, u'0');
    out.append(digits, count);
}

}  // namespace brix
