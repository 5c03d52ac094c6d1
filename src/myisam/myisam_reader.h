#pragma once

#include <cstdint>
#include <filesystem>

#include "app/read_only_file.h"
#include "myisam/myisam_header.h"
#include "schema/table_def.h"
#include "values/read_options.h"
#include "values/row_window.h"

namespace brix {

class CAppState;

// The MyISAM side of one open table: what its index file says and its data
// file. The definition and the window are its owner's, who keeps both alive
// for as long as the reader.
class CMyisamTableReader {
  public:
    CMyisamTableReader(const CTableDef& table, CWindowState& window, CReadOptions options = {})
        : table(table), window(window), options(std::move(options)) {}
    CMyisamTableReader(const CMyisamTableReader&) = delete;
    CMyisamTableReader& operator=(const CMyisamTableReader&) = delete;

    const CTableDef& table;
    CWindowState& window;
    CReadOptions options;
    CMyisamHeader header;
    CReadOnlyFile dataFile;
};

// Opens the MyISAM data file at path (read-only) and reads the first window
// of rows of the table, whose .frm and .MYI have been read: starts the window
// and the bookmark list with {page 0, origin 0}, then reads fixed-length or
// dynamic rows by the row format of the index file; compressed tables give no
// rows. Returns false only when the file layer reported a read error; a file
// that cannot be opened gives an empty window and true.
bool ReadFirstMyIsamWindow(CMyisamTableReader& reader, const std::filesystem::path& path,
                           const CAppState& app);

// Reads the window that starts at origin of the open data file into the
// window, which it empties first; appends the bookmark of the window after it
// when the window fills and wantBookmark is set. Returns false on a read error.
bool ReadMyIsamWindowAt(CMyisamTableReader& reader, int64_t origin, bool wantBookmark,
                        const CAppState& app);

}  // namespace brix
