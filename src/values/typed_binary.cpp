#include "values/typed_binary.h"

#include <array>

namespace brix {

namespace {

constexpr char16_t kHexDigits[] = u"0123456789abcdef";

template <size_t N>
std::array<uint8_t, N> Fixed(ByteSpan bytes) {
    std::array<uint8_t, N> out{};
    for (size_t i = 0; i < N && i < bytes.size(); ++i) out[i] = bytes[i];
    return out;
}

void AppendHex(std::u16string& out, const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        out.push_back(kHexDigits[bytes[i] >> 4]);
        out.push_back(kHexDigits[bytes[i] & 15]);
    }
}

void AppendDecimal(std::u16string& out, unsigned value) {
    char16_t digits[8];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0 && n < 8);
    while (n > 0) out.push_back(digits[--n]);
}

void AppendDottedQuad(std::u16string& out, const uint8_t* bytes) {
    for (size_t i = 0; i < 4; ++i) {
        if (i != 0) out.push_back(u'.');
        AppendDecimal(out, bytes[i]);
    }
}

// MariaDB keeps a UUID of versions 1 to 5 whose variant is not the old NCS one
// (top bit of the clock byte set) with its groups in reverse order (node,
// clock, time high, time mid, time low), so that values made by one node sort
// by time; other UUIDs as written. In the reversed form the variant bits are
// at byte 6 and the version at byte 8; a UUID kept as written has its version
// at byte 6, which then never has its top bit set with a version of 1 to 5
// at byte 8 (the server refuses versions of 8 and up with the NCS variant).
void AppendUuid(std::u16string& out, ByteSpan stored) {
    const std::array<uint8_t, 16> b = Fixed<16>(stored);
    const unsigned version = b[8] >> 4;
    const bool reversed = (b[6] & 0x80) != 0 && version >= 1 && version <= 5;
    std::array<uint8_t, 16> text = b;
    if (reversed) {
        // time low (4), time mid (2), time high (2), clock (2), node (6)
        const std::array<uint8_t, 16> from = {12, 13, 14, 15, 10, 11, 8, 9, 6, 7, 0, 1, 2, 3, 4, 5};
        for (size_t i = 0; i < 16; ++i) text[i] = b[from[i]];
    }
    static constexpr size_t kGroups[] = {4, 2, 2, 2, 6};
    size_t at = 0;
    for (size_t g = 0; g < 5; ++g) {
        if (g != 0) out.push_back(u'-');
        AppendHex(out, text.data() + at, kGroups[g]);
        at += kGroups[g];
    }
}

void AppendInet6(std::u16string& out, ByteSpan stored) {
    const std::array<uint8_t, 16> b = Fixed<16>(stored);
    std::array<unsigned, 8> words{};
    for (size_t i = 0; i < 8; ++i) words[i] = (b[2 * i] << 8) | b[2 * i + 1];
    // The longest run of zero groups, the first of equal ones; one zero group
    // alone stays "0".
    size_t bestStart = 0, bestLength = 0;
    for (size_t i = 0; i < 8;) {
        if (words[i] != 0) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < 8 && words[j] == 0) ++j;
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j;
    }
    if (bestLength < 2) bestLength = 0;
    const bool embeddedIpv4 = bestLength != 0 && bestStart == 0 &&
                              (bestLength == 6 || (bestLength == 5 && words[5] == 0xFFFF));
    for (size_t i = 0; i < 8; ++i) {
        if (bestLength != 0 && i == bestStart) {
            out += u"::";
            i += bestLength - 1;
            continue;
        }
        if (embeddedIpv4 && i == 6) {
            if (bestLength == 5) out.push_back(u':');  // after "::ffff"
            AppendDottedQuad(out, b.data() + 12);
            break;
        }
        if (i != 0 && !(bestLength != 0 && i == bestStart + bestLength)) out.push_back(u':');
        // Hex digits without leading zeros.
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const unsigned digit = (words[i] >> shift) & 15;
            if (digit != 0 || started || shift == 0) {
                out.push_back(kHexDigits[digit]);
                started = true;
            }
        }
    }
}

}  // namespace

void AppendTypedBinary(std::u16string& out, ColumnDataType type, ByteSpan bytes) {
    switch (type) {
        case ColumnDataType::kUuid:
            AppendUuid(out, bytes);
            return;
        case ColumnDataType::kInet6:
            AppendInet6(out, bytes);
            return;
        case ColumnDataType::kInet4: {
            const std::array<uint8_t, 4> b = Fixed<4>(bytes);
            AppendDottedQuad(out, b.data());
            return;
        }
        case ColumnDataType::kPlain:
            return;
    }
}

}  // namespace brix
