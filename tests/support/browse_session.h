#pragma once

#include <filesystem>
#include <string>

#include "app/app_state.h"
#include "browse/record_browser.h"
#include "catalogue/frame_state.h"
#include "catalogue/scan_worker.h"
#include "support/recording_ui.h"

namespace brix::test {

// A main window's worth of core state for tests: its own process-wide state
// (with the repository's collation table), the recording user interface, the
// frame's data, the scanner and the record browser.
struct BrowseSession {
    explicit BrowseSession(const std::filesystem::path& dataPath = {});

    // Scans app.databasePath as the Open command does and waits for the end.
    // The log file's time is fixed, so that its name is known.
    bool Scan(bool onWorkerThread = false);
    // Selects the node at path (node texts from the database down, joined by
    // "/") as a click does, and runs the selection handler; -1 when there is
    // no such node.
    int Select(const std::string& path);

    CAppState app;
    CRecordingUi ui{app};
    CFrameState frame;
    CScanner scanner{app, ui, frame};
    CRecordBrowser browser{app, ui, frame};
};

// 5 March 2024 09:07:03, the log file time of BrowseSession::Scan.
std::tm FixedScanTime();

// The catalogue fixture: tests/fixtures/catalogue.
std::filesystem::path CatalogueFixtureDir();

}  // namespace brix::test
