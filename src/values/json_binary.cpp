#include "values/json_binary.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "app/text.h"
#include "values/binary_decimal.h"
#include "values/text_append.h"

namespace brix {

namespace {

// Type bytes of the stored form.
namespace JsonType {
constexpr uint8_t kSmallObject = 0x00;
constexpr uint8_t kLargeObject = 0x01;
constexpr uint8_t kSmallArray = 0x02;
constexpr uint8_t kLargeArray = 0x03;
constexpr uint8_t kLiteral = 0x04;
constexpr uint8_t kInt16 = 0x05;
constexpr uint8_t kUint16 = 0x06;
constexpr uint8_t kInt32 = 0x07;
constexpr uint8_t kUint32 = 0x08;
constexpr uint8_t kInt64 = 0x09;
constexpr uint8_t kUint64 = 0x0A;
constexpr uint8_t kDouble = 0x0B;
constexpr uint8_t kString = 0x0C;
constexpr uint8_t kOpaque = 0x0F;
}  // namespace JsonType

constexpr uint8_t kNullLiteral = 0x00;
constexpr uint8_t kTrueLiteral = 0x01;
constexpr uint8_t kFalseLiteral = 0x02;

// Field types an opaque value names that the server prints as text of their
// own rather than as base64.
constexpr uint8_t kOpaqueTimestamp = 7;
constexpr uint8_t kOpaqueDate = 10;
constexpr uint8_t kOpaqueTime = 11;
constexpr uint8_t kOpaqueDateTime = 12;
constexpr uint8_t kOpaqueNewDecimal = 246;
constexpr uint8_t kOpaqueVarString = 253;

// Dates and times are stored as one packed little-endian 64-bit integer.
constexpr size_t kPackedTemporalSize = 8;
// A variable-length length takes at most five bytes (seven bits each).
constexpr size_t kMaxVariableLengthBytes = 5;
// The most digits after the point a DECIMAL has.
constexpr int kMaxDecimalScale = 30;

// The text may grow to this many UTF-16 units per input byte (plus a little):
// far more than any document the server writes needs (a control character
// in a string, 6 units for 1 byte, is the most).
constexpr size_t kTextUnitsPerByte = 16;
constexpr size_t kTextUnitsExtra = 64;

// The server's base64 breaks its lines after this many characters.
constexpr size_t kBase64LineLength = 76;

constexpr char kLowerHex[] = "0123456789abcdef";
constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// A small or large object or array: two counts (elements, bytes), for an
// object a key entry per member (offset, 2-byte length), then a value entry
// per element (type byte, then an offset or the value itself for the types
// that fit). Offsets count from the element count.
struct ContainerLayout {
    size_t offsetSize;
    size_t keyEntrySize;
    size_t valueEntrySize;
};

ContainerLayout LayoutOf(bool large) {
    const size_t offsetSize = large ? 4 : 2;
    return {offsetSize, offsetSize + 2, 1 + offsetSize};
}

uint32_t LoadOffset(ByteSpan b, size_t at, bool large) {
    return large ? LoadU32le(b, at) : LoadU16le(b, at);
}

// Whether a value of the type sits in its value entry instead of at an offset.
bool IsInlined(uint8_t type, bool large) {
    switch (type) {
        case JsonType::kLiteral:
        case JsonType::kInt16:
        case JsonType::kUint16:
            return true;
        case JsonType::kInt32:
        case JsonType::kUint32:
            return large;
        default:
            return false;
    }
}

// Reads a length of seven bits a byte, lowest bits first, the top bit set on
// every byte but the last. False when it does not end within the bytes or
// within five bytes, or passes 32 bits.
bool ReadVariableLength(ByteSpan b, uint32_t& length, size_t& used) {
    uint64_t value = 0;
    for (size_t i = 0; i < b.size() && i < kMaxVariableLengthBytes; ++i) {
        value |= static_cast<uint64_t>(b[i] & 0x7F) << (7 * i);
        if ((b[i] & 0x80) == 0) {
            if (value > UINT32_MAX) return false;
            length = static_cast<uint32_t>(value);
            used = i + 1;
            return true;
        }
    }
    return false;
}

class CJsonTextWriter {
  public:
    CJsonTextWriter(std::u16string& out, size_t inputSize)
        : out_(out), limit_(out.size() + kTextUnitsExtra + kTextUnitsPerByte * inputSize) {}

