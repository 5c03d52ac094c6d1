#include "myisam/myisam_header.h"

#include <algorithm>

#include "app/byte_reader.h"
#include "app/read_only_file.h"
#include "schema/table_def.h"

namespace brix {

namespace {

// State header.
constexpr size_t kStateHeaderSize = 24;
constexpr size_t kStateOptions = 4;
constexpr size_t kStateBaseInfoLength = 10;
constexpr size_t kStateBasePos = 12;
constexpr size_t kStateUniqueCount = 19;
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

}  // namespace

bool ReadMyisamHeader(const CTableDef& table, CMyisamHeader& header,
                      const std::filesystem::path& path) {
    CReadOnlyFile file;
    if (!file.Open(path)) return false;
    const uint64_t fileLength = file.Length();
    if (fileLength <= kStateHeaderSize) return false;
    const std::vector<uint8_t> head = file.ReadAll(kHeadLimit);
    file.Close();
    const ByteSpan bytes(head);

    const uint16_t options = LoadU16be(bytes, kStateOptions);
    header.myisamRowFormat = (options & kOptionCompressRecord) ? 2
                             : (options & kOptionPackRecord)   ? 1
                                                               : 0;
    const size_t basePos = LoadU16be(bytes, kStateBasePos);
    if (basePos >= fileLength) return true;
    size_t baseLength = LoadU16be(bytes, kStateBaseInfoLength);
    if (baseLength == 0) baseLength = kDefaultBaseInfoLength;

    const ByteSpan base = bytes.subspan(std::min(basePos, bytes.size()));
    header.packRecLength = LoadU32be(base, kBasePackRecLength);
    header.minPackLength = LoadU32be(base, kBaseMinPackLength);
    header.packBits = LoadU16be(base, kBasePackBits);
    const uint32_t fieldCount = LoadU32be(base, kBaseFieldCount);
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
    return true;
}

}  // namespace brix
