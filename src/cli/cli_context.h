#pragma once

#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/text.h"
#include "cli/arguments.h"

namespace brix {

// What every command of the console program shares: the global options and
// the process-wide state built from them once the command line is parsed.
struct CliContext {
    std::string codepage = kDefaultAnsiCodePage;
    // Where scans write their log files; none when empty.
    std::string logDir;
    std::unique_ptr<CAppState> app;
    // The status the program ends with when the command returns (a command
    // that fails throws instead): 0, or 3 when something was skipped.
    int exitStatus = 0;

    // Builds the process-wide state on first use. Throws std::invalid_argument
    // for an unknown code page, CommandFailed for a log folder that is not UTF-8.
    CAppState& App() {
        if (!app) {
            if (!logDir.empty()) CheckPathText(logDir, "the --log-dir folder");
            app = std::make_unique<CAppState>(codepage);
            app->logFolder = Utf8ToUtf16(logDir);
        }
        return *app;
    }
};

}  // namespace brix
