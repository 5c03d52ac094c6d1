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
// once for the whole process.
class CAppState {
  public:
    // Builds the code-page decoders and loads the collation table from
    // collationFile (FindCollationFile when empty). Throws
    // std::invalid_argument when the ANSI code page is unknown.
    explicit CAppState(std::string_view ansiCodePage = kDefaultAnsiCodePage,
                       const std::filesystem::path& collationFile = {});

    // In export mode long and binary values are rendered in full.
    bool ExportMode() const { return saveAsScript != 0 || saveToDatabase != 0; }

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
    uint8_t resumeFromBookmark = 0;
    std::u16string scriptFolder;
    // Where export mode puts off-page values: spillFolder when set, else the
    // blobdata folder of scriptFolder.
    std::u16string spillFolder;
    std::filesystem::path SpillFolder() const;
    uint8_t saveAsScript = 0;
    uint8_t saveToDatabase = 0;
    // Set from every .frm read: its server version is 50600 or later.
    uint8_t isMySql56OrLater = 0;
    std::u16string dbUser;
    std::u16string dbServer;
    std::u16string dbPassword;
    std::u16string dbPort;
    uint64_t spillFileCounter = 0;
    int logLineCount = 0;

  private:
    std::string ansiCodePage_;
    std::unique_ptr<CTextDecoders> decoders_;
};

}  // namespace brix