    bool Document(ByteSpan bytes) {
        // An empty value is what a NOT NULL column gets from a NULL inserted
        // without strict mode; the server reads it as the null literal.
        if (bytes.empty()) {
            AppendLiteral(out_, "null");
            return true;
        }
        return Value(bytes[0], bytes.subspan(1), 0);
    }

  private:
    // One value of the type whose bytes start data; data runs to the end of
    // the value that holds it. depth counts the arrays and objects around it.
    bool Value(uint8_t type, ByteSpan data, int depth) {
        if (out_.size() > limit_) return false;
        switch (type) {
            case JsonType::kSmallObject:
            case JsonType::kLargeObject:
                return Container(true, type == JsonType::kLargeObject, data, depth);
            case JsonType::kSmallArray:
            case JsonType::kLargeArray:
                return Container(false, type == JsonType::kLargeArray, data, depth);
            case JsonType::kLiteral:
                if (data.empty()) return false;
                switch (data[0]) {
                    case kNullLiteral:
                        AppendLiteral(out_, "null");
                        return true;
                    case kTrueLiteral:
                        AppendLiteral(out_, "true");
                        return true;
                    case kFalseLiteral:
                        AppendLiteral(out_, "false");
                        return true;
                    default:
                        return false;
                }
            case JsonType::kInt16:
                if (data.size() < 2) return false;
                AppendInteger(out_, static_cast<int16_t>(LoadU16le(data, 0)));
                return true;
            case JsonType::kUint16:
                if (data.size() < 2) return false;
                AppendInteger(out_, LoadU16le(data, 0));
                return true;
            case JsonType::kInt32:
                if (data.size() < 4) return false;
                AppendInteger(out_, static_cast<int32_t>(LoadU32le(data, 0)));
                return true;
            case JsonType::kUint32:
                if (data.size() < 4) return false;
                AppendInteger(out_, LoadU32le(data, 0));
                return true;
            case JsonType::kInt64:
                if (data.size() < 8) return false;
                AppendInteger(out_, static_cast<int64_t>(LoadU64le(data, 0)));
                return true;
            case JsonType::kUint64:
                if (data.size() < 8) return false;
                AppendInteger(out_, LoadU64le(data, 0));
                return true;
            case JsonType::kDouble: {
                if (data.size() < 8) return false;
                const uint64_t raw = LoadU64le(data, 0);
                double v;
                std::memcpy(&v, &raw, sizeof v);
                Double(v);
                return true;
            }
            case JsonType::kString: {
                ByteSpan text;
                if (!LengthPrefixed(data, text)) return false;
                QuotedString(text);
                return true;
            }
            case JsonType::kOpaque: {
                ByteSpan value;
                if (data.empty() || !LengthPrefixed(data.subspan(1), value)) return false;
                return Opaque(data[0], value);
            }
            default:
                return false;
        }
    }

    // The bytes after a variable-length length, as many as it says.
    static bool LengthPrefixed(ByteSpan data, ByteSpan& value) {
        uint32_t length = 0;
        size_t used = 0;
        if (!ReadVariableLength(data, length, used)) return false;
        if (length > data.size() - used) return false;
        value = data.subspan(used, length);
        return true;
    }

    bool Container(bool isObject, bool large, ByteSpan data, int depth) {
        if (depth >= kMaxJsonDepth) return false;
        const ContainerLayout layout = LayoutOf(large);
        if (data.size() < 2 * layout.offsetSize) return false;
        const uint64_t count = LoadOffset(data, 0, large);
        const uint64_t size = LoadOffset(data, layout.offsetSize, large);
        if (size > data.size()) return false;
        const uint64_t keyEntriesAt = 2 * layout.offsetSize;
        const uint64_t valueEntriesAt = keyEntriesAt + (isObject ? count * layout.keyEntrySize : 0);
        const uint64_t headerSize = valueEntriesAt + count * layout.valueEntrySize;
        if (headerSize > size) return false;
        // From here on every entry lies within the value: count is bounded
        // by its size.
        const ByteSpan value = data.first(static_cast<size_t>(size));
        out_.push_back(isObject ? u'{' : u'[');
        for (uint64_t i = 0; i < count; ++i) {
            if (i > 0) AppendLiteral(out_, ", ");
            if (isObject) {
                const size_t entry = static_cast<size_t>(keyEntriesAt + i * layout.keyEntrySize);
                const uint64_t keyAt = LoadOffset(value, entry, large);
                const uint64_t keyLength = LoadU16le(value, entry + layout.offsetSize);
                // Keys follow the entries.
                if (keyAt < headerSize || keyAt + keyLength > size) return false;
                QuotedString(
                    value.subspan(static_cast<size_t>(keyAt), static_cast<size_t>(keyLength)));
                AppendLiteral(out_, ": ");
            }
            const size_t entry = static_cast<size_t>(valueEntriesAt + i * layout.valueEntrySize);
            const uint8_t type = value[entry];
            if (IsInlined(type, large)) {
                if (!Value(type, value.subspan(entry + 1, layout.valueEntrySize - 1), depth + 1))
                    return false;
                continue;
            }
            // A value lies after its own entry: each nested value is shorter
            // than the one holding it, so offsets cannot loop.
            const uint64_t at = LoadOffset(value, entry + 1, large);
            if (at > size || at < entry + layout.valueEntrySize) return false;
            if (!Value(type, value.subspan(static_cast<size_t>(at)), depth + 1)) return false;
        }
        out_.push_back(isObject ? u'}' : u']');
        return true;
    }

