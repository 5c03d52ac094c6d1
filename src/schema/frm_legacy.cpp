#include "schema/frm_legacy.h"

#include <algorithm>

namespace brix {

namespace {

// The collations MariaDB moved: each keeps the offset from 512 of its
// character set's second page of numbers.
constexpr int kCroatianUtf8 = 0x240;
constexpr int kCroatianUtf8mb4 = 0x260;
constexpr int kCroatianUcs2 = 0x280;
constexpr int kCroatianUtf16 = 0x2A0;
constexpr int kCroatianUtf32 = 0x2E0;

bool InRange(uint32_t version, uint32_t first, uint32_t last) {
    return version >= first && version <= last;
}

}  // namespace

int UpgradeFrmCollation(uint32_t serverVersion, int collation) {
    const bool mysql53 = InRange(serverVersion, 50300, 50399);
    const bool mariadb55 =
        InRange(serverVersion, 50500, 50599) || InRange(serverVersion, 100000, 100005);
    if (!mysql53 && !mariadb55) return collation;
    switch (collation) {
        case 149:
            return kCroatianUcs2;
        case 213:
            return kCroatianUtf8;
        case 214:
            return mariadb55 ? kCroatianUtf32 : collation;
        case 215:
            return mariadb55 ? kCroatianUtf16 : collation;
        case 245:
            return mariadb55 ? kCroatianUtf8mb4 : collation;
        default:
            return collation;
    }
}

bool IsOldVirtualColumn(int type, int frmVersion, uint32_t serverVersion) {
    constexpr int kExpressionsLayout = 11;
    constexpr uint32_t kMySql57 = 50700;
    constexpr uint32_t kMariaDb100 = 100000;
    constexpr uint32_t kMariaDb102 = 100200;
    if (type != kOldVirtualMarker || frmVersion >= kExpressionsLayout) return false;
    return serverVersion < kMySql57 || InRange(serverVersion, kMariaDb100, kMariaDb102 - 1);
}

std::vector<COldVirtualColumn> ReadOldVirtualColumns(ByteSpan section,
                                                     const std::vector<size_t>& infoLengths,
                                                     size_t& badEntries, size_t& badAt) {
    // Head: kind (1: type and flags, 2: also a value-list number), type, flags.
    constexpr size_t kHead = 3;
    constexpr uint8_t kPlainEntry = 1;
    constexpr uint8_t kEntryWithList = 2;
    constexpr uint8_t kStoredFlag = 1 << 0;
    std::vector<COldVirtualColumn> columns(infoLengths.size());
    badEntries = 0;
    badAt = 0;
    size_t pos = 0;
    for (size_t i = 0; i < infoLengths.size(); ++i) {
        const size_t length = infoLengths[i];
        if (length == 0) continue;
        const uint8_t kind = pos < section.size() ? section[pos] : 0;
        const size_t head = kind == kEntryWithList ? kHead + 1 : kHead;
        if ((kind != kPlainEntry && kind != kEntryWithList) || length < head ||
            length > section.size() - std::min(pos, section.size())) {
            if (badEntries++ == 0) badAt = pos;
            // The entries after a bad one cannot be found.
            pos = section.size();
            continue;
        }
        COldVirtualColumn& c = columns[i];
        c.read = true;
        c.type = section[pos + 1];
        c.stored = (section[pos + 2] & kStoredFlag) != 0;
        if (kind == kEntryWithList) c.valueList = section[pos + 3];
        c.expression = section.subspan(pos + head, length - head);
        pos += length;
    }
    return columns;
}

bool IsMySql57GeneratedColumn(uint8_t uniregType, int frmVersion, uint32_t serverVersion) {
    constexpr int kExpressionsLayout = 11;
    constexpr uint32_t kMySql57 = 50700;
    constexpr uint32_t kMySql80 = 80000;
    return (uniregType & kMySql57GeneratedFlag) != 0 && frmVersion < kExpressionsLayout &&
           InRange(serverVersion, kMySql57, kMySql80 - 1);
}

std::vector<CMySql57GeneratedColumn> ReadMySql57GeneratedColumns(ByteSpan section,
                                                                 const std::vector<bool>& generated,
                                                                 size_t& badEntries,
                                                                 size_t& badAt) {
    // Head: kind (always 1), expression length, flags.
    constexpr size_t kHead = 4;
    constexpr uint8_t kEntryKind = 1;
    constexpr uint8_t kStoredFlag = 1 << 0;
    std::vector<CMySql57GeneratedColumn> columns(generated.size());
    badEntries = 0;
    badAt = 0;
    size_t pos = 0;
    for (size_t i = 0; i < generated.size(); ++i) {
        if (!generated[i]) continue;
        const bool headFits = pos <= section.size() && section.size() - pos >= kHead;
        const size_t length = headFits ? LoadU16le(section, pos + 1) : 0;
        if (!headFits || section[pos] != kEntryKind || length > section.size() - pos - kHead) {
            if (badEntries++ == 0) badAt = std::min(pos, section.size());
            pos = section.size() + 1;
            continue;
        }
        CMySql57GeneratedColumn& c = columns[i];
        c.read = true;
        c.stored = (section[pos + 3] & kStoredFlag) != 0;
        c.expression = section.subspan(pos + kHead, length);
        pos += kHead + length;
    }
    return columns;
}

}  // namespace brix
