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

// The SQL name of a spatial column's geometry type code (GEOMETRY for any
// other code).
std::u16string_view GeometryTypeText(int geometryType);

}  // namespace brix
