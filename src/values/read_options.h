#pragma once

#include <cstddef>
#include <filesystem>

#include "app/damage_report.h"
#include "values/row_window.h"

namespace brix {

// How one read of a table's rows renders them, given to the reader that
// fills the windows and to the renderers it builds. A value: each read
// (a window shown, a rows command, a save run) holds its own.
struct CReadOptions {
    // Long and binary values rendered in full, as saving needs them, rather
    // than the short forms the grid shows.
    bool exportMode = false;
    // Where export mode writes off-page values, one spill file each.
    std::filesystem::path spillFolder;
    // Export mode keeps off-page values by their reference instead (see
    // CRowWindow::IsExternal), for a writer that reads them from the
    // tablespace as it writes them out; nothing is spilled.
    bool keepExternal = false;
    // Rows at which a window fills: kWindowRows but in the fuzz targets,
    // which read small windows to run fast.
    size_t windowRows = kWindowRows;
    // Where the readers report what they skipped or could not read; null when
    // nobody listens. Outlives the read.
    CDamageSink* damage = nullptr;
    // Read the rows the table's files still hold of deleted records instead
    // of its live rows; each window row then has two more cells, where the
    // row was found and which of its columns were overwritten.
    bool deleted = false;
    // Read the rows of this file instead of the table's own: a data file no
    // table owns any more (a dropped table's .ibd or .MYD, or a system
    // tablespace), laid out by the table's definition. The windows have the
    // two cells of deleted rows; live and deleted records are both read.
    std::filesystem::path recoverFrom;
};

}  // namespace brix
