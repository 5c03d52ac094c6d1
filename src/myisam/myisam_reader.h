#pragma once

#include <cstdint>
#include <filesystem>

#include "schema/table_def.h"

namespace brix {

class CAppState;

// Opens the MyISAM data file at path (read-only) and reads the first window
// of rows of the table, whose .frm and .MYI have been read: starts the window
// and the bookmark list with {page 0, origin 0}, then reads fixed-length or
// dynamic rows by the row format of the index file; compressed tables give no
// rows. Returns false only when the file layer reported a read error; a file
// that cannot be opened gives an empty window and true.
bool ReadFirstMyIsamWindow(CTableDef& table, const std::filesystem::path& path,
                           const CAppState& app);

// Reads the window that starts at origin of the open data file into the table's
// window, which it empties first; appends the bookmark of the window after it
// when the window fills and wantBookmark is set. Returns false on a read error.
bool ReadMyIsamWindowAt(CTableDef& table, int64_t origin, bool wantBookmark, const CAppState& app);

}  // namespace brix
