#include "values/binary_decimal.h"

#include <algorithm>
#include <array>

#include "values/text_append.h"

namespace brix {

namespace {

constexpr int kDigitsPerGroup = 9;
constexpr int kGroupBytes = 4;
constexpr int kMaxGroupValue = 999999999;
// Bytes that hold a group of 0 to 9 digits.
constexpr int kBytesOfDigits[kDigitsPerGroup + 1] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 4};
constexpr int32_t kPowersOfTen[kDigitsPerGroup + 1] = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// A big-endian group of 1 to 4 bytes read as a signed number, then XOR mask.
int32_t ReadGroup(const uint8_t* p, int width, int32_t mask) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) v = v << 8 | p[i];
    int shift = 32 - 8 * width;
    int32_t value = static_cast<int32_t>(v << shift) >> shift;
    return value ^ mask;
}

}  // namespace

size_t BinaryDecimalSize(int precision, int scale) {
    if (precision < 0 || scale < 0 || scale > precision) return 0;
    int intg = precision - scale;
    return static_cast<size_t>(
        kBytesOfDigits[intg % kDigitsPerGroup] + kGroupBytes * (intg / kDigitsPerGroup) +
        kGroupBytes * (scale / kDigitsPerGroup) + kBytesOfDigits[scale % kDigitsPerGroup]);
}

void AppendBinaryDecimal(std::u16string& out, ByteSpan bytes, int precision, int scale,
                         int maxPrecision) {
    // The working arrays below hold the widest layout.
    static_assert(kMaxStoredDecimalPrecision <= 16 * kDigitsPerGroup);
    maxPrecision = std::min(maxPrecision, kMaxStoredDecimalPrecision);
    if (precision <= 0 || precision > maxPrecision || scale < 0 || scale > precision) {
        out.push_back(u'0');
        return;
    }
    const int intg = precision - scale;
    const int intg0 = intg / kDigitsPerGroup;
    const int intg0x = intg % kDigitsPerGroup;
    const int frac0 = scale / kDigitsPerGroup;
    const int frac0x = scale % kDigitsPerGroup;
    const size_t size = BinaryDecimalSize(precision, scale);

    // A working copy: the sign bit is flipped in place, missing bytes are zero.
    std::array<uint8_t, 40> copy{};
    for (size_t i = 0; i < size && i < bytes.size() && i < copy.size(); ++i) copy[i] = bytes[i];
    const bool negative = (copy[0] & 0x80) == 0;
    copy[0] ^= 0x80;
    const int32_t mask = negative ? -1 : 0;

    // Decode every group first: a group out of range makes the whole value 0.
    std::array<int32_t, 16> integerGroups{};
    std::array<int32_t, 16> fractionGroups{};
    int integerCount = 0;
    int fractionCount = 0;
    const uint8_t* p = copy.data();
    if (intg0x > 0) {
        int32_t v = ReadGroup(p, kBytesOfDigits[intg0x], mask);
        p += kBytesOfDigits[intg0x];
        if (v < 0 || v >= kPowersOfTen[intg0x]) return out.push_back(u'0');
        integerGroups[integerCount++] = v;
    }
    for (int g = 0; g < intg0; ++g, p += kGroupBytes) {
        int32_t v = ReadGroup(p, kGroupBytes, mask);
        if (v < 0 || v > kMaxGroupValue) return out.push_back(u'0');
        integerGroups[integerCount++] = v;
    }
    for (int g = 0; g < frac0; ++g, p += kGroupBytes) {
        int32_t v = ReadGroup(p, kGroupBytes, mask);
        if (v < 0 || v > kMaxGroupValue) return out.push_back(u'0');
        fractionGroups[fractionCount++] = v;
    }
    if (frac0x > 0) {
        int32_t v = ReadGroup(p, kBytesOfDigits[frac0x], mask);
        if (v < 0 || v >= kPowersOfTen[frac0x]) return out.push_back(u'0');
        fractionGroups[fractionCount++] = v;
    }

    int first = 0;
    while (first < integerCount && integerGroups[first] == 0) ++first;
    if (first == integerCount && scale == 0) return out.push_back(u'0');

    if (negative) out.push_back(u'-');
    if (first == integerCount) {
        out.push_back(u'0');
    } else {
        AppendInteger(out, integerGroups[first]);
        for (int g = first + 1; g < integerCount; ++g)
            AppendInteger(out, integerGroups[g], kDigitsPerGroup);
    }
    if (scale > 0) {
        out.push_back(u'.');
        for (int g = 0; g < frac0; ++g) AppendInteger(out, fractionGroups[g], kDigitsPerGroup);
        if (frac0x > 0) AppendInteger(out, fractionGroups[frac0], frac0x);
    }
}

std::u16string FormatBinaryDecimal(ByteSpan bytes, int precision, int scale) {
    std::u16string out;
    AppendBinaryDecimal(out, bytes, precision, scale);
    return out;
}

}  // namespace brix
