#include "csv/csv_value.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "values/text_append.h"

namespace brix {

namespace {

bool IsDigit(uint8_t b) {
    return b >= '0' && b <= '9';
}

// An optional sign, then digits.
bool IsIntegerText(ByteSpan text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    if (i == text.size()) return false;
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(), IsDigit);
}

// An optional sign, digits with at most one decimal point, at least one digit.
bool IsDecimalText(ByteSpan text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    bool digit = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (IsDigit(text[i])) {
            digit = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

// Dates, times and datetimes: digits and the separators the server prints.
bool IsTemporalText(ByteSpan text) {
    if (text.empty() || text.size() > 40) return false;
    return std::all_of(text.begin(), text.end(), [](uint8_t b) {
        return IsDigit(b) || b == '-' || b == ':' || b == ' ' || b == '.';
    });
}

void AppendAscii(std::u16string& out, ByteSpan text) {
    for (uint8_t b : text) out.push_back(static_cast<char16_t>(b));
}

bool AppendFloat(const CColumnDef& column, ByteSpan text, const RenderContext& context,
                 std::vector<uint8_t>& scratch, std::u16string& out) {
    if (text.empty() || text.size() > 400) return false;
    const char* begin = reinterpret_cast<const char*>(text.data());
    const char* end = begin + text.size();
    if (*begin == '+') ++begin;
    double value = 0;
    const std::from_chars_result r = std::from_chars(begin, end, value);
    if (r.ec != std::errc() || r.ptr != end) return false;
    // The value as the record of another engine holds it, for the one
    // renderer of floats.
    if (column.type == FieldType::kFloat) {
        const float narrow = static_cast<float>(value);
        scratch.resize(sizeof narrow);
        std::memcpy(scratch.data(), &narrow, sizeof narrow);
    } else {
        scratch.resize(sizeof value);
        std::memcpy(scratch.data(), &value, sizeof value);
    }
    RenderMyIsamValue(column, scratch, context, out);
    return true;
}

bool AppendBitValue(const CColumnDef& column, ByteSpan text, const RenderContext& context,
                    std::vector<uint8_t>& scratch, std::u16string& out) {
    // The server writes the column's bytes, most significant first.
    const size_t width = StoredValueWidth(column);
    if (text.size() > width || width == 0) return false;
    scratch.assign(width, 0);
    std::copy(text.begin(), text.end(), scratch.end() - static_cast<std::ptrdiff_t>(text.size()));
    RenderMyIsamValue(column, scratch, context, out);
    return true;
}

}  // namespace

bool AppendCsvValue(const CColumnDef& column, ByteSpan text, const RenderContext& context,
                    std::vector<uint8_t>& scratch, std::u16string& out) {
    switch (column.type) {
        case FieldType::kTiny:
        case FieldType::kShort:
        case FieldType::kInt24:
        case FieldType::kLong:
        case FieldType::kLongLong:
        case FieldType::kYear:
            if (!IsIntegerText(text)) return false;
            AppendAscii(out, text);
            return true;
        case FieldType::kDecimal:
        case FieldType::kNewDecimal:
            if (!IsDecimalText(text)) return false;
            AppendAscii(out, text);
            return true;
        case FieldType::kFloat:
        case FieldType::kDouble:
            return AppendFloat(column, text, context, scratch, out);
        case FieldType::kTimestamp:
        case FieldType::kTimestamp2:
        case FieldType::kDate:
        case FieldType::kNewDate:
        case FieldType::kTime:
        case FieldType::kTime2:
        case FieldType::kDateTime:
        case FieldType::kDateTime2:
            if (!IsTemporalText(text)) return false;
            AppendAscii(out, text);
            return true;
        case FieldType::kBit:
            return AppendBitValue(column, text, context, scratch, out);
        case FieldType::kEnum:
        case FieldType::kSet: {
            const CTextDecoder& decoder =
                column.decoder ? *column.decoder : context.decoders->Ansi();
            decoder.Append(text, out, false);
            return true;
        }
        case FieldType::kJson:
            // The server writes the text it prints for the document.
            context.decoders->Utf8().Append(text, out, false);
            return true;
        default:
            break;
    }
    if (column.dataType != ColumnDataType::kPlain) {
        // Typed binary columns (UUID, INET6) are written as the text shown.
        AppendAscii(out, text);
        return true;
    }
    // Strings, BLOB and TEXT: the field holds the value's bytes.
    RenderMyIsamValue(column, text, context, out);
    return true;
}

}  // namespace brix
