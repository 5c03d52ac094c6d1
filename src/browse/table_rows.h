#pragma once

#include <filesystem>
#include <string_view>

#include "schema/table_def.h"

namespace brix {

class CAppState;
class CInnoDictionary;

enum class OpenRowsResult {
    kOk,
    kNoDefinition,       // no readable .frm table definition
    kUnsupportedEngine,  // neither MyISAM nor InnoDB
    kReadError,          // the file layer reported an error
};

// Reads the table's .frm from databaseFolder and its first window of rows
// through the reader of its engine, into table (reset first). MyISAM tables
// are read from their .MYI and .MYD files. InnoDB tables from their own .ibd
// when it exists, else from the system tablespace of dictionary; with an open
// dictionary the stored column types and the clustered root come from it,
// without one the layout is derived from the .frm alone. The dictionary, when
// given, must stay open while windows of the table are read.
OpenRowsResult OpenTableRows(CTableDef& table, const std::filesystem::path& databaseFolder,
                             std::u16string_view tableName, CAppState& app,
                             const CInnoDictionary* dictionary = nullptr);

// Reads the window that starts at from into the table's window (emptied
// first), as paging does: a window that fills appends the bookmark of the
// window after it only when bookmarkWanted is set. Nothing is read when the
// table's storage is not open.
void ReadWindowAt(CTableDef& table, const RecordBookmark& from, bool bookmarkWanted,
                  CAppState& app);

// When the current window filled, reads the window that follows it from the
// last bookmark and returns true; false when the table has no more rows.
bool ReadNextWindow(CTableDef& table, CAppState& app);

// Appends the text of a value of column that export mode spilled to the
// file at path: the whole value, rendered as the column renders a value kept
// in the record.
void RenderSpilledValue(const CTableDef& table, size_t column, const std::filesystem::path& path,
                        const CAppState& app, std::u16string& out);

// Closes the table's data files (a new selection does this first).
void CloseTableFiles(CTableDef& table);

}  // namespace brix
