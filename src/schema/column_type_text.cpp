#include "schema/column_type_text.h"

#include "app/text.h"

namespace brix {

namespace {

std::u16string Number(int64_t n) {
    return WidenAscii(std::to_string(n));
}

// "(n)"; built by appending, which some compilers warn less about than "(" + n + ")".
std::u16string InParentheses(int64_t n) {
    std::u16string text(1, u'(');
    text += Number(n);
    text += u')';
    return text;
}

}  // namespace

std::u16string_view GeometryTypeText(int geometryType) {
    switch (geometryType) {
        case 1:
            return u"POINT";
        case 2:
            return u"LINESTRING";
        case 3:
            return u"POLYGON";
        case 4:
            return u"MULTIPOINT";
        case 5:
            return u"MULTILINESTRING";
        case 6:
            return u"MULTIPOLYGON";
        case 7:
            return u"GEOMETRYCOLLECTION";
        default:
            return u"GEOMETRY";
    }
}

std::u16string ColumnTypeText(const CColumnDef& column, int32_t tableCharset,
                              const CollationTable& collations) {
    uint32_t maxBytes = 0;
    if (tableCharset != 0) {
        auto found = collations.find(static_cast<uint32_t>(column.charsetNumber));
        if (found != collations.end()) maxBytes = found->second.maxCharBytes;
    }
    auto characters = [&](int32_t bytes) {
        return InParentheses(maxBytes != 0 && bytes != 0 ? bytes / maxBytes : bytes);
    };
    const bool binary = column.charsetNumber == kBinaryCharset;
    switch (column.type) {
        case FieldType::kDecimal:
        case FieldType::kNewDecimal:
            return u"DECIMAL(" + Number(column.precision) + u"," + Number(column.decimals) + u")";
        case FieldType::kTiny:
            return u"TINYINT";
        case FieldType::kShort:
            return u"SMALLINT";
        case FieldType::kLong:
            return u"INT";
        case FieldType::kFloat:
        case FieldType::kDouble: {
            std::u16string name = column.type == FieldType::kFloat ? u"FLOAT" : u"DOUBLE";
            if (column.decimals == 0) return name;
            return name + u"(" + Number(column.precision) + u"," + Number(column.decimals) + u")";
        }
        case FieldType::kTimestamp:
        case FieldType::kTimestamp2:
            return u"TIMESTAMP";
        case FieldType::kLongLong:
            return u"BIGINT";
        case FieldType::kInt24:
            return u"MEDIUMINT";
        case FieldType::kDate:
        case FieldType::kNewDate:
            return u"DATE";
        case FieldType::kTime:
        case FieldType::kTime2:
            return u"TIME";
        case FieldType::kDateTime:
        case FieldType::kDateTime2:
            return u"DATETIME";
        case FieldType::kYear:
            return u"YEAR";
        case FieldType::kVarchar:
            return (binary ? u"VARBINARY" : u"VARCHAR") + characters(column.length);
        case FieldType::kBit:
            return u"BIT" + InParentheses(column.length);
        case FieldType::kEnum:
        case FieldType::kSet: {
            std::u16string name = column.type == FieldType::kEnum ? u"ENUM" : u"SET";
            if (column.enumValues.empty()) return name;
            return name + u"(" + column.enumValues.str() + u")";
        }
        case FieldType::kTinyBlob:
            return binary ? u"TINYBLOB" : u"TINYTEXT";
        case FieldType::kMediumBlob:
            return binary ? u"MEDIUMBLOB" : u"MEDIUMTEXT";
        case FieldType::kLongBlob:
            return binary ? u"LONGBLOB" : u"LONGTEXT";
        case FieldType::kBlob:
            return binary ? u"BLOB" : u"TEXT";
        case FieldType::kVarString:
            return (binary ? u"BINARY" : u"CHAR") + characters(column.length);
        case FieldType::kString:
            if (binary) return u"BINARY" + InParentheses(column.length);
            return u"CHAR" + characters(column.length);
        case FieldType::kGeometry:
            return std::u16string(GeometryTypeText(column.geometryType));
        case FieldType::kJson:
            return u"JSON";
        default:
            return u"UNKNOWN DATATYPE";
    }
}

}  // namespace brix
