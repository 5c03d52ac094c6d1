#include "save/sql_text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/text.h"
#include "schema/field_types.h"

namespace brix {

namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

bool IsHexDigit(char16_t c) {
    return IsDigit(c) || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// "0x" and an even, non-zero number of hex digits: a binary value as export
// mode renders it.
bool IsHexLiteral(std::u16string_view text) {
    if (text.size() < 4 || text.size() % 2 != 0 || text[0] != u'0' || text[1] != u'x') return false;
    for (size_t i = 2; i < text.size(); ++i)
        if (!IsHexDigit(text[i])) return false;
    return true;
}

bool IsBitText(std::u16string_view text) {
    if (text.empty()) return false;
    for (char16_t c : text)
        if (c != u'0' && c != u'1') return false;
    return true;
}

// Types whose values export mode renders as hex: binary strings and BLOBs,
// and spatial values.
bool RendersAsHex(const CColumnDef& column) {
    if (column.type == FieldType::kGeometry) return true;
    // UUID and INET values render as their text, which the server takes back.
    return column.dataType == ColumnDataType::kPlain && column.charsetNumber == kBinaryCharset &&
           (IsStringType(column.type) || IsBlobType(column.type));
}

// Appends ASCII text that needs no escaping (numbers, hex and bit digits).
void AppendAsciiUtf8(std::string& out, std::u16string_view text) {
    const size_t start = out.size();
    out.resize(start + text.size());
    char* p = out.data() + start;
    for (char16_t c : text) *p++ = static_cast<char>(c);
}

}  // namespace

bool IsWritableName(std::u16string_view name) {
    for (size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if (c == u'\0' || (c >= 0xDC00 && c < 0xE000)) return false;
        if (c >= 0xD800 && c < 0xDC00) {
            if (i + 1 == name.size() || name[i + 1] < 0xDC00 || name[i + 1] >= 0xE000) return false;
            ++i;
        }
    }
    return true;
}

std::u16string QuotedName(std::u16string_view name) {
    std::u16string out;
    AppendQuotedName(out, name);
    return out;
}

void AppendStringLiteral(std::u16string& out, std::u16string_view text) {
    out.reserve(out.size() + text.size() + 2);
    out.push_back(u'\'');
    size_t run = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t escape;
        switch (text[i]) {
            case u'\\':
                escape = u'\\';
                break;
            case u'\'':
                // A doubled quote means one quote with and without
                // NO_BACKSLASH_ESCAPES, so the literal ends where it should in
                // either mode.
                escape = u'\'';
                out.append(text.substr(run, i - run));
                out.push_back(u'\'');
                out.push_back(escape);
                run = i + 1;
                continue;
            case u'\0':
                escape = u'0';
                break;
            case u'\n':
                escape = u'n';
                break;
            case u'\r':
                escape = u'r';
                break;
            case u'\x1A':
                escape = u'Z';
                break;
            default:
                continue;
        }
        out.append(text.substr(run, i - run));
        out.push_back(u'\\');
        out.push_back(escape);
        run = i + 1;
    }
    out.append(text.substr(run));
    out.push_back(u'\'');
}

std::u16string StringLiteral(std::u16string_view text) {
    std::u16string out;
    AppendStringLiteral(out, text);
    return out;
}

bool IsPlainNumber(std::u16string_view text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
    size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == u'.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
        size_t exponentDigits = 0;
        while (i < text.size() && IsDigit(text[i])) ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    return i == text.size();
}

void AppendValueLiteral(std::u16string& out, const CColumnDef& column, std::u16string_view text,
                        bool isNull) {
    if (isNull) {
        out += u"NULL";
        return;
    }
    if (IsNumericType(column.type)) {
        if (IsPlainNumber(text)) {
            out += text;
            return;
        }
    } else if (column.type == FieldType::kBit) {
        if (IsBitText(text)) {
            out += u"b'";
            out += text;
            out.push_back(u'\'');
            return;
        }
    } else if (RendersAsHex(column)) {
        // An empty binary value renders as no text at all.
        if (IsHexLiteral(text)) {
            out += text;
            return;
        }
    }
    AppendStringLiteral(out, text);
}

