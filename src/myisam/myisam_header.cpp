#include "myisam/myisam_header.h"

#include <algorithm>
#include <array>
#include <system_error>

#include "app/byte_reader.h"
#include "app/read_only_file.h"
#include "schema/field_types.h"
#include "schema/table_def.h"
#include "values/value_render.h"

namespace brix {

namespace {

// State header.
constexpr size_t kStateHeaderSize = 24;
constexpr size_t kStateOptions = 4;
constexpr size_t kStateBaseInfoLength = 10;
constexpr size_t kStateBasePos = 12;
constexpr size_t kStateUniqueCount = 19;
// The state that follows: open count, changed flags, then the row count.
constexpr size_t kStateRecords = kStateHeaderSize + 4;
constexpr size_t kStateDeleted = kStateRecords + 8;
// After the counts of rows, deleted rows and split blocks, the first deleted
// block and the index file's length.
constexpr size_t kStateDataFileLength = kStateRecords + 40;
constexpr uint16_t kOptionPackRecord = 1 << 0;
constexpr uint16_t kOptionCompressRecord = 1 << 2;

// Base information: five u64 (key start, data and key file limits, records,
// deleted), then u32 mean row length, record length, packed record length,
// minimum packed length, ...
constexpr size_t kBasePackRecLength = 5 * 8 + 2 * 4;
constexpr size_t kBaseMinPackLength = kBasePackRecLength + 4;
constexpr size_t kBaseFieldCount = kBaseMinPackLength + 4 * 3;
constexpr size_t kBaseKeyCount = kBaseFieldCount + 4 + 4 + 1 + 1;
constexpr size_t kBasePackBits = kBaseKeyCount + 1 + 1;
// Servers that leave the length out of the state header write this much.
constexpr size_t kDefaultBaseInfoLength = 100;

constexpr size_t kKeyDefSize = 12;
constexpr size_t kUniqueDefSize = 4;
constexpr size_t kKeySegmentSize = 18;
constexpr size_t kFieldEntrySize = 7;

// The index file's head is small; keys with many segments and a wide table
// stay well inside this.
constexpr size_t kHeadLimit = 4u << 20;

// The first bytes of every MyISAM index file; the fourth is a version.
constexpr uint8_t kMagic[] = {0xFE, 0xFE, 0x07};

// A plain field as the server's record layout names one, reached by record
// position.
CMyisamColumnDef PlainEntry(uint32_t offset, uint32_t length) {
    CMyisamColumnDef e;
    e.myisamType = MyisamFieldKind::kNormal;
    e.myisamLength = static_cast<uint16_t>(std::min<uint32_t>(length, 0xFFFF));
    e.offset = offset;
    return e;
}

// The bytes a column takes in the stored record: 0 for one that is not
// stored there (a virtual column, a BIT column held wholly among the null
// flags).
uint32_t StoredLength(const CColumnDef& c) {
    if (c.isVirtual || c.recordPos <= 0) return 0;
    if (c.type == FieldType::kVarchar)
        return static_cast<uint32_t>(std::max(c.length, 0)) + (c.length > 255 ? 2 : 1);
    if (IsBlobType(c.type) || c.type == FieldType::kGeometry || c.type == FieldType::kJson)
        return static_cast<uint32_t>(StoredValueWidth(c)) + 8;  // the length and a pointer
    if (c.type == FieldType::kBit && !c.bitAsChar)
        return static_cast<uint32_t>(std::clamp(c.length, 0, 64) / 8);
    return static_cast<uint32_t>(StoredValueWidth(c));
}

// The kind the server packs a field of column c as, length bytes long, in a
// table of packed records or not.
int16_t FieldKindOf(const CColumnDef& c, uint32_t length, bool packed) {
    if (IsBlobType(c.type) || c.type == FieldType::kGeometry || c.type == FieldType::kJson)
        return MyisamFieldKind::kBlob;
    if (c.type == FieldType::kTimestamp) return MyisamFieldKind::kNormal;
    if (c.type == FieldType::kVarchar) return MyisamFieldKind::kVarchar;
    if (!packed) return MyisamFieldKind::kNormal;
    // Numbers, SET and most dates and times drop a field of zero bytes;
    // strings, ENUM, DECIMAL and the TIMESTAMP of fractional seconds do not.
    const bool zeroPacks = c.type != FieldType::kString && c.type != FieldType::kVarString &&
                           c.type != FieldType::kEnum && c.type != FieldType::kNewDecimal &&
                           c.type != FieldType::kDecimal && c.type != FieldType::kTimestamp2;
    if (zeroPacks) return MyisamFieldKind::kSkipZero;
    if (length <= 3 || c.zerofill) return MyisamFieldKind::kNormal;
    return c.type == FieldType::kString || c.type == FieldType::kVarString
               ? MyisamFieldKind::kSkipEndSpace
               : MyisamFieldKind::kSkipPreSpace;
}

}  // namespace

void MyisamHeaderFromDefinition(const CTableDef& table, CMyisamHeader& header) {
    header = CMyisamHeader{};
    const bool packed = (table.createOptions & 1) != 0;
    header.myisamRowFormat = packed ? 1 : 0;
    const uint32_t recordLength = static_cast<uint32_t>(std::max(table.recordLength, 0));
    header.packRecLength = recordLength;

    // The stored columns by record position, a shorter one first where two
    // share it.
    std::vector<const CColumnDef*> stored;
    for (const CColumnDef& c : table.columns)
        if (StoredLength(c) > 0) stored.push_back(&c);
    std::stable_sort(stored.begin(), stored.end(), [](const CColumnDef* a, const CColumnDef* b) {
        if (a->recordPos != b->recordPos) return a->recordPos < b->recordPos;
        return StoredLength(*a) < StoredLength(*b);
    });
    uint32_t at = 0;
    uint32_t flagged = 0;
    uint32_t minLength = 0;
    for (const CColumnDef* c : stored) {
        const uint32_t offset = static_cast<uint32_t>(c->recordPos - 1);
        const uint32_t length = StoredLength(*c);
        if (offset < at || offset + length > recordLength) continue;  // overlaps: not stored
        if (offset > at) {
            header.myisamColumns.push_back(PlainEntry(at, offset - at));
            minLength += offset - at;
        }
        CMyisamColumnDef e = PlainEntry(offset, length);
        e.myisamType = FieldKindOf(*c, length, packed);
        if (c->nullFlagBit >= 0) {
            e.nullBit = static_cast<uint8_t>(1u << (c->nullFlagBit % 8));
            e.nullPos = static_cast<uint16_t>(c->nullFlagBit / 8);
        }
        switch (e.myisamType) {
            case MyisamFieldKind::kNormal:
                minLength += length;
                break;
            case MyisamFieldKind::kVarchar:
            case MyisamFieldKind::kSkipEndSpace:
            case MyisamFieldKind::kSkipPreSpace:
                minLength += 1;
                break;
            default:
                break;
        }
        if (e.myisamType != MyisamFieldKind::kNormal && e.myisamType != MyisamFieldKind::kVarchar)
            ++flagged;
        header.myisamColumns.push_back(e);
        at = offset + length;
    }
    if (at < recordLength) {
        header.myisamColumns.push_back(PlainEntry(at, recordLength - at));
        minLength += recordLength - at;
    }
    header.packBits = static_cast<uint16_t>((flagged + 7) / 8);
    header.fieldCount = static_cast<uint32_t>(header.myisamColumns.size());
    // Fixed-length rows are as long as the record, whatever their fields.
    header.minPackLength = packed ? minLength + header.packBits : recordLength;
}

int64_t ReadMyisamDeletedCount(const std::filesystem::path& path) {
    CReadOnlyFile file;
    if (path.empty() || !file.Open(path)) return -1;
    std::array<uint8_t, kStateDeleted + 8> head{};
    if (file.ReadAt(0, head.data(), head.size()) != head.size()) return -1;
    const ByteSpan bytes(head.data(), head.size());
    if (!std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin())) return -1;
    if (LoadU16be(bytes, kStateOptions) & kOptionCompressRecord) return 0;
    return static_cast<int64_t>(
        std::min<uint64_t>(LoadU64be(bytes, kStateDeleted), uint64_t{1} << 62));
}

