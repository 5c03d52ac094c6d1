#include "values/value_plausibility.h"

#include <cmath>
#include <cstring>

#include "values/binary_decimal.h"
#include "values/temporal.h"

namespace brix {

namespace {

// Bytes of a DECIMAL's leading or trailing group of 0 to 8 digits.
constexpr int kDigitBytes[10] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 4};
constexpr int kDigitsPerGroup = 9;
constexpr uint64_t kPowersOfTen[10] = {1,      10,      100,      1000,      10000,
                                       100000, 1000000, 10000000, 100000000, 1000000000};

// Binary DECIMAL: groups of nine digits in four big-endian bytes, partial
// groups at both ends in fewer; the first byte's top bit is set for a
// value that is not negative, and a negative value has every byte inverted.
bool PlausibleDecimal(ByteSpan bytes, int precision, int scale) {
    if (precision <= 0 || scale < 0 || scale > precision) return false;
    const size_t size = BinaryDecimalSize(precision, scale);
    if (size == 0 || bytes.size() < size) return false;
    const bool negative = (bytes[0] & 0x80) == 0;
    const uint8_t flip = negative ? 0xFF : 0x00;
    const auto group = [&](size_t at, int width) {
        uint64_t v = 0;
        for (int i = 0; i < width; ++i) {
            uint8_t b = bytes[at + static_cast<size_t>(i)] ^ flip;
            if (at == 0 && i == 0) b ^= 0x80;
            v = v << 8 | b;
        }
        return v;
    };
    const int integerDigits = precision - scale;
    size_t at = 0;
    const auto take = [&](int digits) {
        const int width = kDigitBytes[digits];
        const bool fits = group(at, width) < kPowersOfTen[digits];
        at += static_cast<size_t>(width);
        return fits;
    };
    if (!take(integerDigits % kDigitsPerGroup)) return false;
    for (int i = 0; i < integerDigits / kDigitsPerGroup; ++i)
        if (!take(kDigitsPerGroup)) return false;
    for (int i = 0; i < scale / kDigitsPerGroup; ++i)
        if (!take(kDigitsPerGroup)) return false;
    return take(scale % kDigitsPerGroup);
}

bool PlausibleClock(uint64_t hour, uint64_t minute, uint64_t second, uint64_t maxHour) {
    return hour <= maxHour && minute <= 59 && second <= 59;
}

// The fraction after the whole seconds of the newer temporal types: one
// byte per two digits, big-endian, below 10 to the power of its bytes' digits.
bool PlausibleFraction(ByteSpan bytes, size_t at, int digits) {
    if (digits <= 0) return true;
    const size_t width = static_cast<size_t>(digits + 1) / 2;
    if (bytes.size() < at + width) return false;
    return LoadUIntBe(bytes, at, width) < kPowersOfTen[width * 2];
}

bool PlausibleTemporal(const CColumnDef& column, ByteSpan bytes) {
    const size_t width = TemporalWidth(column);
    if (width == 0) return true;
    if (bytes.size() < width) return false;
    const int digits = TemporalFractionDigits(column);
    switch (column.type) {
        case FieldType::kNewDate: {
            // day (5 bits), month (4), year (15), little-endian.
            const uint32_t v = static_cast<uint32_t>(LoadUIntLe(bytes, 0, 3));
            return (v >> 5 & 15) <= 12;
        }
        case FieldType::kDateTime: {
            if (digits != 0) return true;
            // YYYYMMDDhhmmss as a little-endian integer.
            const uint64_t v = LoadUIntLe(bytes, 0, 8);
            const uint64_t time = v % 1000000;
            const uint64_t date = v / 1000000;
            return date % 100 <= 31 && date / 100 % 100 <= 12 && date <= 99991231 &&
                   PlausibleClock(time / 10000, time / 100 % 100, time % 100, 23);
        }
        case FieldType::kTime: {
            if (digits != 0) return true;
            // hhhmmss as a signed little-endian integer of three bytes.
            int64_t v = static_cast<int64_t>(LoadUIntLe(bytes, 0, 3));
            if (v & 0x800000) v -= 0x1000000;
            const uint64_t a = static_cast<uint64_t>(v < 0 ? -v : v);
            return PlausibleClock(a / 10000, a / 100 % 100, a % 100, 838);
        }
        case FieldType::kDateTime2: {
            // sign (1 bit, set), year * 13 + month (17), day (5), hour (5),
            // minute (6), second (6), big-endian; then the fraction.
            const uint64_t v = LoadUIntBe(bytes, 0, 5);
            if (!(v >> 39 & 1)) return false;
            const uint64_t yearMonth = v >> 22 & 0x1FFFF;
            return yearMonth % 13 <= 12 && yearMonth / 13 <= 9999 &&
                   PlausibleClock(v >> 12 & 31, v >> 6 & 63, v & 63, 23) &&
                   PlausibleFraction(bytes, 5, digits);
        }
        case FieldType::kTime2: {
            // sign (1 bit, set when not negative), hour (10), minute (6),
            // second (6), big-endian; then the fraction.
            const int64_t v = static_cast<int64_t>(LoadUIntBe(bytes, 0, 3)) - 0x800000;
            const uint64_t a = static_cast<uint64_t>(v < 0 ? -v : v);
            return PlausibleClock(a >> 12 & 0x3FF, a >> 6 & 63, a & 63, 838) &&
                   (v < 0 || PlausibleFraction(bytes, 3, digits));
        }
        case FieldType::kTimestamp2:
            return PlausibleFraction(bytes, 4, digits);
        default:
            return true;
    }
}

// Text of a character set: it must decode without an invalid character (the
// decoder's U+FFFD) and hold no zero, which no text a user keeps has.
bool PlausibleText(const CColumnDef& column, ByteSpan bytes, const RenderContext& context) {
    if (column.charsetNumber == kBinaryCharset || column.dataType != ColumnDataType::kPlain)
        return true;
    if (!column.decoder && !context.decoders) return true;
    const CTextDecoder& decoder = column.decoder ? *column.decoder : context.decoders->Ansi();
    std::u16string text;
    decoder.Append(bytes, text, false);
    for (const char16_t c : text)
        if (c == 0 || c == u'\uFFFD') return false;
    return true;
}

}  // namespace

