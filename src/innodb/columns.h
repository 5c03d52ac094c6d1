#pragma once

#include <cstdint>
#include <vector>

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

// A field of the clustered records of a table whose rows carry versions, as
// the table's dictionary information describes it.
struct CVersionedColumn {
    // The table column it holds; -1 for a system column or a dropped one.
    int32_t tableColumn = -1;
    // A system column (row id, transaction id, roll pointer).
    bool system = false;
    // A dropped column: its definition, for the bytes older records hold.
    bool dropped = false;
    CColumnDef droppedDefinition;
    // Its place among the record's fields.
    uint32_t physicalPosition = 0;
    uint8_t versionAdded = 0;
    uint8_t versionDropped = 0;
    bool hasDefault = false;
    bool defaultNull = false;
    std::vector<uint8_t> defaultBytes;
};

// Columns MySQL 8.0.12 to 8.0.28 added in place (ALGORITHM=INSTANT), always
// after the last column, as a table's dictionary information describes them.
struct CInstantColumns {
    // The table's stored columns when the first was added (the dictionary's
    // instant_col); 0 for a table none were added to.
    uint32_t columnsBefore = 0;
    // The columns added since, in column order, each with the default that
    // records written before it show (tableColumn, hasDefault, defaultNull,
    // defaultBytes).
    std::vector<CVersionedColumn> added;
};

// Lays the reader's fields (built by BuildColumnsFromFrm) out for a table
// that columns were added to in place before MySQL 8.0.29: records written
// before the first such change hold the fields up to the first added one
// (coreFields), later ones carry their own field count (info bit 0x80), and
// each added field knows the default older records show. False when the
// description does not fit the fields (the added columns are not the last
// fields, or one lacks its default); the layout is then unchanged.
bool ApplyInstantColumns(CInnoTableReader& inno, const CInstantColumns& instant);

// Lays the reader's fields (built by BuildColumnsFromFrm) out as records of
// every version hold them: in their physical order, with the dropped columns
// whose bytes older records still carry, each field knowing the versions
// that hold it and the default that records before it show. False when the
// description does not match the fields; the layout is then unchanged.
bool ApplyRowVersions(CInnoTableReader& inno, const std::vector<CVersionedColumn>& columns,
                      const CAppState& app);

// Lays the reader's fields (built by BuildColumnsFromFrm) out for whatever
// the table's dictionary information says was changed in place: row versions
// (rowVersions), columns added before MySQL 8.0.29 (instant, the table's
// count and the added columns with their defaults), or both. columnsBefore is
// the count of the table or partition read: each partition keeps its own, and
// one made after the columns were added has none (0), its records holding
// every field. False when the description does not fit the fields; the
// layout is then unchanged.
bool ApplyInPlaceLayout(CInnoTableReader& inno, const std::vector<CVersionedColumn>& rowVersions,
                        const CInstantColumns& instant, uint32_t columnsBefore,
                        const CAppState& app);

// The key whose columns lead the clustered record: the primary key, else the
// first unique key of NOT NULL columns without prefixes; -1 for none (the
// record starts with a row id then).
int ClusteredKey(const CTableDef& table);

// Fields of the clustered key at the start of the layout: those before the
// first system column; 0 when the record starts with a row id.
size_t KeyFieldCount(const std::vector<CInnoColumnDef>& fields);

}  // namespace brix
