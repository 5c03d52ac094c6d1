#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "catalogue/catalogue.h"
#include "innodb/dictionary.h"

namespace brix {

class CTableRows;

// What the main window owns and the scan and the record browser share: the
// catalogue, the table whose rows are shown, the system tablespace with its
// dictionary, and the state of the Stop command. One instance per window.
struct CFrameState {
    CCatalogue catalogue;
    // The table the record browser opened to show its rows (the browse
    // layer makes it); none before the first and after a scan began.
    std::shared_ptr<CTableRows> openTable;
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