bool PlausibleStoredValue(const CColumnDef& column, ByteSpan bytes, const RenderContext& context) {
    switch (column.type) {
        case FieldType::kNewDecimal:
            return PlausibleDecimal(bytes, column.precision, column.decimals);
        case FieldType::kFloat: {
            if (bytes.size() < 4) return false;
            float v;
            const uint32_t raw = LoadU32le(bytes, 0);
            std::memcpy(&v, &raw, sizeof v);
            return std::isfinite(v);
        }
        case FieldType::kDouble: {
            if (bytes.size() < 8) return false;
            double v;
            const uint64_t raw = LoadU64le(bytes, 0);
            std::memcpy(&v, &raw, sizeof v);
            return std::isfinite(v);
        }
        case FieldType::kEnum: {
            const size_t width = StoredValueWidth(column);
            if (bytes.size() < width) return false;
            // 0 is the error value a lax insert leaves; a record found among
            // deleted bytes that has it is far more likely to be no record.
            const uint64_t n = LoadUIntLe(bytes, 0, width);
            return n >= 1 && n <= static_cast<uint64_t>(std::max(column.enumCount, 0));
        }
        case FieldType::kSet: {
            const size_t width = StoredValueWidth(column);
            if (bytes.size() < width) return false;
            const uint64_t mask = LoadUIntLe(bytes, 0, width);
            const int members = std::max(column.enumCount, 0);
            return members >= 64 || (mask >> members) == 0;
        }
        case FieldType::kVarchar:
        case FieldType::kVarString:
        case FieldType::kString:
            if (bytes.size() > static_cast<size_t>(std::max(column.length, 0))) return false;
            return PlausibleText(column, bytes, context);
        case FieldType::kTinyBlob:
        case FieldType::kMediumBlob:
        case FieldType::kLongBlob:
        case FieldType::kBlob:
            return PlausibleText(column, bytes, context);
        case FieldType::kTiny:
        case FieldType::kShort:
        case FieldType::kInt24:
        case FieldType::kLong:
        case FieldType::kLongLong:
        case FieldType::kYear:
        case FieldType::kBit:
        case FieldType::kTimestamp:
            return bytes.size() >= StoredValueWidth(column);
        default:
            return PlausibleTemporal(column, bytes);
    }
}

}  // namespace brix
