#include "innodb/page.h"

#include <cstring>

namespace brix {

namespace {

constexpr size_t kPageHeader = 38;
constexpr size_t kRedundantExtraBytes = 6;

bool TextAt(ByteSpan page, uint32_t at, const char* text, size_t length) {
    return at <= page.size() && page.size() - at >= length &&
           std::memcmp(page.data() + at, text, length) == 0;
}

}  // namespace

FilHeader ReadFilHeader(ByteSpan page) {
    FilHeader h;
    h.checksum = LoadU32be(page, 0);
    h.pageNumber = LoadU32be(page, 4);
    h.previousPage = LoadU32be(page, 8);
    h.nextPage = LoadU32be(page, 12);
    h.lsn = LoadU64be(page, 16);
    h.pageType = LoadU16be(page, 24);
    h.flushLsn = LoadU64be(page, 26);
    h.spaceId = LoadU32be(page, 34);
    return h;
}

IndexPageHeader ReadIndexPageHeader(ByteSpan page) {
    IndexPageHeader h;
    h.directorySlots = LoadU16be(page, kPageHeader + 0);
    h.heapTop = LoadU16be(page, kPageHeader + 2);
    h.heapRecords = LoadU16be(page, kPageHeader + 4);
    h.instantBits = LoadU16be(page, kPageHeader + 12);
    h.userRecords = LoadU16be(page, kPageHeader + 16);
    h.level = LoadU16be(page, kPageHeader + 26);
    h.indexId = LoadU64be(page, kPageHeader + 28);
    return h;
}

bool HasInfimum(ByteSpan page, RecordLayout layout) {
    const uint32_t at = layout == RecordLayout::kCompact ? kCompactInfimum : kRedundantInfimum;
    if (TextAt(page, at, "infimum", 8)) return true;
    // The root of an index whose columns were dropped or moved in place keeps
    // zeros there instead.
    static constexpr char kZeros[8] = {};
    return LoadU16be(page, 24) == kInstantIndexPageType && TextAt(page, at, kZeros, 8);
}

uint32_t FirstRecord(ByteSpan page, RecordLayout layout) {
    if (layout == RecordLayout::kCompact) return NextRecord(page, kCompactInfimum, layout);
    return LoadU16be(page, kRedundantInfimum - 2);
}

uint32_t NextRecord(ByteSpan page, uint32_t origin, RecordLayout layout) {
    if (origin < 2 || origin > page.size()) return 0;
    const uint16_t link = LoadU16be(page, origin - 2);
    if (layout == RecordLayout::kRedundant) return link;
    if (link == 0) return 0;
    // Relative to the origin, modulo the page size (a power of two): a
    // backward link wraps.
    return (origin + link) & static_cast<uint32_t>(page.size() - 1);
}

bool IsSupremumText(ByteSpan page, uint32_t origin) {
    return TextAt(page, origin, "supremum", 9);
}

bool IsSupremumBytes(ByteSpan page, uint32_t origin) {
    return TextAt(page, origin, "supremum", 8);
}

uint8_t RecordInfoBits(ByteSpan page, uint32_t origin, RecordLayout layout) {
    const uint32_t back = layout == RecordLayout::kCompact ? 5 : 6;
    if (origin < back) return 0;
    return LoadU8(page, origin - back) & 0xF0;
}

uint8_t CompactRecordStatus(ByteSpan page, uint32_t origin) {
    if (origin < 3) return 0;
    return LoadU8(page, origin - 3) & 0x07;
}

bool ReadRedundantFields(ByteSpan page, uint32_t origin, std::vector<RedundantField>& fields,
                         uint8_t* version) {
    fields.clear();
    if (version) *version = 0;
    if (origin < kRedundantExtraBytes || origin >= page.size()) return false;
    const uint32_t bits = LoadU24be(page, origin - 5);
    const bool oneByte = (bits & 1) != 0;
    const uint32_t count = (bits >> 1) & 0x3FF;
    const uint32_t entryWidth = oneByte ? 1 : 2;
    // The version byte of a versioned record sits right below the header.
    const uint32_t header =
        kRedundantExtraBytes + ((page[origin - kRedundantExtraBytes] & kInfoRowVersion) ? 1 : 0);
    if (origin < header || count * entryWidth > origin - header) return false;
    if (header > kRedundantExtraBytes && version) *version = page[origin - header];
    uint32_t entry = origin - header;  // the first entry ends here
    uint32_t previousEnd = 0;
    fields.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        entry -= entryWidth;
        RedundantField field;
        uint32_t end;
        if (oneByte) {
            const uint8_t b = page[entry];
            end = b & 0x7F;
            field.null = (b & 0x80) != 0;
        } else {
            const uint16_t v = LoadU16be(page, entry);
            end = v & 0x3FFF;
            field.null = (v & 0x8000) != 0;
            field.external = (v & 0x4000) != 0;
        }
        if (end < previousEnd || end > page.size() - origin) {
            fields.clear();
            return false;
        }
        field.start = origin + previousEnd;
        field.length = end - previousEnd;
        previousEnd = end;
        fields.push_back(field);
    }
    return true;
}

}  // namespace brix
