#pragma once

#include <filesystem>

#include "app/damage_report.h"
#include "schema/table_def.h"

namespace brix {

class CAppState;

// Reads the .frm table definition at path into table: appends its columns and
// ENUM/SET members, replaces its keys, and sets the engine code, table
// character set, record length and null-byte count.
//
// Returns true when the file was read to its end, and also when it is not a
// table definition at all (cannot be opened, shorter than 64 bytes, other
// magic bytes, a layout version other than 6, 7, 9, 10 or 11); the table is
// then left as it was. Returns false when a later step meets damage: columns
// appended before the damage stay. Nothing outside the file's bytes is read,
// whatever counts and lengths the file declares. The file is opened read-only.
//
// A file that is there but damaged (empty, cut short, of an unknown layout,
// with parts that point outside it or do not add up) is told to damage as a
// definition finding with the offset of the part at fault; a file that is
// not there is not, as tables of MySQL 8.0 and later have none.
bool ReadTableDefinition(CTableDef& table, const std::filesystem::path& path, const CAppState& app,
                         CDamageSink* damage = nullptr);

}  // namespace brix
