#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/busy.h"
#include "app/collation_table.h"
#include "app/log_file.h"
#include "app/text_decoder.h"

namespace brix {

// The default ANSI code page: what a Western Windows system uses.
inline constexpr char kDefaultAnsiCodePage[] = "WINDOWS-1252";

// The state that the front ends, the scan worker and the readers share, held
// once for the whole process: the settings and what the window shows. How
// one read renders its rows is not here but in the CReadOptions given to it.
class CAppState {
  public:
    // Builds the code-page decoders and loads the collation table from
    // collationFile (FindCollationFile when empty). Throws
    // std::invalid_argument when the ANSI code page is unknown.
    explicit CAppState(std::string_view ansiCodePage = kDefaultAnsiCodePage,
                       const std::filesystem::path& collationFile = {});

    const CTextDecoders& decoders() const { return *decoders_; }
    const std::string& ansiCodePage() const { return ansiCodePage_; }

    int appLook = 215;
    // Set while a scan, a table selection, a paging command or a save runs;
    // taken and released only through CBusyGuard.
    CBusyFlag busy;
    std::u16string databasePath;
    std::u16string tempPath;
    std::u16string logFolder;
    std::u16string logFilePath;
    CollationTable collations;
    // The log file of the last scan; closed before the first.
    CLogFile logFile;
    // The folder of the last save as script.
    std::u16string scriptFolder;
    std::u16string dbUser;
    std::u16string dbServer;
    std::u16string dbPassword;
    std::u16string dbPort;
    // Names the spill files of export mode: one number per file, for the
    // whole process, so that no two reads make files of the same name.
    uint64_t spillFileCounter = 0;
    int logLineCount = 0;

  private:
    std::string ansiCodePage_;
    std::unique_ptr<CTextDecoders> decoders_;
};

}  // namespace brix
