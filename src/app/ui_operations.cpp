#include "app/ui_operations.h"

#include "app/app_state.h"
#include "app/file_names.h"
#include "app/log_file.h"
#include "app/text.h"

namespace brix {

namespace {

constexpr char16_t kFileSelectedSuffix[] = u" File is selected for recovery....";

}  // namespace

using LogLock = std::lock_guard<std::recursive_mutex>;

void CUiOperations::StartLog(std::u16string_view currentDatabasePath, const std::tm& now) {
    LogLock lock(logMutex_);
    app_.logFile.Close();
    unwritableLogNoted_ = false;
    if (app_.logFolder.empty()) {
        app_.logFilePath.clear();
    } else {
        const std::filesystem::path path =
            std::filesystem::path(app_.logFolder) / std::filesystem::path(LogFileName(now));
        app_.logFilePath = PathText(path);
        app_.logFile.Start(path);
    }
    std::u16string line(currentDatabasePath);
    line += kFileSelectedSuffix;
    AppendLogLine(line);
}

void CUiOperations::AppendLogLine(std::u16string_view text) {
    LogLock lock(logMutex_);
    AppendLogListLine(text);
    WriteToLogFile(text, true);
}

void CUiOperations::AppendLogListLine(std::u16string_view text) {
    LogLock lock(logMutex_);
    InsertLogRow(app_.logLineCount, text);
    ++app_.logLineCount;
}

void CUiOperations::AppendLogFileLine(std::u16string_view text) {
    LogLock lock(logMutex_);
    WriteToLogFile(text, false);
}

void CUiOperations::AppendDamageLine(const DamageFinding& finding) {
    LogLock lock(logMutex_);
    std::u16string text = kDamageLinePrefix;
    text += Utf8ToUtf16(DamageLine(finding));
    InsertDamageLogRow(app_.logLineCount, text);
    ++app_.logLineCount;
    WriteToLogFile(text, true);
}

void CUiOperations::ResetLogList() {
    LogLock lock(logMutex_);
    DeleteLogRows();
    app_.logLineCount = 0;
    unwritableLogNoted_ = false;
}

void CUiOperations::WriteToLogFile(std::u16string_view text, bool listRowAdded) {
    app_.logFile.WriteLine(text);
    // A log file that could not be created, opened or written stays closed;
    // the list goes on and says so once, after a line the user can see.
    if (listRowAdded && app_.logFile.Unwritable() && !unwritableLogNoted_) {
        unwritableLogNoted_ = true;
        std::u16string note = kLogFileUnwritableNote;
        note += app_.logFilePath;
        AppendLogListLine(note);
    }
}

}  // namespace brix
