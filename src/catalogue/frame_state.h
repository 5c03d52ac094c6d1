#pragma once

#include <atomic>
#include <string>

#include "catalogue/catalogue.h"
#include "innodb/dictionary.h"
#include "schema/table_def.h"

namespace brix {

// What the main window owns and the scan and the record browser share: the
// catalogue, the one table context, the system tablespace with its
// dictionary, and the state of the Stop command. One instance per window.
struct CFrameState {
    CCatalogue catalogue;
    CTableDef table;
    // The system tablespace (ibdata1) opened by the last scan.
    CInnoDictionary dictionary;
    // The data path of the running or last scan, as the user gave it.
    std::u16string currentDatabasePath;
    // Set by the Stop command; the scan looks at it between database folders.
    std::atomic<bool> stopRequested{false};
    // How many columns the record grid has, so that resetting the grid
    // removes exactly those.
    int gridColumnCount = 0;
};

}  // namespace brix
