#pragma once

#include <cstdint>

#include "schema/table_def.h"

namespace brix {

class CAppState;
class CInnoDictionary;

// Builds the table's clustered-record layout (inno.physicalColumns) from its
// .frm alone, deriving every column's stored form the way InnoDB derives it
// from the same definition.
void BuildColumnsFromFrm(CTableDef& table, const CAppState& app);

// Builds the layout from the stored column types that the dictionary keeps
// for tableId. Columns the dictionary does not list get no field.
void BuildColumnsFromDictionary(CTableDef& table, const CInnoDictionary& dictionary,
                                uint64_t tableId);

// The key whose columns lead the clustered record: the primary key, else the
// first unique key of NOT NULL columns without prefixes; -1 for none (the
// record starts with a row id then).
int ClusteredKey(const CTableDef& table);

// Fields of the clustered key at the start of the layout: those before the
// first system column; 0 when the record starts with a row id.
size_t KeyFieldCount(const std::vector<CInnoColumnDef>& fields);

}  // namespace brix