    // Text in double quotes, with the escapes the server writes: named ones
    // for the common control characters, \u00xx for the rest, a backslash
    // before " and \. Everything else is copied, UTF-8 read as such.
    void QuotedString(ByteSpan text) {
        out_.push_back(u'"');
        size_t run = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const uint8_t c = text[i];
            if (c >= 0x20 && c != '"' && c != '\\') continue;
            AppendUtf8(out_, text.subspan(run, i - run));
            run = i + 1;
            out_.push_back(u'\\');
            switch (c) {
                case '\b':
                    out_.push_back(u'b');
                    break;
                case '\f':
                    out_.push_back(u'f');
                    break;
                case '\n':
                    out_.push_back(u'n');
                    break;
                case '\r':
                    out_.push_back(u'r');
                    break;
                case '\t':
                    out_.push_back(u't');
                    break;
                case '"':
                case '\\':
                    out_.push_back(c);
                    break;
                default:
                    AppendLiteral(out_, "u00");
                    out_.push_back(static_cast<char16_t>(kLowerHex[c >> 4]));
                    out_.push_back(static_cast<char16_t>(kLowerHex[c & 0xF]));
                    break;
            }
        }
        AppendUtf8(out_, text.subspan(run));
        out_.push_back(u'"');
    }

    // The server writes a double with the fewest digits that read back to
    // the same value, in a field of 34 characters (33 for negative values):
    // plainly ("0.001", "123.5", "100000000000000.0" for 1e14) while the
    // point is at most 15 places from the first digit on either side or the
    // digits reach past it, else as digits and an exponent ("1e15",
    // "1.5e-16"). A plain text without a point gets ".0". Infinities and
    // NaN, which it never stores, read as 0.
    void Double(double v) {
        if (!std::isfinite(v)) {
            AppendLiteral(out_, "0.0");
            return;
        }
        char sci[40];
        const std::to_chars_result r =
            std::to_chars(sci, sci + sizeof sci, std::fabs(v), std::chars_format::scientific);
        // d[.ddd]e(+|-)xx: the significant digits and the exponent.
        char digits[24];
        int length = 0;
        const char* p = sci;
        while (p < r.ptr && *p != 'e') {
            if (*p != '.' && length < static_cast<int>(sizeof digits)) digits[length++] = *p;
            ++p;
        }
        int exponent = 0;
        if (p < r.ptr) std::from_chars(p + 1 + (p[1] == '+'), r.ptr, exponent);
        const int point = exponent + 1;  // digits before the point
        const int width = v < 0 ? 33 : 34;
        const int plainWidth = point <= 0       ? length - point + 2
                               : point < length ? length + 1
                                                : point;
        const bool plain = plainWidth <= width && point >= -14 && (point <= 15 || length > point);
        if (std::signbit(v)) out_.push_back(u'-');
        if (!plain) {
            out_.push_back(static_cast<char16_t>(digits[0]));
            if (length > 1) {
                out_.push_back(u'.');
                AppendChars(out_, digits + 1, digits + length);
            }
            out_.push_back(u'e');
            AppendInteger(out_, point - 1);
            return;
        }
        if (point <= 0) {
            AppendLiteral(out_, "0.");
            out_.append(static_cast<size_t>(-point), u'0');
            AppendChars(out_, digits, digits + length);
        } else if (point < length) {
            AppendChars(out_, digits, digits + point);
            out_.push_back(u'.');
            AppendChars(out_, digits + point, digits + length);
        } else {
            AppendChars(out_, digits, digits + length);
            out_.append(static_cast<size_t>(point - length), u'0');
            AppendLiteral(out_, ".0");
        }
    }

