#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/file_names.h"
#include "app/ui_operations.h"
#include "catalogue/dictionary_objects.h"

namespace brix {

// Item data of tree nodes. A positive n is entry n - 1 of the list the
// node's parent implies: the triggers under a triggers group, the views under
// a views group, the tables otherwise.
namespace ItemData {
inline constexpr int64_t kFolder = -1;  // root, data path, database, "Tables"
inline constexpr int64_t kKeys = -2;
inline constexpr int64_t kTriggers = -3;
inline constexpr int64_t kViews = -4;
inline constexpr int64_t kDeletedRows = -5;  // a table's "Deleted rows"
}  // namespace ItemData

// Images of tree nodes.
namespace TreeImage {
inline constexpr int kFolder = 0;
inline constexpr int kKeys = 2;
inline constexpr int kDeletedRows = 3;
inline constexpr int kViews = 15;
inline constexpr int kTriggers = 21;
}  // namespace TreeImage

// Texts of the fixed nodes.
inline constexpr char16_t kRootNodeText[] = u"MYSQL database";
inline constexpr char16_t kTablesNodeText[] = u"Tables";
inline constexpr char16_t kKeysNodeText[] = u"Keys";
inline constexpr char16_t kDeletedRowsNodeText[] = u"Deleted rows";
inline constexpr char16_t kViewsNodeText[] = u"Views";
inline constexpr char16_t kTriggersNodeText[] = u"Trigger";

// A table found by its .frm table definition.
struct CatalogueTable {
    int32_t databaseNumber = 0;  // position of its folder in databaseFolders
    std::u16string tableName;    // the .frm file name without its extension
    // Its node in the tree.
    TreeItem item = kNoTreeItem;
    // An InnoDB table without a .ibd of its own: its rows are in the system
    // tablespace if its dictionary knows the table, else nowhere.
    bool noOwnTablespace = false;
};

// Texts of the marks of tables whose files are missing.
inline constexpr char16_t kDataFileMissing[] = u"data file missing";
inline constexpr char16_t kIndexFileMissing[] =
    u"index file missing; rows read from the data file alone";

// A .TRG trigger file.
struct CatalogueTrigger {
    std::u16string fileName;  // with its extension
    std::filesystem::path folderPath;
};

// What a scan found in the data path: the database folders and, across all
// of them, the tables, views and trigger files, in the order found.
struct CCatalogue {
    void Clear();

    std::vector<std::filesystem::path> databaseFolders;
    std::vector<CatalogueTable> catalogueTables;
    std::vector<std::filesystem::path> catalogueViews;  // full paths of the view files
    std::vector<CatalogueTrigger> catalogueTriggers;
    // The views and triggers of a MySQL 8.0+ dictionary (mysql.ibd), the
    // triggers of one table next to each other.
    std::vector<CDictionaryView> dictionaryViews;
    std::vector<CDictionaryTrigger> dictionaryTriggers;
    // The default collation of each database a MySQL 8.0+ dictionary lists.
    std::map<std::u16string, int32_t> databaseCollations;
};

// The entries of folder, files or folders as asked, sorted by name ignoring
// the case of ASCII letters (the order in which the file systems the program
// was first made for list them). "." and ".." are never listed; a folder that
// cannot be listed gives nothing.
std::vector<std::filesystem::path> ListFolderEntries(const std::filesystem::path& folder,
                                                     bool directories);

// Adds the "Deleted rows" node under a table's node (after its "Keys").
void InsertDeletedRowsNode(CUiOperations& ui, TreeItem table);

// Appends the full path of every folder in dataPath to databaseFolders.
void ListDatabaseFolders(CCatalogue& catalogue, const std::filesystem::path& dataPath);

// Catalogues the files of one database folder (not its subfolders): a .frm
// whose first two bytes are FE 01 is a table, one that starts with TYPE=VIEW a
// view, a .TRG file a trigger file; extensions in any case. Each entry is
// appended to its list and gets its node: tables (with a "Keys" node) under
// tablesNode, views and triggers under a "Views" or "Trigger" group that is
// added under databaseNode at the first such entry. Files that cannot be
// opened and .frm files that are neither are skipped without a word.
// A MyISAM table whose .MYD or .MYI is not in the folder gets a mark on its
// node saying so; an InnoDB table without a .ibd is noted (noOwnTablespace)
// for the scan to look up in the system tablespace.
// A table whose files may hold deleted rows gets a "Deleted rows" node after
// its "Keys": every InnoDB table with a .ibd (which records are deleted
// cannot be told without reading its pages), and a MyISAM table whose index
// file counts deleted records or cannot say (missing or damaged), as long
// as its data file is there. Partitioned tables get none.
void CatalogueDatabaseFolder(CCatalogue& catalogue, CUiOperations& ui,
                             const std::filesystem::path& folder, TreeItem databaseNode,
                             TreeItem tablesNode, int32_t databaseNumber);

}  // namespace brix