void AppendEscapedUtf8(std::string& out, std::u16string_view text) {
    // Room for the longest form: three bytes a unit (an escape takes two for
    // one ASCII unit, a pair four for two units); written through a pointer
    // and cut back to what was used.
    const size_t start = out.size();
    out.resize(start + kMaxUtf8PerUnit * text.size());
    char* p = out.data() + start;
    const char16_t* in = text.data();
    const char16_t* const end = in + text.size();
    while (in != end) {
#if defined(__SSE2__)
        // Eight units at a time while all of them are ASCII that needs no
        // escape (space up to DEL, but the quote and the backslash): narrowed
        // as they are.
        while (end - in >= 8) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
            const __m128i ascii =
                _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80))),
                                _mm_setzero_si128());
            const __m128i fromSpace = _mm_cmpgt_epi16(units, _mm_set1_epi16(u' ' - 1));
            const __m128i escaped = _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(u'\\')),
                                                 _mm_cmpeq_epi16(units, _mm_set1_epi16(u'\'')));
            const __m128i plain = _mm_andnot_si128(escaped, _mm_and_si128(ascii, fromSpace));
            if (_mm_movemask_epi8(plain) != 0xFFFF) break;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(units, units));
            in += 8;
            p += 8;
        }
        if (in == end) break;
#endif
        const char16_t c = *in;
        if (c >= 0x80) {
            p = WriteUtf16AsUtf8(p, in, end);
            continue;
        }
        ++in;
        // The characters that need an escape are all below '(' or are '\\'.
        if (c >= u'(' && c != u'\\') {
            *p++ = static_cast<char>(c);
            continue;
        }
        switch (c) {
            case u'\\':
                *p++ = '\\';
                *p++ = '\\';
                break;
            case u'\'':
                *p++ = '\'';
                *p++ = '\'';
                break;
            case u'\0':
                *p++ = '\\';
                *p++ = '0';
                break;
            case u'\n':
                *p++ = '\\';
                *p++ = 'n';
                break;
            case u'\r':
                *p++ = '\\';
                *p++ = 'r';
                break;
            case u'\x1A':
                *p++ = '\\';
                *p++ = 'Z';
                break;
            default:
                *p++ = static_cast<char>(c);
        }
    }
    out.resize(static_cast<size_t>(p - out.data()));
}

void AppendStringLiteralUtf8(std::string& out, std::u16string_view text) {
    out.push_back('\'');
    AppendEscapedUtf8(out, text);
    out.push_back('\'');
}

void CValueLiteralUtf8::Begin(std::string& out, const CColumnDef& column) {
    out_ = &out;
    hex_ = RendersAsHex(column);
    start_ = out.size();
    if (!hex_) out.push_back('\'');
}

void CValueLiteralUtf8::Part(std::u16string_view text) {
    if (hex_) {
        AppendAsciiUtf8(*out_, text);
    } else {
        AppendEscapedUtf8(*out_, text);
    }
}

void CValueLiteralUtf8::End() {
    if (!hex_) {
        out_->push_back('\'');
        return;
    }
    // A binary value that came out shorter than "0x" and one byte (an empty
    // value, or a broken chain with nothing kept) is no hex literal: written
    // as a string literal of its text, as a whole value would be.
    if (out_->size() - start_ >= 4) return;
    const std::string text = out_->substr(start_);
    out_->resize(start_);
    out_->push_back('\'');
    out_->append(text);
    out_->push_back('\'');
}

void AppendValueLiteralUtf8(std::string& out, const CColumnDef& column, std::u16string_view text,
                            bool isNull) {
    if (isNull) {
        out += "NULL";
        return;
    }
    if (IsNumericType(column.type)) {
        if (IsPlainNumber(text)) {
            AppendAsciiUtf8(out, text);
            return;
        }
    } else if (column.type == FieldType::kBit) {
        if (IsBitText(text)) {
            out += "b'";
            AppendAsciiUtf8(out, text);
            out.push_back('\'');
            return;
        }
    } else if (RendersAsHex(column)) {
        if (IsHexLiteral(text)) {
            AppendAsciiUtf8(out, text);
            return;
        }
    }
    AppendStringLiteralUtf8(out, text);
}

size_t Utf8Length(std::u16string_view text) {
    size_t bytes = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            bytes += 1;
        } else if (c < 0x800) {
            bytes += 2;
        } else if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] < 0xE000) {
            bytes += 4;  // a surrogate pair: one code point beyond the BMP
            ++i;
        } else {
            bytes += 3;  // an unpaired surrogate becomes U+FFFD, also 3 bytes
        }
    }
    return bytes;
}

}  // namespace brix
