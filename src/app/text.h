#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace brix {

// Appends ASCII text (or any text whose bytes are all below 0x80) as UTF-16.
void AppendAscii(std::u16string& out, std::string_view ascii);
std::u16string WidenAscii(std::string_view ascii);

// Appends UTF-8 bytes as UTF-16. Every invalid or truncated sequence becomes
// one U+FFFD; zero bytes are copied as U+0000.
void AppendUtf8(std::u16string& out, std::span<const uint8_t> utf8);
std::u16string Utf8ToUtf16(std::string_view utf8);

// Appends one Unicode code point as UTF-16; a surrogate or a value beyond
// U+10FFFF becomes U+FFFD.
void AppendCodePoint(std::u16string& out, uint32_t cp);

// Number of UTF-16 units that AppendUtf8 would produce for the bytes.
size_t CountUtf16UnitsOfUtf8(std::span<const uint8_t> utf8);

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::span<const uint8_t> bytes);

// Appends UTF-16 text as UTF-8; an unpaired surrogate becomes U+FFFD.
void AppendUtf16AsUtf8(std::string& out, std::u16string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// UTF-8 takes at most this many bytes per UTF-16 unit (a pair of units takes
// four).
inline constexpr size_t kMaxUtf8PerUnit = 3;

// Writes the character at in (one unit, or two for a surrogate pair) as UTF-8
// at p and moves in past it; returns the end of what was written. A lone
// surrogate becomes U+FFFD.
char* WriteUtf16AsUtf8(char* p, const char16_t*& in, const char16_t* end);

inline std::span<const uint8_t> AsBytes(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

}  // namespace brix
