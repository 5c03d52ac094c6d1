#include "innodb/instant.h"

#include <algorithm>

#include "app/app_state.h"
#include "innodb/blob.h"
#include "innodb/btree.h"
#include "innodb/columns.h"
#include "innodb/page.h"
#include "innodb/record.h"

namespace brix {

namespace {

// The index page header field that an instant root reuses: the core field
// count in its upper 13 bits.
constexpr size_t kInstantField = 38 + 12;
constexpr uint8_t kStatusInstant = 4;
// A field map larger than this is not a map.
constexpr size_t kMaxMapBytes = 4 + 2 * 1024;

// Field-map entries: bit 15 dropped, bit 14 a dropped column was NOT NULL,
// bits 0-9 the stored column number, or for a dropped column its storage:
// 0 short variable-length, 1 long variable-length, n + 1 fixed n bytes.
constexpr uint16_t kMapDropped = 0x8000;
constexpr uint16_t kMapNotNull = 0x4000;
constexpr uint16_t kMapIndex = 0x03FF;

CInnoColumnDef DroppedField(uint16_t entry) {
    CInnoColumnDef c;
    c.preciseType = InnoFlag::kBinary | ((entry & kMapNotNull) ? InnoFlag::kNotNull : 0);
    const uint32_t storage = entry & kMapIndex;
    if (storage == 0) {
        c.mainType = InnoType::kBinary;
        c.maxLength = 255;
    } else if (storage == 1) {
        c.mainType = InnoType::kBlob;
        c.maxLength = 65535;
    } else {
        c.mainType = InnoType::kFixBinary;
        c.maxLength = storage - 1;
        c.fixedLength = storage - 1;
    }
    return c;
}

// The metadata field: a reference to off-page data, without length or null
// flag in a compact header.
CInnoColumnDef MetadataReferenceField() {
    CInnoColumnDef c;
    c.mainType = InnoType::kSys;
    c.preciseType = InnoFlag::kNotNull;
    c.maxLength = kExternalReferenceLength;
    c.fixedLength = kExternalReferenceLength;
    return c;
}

// Rebuilds the fields after the system columns from the field map.
bool ApplyFieldMap(CInnoTableReader& inno, ByteSpan map) {
    const CTableDef& table = inno.table;
    std::vector<CInnoColumnDef>& fields = inno.physicalColumns;
    const size_t keyFields = std::max<size_t>(KeyFieldCount(fields), 1);
    const size_t leading = keyFields + 2;
    if (map.size() < 4 || fields.size() < leading) return false;
    const uint32_t count = LoadU32be(map, 0);
    if (count > (map.size() - 4) / 2) return false;

    // Stored column number: the table's columns without the virtual ones.
    std::vector<int32_t> columnOfStored;
    for (const CColumnDef& c : table.columns)
        if (!c.isVirtual) columnOfStored.push_back(c.index);

    std::vector<CInnoColumnDef> rebuilt(fields.begin(), fields.begin() + leading);
    for (uint32_t k = 0; k < count; ++k) {
        const uint16_t entry = LoadU16be(map, 4 + 2 * k);
        if (entry & kMapDropped) {
            rebuilt.push_back(DroppedField(entry));
            continue;
        }
        const size_t stored = entry & kMapIndex;
        if (stored >= columnOfStored.size()) return false;
        const int32_t position = columnOfStored[stored];
        const auto found =
            std::find_if(fields.begin() + static_cast<std::ptrdiff_t>(leading), fields.end(),
                         [&](const CInnoColumnDef& f) { return f.position == position; });
        if (found == fields.end()) return false;
        rebuilt.push_back(*found);
    }
    fields = std::move(rebuilt);
    return true;
}

}  // namespace

void ReadInstantLayout(CInnoTableReader& inno, CTablespace& space, uint32_t root, CAppState& app) {
    const CTableDef& table = inno.table;
    if (root >= space.pageCount()) return;
    {
        const ByteSpan rootPage = space.Page(root);
        if (ReadFilHeader(rootPage).pageType != kInstantIndexPageType) return;
        inno.coreFields = LoadU16be(rootPage, kInstantField) >> 3;
    }
    std::vector<CInnoColumnDef>& fields = inno.physicalColumns;
    const size_t keyFields = std::max<size_t>(KeyFieldCount(fields), 1);
    if (inno.coreFields < keyFields + 2) {
        inno.coreFields = 0;
        return;
    }

    const uint32_t leaf = FindFirstLeaf(inno, space, root);
    if (leaf == 0) return;
    PageBytes copy;
    const ByteSpan cached = space.Page(leaf);
    copy.assign(cached.begin(), cached.end());
    const ByteSpan page(copy);
    const auto pageSize = static_cast<uint32_t>(page.size());
    const RecordLayout layout =
        ReadIndexPageHeader(page).compact() ? RecordLayout::kCompact : RecordLayout::kRedundant;
    if (!HasInfimum(page, layout) && layout == RecordLayout::kRedundant) return;
    // After a drop or a move the infimum and supremum lose their names, so
    // the first record is found by its link alone.
    const uint32_t origin = FirstRecord(page, layout);
    if (origin < kLowestUserOrigin || origin >= pageSize) return;
    const uint8_t info = RecordInfoBits(page, origin, layout);
    if (!(info & kInfoMinRecord)) return;
    if (layout == RecordLayout::kCompact && CompactRecordStatus(page, origin) != kStatusInstant)
        return;

    // The metadata record's own layout: after a drop or move it carries the
    // reference to the field map right after the system columns.
    const bool mapped = (info & kInfoDeleted) != 0;
    std::vector<CInnoColumnDef> metaFields = fields;
    const size_t mapField = keyFields + 2;
    if (mapped) {
        std::vector<FieldSlot> slots;
        std::vector<CInnoColumnDef> head(fields.begin(),
                                         fields.begin() + static_cast<std::ptrdiff_t>(mapField));
        head.push_back(MetadataReferenceField());
        const bool located =
            layout == RecordLayout::kCompact
                ? LocateCompactFields(page, origin, pageSize, head, inno.coreFields, slots)
                : LocateRedundantFields(page, origin, head.size(), slots);
        if (!located || !slots[mapField].present ||
            slots[mapField].length < kExternalReferenceLength)
            return;
        const ByteSpan reference =
            page.subspan(slots[mapField].start + slots[mapField].length - kExternalReferenceLength,
                         kExternalReferenceLength);
        std::vector<uint8_t> map;
        ReadExternalValue(space, reference, [&](ByteSpan part) {
            const size_t room = kMaxMapBytes - std::min(map.size(), kMaxMapBytes);
            map.insert(map.end(), part.begin(), part.begin() + std::min(part.size(), room));
        });
        if (!ApplyFieldMap(inno, map)) return;
        metaFields = fields;
        metaFields.insert(metaFields.begin() + static_cast<std::ptrdiff_t>(mapField),
                          MetadataReferenceField());
    }

    // The defaults: the metadata record decoded as a row of its own.
    std::swap(inno.physicalColumns, metaFields);
    CRowWindow& rows = inno.window.rows;
    std::swap(rows, inno.defaults);
    rows.Reset(table.columns.size());
    {
        CInnoRecordDecoder decoder(inno, app);
        if (layout == RecordLayout::kCompact) {
            decoder.DecodeCompact(page, origin, pageSize - origin);
        } else {
            decoder.DecodeRedundant(page, origin);
        }
    }
    std::swap(rows, inno.defaults);
    std::swap(inno.physicalColumns, metaFields);
}

}  // namespace brix
