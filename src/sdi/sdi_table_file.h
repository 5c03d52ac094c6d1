#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "sdi/sdi_table.h"

namespace brix {

class CAppState;

// The table a MySQL 8.0+ tablespace file of a database folder belongs to, by
// the file's name: "NAME.ibd" and the partition files "NAME#p#PART.ibd" and
// "NAME#p#PART#sp#SUB.ibd" (the markers in any case) all give NAME, the
// table's name as its files spell it. Empty for a name that is none of these.
std::u16string TableNameOfTablespaceFile(std::u16string_view fileName);

// The first part of the name of a "PREFIX_ID.sdi" file, which the server
// writes beside the data files of a MyISAM or CSV table: the table's name cut
// to 16 characters and spelt as file names spell it. Empty for a name that is
// not of that form.
std::u16string SdiFilePrefix(std::u16string_view fileName);

// The text of a .sdi file (plain JSON), read-only; empty when the file cannot
// be read or is longer than kMaxSdiJson.
std::string ReadSdiFile(const std::filesystem::path& path);

// A table kept in a general tablespace: a file at the top of the data
// directory that holds several tables (one made by CREATE TABLESPACE, and
// mysql.ibd with the mysql schema's own tables).
struct SharedTablespaceTable {
    std::filesystem::path file;
    std::u16string schema;  // the dictionary's names
    std::u16string name;
};

// The tables the general tablespaces of dataDir (its "*.ibd" files whose
// first page says they are shared) describe, leaving out those the server
// hides (its dictionary tables), in the order of their files and then of
// their dictionary information. Damaged files give fewer tables.
std::vector<SharedTablespaceTable> FindSharedTablespaceTables(const std::filesystem::path& dataDir,
                                                              const CAppState& app);

// The data directory a database folder belongs to: its parent.
std::filesystem::path DataDirectoryOf(const std::filesystem::path& databaseFolder);

// Builds table from the dictionary information of table tableName (as files
// spell it, or the dictionary's own name) of schema (the dictionary's name)
// found in a general tablespace of dataDir; source is set to that file.
// False, with table empty, when none holds it.
bool ReadSharedTablespaceDefinition(const std::filesystem::path& dataDir,
                                    std::u16string_view schema, std::u16string_view tableName,
                                    const CAppState& app, CTableDef& table, SdiTableInfo& info,
                                    std::filesystem::path* source = nullptr);

// Builds table from MySQL 8.0+'s dictionary information for table tableName
// (as its files spell it, or as the dictionary spells it when it has no
// files) of databaseFolder: the table object of NAME.ibd, else of its first
// partition's tablespace, else of the .sdi file whose object names the table.
// source is set to the file read. False, with table empty, when no such file
// holds a table object that reads.
bool ReadTableDefinitionFromSdi(const std::filesystem::path& databaseFolder,
                                std::u16string_view tableName, const CAppState& app,
                                CTableDef& table, SdiTableInfo& info,
                                std::filesystem::path* source = nullptr);

}  // namespace brix
