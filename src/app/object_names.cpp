#include "app/object_names.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace brix {

namespace {

// {code, character} of the two-character form, sorted by code.
constexpr std::pair<uint16_t, uint16_t> kTwoCharacterCodes[] = {
#include "app/file_name_table.inc"
};

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// The character of the two-character form c1 c2, or 0 when it names none.
char16_t TwoCharacterCode(char16_t c1, char16_t c2) {
    constexpr char16_t kFirst = 0x30;
    constexpr char16_t kLast = 0x7F;
    constexpr int kRow = 80;
    if (c1 < kFirst || c1 > kLast || c2 < kFirst || c2 > kLast) return 0;
    const uint16_t code = static_cast<uint16_t>((c1 - kFirst) * kRow + (c2 - kFirst));
    const auto* end = std::end(kTwoCharacterCodes);
    const auto* found = std::lower_bound(
        std::begin(kTwoCharacterCodes), end, code,
        [](const std::pair<uint16_t, uint16_t>& e, uint16_t c) { return e.first < c; });
    return found != end && found->first == code ? static_cast<char16_t>(found->second) : 0;
}

}  // namespace

std::u16string ObjectNameFromFileName(std::u16string_view fileName) {
    std::u16string name;
    name.reserve(fileName.size());
    for (size_t i = 0; i < fileName.size();) {
        const char16_t c = fileName[i];
        if (c != u'@') {
            name.push_back(c);
            ++i;
            continue;
        }
        if (i + 2 < fileName.size()) {
            if (const char16_t two = TwoCharacterCode(fileName[i + 1], fileName[i + 2])) {
                name.push_back(two);
                i += 3;
                continue;
            }
        }
        if (i + 4 < fileName.size()) {
            int code = 0;
            bool hex = true;
            for (size_t k = 1; k <= 4 && hex; ++k) {
                const int v = HexValue(fileName[i + k]);
                hex = v >= 0;
                code = code * 16 + v;
            }
            if (hex) {
                name.push_back(static_cast<char16_t>(code));
                i += 5;
                continue;
            }
        }
        name.push_back(c);
        ++i;
    }
    return name;
}

}  // namespace brix
