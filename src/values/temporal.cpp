#include "values/temporal.h"

#include <ctime>

#include "values/text_append.h"

namespace brix {

namespace {

constexpr int kTimeWidth = 10;      // -838:59:59
constexpr int kDateTimeWidth = 19;  // YYYY-MM-DD hh:mm:ss
constexpr int kMaxFractionDigits = 6;
constexpr int64_t kMicrosPerSecond = 1000000;
constexpr int64_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// Bytes of the old layouts with a fraction, by number of fraction digits.
constexpr size_t kTimeHiresBytes[] = {3, 4, 4, 5, 5, 5, 6};
constexpr size_t kDateTimeHiresBytes[] = {5, 6, 6, 7, 7, 7, 8};
constexpr size_t kFractionBytes[] = {0, 1, 1, 2, 2, 3, 3};
// The old TIME with a fraction counts from -838:59:59 as its zero.
constexpr int64_t kTimeHiresZeroSeconds = 838 * 3600 + 59 * 60 + 59 + 1;
// TIME2 and DATETIME2 store their integer part offset so that bytes sort as numbers.
constexpr int64_t kTime2IntOffset = 0x800000;
constexpr int64_t kTime2Offset = 0x800000000000;
constexpr int64_t kDateTime2IntOffset = 0x8000000000;

// Fraction bytes of the 5.6 layouts: (digits + 1) / 2.
size_t Fraction2Bytes(int digits) {
    return static_cast<size_t>((digits + 1) / 2);
}

void AppendFraction(std::u16string& out, int64_t micros, int digits) {
    if (digits <= 0) return;
    out.push_back(u'.');
    AppendInteger(out, micros / kPowersOfTen[kMaxFractionDigits - digits], digits);
}

void AppendDateParts(std::u16string& out, int64_t year, int64_t month, int64_t day) {
    AppendInteger(out, year, 4);
    out.push_back(u'-');
    AppendInteger(out, month, 2);
    out.push_back(u'-');
    AppendInteger(out, day, 2);
}

void AppendClock(std::u16string& out, int64_t hour, int64_t minute, int64_t second) {
    AppendInteger(out, hour, 2);
    out.push_back(u':');
    AppendInteger(out, minute, 2);
    out.push_back(u':');
    AppendInteger(out, second, 2);
}

bool IsTwoDigits(int64_t value) {
    return value >= 0 && value < 100;
}

void PutTwoDigits(char16_t* at, int64_t value) {
    at[0] = static_cast<char16_t>(kDigitPairs[value * 2]);
    at[1] = static_cast<char16_t>(kDigitPairs[value * 2 + 1]);
}

void AppendDateTime(std::u16string& out, int64_t year, int64_t month, int64_t day, int64_t hour,
                    int64_t minute, int64_t second, int64_t micros, int digits) {
    if (year >= 0 && year <= 9999 && IsTwoDigits(month) && IsTwoDigits(day) && IsTwoDigits(hour) &&
        IsTwoDigits(minute) && IsTwoDigits(second)) {
        // The common case, every part in its width: all 19 characters at once.
        char16_t text[kDateTimeWidth] = {0,    0, 0, 0,    u'-', 0, 0,    u'-', 0, 0,
                                         u' ', 0, 0, u':', 0,    0, u':', 0,    0};
        PutTwoDigits(text, year / 100);
        PutTwoDigits(text + 2, year % 100);
        PutTwoDigits(text + 5, month);
        PutTwoDigits(text + 8, day);
        PutTwoDigits(text + 11, hour);
        PutTwoDigits(text + 14, minute);
        PutTwoDigits(text + 17, second);
        out.append(text, kDateTimeWidth);
    } else {
        AppendDateParts(out, year, month, day);
        out.push_back(u' ');
        AppendClock(out, hour, minute, second);
    }
    AppendFraction(out, micros, digits);
}

void AppendDuration(std::u16string& out, bool negative, int64_t hour, int64_t minute,
                    int64_t second, int64_t micros, int digits) {
    if (negative) out.push_back(u'-');
    AppendClock(out, hour, minute, second);
    AppendFraction(out, micros, digits);
}

// A count of microseconds since 0000-00-00 in the packed form of the old
// DATETIME with a fraction: ((((year * 13 + month) * 32 + day) * 24 + hour)
// * 60 + minute) * 60 + second.
void AppendPackedDateTime(std::u16string& out, uint64_t micros, int digits) {
    uint64_t rest = micros / kMicrosPerSecond;
    int64_t fraction = static_cast<int64_t>(micros % kMicrosPerSecond);
    int64_t second = static_cast<int64_t>(rest % 60);
    rest /= 60;
    int64_t minute = static_cast<int64_t>(rest % 60);
    rest /= 60;
    int64_t hour = static_cast<int64_t>(rest % 24);
    rest /= 24;
    int64_t day = static_cast<int64_t>(rest % 32);
    rest /= 32;
    int64_t month = static_cast<int64_t>(rest % 13);
    int64_t year = static_cast<int64_t>(rest / 13);
    AppendDateTime(out, year, month, day, hour, minute, second, fraction, digits);
}

void AppendTimestamp(std::u16string& out, uint32_t seconds, int64_t micros, int digits, bool utc) {
    if (seconds == 0 && micros == 0) {
        AppendDateTime(out, 0, 0, 0, 0, 0, 0, 0, digits);
        return;
    }
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
#ifdef _WIN32
    bool ok = (utc ? gmtime_s(&local, &t) : localtime_s(&local, &t)) == 0;
#else
    bool ok = (utc ? gmtime_r(&t, &local) : localtime_r(&t, &local)) != nullptr;
#endif
    if (!ok) {
        out += FormatDateTimeParts(0, 0, 0, -1, -1, -1);
        return;
    }
    AppendDateTime(out, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                   local.tm_min, local.tm_sec, micros, digits);
}

// The fraction of a DATETIME2 or TIMESTAMP2, in microseconds.
int64_t ReadFraction2(ByteSpan bytes, size_t at, int digits) {
    switch (Fraction2Bytes(digits)) {
        case 1:
            return static_cast<int64_t>(LoadU8(bytes, at)) * 10000;
        case 2:
            return static_cast<int64_t>(LoadU16be(bytes, at)) * 100;
        case 3:
            return static_cast<int64_t>(LoadU24be(bytes, at));
        default:
            return 0;
    }
}

void AppendTime2(std::u16string& out, ByteSpan bytes, int digits) {
    // A signed count in units of 2^-24 s of the packed hh:mm:ss (hour << 12 |
    // minute << 6 | second) and the fraction of a second in microseconds.
    int64_t packed;
    int64_t integer = static_cast<int64_t>(LoadU24be(bytes, 0)) - kTime2IntOffset;
    switch (Fraction2Bytes(digits)) {
        case 1: {
            int64_t fraction = LoadU8(bytes, 3);
            if (integer < 0 && fraction != 0) {
                integer += 1;
                fraction -= 0x100;
            }
            packed = integer * (1 << 24) + fraction * 10000;
            break;
        }
        case 2: {
            int64_t fraction = LoadU16be(bytes, 3);
            if (integer < 0 && fraction != 0) {
                integer += 1;
                fraction -= 0x10000;
            }
            packed = integer * (1 << 24) + fraction * 100;
            break;
        }
        case 3:
            packed = static_cast<int64_t>(LoadUIntBe(bytes, 0, 6)) - kTime2Offset;
            break;
        default:
            packed = integer * (1 << 24);
            break;
    }
    const bool negative = packed < 0;
    if (negative) packed = -packed;
    const int64_t hms = packed >> 24;
    const int64_t micros = packed % (1 << 24);
    AppendDuration(out, negative, (hms >> 12) & 0x3FF, (hms >> 6) & 0x3F, hms & 0x3F, micros,
                   digits);
}

void AppendDateTime2(std::u16string& out, ByteSpan bytes, int digits) {
    // sign | year * 13 + month (17 bits) | day (5) | hour (5) | minute (6) | second (6)
    int64_t integer = static_cast<int64_t>(LoadUIntBe(bytes, 0, 5)) - kDateTime2IntOffset;
    if (integer < 0) integer = -integer;
    const int64_t ymd = integer >> 17;
    const int64_t hms = integer & 0x1FFFF;
    const int64_t yearMonth = ymd >> 5;
    AppendDateTime(out, yearMonth / 13, yearMonth % 13, ymd & 0x1F, hms >> 12, (hms >> 6) & 0x3F,
                   hms & 0x3F, ReadFraction2(bytes, 5, digits), digits);
}

}  // namespace

int TemporalFractionDigits(const CColumnDef& column) {
    int base;
    switch (column.type) {
        case FieldType::kTime:
        case FieldType::kTime2:
            base = kTimeWidth;
            break;
        case FieldType::kDateTime:
        case FieldType::kDateTime2:
        case FieldType::kTimestamp:
        case FieldType::kTimestamp2:
            base = kDateTimeWidth;
            break;
        default:
            return 0;
    }
    if (column.length <= base + 1) return 0;
    return std::min(column.length - base - 1, kMaxFractionDigits);
}

size_t TemporalWidth(const CColumnDef& column) {
    const int digits = TemporalFractionDigits(column);
    switch (column.type) {
        case FieldType::kYear:
            return 1;
        case FieldType::kNewDate:
            return 3;
        case FieldType::kDate:
            return 4;
        case FieldType::kTime:
            return digits ? kTimeHiresBytes[digits] : 3;
        case FieldType::kTime2:
            return 3 + Fraction2Bytes(digits);
        case FieldType::kDateTime:
            return digits ? kDateTimeHiresBytes[digits] : 8;
        case FieldType::kDateTime2:
            return 5 + Fraction2Bytes(digits);
        case FieldType::kTimestamp:
            return 4 + kFractionBytes[digits];
        case FieldType::kTimestamp2:
            return 4 + Fraction2Bytes(digits);
        default:
            return 0;
    }
}

void AppendTemporalValue(std::u16string& out, const CColumnDef& column, ByteSpan bytes, bool utc) {
    const int digits = TemporalFractionDigits(column);
    switch (column.type) {
        case FieldType::kYear: {
            const uint8_t v = LoadU8(bytes, 0);
            if (column.length == 2) {
                AppendInteger(out, v == 0 ? 0 : (1900 + v) % 100, 2);
            } else {
                AppendInteger(out, v == 0 ? 0 : 1900 + v, 4);
            }
            return;
        }
        case FieldType::kNewDate: {
            const uint32_t v = LoadU24le(bytes, 0);
            AppendDateParts(out, v >> 9, (v >> 5) & 0x0F, v & 0x1F);
            return;
        }
        case FieldType::kDate: {
            const uint32_t v = LoadU32le(bytes, 0);
            AppendDateParts(out, v / 10000, v / 100 % 100, v % 100);
            return;
        }
        case FieldType::kTime: {
            if (digits == 0) {
                // hh * 10000 + mm * 100 + ss, a signed 24-bit number.
                int32_t v = static_cast<int32_t>(LoadU24le(bytes, 0) << 8) >> 8;
                const bool negative = v < 0;
                if (negative) v = -v;
                AppendDuration(out, negative, v / 10000, v / 100 % 100, v % 100, 0, 0);
                return;
            }
            // A count of 10^-digits s from -838:59:59.
            const int64_t scale = kPowersOfTen[kMaxFractionDigits - digits];
            int64_t units = static_cast<int64_t>(LoadUIntBe(bytes, 0, kTimeHiresBytes[digits])) -
                            kTimeHiresZeroSeconds * kMicrosPerSecond / scale;
            const bool negative = units < 0;
            if (negative) units = -units;
            const int64_t micros = units * scale;
            const int64_t seconds = micros / kMicrosPerSecond;
            AppendDuration(out, negative, seconds / 3600, seconds / 60 % 60, seconds % 60,
                           micros % kMicrosPerSecond, digits);
            return;
        }
        case FieldType::kTime2:
            AppendTime2(out, bytes, digits);
            return;
        case FieldType::kDateTime: {
            if (digits == 0) {
                out += FormatIntegerDateTime(LoadU64le(bytes, 0));
                return;
            }
            const uint64_t units = LoadUIntBe(bytes, 0, kDateTimeHiresBytes[digits]);
            AppendPackedDateTime(out, units * kPowersOfTen[kMaxFractionDigits - digits], digits);
            return;
        }
        case FieldType::kDateTime2:
            AppendDateTime2(out, bytes, digits);
            return;
        case FieldType::kTimestamp: {
            if (digits == 0) {
                AppendTimestamp(out, LoadU32le(bytes, 0), 0, 0, utc);
                return;
            }
            const int64_t units =
                static_cast<int64_t>(LoadUIntBe(bytes, 4, kFractionBytes[digits]));
            AppendTimestamp(out, LoadU32be(bytes, 0),
                            units * kPowersOfTen[kMaxFractionDigits - digits], digits, utc);
            return;
        }
        case FieldType::kTimestamp2:
            AppendTimestamp(out, LoadU32be(bytes, 0), ReadFraction2(bytes, 4, digits), digits, utc);
            return;
        default:
            return;
    }
}

std::u16string FormatIntegerDateTime(uint64_t value) {
    const uint64_t date = value / 1000000;
    const uint64_t time = value - date * 1000000;
    // The first year digit and the first hour digit are not reduced modulo 10,
    // so a value beyond the calendar still shows all its digits.
    const uint64_t digits[] = {date / 10000000,    date / 1000000 % 10,
                               date / 100000 % 10, date / 10000 % 10,
                               date / 1000 % 10,   date / 100 % 10,
                               date / 10 % 10,     date % 10,
                               time / 100000,      time / 10000 % 10,
                               time / 1000 % 10,   time / 100 % 10,
                               time / 10 % 10,     time % 10};
    static constexpr char kSeparators[] = {0, 0, 0, 0, '-', 0, '-', 0, ' ', 0, ':', 0, ':', 0};
    std::u16string out;
    for (size_t i = 0; i < std::size(digits); ++i) {
        if (kSeparators[i]) out.push_back(static_cast<char16_t>(kSeparators[i]));
        AppendInteger(out, digits[i]);
    }
    return out;
}

std::u16string FormatDateTimeParts(int year, int month, int day, int hour, int minute, int second) {
    std::u16string out;
    auto part = [&out](int v, int width) { AppendInteger(out, v, v < 0 ? 1 : width); };
    part(year, 4);
    out.push_back(u'-');
    part(month, 2);
    out.push_back(u'-');
    part(day, 2);
    out.push_back(u' ');
    part(hour, 2);
    out.push_back(u':');
    part(minute, 2);
    out.push_back(u':');
    part(second, 2);
    return out;
}

}  // namespace brix
