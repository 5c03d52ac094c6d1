#include "browse/table_rows.h"

#include <limits>

#include "app/app_state.h"
#include "app/file_names.h"
#include "innodb/btree.h"
#include "innodb/columns.h"
#include "innodb/dictionary.h"
#include "innodb/instant.h"
#include "myisam/myisam_reader.h"
#include "schema/frm_reader.h"
#include "values/value_render.h"

namespace brix {

namespace {

// The root page of a file-per-table tablespace's clustered index.
constexpr uint32_t kOwnSpaceRoot = 3;

// The name under which the dictionary knows the table: the database folder's
// own name, a slash and the table name.
std::u16string DictionaryName(const std::filesystem::path& databaseFolder,
                              std::u16string_view tableName) {
    std::filesystem::path folder = databaseFolder;
    if (!folder.has_filename()) folder = folder.parent_path();
    std::u16string name = folder.filename().u16string();
    name += u'/';
    name += tableName;
    return name;
}

// Reads the first window of an InnoDB table from space, whose clustered index
// starts at root.
void ReadFirstInnoWindow(CTableDef& table, CTablespace& space, uint32_t root, CAppState& app) {
    table.inno.space = &space;
    ReadInstantLayout(table, space, root, app);
    const uint32_t leaf = FindFirstLeaf(table, space, root);
    if (leaf == 0) return;
    table.bookmarks.push_back(RecordBookmark{leaf, 0});
    app.resumeFromBookmark = 0;
    FillRowWindow(table, space, leaf, 0, app);
}

void OpenInnoRows(CTableDef& table, const std::filesystem::path& databaseFolder,
                  std::u16string_view tableName, CAppState& app,
                  const CInnoDictionary* dictionary) {
    const bool haveDictionary = dictionary && dictionary->IsOpen();
    const uint64_t tableId =
        haveDictionary ? dictionary->FindTableId(DictionaryName(databaseFolder, tableName)) : 0;
    if (table.inno.ownSpace.Open(FindStorageFile(databaseFolder, tableName, "ibd"))) {
        table.inno.perTableSource = true;
        if (!haveDictionary) {
            BuildColumnsFromFrm(table, app);
            ReadFirstInnoWindow(table, table.inno.ownSpace, kOwnSpaceRoot, app);
        } else if (tableId != 0) {
            BuildColumnsFromDictionary(table, *dictionary, tableId);
            const uint32_t root = dictionary->FindClusteredRoot(tableId);
            if (root != 0) ReadFirstInnoWindow(table, table.inno.ownSpace, root, app);
        }
        return;
    }
    if (haveDictionary && tableId != 0) {
        table.inno.perTableSource = false;
        BuildColumnsFromDictionary(table, *dictionary, tableId);
        const uint32_t root = dictionary->FindClusteredRoot(tableId);
        if (root != 0) ReadFirstInnoWindow(table, dictionary->space(), root, app);
    }
}

}  // namespace

void CloseTableFiles(CTableDef& table) {
    table.dataFile.Close();
    table.inno.Reset();
}

OpenRowsResult OpenTableRows(CTableDef& table, const std::filesystem::path& databaseFolder,
                             std::u16string_view tableName, CAppState& app,
                             const CInnoDictionary* dictionary) {
    CloseTableFiles(table);
    table.Reset();
    table.bookmarks.clear();
    table.windowFull = false;
    table.suppressBookmark = false;
    // MySQL writes .frm in lower case; copies from case-insensitive systems
    // may not keep the case.
    std::filesystem::path frm = FindStorageFile(databaseFolder, tableName, "frm");
    if (frm.empty()) {
        frm = databaseFolder / std::filesystem::path(std::u16string(tableName));
        frm += ".frm";
    }
    ReadTableDefinition(table, frm, app);
    if (table.columns.empty()) return OpenRowsResult::kNoDefinition;
    table.rows.Reset(table.columns.size());
    if (table.engineCode == EngineCode::kMyIsam) {
        ReadMyisamHeader(table, FindStorageFile(databaseFolder, tableName, "MYI"));
        const bool ok =
            ReadFirstMyIsamWindow(table, FindStorageFile(databaseFolder, tableName, "MYD"), app);
        return ok ? OpenRowsResult::kOk : OpenRowsResult::kReadError;
    }
    if (table.engineCode == EngineCode::kInnoDb) {
        OpenInnoRows(table, databaseFolder, tableName, app, dictionary);
        const bool failed = table.inno.space && table.inno.space->Failed();
        return failed ? OpenRowsResult::kReadError : OpenRowsResult::kOk;
    }
    return OpenRowsResult::kUnsupportedEngine;
}

void ReadWindowAt(CTableDef& table, const RecordBookmark& from, bool bookmarkWanted,
                  CAppState& app) {
    app.resumeFromBookmark = 1;
    table.rows.Reset(table.columns.size());
    table.suppressBookmark = !bookmarkWanted;
    table.windowFull = false;
    if (table.engineCode == EngineCode::kMyIsam) {
        if (table.dataFile.IsOpen()) ReadMyIsamWindowAt(table, from.origin, bookmarkWanted, app);
    } else if (table.engineCode == EngineCode::kInnoDb && table.inno.space) {
        FillRowWindow(table, *table.inno.space, from.page,
                      static_cast<uint32_t>(from.origin & 0xFFFF), app);
    }
    table.suppressBookmark = false;
}

void RenderSpilledValue(const CTableDef& table, size_t column, const std::filesystem::path& path,
                        const CAppState& app, std::u16string& out) {
    if (column >= table.columns.size()) return;
    CReadOnlyFile file;
    if (!file.Open(path)) return;
    const std::vector<uint8_t> bytes = file.ReadAll(std::numeric_limits<size_t>::max());
    RenderContext context;
    context.decoders = &app.decoders();
    context.allEnumValues = table.allEnumValues;
    context.exportMode = true;
    context.blobsInFull = true;
    RenderMyIsamValue(table.columns[column], bytes, context, out);
}

bool ReadNextWindow(CTableDef& table, CAppState& app) {
    if (!table.windowFull || table.bookmarks.empty()) return false;
    if (table.engineCode == EngineCode::kInnoDb && table.inno.space) {
        // Each window reads its leaves and the page its bookmark is on again:
        // more than that means the leaf chain runs in a circle.
        CInnoTableState& inno = table.inno;
        if (inno.pagesWalked > inno.space->pageCount() + 2 * ++inno.windowsRead) return false;
    }
    ReadWindowAt(table, table.bookmarks.back(), true, app);
    return true;
}

}  // namespace brix
