#pragma once

#include <cstdio>
#include <string>

#include "browse/record_browser.h"
#include "catalogue/frame_state.h"
#include "catalogue/scan_worker.h"
#include "cli/console_ui.h"

namespace brix {

// A main window's worth of state for the console: the console realisation of
// the user-interface operations, the frame's data, the scanner and the record
// browser, for the commands that scan a data directory and select its nodes.
class CConsoleSession {
  public:
    CConsoleSession(CAppState& app, std::FILE* out, ConsoleUiOptions options)
        : ui(app, out, std::move(options)),
          frame(),
          scanner(app, ui, frame),
          browser(app, ui, frame),
          app_(app) {}

    // Starts the scan of dataDir as the Open command does (with its log file
    // when the process-wide state has a log folder); with onWorkerThread false
    // it has ended when this returns.
    void Scan(const std::string& dataDir, bool onWorkerThread);

    // The node at path: node texts from the database down, joined by "/"
    // (shop/Tables/orders/Keys); kNoTreeItem when there is none.
    TreeItem FindNode(std::string_view path) const;

    // Selects the node as a click on its label does and runs the selection
    // handler.
    int Select(TreeItem item);

    CConsoleUi ui;
    CFrameState frame;
    CScanner scanner;
    CRecordBrowser browser;

  private:
    CAppState& app_;
};

}  // namespace brix
