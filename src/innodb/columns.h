#pragma once

#include <cstdint>

#include "innodb/inno_table_reader.h"
#include "schema/table_def.h"

namespace brix {

class CAppState;
class CInnoDictionary;

// Builds the clustered-record layout (inno.physicalColumns) of the reader's
// table from its .frm alone, deriving every column's stored form the way
// InnoDB derives it from the same definition.
void BuildColumnsFromFrm(CInnoTableReader& inno, const CAppState& app);

// Builds the layout from the stored column types that the dictionary keeps
// for tableId. Columns the dictionary does not list get no field.
void BuildColumnsFromDictionary(CInnoTableReader& inno, const CInnoDictionary& dictionary,
                                uint64_t tableId);

// The key whose columns lead the clustered record: the primary key, else the
// first unique key of NOT NULL columns without prefixes; -1 for none (the
// record starts with a row id then).
int ClusteredKey(const CTableDef& table);

// Fields of the clustered key at the start of the layout: those before the
// first system column; 0 when the record starts with a row id.
size_t KeyFieldCount(const std::vector<CInnoColumnDef>& fields);

}  // namespace brix