bool ReadMyisamHeader(const CTableDef& table, CMyisamHeader& header,
                      const std::filesystem::path& path, std::string* unusable) {
    std::string scratch;
    std::string& why = unusable ? *unusable : scratch;
    why.clear();
    CReadOnlyFile file;
    if (!file.Open(path)) {
        std::error_code ec;
        why = path.empty() || !std::filesystem::exists(path, ec) ? "missing" : "cannot be opened";
        return false;
    }
    const uint64_t fileLength = file.Length();
    if (fileLength <= kStateHeaderSize) {
        why = fileLength == 0 ? "empty" : "cut short";
        return false;
    }
    const std::vector<uint8_t> head = file.ReadAll(kHeadLimit);
    file.Close();
    const ByteSpan bytes(head);
    if (bytes.size() < sizeof kMagic ||
        !std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin()))
        why = "not a MyISAM index file";

    const uint16_t options = LoadU16be(bytes, kStateOptions);
    header.myisamRowFormat = (options & kOptionCompressRecord) ? 2
                             : (options & kOptionPackRecord)   ? 1
                                                               : 0;
    const size_t basePos = LoadU16be(bytes, kStateBasePos);
    size_t baseLength = LoadU16be(bytes, kStateBaseInfoLength);
    if (baseLength == 0) baseLength = kDefaultBaseInfoLength;
    if (basePos + baseLength > bytes.size() && why.empty()) why = "cut short";
    if (basePos >= fileLength) return true;

    const ByteSpan base = bytes.subspan(std::min(basePos, bytes.size()));
    header.records = static_cast<int64_t>(
        std::min<uint64_t>(LoadU64be(bytes, kStateRecords), uint64_t{1} << 62));
    header.dataFileLength = static_cast<int64_t>(
        std::min<uint64_t>(LoadU64be(bytes, kStateDataFileLength), uint64_t{1} << 62));
    header.packRecLength = LoadU32be(base, kBasePackRecLength);
    header.minPackLength = LoadU32be(base, kBaseMinPackLength);
    header.packBits = LoadU16be(base, kBasePackBits);
    const uint32_t fieldCount = LoadU32be(base, kBaseFieldCount);
    header.fieldCount = fieldCount;
    const uint8_t keyCount = LoadU8(base, kBaseKeyCount);

    // The key definitions follow the base information; walk over them and
    // the unique constraints to the field entries.
    ByteReader r(bytes);
    r.seek(std::min(basePos + baseLength, bytes.size()));
    for (uint8_t k = 0; k < keyCount && !r.atEnd(); ++k) {
        const uint8_t segments = r.u8();
        r.skip(kKeyDefSize - 1 + segments * kKeySegmentSize);
    }
    const uint8_t uniqueCount = LoadU8(bytes, kStateUniqueCount);
    for (uint8_t u = 0; u < uniqueCount && !r.atEnd(); ++u) {
        const uint16_t segments = r.u16be();
        r.skip(kUniqueDefSize - 2 + segments * kKeySegmentSize);
    }

    const size_t maxEntries = table.columns.size() + 1;
    const size_t entries = std::min<size_t>(fieldCount, maxEntries);
    header.myisamColumns.clear();
    header.myisamColumns.reserve(entries);
    uint32_t offset = 0;
    for (size_t i = 0; i < entries && r.remaining() >= kFieldEntrySize; ++i) {
        CMyisamColumnDef entry;
        entry.myisamType = static_cast<int16_t>(r.u16be());
        entry.myisamLength = r.u16be();
        entry.nullBit = r.u8();
        entry.nullPos = r.u16be();
        entry.offset = offset;
        offset += entry.myisamLength;
        header.myisamColumns.push_back(entry);
    }
    if (header.myisamColumns.size() < entries && why.empty()) why = "cut short";
    if (entries == 0 && !table.columns.empty() && why.empty()) why = "holds no field entries";
    return true;
}

}  // namespace brix
