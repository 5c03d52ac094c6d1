#pragma once

#include <array>
#include <string>

#include "app/collation_table.h"
#include "schema/table_def.h"

namespace brix {

// Titles of the column-definition grid, in grid order.
inline constexpr std::array<const char16_t*, 5> kColumnGridTitles = {
    u"Column Name", u"Data Type", u"size", u"Allow Nulls", u"Key Name"};

// The texts of one grid row: name, type text, stored length, "True"/"False"
// for NULL allowed, and "Primary Key", "Unique Key" or nothing.
std::array<std::u16string, 5> ColumnGridRow(const CColumnDef& column, int32_t tableCharset,
                                            const CollationTable& collations);

}  // namespace brix
