#pragma once

#include <filesystem>
#include <string_view>

#include "schema/table_def.h"

namespace brix {

class CAppState;

enum class OpenRowsResult {
    kOk,
    kNoDefinition,       // no readable .frm table definition
    kUnsupportedEngine,  // neither MyISAM nor InnoDB
    kReadError,          // the file layer reported an error
};

// Reads the table's .frm from databaseFolder and its first window of rows
// through the reader of its engine, into table (reset first).
OpenRowsResult OpenTableRows(CTableDef& table, const std::filesystem::path& databaseFolder,
                             std::u16string_view tableName, CAppState& app);

// When the current window filled, reads the window that follows it from the
// last bookmark and returns true; false when the table has no more rows.
bool ReadNextWindow(CTableDef& table, CAppState& app);

}  // namespace brix
