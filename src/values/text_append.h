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

// Appends an integer in decimal, at least minDigits digits (zeros in front);
// a negative number gets its sign before the zeros.
template <typename Int>
void AppendInteger(std::u16string& out, Int value, int minDigits = 1) {
    char buffer[48];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    const char* digits = buffer;
    const bool negative = value < 0;
    if (negative) ++digits;
    const size_t count = static_cast<size_t>(end - digits);
    const size_t zeros = minDigits > 0 && count < static_cast<size_t>(minDigits)
                             ? static_cast<size_t>(minDigits) - count
                             : 0;
    size_t at = out.size();
    out.resize(at + (negative ? 1 : 0) + zeros + count);
    char16_t* p = out.data() + at;
    if (negative) *p++ = u'-';
    for (size_t i = 0; i < zeros; ++i) *p++ = u'0';
    for (const char* d = digits; d != end; ++d) *p++ = static_cast<unsigned char>(*d);
}

}  // namespace brix
