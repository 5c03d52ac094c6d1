#include "schema/column_type_text.h"

#include "app/text.h"
#include "schema/field_types.h"

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

namespace {

struct CTypeNameRow {
    int32_t type;
    CTypeName name;
    // The statement's name where it differs from the grid's.
    CTypeName statement = {};
};

constexpr CTypeNameRow kTypeNames[] = {
    {FieldType::kDecimal, {u"DECIMAL", u"DECIMAL", TypeSuffix::kDecimal}},
    {FieldType::kNewDecimal, {u"DECIMAL", u"DECIMAL", TypeSuffix::kDecimal}},
    {FieldType::kTiny, {u"TINYINT", u"TINYINT", TypeSuffix::kInteger}},
    {FieldType::kShort, {u"SMALLINT", u"SMALLINT", TypeSuffix::kInteger}},
    {FieldType::kInt24, {u"MEDIUMINT", u"MEDIUMINT", TypeSuffix::kInteger}},
    {FieldType::kLong, {u"INT", u"INT", TypeSuffix::kInteger}},
    {FieldType::kLongLong, {u"BIGINT", u"BIGINT", TypeSuffix::kInteger}},
    {FieldType::kFloat, {u"FLOAT", u"FLOAT", TypeSuffix::kFloat}},
    {FieldType::kDouble, {u"DOUBLE", u"DOUBLE", TypeSuffix::kFloat}},
    {FieldType::kTimestamp, {u"TIMESTAMP", u"TIMESTAMP", TypeSuffix::kTemporal}},
    {FieldType::kTimestamp2, {u"TIMESTAMP", u"TIMESTAMP", TypeSuffix::kTemporal}},
    {FieldType::kDate, {u"DATE", u"DATE", TypeSuffix::kNone}},
    {FieldType::kNewDate, {u"DATE", u"DATE", TypeSuffix::kNone}},
    {FieldType::kTime, {u"TIME", u"TIME", TypeSuffix::kTemporal}},
    {FieldType::kTime2, {u"TIME", u"TIME", TypeSuffix::kTemporal}},
    {FieldType::kDateTime, {u"DATETIME", u"DATETIME", TypeSuffix::kTemporal}},
    {FieldType::kDateTime2, {u"DATETIME", u"DATETIME", TypeSuffix::kTemporal}},
    {FieldType::kYear, {u"YEAR", u"YEAR", TypeSuffix::kYear}},
    {FieldType::kBit, {u"BIT", u"BIT", TypeSuffix::kBit}},
    {FieldType::kVarchar, {u"VARCHAR", u"VARBINARY", TypeSuffix::kCharacters}},
    // The VARCHAR of servers before MySQL 5.0.3, which the server still shows
    // as VARCHAR; the .frm reader makes those it shows as CHAR plain CHAR.
    {FieldType::kVarString, {u"VARCHAR", u"VARBINARY", TypeSuffix::kCharacters}},
    {FieldType::kString, {u"CHAR", u"BINARY", TypeSuffix::kCharacters}},
    {FieldType::kEnum, {u"ENUM", u"ENUM", TypeSuffix::kMembers}},
    {FieldType::kSet, {u"SET", u"SET", TypeSuffix::kMembers}},
    {FieldType::kTinyBlob, {u"TINYTEXT", u"TINYBLOB", TypeSuffix::kNone}},
    {FieldType::kBlob, {u"TEXT", u"BLOB", TypeSuffix::kNone}},
    {FieldType::kMediumBlob, {u"MEDIUMTEXT", u"MEDIUMBLOB", TypeSuffix::kNone}},
    {FieldType::kLongBlob, {u"LONGTEXT", u"LONGBLOB", TypeSuffix::kNone}},
    {FieldType::kGeometry, {u"GEOMETRY", u"GEOMETRY", TypeSuffix::kGeometry}},
    {FieldType::kJson, {u"JSON", u"JSON", TypeSuffix::kNone}},
};

}  // namespace

const CTypeName* FindTypeName(int32_t type, TypeTextUse use) {
    for (const CTypeNameRow& row : kTypeNames) {
        if (row.type != type) continue;
        if (use == TypeTextUse::kStatement && !row.statement.text.empty()) return &row.statement;
        return &row.name;
    }
    return nullptr;
}

std::u16string_view DataTypeName(ColumnDataType type) {
    switch (type) {
        case ColumnDataType::kUuid:
            return u"UUID";
        case ColumnDataType::kInet6:
            return u"INET6";
        case ColumnDataType::kInet4:
            return u"INET4";
        case ColumnDataType::kPlain:
            break;
    }
    return {};
}

std::u16string ColumnTypeText(const CColumnDef& column, int32_t tableCharset,
                              const CollationTable& collations) {
    if (const std::u16string_view name = DataTypeName(column.dataType); !name.empty())
        return std::u16string(name);
    const CTypeName* name = FindTypeName(column.type, TypeTextUse::kGrid);
    if (!name) return u"UNKNOWN DATATYPE";
    uint32_t maxBytes = 0;
    if (tableCharset != 0) {
        auto found = collations.find(static_cast<uint32_t>(column.charsetNumber));
        if (found != collations.end()) maxBytes = found->second.maxCharBytes;
    }
    const bool binary = column.charsetNumber == kBinaryCharset;
    std::u16string text(binary ? name->binaryText : name->text);
    auto precisionAndDecimals = [&] {
        text += u"(" + Number(column.precision) + u"," + Number(column.decimals) + u")";
    };
    switch (name->suffix) {
        case TypeSuffix::kDecimal:
            precisionAndDecimals();
            break;
        case TypeSuffix::kFloat:
            if (column.decimals != 0) precisionAndDecimals();
            break;
        case TypeSuffix::kBit:
            text += InParentheses(column.length);
            break;
        case TypeSuffix::kCharacters: {
            // A BINARY column's length is its bytes.
            const bool bytes = binary && column.type == FieldType::kString;
            const int32_t n = column.length;
            text += InParentheses(!bytes && maxBytes != 0 && n != 0 ? n / maxBytes : n);
            break;
        }
        case TypeSuffix::kMembers:
            if (!column.enumValues.empty()) text += u"(" + column.enumValues.str() + u")";
            break;
        case TypeSuffix::kGeometry:
            text = GeometryTypeText(column.geometryType);
            break;
        case TypeSuffix::kNone:
        case TypeSuffix::kInteger:
        case TypeSuffix::kTemporal:
        case TypeSuffix::kYear:
            break;
    }
    return text;
}

}  // namespace brix
