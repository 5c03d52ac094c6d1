#include "values/value_render.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "values/binary_decimal.h"
#include "values/float_text.h"
#include "values/json_binary.h"
#include "values/temporal.h"
#include "values/text_append.h"
#include "values/typed_binary.h"
#include "values/value_text.h"

namespace brix {

namespace {

constexpr int kMaxBits = 64;

size_t EnumWidth(const CColumnDef& column) {
    return column.enumCount > 255 ? 2 : 1;
}

size_t SetWidth(const CColumnDef& column) {
    size_t bytes = (static_cast<size_t>(column.enumCount) + 7) / 8;
    if (bytes == 0) return 1;
    return bytes > 4 ? 8 : bytes;
}

size_t BitWidth(const CColumnDef& column) {
    return (static_cast<size_t>(std::min(std::max(column.length, 0), kMaxBits)) + 7) / 8;
}

void AppendIntegerValue(std::u16string& out, const CColumnDef& column, ByteSpan bytes,
                        size_t width) {
    const uint64_t raw = LoadUIntLe(bytes, 0, width);
    // Without a known sign the narrow types read unsigned and the wide ones signed.
    bool isSigned = width >= 4;
    if (column.signedness == Signedness::kSigned) isSigned = true;
    if (column.signedness == Signedness::kUnsigned) isSigned = false;
    const int minDigits = column.zerofill ? column.length : 1;
    if (isSigned) {
        const int shift = 64 - static_cast<int>(8 * width);
        AppendInteger(out, static_cast<int64_t>(raw << shift) >> shift, minDigits);
    } else {
        AppendInteger(out, raw, minDigits);
    }
}

template <typename Float>
void AppendFloatValue(std::u16string& out, const CColumnDef& column, Float value,
                      const RenderContext& context) {
    if (context.exportMode) {
        // Decimals are fixed where the column has a precision.
        constexpr int kNotFixed = 31;
        AppendServerFloat(out, static_cast<double>(value), sizeof(Float) == sizeof(float),
                          column.precision > 0 ? column.decimals : kNotFixed);
        return;
    }
    char buffer[512];
    const std::to_chars_result r = std::to_chars(
        buffer, buffer + sizeof buffer, static_cast<double>(value), std::chars_format::fixed, 6);
    AppendChars(out, buffer, r.ptr);
}

void AppendBits(std::u16string& out, const CColumnDef& column, ByteSpan bytes) {
    const int bits = std::min(std::max(column.length, 0), kMaxBits);
    const uint64_t v = LoadUIntBe(bytes, 0, BitWidth(column));
    for (int i = bits - 1; i >= 0; --i) out.push_back((v >> i) & 1 ? u'1' : u'0');
}

void AppendMembers(std::u16string& out, const CColumnDef& column, ByteSpan bytes,
                   const RenderContext& context) {
    const size_t first = static_cast<size_t>(std::max(column.enumFirst, 0));
    const size_t count = static_cast<size_t>(std::max(column.enumCount, 0));
    if (first > context.allEnumValues.size() || count > context.allEnumValues.size() - first)
        return;
    const auto members = context.allEnumValues.subspan(first, count);
    if (column.type == FieldType::kEnum) {
        const uint64_t n = LoadUIntLe(bytes, 0, EnumWidth(column));
        if (n >= 1 && n <= members.size()) out += members[n - 1];
        return;
    }
    const uint64_t mask = LoadUIntLe(bytes, 0, SetWidth(column));
    bool firstMember = true;
    for (size_t i = 0; i < members.size() && i < 64; ++i) {
        if (!(mask >> i & 1)) continue;
        if (!firstMember) out.push_back(u',');
        out += members[i];
        firstMember = false;
    }
}

void AppendCharacters(std::u16string& out, const CColumnDef& column, ByteSpan bytes,
                      const RenderContext& context) {
    const CTextDecoder& decoder = column.decoder ? *column.decoder : context.decoders->Ansi();
    // Display ends a text at its first zero character; export keeps every byte.
    decoder.Append(bytes, out, !context.exportMode);
}

void AppendString(std::u16string& out, const CColumnDef& column, ByteSpan bytes,
                  const RenderContext& context) {
    if (column.dataType != ColumnDataType::kPlain)
        return AppendTypedBinary(out, column.dataType, bytes);
    if (column.charsetNumber != kBinaryCharset) {
        const size_t start = out.size();
        AppendCharacters(out, column, bytes, context);
        // CHAR values, and the VARCHAR of servers before MySQL 5.0.3, are
        // stored padded with spaces; the server shows them without the
        // padding.
        if (column.type == FieldType::kString || column.type == FieldType::kVarString) {
            size_t end = out.size();
            while (end > start && out[end - 1] == u' ') --end;
            out.resize(end);
        }
        return;
    }
    if (context.exportMode || bytes.size() < kBinaryDisplayLimit) return AppendHexBytes(out, bytes);
    out += kBinaryDataText;
}

void AppendBlob(std::u16string& out, const CColumnDef& column, ByteSpan bytes,
                const RenderContext& context) {
    if (!context.exportMode && !context.blobsInFull && bytes.size() >= kBlobDisplayLimit) {
        out += kLargeBlobText;
    } else if (column.charsetNumber == kBinaryCharset) {
        AppendHexBytes(out, bytes);
    } else {
        AppendCharacters(out, column, bytes, context);
    }
}

}  // namespace

size_t StoredValueWidth(const CColumnDef& column) {
    switch (column.type) {
        case FieldType::kTiny:
            return 1;
        case FieldType::kShort:
            return 2;
        case FieldType::kInt24:
            return 3;
        case FieldType::kLong:
            return 4;
        case FieldType::kLongLong:
            return 8;
        case FieldType::kFloat:
            return 4;
        case FieldType::kDouble:
            return 8;
        case FieldType::kDecimal:
            return static_cast<size_t>(std::max(column.length, 0));
        case FieldType::kNewDecimal:
            return BinaryDecimalSize(column.precision, column.decimals);
        case FieldType::kBit:
            return BitWidth(column);
        case FieldType::kEnum:
            return EnumWidth(column);
        case FieldType::kSet:
            return SetWidth(column);
        case FieldType::kVarchar:
            return column.length > 255 ? 2 : 1;
        case FieldType::kVarString:
        case FieldType::kString:
            return static_cast<size_t>(std::max(column.length, 0));
        case FieldType::kTinyBlob:
        case FieldType::kMediumBlob:
        case FieldType::kLongBlob:
        case FieldType::kBlob:
            return BlobLengthBytes(column.type);
        case FieldType::kGeometry:
        case FieldType::kJson:
            return BlobLengthBytes(FieldType::kLongBlob);
        default:
            return TemporalWidth(column);
    }
}

bool RenderMyIsamValue(const CColumnDef& column, ByteSpan bytes, const RenderContext& context,
                       std::u16string& out) {
    switch (column.type) {
        case FieldType::kTiny:
            AppendIntegerValue(out, column, bytes, 1);
            break;
        case FieldType::kShort:
            AppendIntegerValue(out, column, bytes, 2);
            break;
        case FieldType::kInt24:
            AppendIntegerValue(out, column, bytes, 3);
            break;
        case FieldType::kLong:
            AppendIntegerValue(out, column, bytes, 4);
            break;
        case FieldType::kLongLong:
            AppendIntegerValue(out, column, bytes, 8);
            break;
        case FieldType::kFloat: {
            float v;
            uint32_t raw = LoadU32le(bytes, 0);
            std::memcpy(&v, &raw, sizeof v);
            AppendFloatValue(out, column, v, context);
            break;
        }
        case FieldType::kDouble: {
            double v;
            uint64_t raw = LoadU64le(bytes, 0);
            std::memcpy(&v, &raw, sizeof v);
            AppendFloatValue(out, column, v, context);
            break;
        }
        case FieldType::kDecimal: {
            // ASCII digits, right-aligned in the field with spaces before them.
            size_t begin = 0;
            size_t end = std::min(bytes.size(), static_cast<size_t>(std::max(column.length, 0)));
            while (begin < end && (bytes[begin] == ' ' || bytes[begin] == 0)) ++begin;
            while (end > begin && (bytes[end - 1] == ' ' || bytes[end - 1] == 0)) --end;
            context.decoders->Ansi().Append(bytes.subspan(begin, end - begin), out, true);
            break;
        }
        case FieldType::kNewDecimal:
            AppendBinaryDecimal(out, bytes, column.precision, column.decimals);
            break;
        case FieldType::kBit:
            AppendBits(out, column, bytes);
            break;
        case FieldType::kEnum:
        case FieldType::kSet:
            AppendMembers(out, column, bytes, context);
            break;
        case FieldType::kVarchar:
        case FieldType::kVarString:
        case FieldType::kString:
            AppendString(out, column, bytes, context);
            break;
        case FieldType::kTinyBlob:
        case FieldType::kMediumBlob:
        case FieldType::kLongBlob:
        case FieldType::kBlob:
            AppendBlob(out, column, bytes, context);
            break;
        case FieldType::kJson:
            // Shown as the server prints it; long ones are placeholders in
            // display mode, as BLOB and TEXT values are. A damaged value
            // shows the text of what came before the damage.
            if (!context.exportMode && !context.blobsInFull && bytes.size() >= kBlobDisplayLimit) {
                out += kLargeBlobText;
            } else {
                AppendJsonBinary(out, bytes);
            }
            break;
        case FieldType::kGeometry:
            if (!context.exportMode) {
                out += kSpatialDataText;
            } else if (std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; })) {
                // Nothing but zeros is no shape at all.
                out += kNullText;
                return true;
            } else {
                // The stored form (SRID and well-known binary) in hex: what a
                // server takes back as the same shape.
                AppendHexBytes(out, bytes);
            }
            break;
        default:
            AppendTemporalValue(out, column, bytes, context.exportMode);
            break;
    }
    return false;
}

bool ApplyNullFlag(ByteSpan rowNullFlags, size_t nullPos, uint8_t nullBit) {
    return nullBit != 0 && nullPos < rowNullFlags.size() &&
           (rowNullFlags[nullPos] & nullBit) == nullBit;
}

}  // namespace brix