    bool Opaque(uint8_t fieldType, ByteSpan value) {
        switch (fieldType) {
            case kOpaqueVarString:
                QuotedString(value);
                return true;
            case kOpaqueDate:
            case kOpaqueTime:
            case kOpaqueDateTime:
            case kOpaqueTimestamp:
                if (value.size() != kPackedTemporalSize) return false;
                out_.push_back(u'"');
                PackedTemporal(fieldType, static_cast<int64_t>(LoadU64le(value, 0)));
                out_.push_back(u'"');
                return true;
            case kOpaqueNewDecimal: {
                // Precision and scale, then the binary DECIMAL of that size.
                if (value.size() < 2) return false;
                const int precision = value[0];
                const int scale = value[1];
                if (precision == 0 || precision > kMaxStoredDecimalPrecision ||
                    scale > kMaxDecimalScale || scale > precision ||
                    value.size() - 2 != BinaryDecimalSize(precision, scale))
                    return false;
                AppendBinaryDecimal(out_, value.subspan(2), precision, scale,
                                    kMaxStoredDecimalPrecision);
                return true;
            }
            default:
                // "base64:typeN:...", its lines broken as the server breaks
                // them, the breaks escaped as in any string.
                out_.push_back(u'"');
                AppendLiteral(out_, "base64:type");
                AppendInteger(out_, fieldType);
                out_.push_back(u':');
                Base64(value);
                out_.push_back(u'"');
                return true;
        }
    }

    // Packed temporal values: the fraction in microseconds in the low 24
    // bits; above it, for a time hour << 12 | minute << 6 | second, for a
    // date (year * 13 + month) << 22 | day << 17 | the time's 17 bits.
    // Negative values are the negated packing of the magnitude.
    void PackedTemporal(uint8_t fieldType, int64_t packed) {
        const bool negative = packed < 0;
        const uint64_t magnitude =
            negative ? 0 - static_cast<uint64_t>(packed) : static_cast<uint64_t>(packed);
        const uint64_t fraction = magnitude & 0xFFFFFF;
        const uint64_t whole = magnitude >> 24;
        const auto appendTime = [&](uint64_t hour, uint64_t hms) {
            AppendInteger(out_, hour, 2);
            out_.push_back(u':');
            AppendInteger(out_, (hms >> 6) & 0x3F, 2);
            out_.push_back(u':');
            AppendInteger(out_, hms & 0x3F, 2);
            out_.push_back(u'.');
            AppendInteger(out_, fraction, 6);
        };
        if (fieldType == kOpaqueTime) {
            if (negative) out_.push_back(u'-');
            appendTime((whole >> 12) & 0x3FF, whole);
            return;
        }
        const uint64_t yearMonth = whole >> 22;
        AppendInteger(out_, yearMonth / 13, 4);
        out_.push_back(u'-');
        AppendInteger(out_, yearMonth % 13, 2);
        out_.push_back(u'-');
        AppendInteger(out_, (whole >> 17) & 0x1F, 2);
        if (fieldType == kOpaqueDate) return;
        out_.push_back(u' ');
        const uint64_t hms = whole & 0x1FFFF;
        appendTime(hms >> 12, hms);
    }

    void Base64(ByteSpan bytes) {
        size_t line = 0;
        for (size_t i = 0; i < bytes.size(); i += 3) {
            if (line == kBase64LineLength) {
                AppendLiteral(out_, "\\n");
                line = 0;
            }
            const size_t n = std::min<size_t>(3, bytes.size() - i);
            const uint32_t group = static_cast<uint32_t>(bytes[i]) << 16 |
                                   (n > 1 ? static_cast<uint32_t>(bytes[i + 1]) << 8 : 0) |
                                   (n > 2 ? bytes[i + 2] : 0);
            out_.push_back(static_cast<char16_t>(kBase64Digits[group >> 18]));
            out_.push_back(static_cast<char16_t>(kBase64Digits[(group >> 12) & 0x3F]));
            out_.push_back(n > 1 ? static_cast<char16_t>(kBase64Digits[(group >> 6) & 0x3F])
                                 : u'=');
            out_.push_back(n > 2 ? static_cast<char16_t>(kBase64Digits[group & 0x3F]) : u'=');
            line += 4;
        }
    }

    std::u16string& out_;
    const size_t limit_;
};

}  // namespace

bool AppendJsonBinary(std::u16string& out, ByteSpan bytes) {
    CJsonTextWriter writer(out, bytes.size());
    return writer.Document(bytes);
}

}  // namespace brix
