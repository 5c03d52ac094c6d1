#include "browse/table_rows.h"

#include "app/app_state.h"
#include "app/file_names.h"
#include "myisam/myisam_reader.h"
#include "schema/frm_reader.h"

namespace brix {

OpenRowsResult OpenTableRows(CTableDef& table, const std::filesystem::path& databaseFolder,
                             std::u16string_view tableName, CAppState& app) {
    table.Reset();
    table.bookmarks.clear();
    table.windowFull = false;
    std::filesystem::path frm = databaseFolder / std::filesystem::path(std::u16string(tableName));
    frm += ".frm";
    ReadTableDefinition(table, frm, app);
    if (table.columns.empty()) return OpenRowsResult::kNoDefinition;
    if (table.engineCode == EngineCode::kMyIsam) {
        ReadMyisamHeader(table, FindStorageFile(databaseFolder, tableName, "MYI"));
        const bool ok =
            ReadFirstMyIsamWindow(table, FindStorageFile(databaseFolder, tableName, "MYD"), app);
        return ok ? OpenRowsResult::kOk : OpenRowsResult::kReadError;
    }
    return OpenRowsResult::kUnsupportedEngine;
}

bool ReadNextWindow(CTableDef& table, CAppState& app) {
    if (!table.windowFull || table.bookmarks.empty()) return false;
    const RecordBookmark from = table.bookmarks.back();
    if (table.engineCode == EngineCode::kMyIsam) {
        ReadMyIsamWindowAt(table, from.origin, true, app);
        return true;
    }
    return false;
}

}  // namespace brix
