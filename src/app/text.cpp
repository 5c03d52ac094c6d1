#include "app/text.h"

namespace brix {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at bytes[i]; returns the code point, or -1 for an
// invalid sequence, and sets length to the bytes it covers (at least 1).
int32_t DecodeUtf8Sequence(std::span<const uint8_t> bytes, size_t i, size_t& length) {
    const uint8_t lead = bytes[i];
    length = 1;
    if (lead < 0x80) return lead;
    size_t need;
    int32_t cp;
    int32_t min;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1, cp = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2, cp = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3, cp = lead & 0x07, min = 0x10000;
    } else {
        return -1;
    }
    for (size_t k = 1; k <= need; ++k) {
        if (i + k >= bytes.size() || (bytes[i + k] & 0xC0) != 0x80) {
            length = k;
            return -1;
        }
        cp = cp << 6 | (bytes[i + k] & 0x3F);
    }
    length = need + 1;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    return cp;
}

}  // namespace

void AppendAscii(std::u16string& out, std::string_view ascii) {
    size_t at = out.size();
    out.resize(at + ascii.size());
    for (char c : ascii) out[at++] = static_cast<unsigned char>(c);
}

std::u16string WidenAscii(std::string_view ascii) {
    std::u16string out;
    AppendAscii(out, ascii);
    return out;
}

void AppendUtf8(std::u16string& out, std::span<const uint8_t> utf8) {
    for (size_t i = 0; i < utf8.size();) {
        if (utf8[i] < 0x80) {
            out.push_back(utf8[i++]);
            continue;
        }
        size_t length;
        int32_t cp = DecodeUtf8Sequence(utf8, i, length);
        i += length;
        AppendCodePoint(out, cp < 0 ? kReplacement : static_cast<uint32_t>(cp));
    }
}

void AppendCodePoint(std::u16string& out, uint32_t cp) {
    if (cp >= 0x110000 || (cp >= 0xD800 && cp <= 0xDFFF)) {
        out.push_back(kReplacement);
    } else if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    AppendUtf8(out, AsBytes(utf8));
    return out;
}

size_t CountUtf16UnitsOfUtf8(std::span<const uint8_t> utf8) {
    size_t units = 0;
    for (size_t i = 0; i < utf8.size();) {
        size_t length;
        int32_t cp = DecodeUtf8Sequence(utf8, i, length);
        i += length;
        units += cp >= 0x10000 ? 2 : 1;
    }
    return units;
}

bool IsValidUtf8(std::span<const uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size();) {
        size_t length;
        if (DecodeUtf8Sequence(bytes, i, length) < 0) return false;
        i += length;
    }
    return true;
}

char* WriteUtf16AsUtf8(char* p, const char16_t*& in, const char16_t* end) {
    uint32_t cp = *in++;
    if (cp < 0x80) {
        *p++ = static_cast<char>(cp);
        return p;
    }
    if (cp >= 0xD800 && cp <= 0xDBFF && in != end && *in >= 0xDC00 && *in <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (*in++ - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
        cp = kReplacement;
    }
    if (cp < 0x800) {
        *p++ = static_cast<char>(0xC0 | cp >> 6);
    } else if (cp < 0x10000) {
        *p++ = static_cast<char>(0xE0 | cp >> 12);
        *p++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    } else {
        // Two units became four bytes: within the room of six.
        *p++ = static_cast<char>(0xF0 | cp >> 18);
        *p++ = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        *p++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    }
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
    return p;
}

void AppendUtf16AsUtf8(std::string& out, std::u16string_view text) {
    // Room for the longest encoding (three bytes per unit), written through a
    // pointer and cut back to what was used.
    const size_t start = out.size();
    out.resize(start + kMaxUtf8PerUnit * text.size());
    char* p = out.data() + start;
    const char16_t* in = text.data();
    const char16_t* end = in + text.size();
    while (in != end) {
        if (*in < 0x80) {
            *p++ = static_cast<char>(*in++);
        } else {
            // A copy of in for the call, so that in itself stays in a register.
            const char16_t* at = in;
            p = WriteUtf16AsUtf8(p, at, end);
            in = at;
        }
    }
    out.resize(static_cast<size_t>(p - out.data()));
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendUtf16AsUtf8(out, text);
    return out;
}

}  // namespace brix
