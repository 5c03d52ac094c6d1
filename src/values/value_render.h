#pragma once

#include <span>
#include <string>

#include "app/byte_reader.h"
#include "app/text_decoder.h"
#include "schema/table_def.h"

namespace brix {

// Texts the renderers produce in place of a value.
inline constexpr char16_t kNullText[] = u"NULL";
inline constexpr char16_t kBinaryDataText[] = u"0x<Binarydata>";
inline constexpr char16_t kLargeBlobText[] = u"Large Blob Data";
// An InnoDB value stored off the record, in display mode.
inline constexpr char16_t kLargeSizeBlobText[] = u"Large Size Blob Data";
inline constexpr char16_t kSpatialDataText[] = u"Spatial Data";

// Display mode shortens binary strings from this many bytes on, BLOB and TEXT
// values from kBlobDisplayLimit bytes on.
inline constexpr size_t kBinaryDisplayLimit = 100;
inline constexpr size_t kBlobDisplayLimit = 1000;

// What rendering a value needs besides the column and its bytes.
struct RenderContext {
    const CTextDecoders* decoders = nullptr;
    // Every ENUM/SET member of the table; a column's own members are a slice.
    std::span<const std::u16string> allEnumValues;
    // Export mode renders long and binary values in full.
    bool exportMode = false;
    // BLOB and TEXT values held in the record are shown whole in display mode
    // too (InnoDB keeps long ones off the record instead).
    bool blobsInFull = false;
};

// Bytes a value of the column takes in a row image. For VARCHAR, BLOB, TEXT,
// JSON and spatial columns: the bytes of the length that comes before the data.
// 0 for types that have no rendering.
size_t StoredValueWidth(const CColumnDef& column);

// Appends the text of one stored value to out, as the server would show it:
// integers by the column's signedness (unknown: 8-, 16- and 24-bit unsigned,
// 32- and 64-bit signed) with ZEROFILL padding, FLOAT and DOUBLE with six
// decimals in display mode and as the server writes them in export mode
// (AppendServerFloat), DECIMAL, temporal values, BIT as its bits,
// ENUM/SET as member names, strings and TEXT in the column's character set
// (binary ones as hex), JSON as the text the server prints for it, and the
// placeholder texts of display mode. Export
// mode writes TIMESTAMP values in UTC and spatial values as the hex of their
// stored form, so that a script can give the server back the same values.
// The bytes are the value as stored: little-endian integers, string and blob
// data without their length prefix. Missing bytes read as zero. Returns true
// when the value is NULL (an empty or all-zero spatial value in export mode);
// out then holds "NULL".
bool RenderMyIsamValue(const CColumnDef& column, ByteSpan bytes, const RenderContext& context,
                       std::u16string& out);

// True when the column's null flag is set in the row's null-flag bytes: the
// value is NULL, whatever its bytes would render to. A flag position outside
// the null-flag bytes is never set.
bool ApplyNullFlag(ByteSpan rowNullFlags, size_t nullPos, uint8_t nullBit);

}  // namespace brix
