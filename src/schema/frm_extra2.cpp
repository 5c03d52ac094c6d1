#include "schema/frm_extra2.h"

#include "schema/field_types.h"

namespace brix {

namespace {

// The entries start right after the 64-byte header; their total length is
// the header's 16-bit word at offset 4.
constexpr size_t kExtra2At = 64;
constexpr size_t kExtra2LengthAt = 4;
constexpr uint8_t kEngineOptionsEntry = 128;
constexpr uint8_t kFieldFlagsEntry = 129;
constexpr uint8_t kFieldDataTypeEntry = 130;
// The visibility bits of a column's flags, and the value of a column the
// server uses only for itself.
constexpr uint8_t kVisibilityMask = 3;
constexpr uint8_t kInvisibleFull = 3;

// A length-encoded number: one byte below 251, else a marker byte and 2, 3
// or 8 bytes. False when it runs past the end.
bool ReadPackedNumber(ByteSpan bytes, size_t& at, uint64_t& value) {
    if (at >= bytes.size()) return false;
    const uint8_t first = bytes[at++];
    size_t width = 0;
    if (first < 251) {
        value = first;
        return true;
    }
    if (first == 252)
        width = 2;
    else if (first == 253)
        width = 3;
    else if (first == 254)
        width = 8;
    else
        return false;
    if (bytes.size() - at < width) return false;
    value = 0;
    for (size_t i = 0; i < width; ++i) value |= static_cast<uint64_t>(bytes[at + i]) << (8 * i);
    at += width;
    return true;
}

void ReadDataTypes(ByteSpan entry, CFrmExtra2& out) {
    size_t at = 0;
    while (at < entry.size()) {
        uint64_t column = 0;
        uint64_t length = 0;
        if (!ReadPackedNumber(entry, at, column) || !ReadPackedNumber(entry, at, length)) return;
        if (length > entry.size() - at) return;
        out.dataTypes.emplace_back(
            static_cast<size_t>(column),
            std::string(entry.begin() + static_cast<ptrdiff_t>(at),
                        entry.begin() + static_cast<ptrdiff_t>(at + length)));
        at += static_cast<size_t>(length);
    }
}

// The table's part of the engine options: entries of a name length (1
// byte), the name, the value's length (2 bytes, the top bit set when the
// value was quoted) and the value, up to a zero byte; the options of the
// columns and keys follow and are not read.
void ReadEngineOptions(ByteSpan entry, CFrmExtra2& out) {
    constexpr uint16_t kQuotedValue = 0x8000;
    size_t at = 0;
    while (at < entry.size() && entry[at] != 0) {
        const size_t nameLength = entry[at++];
        if (nameLength + 2 > entry.size() - at) return;
        CEngineOption option;
        option.name.assign(entry.begin() + static_cast<ptrdiff_t>(at),
                           entry.begin() + static_cast<ptrdiff_t>(at + nameLength));
        at += nameLength;
        const uint16_t word = LoadU16le(entry, at);
        at += 2;
        const size_t valueLength = word & static_cast<uint16_t>(~kQuotedValue);
        if (valueLength > entry.size() - at) return;
        option.value.assign(entry.begin() + static_cast<ptrdiff_t>(at),
                            entry.begin() + static_cast<ptrdiff_t>(at + valueLength));
        option.quoted = (word & kQuotedValue) != 0;
        at += valueLength;
        out.engineOptions.push_back(std::move(option));
    }
}

ColumnDataType DataTypeOfName(const std::string& name) {
    if (name == "uuid") return ColumnDataType::kUuid;
    if (name == "inet6") return ColumnDataType::kInet6;
    if (name == "inet4") return ColumnDataType::kInet4;
    return ColumnDataType::kPlain;
}

}  // namespace

CFrmExtra2 ReadFrmExtra2(ByteSpan frm) {
    CFrmExtra2 out;
    if (frm.size() <= kExtra2At) return out;
    const size_t total = LoadU16le(frm, kExtra2LengthAt);
    const ByteSpan entries = frm.subspan(kExtra2At, std::min(total, frm.size() - kExtra2At));
    size_t at = 0;
    // Each entry is a type byte and a length: one byte, or 0 and two bytes.
    while (at + 2 <= entries.size()) {
        const uint8_t type = entries[at++];
        size_t length = entries[at++];
        if (length == 0) {
            if (at + 2 > entries.size()) break;
            length = LoadU16le(entries, at);
            at += 2;
        }
        if (length > entries.size() - at) break;
        const ByteSpan entry = entries.subspan(at, length);
        if (type == kEngineOptionsEntry) ReadEngineOptions(entry, out);
        if (type == kFieldFlagsEntry) out.fieldFlags.assign(entry.begin(), entry.end());
        if (type == kFieldDataTypeEntry) ReadDataTypes(entry, out);
        at += length;
    }
    return out;
}

void ApplyFrmExtra2(const CFrmExtra2& extra, CTableDef& table, size_t firstColumn,
                    size_t fieldCount) {
    table.engineOptions = extra.engineOptions;
    if (firstColumn > table.columns.size()) return;
    fieldCount = std::min(fieldCount, table.columns.size() - firstColumn);
    for (const auto& [number, name] : extra.dataTypes) {
        if (number >= fieldCount) continue;
        CColumnDef& column = table.columns[firstColumn + number];
        const ColumnDataType type = DataTypeOfName(name);
        // Only the binary types stored in a CHAR field are known here; any
        // other name leaves the column as its field type reads.
        if (type == ColumnDataType::kPlain || column.type != FieldType::kString) continue;
        column.dataType = type;
        column.length = type == ColumnDataType::kInet4 ? 4 : 16;
        column.charsetNumber = kBinaryCharset;
        column.decoder = nullptr;
    }
    size_t end = fieldCount;
    while (end > 0 && end <= extra.fieldFlags.size() &&
           (extra.fieldFlags[end - 1] & kVisibilityMask) == kInvisibleFull)
        --end;
    table.columns.resize(firstColumn + end);
}

}  // namespace brix
