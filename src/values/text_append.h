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
    if (value < 0) {
        out.push_back(u'-');
        ++digits;
    }
    for (int n = static_cast<int>(end - digits); n < minDigits; ++n) out.push_back(u'0');
    AppendChars(out, digits, end);
}

}  // namespace brix
