#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "app/damage_report.h"
#include "app/read_only_file.h"
#include "myisam/myisam_header.h"
#include "schema/table_def.h"
#include "values/read_options.h"
#include "values/row_window.h"

namespace brix {

class CAppState;
struct CPackedLayout;

// The MyISAM side of one open table: what its index file says and its data
// file. The definition and the window are its owner's, who keeps both alive
// for as long as the reader.
class CMyisamTableReader {
  public:
    CMyisamTableReader(const CTableDef& table, CWindowState& window, CReadOptions options = {})
        : table(table), window(window), options(std::move(options)) {}
    CMyisamTableReader(const CMyisamTableReader&) = delete;
    CMyisamTableReader& operator=(const CMyisamTableReader&) = delete;

    // Tells options.damage of a finding in the data file, once however often
    // the window that meets it is read again; nothing when nobody listens.
    void Report(int64_t offset, DamageWhat what, std::string why, int64_t rowsLost = -1,
                bool rowsStillRead = false);
    // The same for a finding in another file of the table.
    void ReportFile(const std::filesystem::path& file, DamageWhat what, std::string why,
                    int64_t rowsLost = -1, bool rowsStillRead = false);

    const CTableDef& table;
    CWindowState& window;
    CReadOptions options;
    CMyisamHeader header;
    CReadOnlyFile dataFile;
    std::filesystem::path dataPath;
    // The fields and code trees of a data file packed by myisampack, read
    // when it opens; null for other row formats or an unusable header.
    std::shared_ptr<const CPackedLayout> packed;

  private:
    CFindingsOnce reported_;
};

// Opens a MyISAM table whose .frm has been read: reads the head of its index
// file at myi, or, when that is missing or unusable, takes the record layout
// from the .frm alone (and tells options.damage so: the rows are still read),
// then reads the first window of rows from the data file at myd as
// ReadFirstMyIsamWindow does. Either path may be empty when no such file was
// found. Returns false only on a read error.
bool OpenMyIsamTable(CMyisamTableReader& reader, const std::filesystem::path& myi,
                     const std::filesystem::path& myd, const CAppState& app);

// Opens the MyISAM data file at path (read-only) and reads the first window
// of rows of the table, whose .frm and .MYI have been read: starts the window
// and the bookmark list with {page 0, origin 0}, then reads fixed-length or
// dynamic rows by the row format of the index file, or packed rows (decoded
// by the trees at the head of the data file). Returns false only when the file layer reported a
// read error; a file that cannot be opened gives an empty window and true. Each of these, and every
// damaged block or record met, is told to options.damage.
bool ReadFirstMyIsamWindow(CMyisamTableReader& reader, const std::filesystem::path& path,
                           const CAppState& app);

// Reads the window that starts at origin of the open data file into the
// window, which it empties first; appends the bookmark of the window after it
// when the window fills and wantBookmark is set. Returns false on a read error.
bool ReadMyIsamWindowAt(CMyisamTableReader& reader, int64_t origin, bool wantBookmark,
                        const CAppState& app);

}  // namespace brix
