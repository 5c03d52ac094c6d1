#pragma once

#include <string>
#include <string_view>

#include "app/collation_table.h"
#include "schema/table_def.h"

namespace brix {

// The SQL type text of a column as the column-definition grid shows it, such
// as INT, VARCHAR(50), DECIMAL(10,2), ENUM('a','b') or POINT. Character
// lengths are byte lengths divided by the maximum bytes per character of the
// column's collation, when the table records a character set and the
// collation table knows the column's collation.
std::u16string ColumnTypeText(const CColumnDef& column, int32_t tableCharset,
                              const CollationTable& collations);

// The SQL name of one of MariaDB's own types (UUID, INET6, INET4); empty for
// a plain column.
std::u16string_view DataTypeName(ColumnDataType type);

// The SQL name of a spatial column's geometry type code (GEOMETRY for any
// other code).
std::u16string_view GeometryTypeText(int geometryType);

// What follows a type's name in its text.
enum class TypeSuffix : uint8_t {
    kNone,
    kInteger,     // display width, sign and fill (in statements)
    kFloat,       // (precision,decimals) when given, sign and fill
    kDecimal,     // (precision,decimals), sign and fill
    kTemporal,    // fractional-second digits (in statements)
    kYear,        // (2) for a two-digit year (in statements)
    kBit,         // (bits)
    kCharacters,  // (characters)
    kMembers,     // the ENUM or SET members
    kGeometry,    // the name is the geometry type's
};

// The name of a field type and what follows it.
struct CTypeName {
    std::u16string_view text;        // of a column with a character set
    std::u16string_view binaryText;  // of a column of the binary character set
    TypeSuffix suffix = TypeSuffix::kNone;
};

// Where a type's text is shown: the column-definition grid or a CREATE TABLE
// statement. A type may be named differently in each.
enum class TypeTextUse : uint8_t { kGrid, kStatement };

// The name of field type code type; null for a code this reader does not know.
const CTypeName* FindTypeName(int32_t type, TypeTextUse use);

}  // namespace brix
