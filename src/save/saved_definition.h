#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "innodb/dictionary_foreign.h"
#include "schema/table_def.h"

namespace brix {

class CInnoDictionary;

// The definition a save writes for a table: what its definition file (or
// dictionary information) says, with what the engine keeps beside it.
//
// - An InnoDB table gets the foreign keys that foreignKeys (read from the
//   system tablespace's dictionary) hold for it, unless its definition
//   already has its own (MySQL 8.0 and later).
// - A table with an AUTO_INCREMENT column that is not partitioned gets its
//   next value where its files keep the counter: a MyISAM index file's state,
//   the root page of an InnoDB table's clustered index (MariaDB 10.2 and
//   later). A definition that already knows it keeps its own.
// - A MyISAM table packed by myisampack is saved as an ordinary one; the
//   notes say so.
// - An InnoDB table of ROW_FORMAT=COMPRESSED keeps it; the notes say how to
//   load it into a server that refuses such tables.
// - An InnoDB table of ROW_FORMAT=COMPACT or REDUNDANT whose rows are too
//   large for a server that checks new tables is saved in ROW_FORMAT=DYNAMIC
//   when that format takes them.
//
// What a reader of the script or the log should know about the result
// (a changed row format, a key that references a table the data directory
// does not hold, a key left out and why) is added to notes in plain words.
// Files are opened read-only; damaged ones give no counter.
CTableDef SavedDefinition(const CTableDef& table, const std::filesystem::path& databaseFolder,
                          std::u16string_view fileStem, const CInnoDictionary* dictionary,
                          const std::vector<CInnoForeignKey>& foreignKeys,
                          std::vector<std::u16string>& notes);

}  // namespace brix
