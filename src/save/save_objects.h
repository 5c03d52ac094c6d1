#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace brix {

enum class SaveObjectKind { kTable, kView, kTrigger };

// One object to save: a table (its .frm table definition), a view (its .frm
// view definition) or the triggers of one table (its .TRG file), in the
// folder of its database.
struct CSaveObject {
    SaveObjectKind kind = SaveObjectKind::kTable;
    std::filesystem::path databaseFolder;
    std::filesystem::path file;  // the definition file, in databaseFolder

    // The real names, decoded from the folder and file names.
    std::u16string DatabaseName() const;
    std::u16string Name() const;
    // The file name without its extension: the name the readers open it by.
    std::u16string FileStem() const;
};

// Every table, view and trigger file of a data directory: the objects of each
// database folder in it, folders and files in name order (ASCII letters
// compared without case), or of dataDir itself when it is a database folder
// (it holds .frm or .TRG files and no folder that does). A .frm whose first
// bytes are FE 01 is a table, one that starts with TYPE=VIEW a view; .frm
// files that are neither and files that cannot be read are left out.
std::vector<CSaveObject> ListSaveObjects(const std::filesystem::path& dataDir);

// The objects that a selection names, in the order of the selection: DB for
// every object of a database, DB/TABLE, DB/Views/VIEW or DB/Trigger/TABLE.
// Names are real names or the folder and file names the server made of them.
// A selection that names nothing is returned in missing.
std::vector<CSaveObject> SelectSaveObjects(const std::vector<CSaveObject>& all,
                                           const std::vector<std::u16string>& selection,
                                           std::vector<std::u16string>& missing);

}  // namespace brix
