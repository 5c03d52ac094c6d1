#pragma once

#include <string>
#include <string_view>

#include "app/collation_table.h"
#include "schema/table_def.h"

namespace brix {

// What the name of the table that keeps a table's deleted rows apart ends
// in: orders gets orders__deleted.
inline constexpr char16_t kDeletedTableSuffix[] = u"__deleted";

// The definition of the table that keeps the deleted rows of table apart
// from its live ones: the same columns, each one allowing NULL (a column
// the deletion overwrote is NULL whatever its definition said) and none
// with a default, AUTO_INCREMENT or ON UPDATE; then _source (VARCHAR(32),
// ascii) and _unknown (TEXT, utf8mb4), as CTableRows gives them in deleted
// mode. Only the keys a recovered row cannot violate stay: no PRIMARY or
// UNIQUE key (the same row may be found twice, or beside its live
// successor) and no spatial key (its column may be NULL now). Not
// partitioned; a fixed row format, which a TEXT column does not allow, is
// left to the engine.
CTableDef DeletedRowsTableDef(const CTableDef& table);

// Whether table has a column of the name of one of the two columns the
// deleted-rows table adds, which would then clash.
bool HasDeletedRowsColumnName(const CTableDef& table);

// The CREATE TABLE statement, without a terminating semicolon, of the table
// named name that keeps table's deleted rows: CreateTableStatement of
// DeletedRowsTableDef(table), without DEFAULT clauses.
std::u16string DeletedRowsTableStatement(const CTableDef& table, std::u16string_view name,
                                         const CollationTable& collations);

}  // namespace brix
