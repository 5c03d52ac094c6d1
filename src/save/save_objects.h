#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/trigger_text.h"
#include "catalogue/view_text.h"

namespace brix {

struct CCatalogue;

enum class SaveObjectKind { kTable, kView, kTrigger };

// One object to save: a table (its .frm table definition), a view (its .frm
// view definition) or the triggers of one table (its .TRG file), in the
// folder of its database.
struct CSaveObject {
    SaveObjectKind kind = SaveObjectKind::kTable;
    std::filesystem::path databaseFolder;
    std::filesystem::path file;  // the definition file, in databaseFolder
    // A view, or the triggers of a table, that a MySQL 8.0+ dictionary keeps
    // instead of a file (file then names none that exists): the definitions
    // themselves.
    std::shared_ptr<const CViewDefinition> dictionaryView;
    std::vector<CTriggerDefinition> dictionaryTriggers;
    // The database's default collation as a MySQL 8.0+ dictionary keeps it
    // (its number; 0 when none does, as for databases with a db.opt).
    int32_t databaseCollation = 0;

    // The real names, decoded from the folder and file names.
    std::u16string DatabaseName() const;
    std::u16string Name() const;
    // The name of the database folder and the file name without its
    // extension, as they are on disk: the names the readers open them by.
    std::u16string FolderName() const;
    std::u16string FileStem() const;
};

// The object a tree node stands for, by the node's item data and its
// parent's: a positive n is entry n - 1 of the trigger files under a
// "Trigger" group, of the views under a "Views" group and of the tables
// otherwise; item data from kDictionaryItemBase stand for the catalogue's
// dictionary views and triggers. Nothing for other nodes and for entries the
// catalogue does not have.
std::optional<CSaveObject> SaveObjectOfNode(const CCatalogue& catalogue, int64_t itemData,
                                            int64_t parentItemData);

// Every table, view and trigger file of a catalogue, in its order, then the
// views and the triggers (one object per table) of its dictionary whose
// database the scan found.
std::vector<CSaveObject> SaveObjectsOfCatalogue(const CCatalogue& catalogue);

// The objects that a selection names, in the order of the selection: DB for
// every object of a database, DB/TABLE, DB/Views/VIEW or DB/Trigger/TABLE.
// Names are real names or the folder and file names the server made of them.
// A selection that names nothing is returned in missing.
std::vector<CSaveObject> SelectSaveObjects(const std::vector<CSaveObject>& all,
                                           const std::vector<std::u16string>& selection,
                                           std::vector<std::u16string>& missing);

}  // namespace brix
