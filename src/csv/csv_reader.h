#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/damage_report.h"
#include "app/read_only_file.h"
#include "csv/csv_format.h"
#include "schema/table_def.h"
#include "values/read_options.h"
#include "values/row_window.h"

namespace brix {

class CAppState;

// The longest line a window reads: a longer one is reported and passed
// over, so that one line cannot take the memory of the whole file.
inline constexpr size_t kCsvMaxLineBytes = size_t{256} << 20;

// The CSV side of one open table: its data file (.CSV), one line per row,
// and what its meta file (.CSM) says. The definition and the window are its
// owner's, who keeps both alive for as long as the reader.
class CCsvTableReader {
  public:
    CCsvTableReader(const CTableDef& table, CWindowState& window, CReadOptions options = {})
        : table(table), window(window), options(std::move(options)) {}
    CCsvTableReader(const CCsvTableReader&) = delete;
    CCsvTableReader& operator=(const CCsvTableReader&) = delete;

    // Tells options.damage of a finding in the data file, once however often
    // the window that meets it is read again; nothing when nobody listens.
    void Report(int64_t offset, DamageWhat what, std::string why, int64_t rowsLost = -1,
                bool rowsStillRead = false);

    const CTableDef& table;
    CWindowState& window;
    CReadOptions options;
    CReadOnlyFile dataFile;
    std::filesystem::path dataPath;
    CsvMeta meta;

    // Kept between windows: the bytes of the file read last (from
    // bufferStart on, bufferLength of them), one line's fields and a scratch
    // buffer of the value renderers.
    std::vector<uint8_t> buffer;
    uint64_t bufferStart = 0;
    size_t bufferLength = 0;
    CsvFields fields;
    std::vector<uint8_t> scratch;

  private:
    CFindingsOnce reported_;
};

// Opens the table's data file at csv (read-only) and reads its meta file at
// csm, then the first window of rows as ReadCsvWindowAt does from the start.
// A missing data file gives an empty window and a finding; a missing meta
// file is no damage (the data file is read alone); one that marks the table
// crashed or is not a meta file is reported, and the rows are still read.
// Returns false only on a read error of the file layer.
bool OpenCsvTable(CCsvTableReader& reader, const std::filesystem::path& csv,
                  const std::filesystem::path& csm, const CAppState& app);

// Reads the window of rows that starts at the line at origin into the
// window, which it empties first: every line that splits into the table's
// columns and whose values fit them becomes a row; any other line, a last
// line without its line end and a line longer than kCsvMaxLineBytes are
// reported (with their offset) and passed over. Appends the bookmark of the
// window after it when the window fills before the file ends and
// wantBookmark is set. Returns false on a read error.
bool ReadCsvWindowAt(CCsvTableReader& reader, int64_t origin, bool wantBookmark,
                     const CAppState& app);

}  // namespace brix
