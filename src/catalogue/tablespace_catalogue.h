#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/ui_operations.h"
#include "catalogue/catalogue.h"

namespace brix {

class CAppState;

// A table of MySQL 8.0 or later found in a database folder by its dictionary
// information rather than by a .frm.
struct TablespaceTable {
    std::u16string tableName;  // as its files spell it; the catalogue's name for it
    // What the log says about it: the dictionary's own name when it differs
    // from the file's, or why its dictionary information did not read.
    std::u16string note;
};

// The tables of one database folder written by MySQL 8.0 or later, sorted by
// name ignoring the case of ASCII letters, leaving out the names in known
// (tables already catalogued from their .frm):
// - every .ibd whose dictionary information holds a table object, named by
//   its file; the partition files of one table ("NAME#p#P.ibd",
//   "NAME#p#P#sp#S.ibd") give one table NAME. A tablespace whose first page
//   says it carries dictionary information that does not read is listed too,
//   with a note; an .ibd without any (an older server's) is not.
// - every "PREFIX_ID.sdi" file (MyISAM, CSV and other engines' tables) whose
//   JSON is a table object, named by the table's data file in the folder when
//   there is one, else by the dictionary's name.
// - every table of the database that a general tablespace at the top of the
//   data directory (folder's parent) holds, by the dictionary's name.
// Reads only the dictionary information; damaged files give fewer tables.
std::vector<TablespaceTable> FindTablespaceTables(const std::filesystem::path& folder,
                                                  const CAppState& app,
                                                  const std::vector<std::u16string>& known);

// Appends the tables FindTablespaceTables finds in folder, leaving out those
// catalogued for databaseNumber already, to the catalogue's tables with a
// node (and its "Keys" node) under tablesNode as the .frm tables have, and
// writes each table's note as a log line. Then adds the catalogue's
// dictionary views and triggers of the folder's database (its name decoded)
// under a "Views" and a "Trigger" group of databaseNode: a node per view, and
// a node named after the table per table with triggers, with item data from
// kDictionaryItemBase.
void CatalogueTablespaceTables(CCatalogue& catalogue, CUiOperations& ui, const CAppState& app,
                               const std::filesystem::path& folder, TreeItem databaseNode,
                               TreeItem tablesNode, int32_t databaseNumber);

// When dataPath holds mysql.ibd (a MySQL 8.0+ data directory), reads the
// views and triggers of its dictionary into the catalogue and writes a log
// line for each finding. Nothing otherwise.
void ReadMysqlDictionary(CCatalogue& catalogue, CUiOperations& ui, CAppState& app,
                         const std::filesystem::path& dataPath);

}  // namespace brix
