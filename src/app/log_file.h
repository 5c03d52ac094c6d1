#pragma once

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace brix {

// The start of every log file name; the date and time and ".txt" follow.
inline constexpr char16_t kLogFilePrefix[] = u"KarvoMySQLDBRec_log_";

// The name of the log file of a scan started at local time now:
// KarvoMySQLDBRec_log_ followed by day-month-year-hour-minute-second without
// zero padding, and .txt (5 March 2024 09:07:03 gives
// KarvoMySQLDBRec_log_5-3-2024-9-7-3.txt).
std::u16string LogFileName(const std::tm& now);

// The local date and time now.
std::tm LocalTimeNow();

// The log file: UTF-16 little-endian text with CR LF line ends. A new file
// starts with the byte-order mark; an existing one of the same name is
// appended to. Every write goes straight to the file, so that nothing is lost
// when the process ends at once.
class CLogFile {
  public:
    CLogFile() = default;
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Closes the file held before, then opens path for appending (creating it
    // with the byte-order mark when it does not exist) and writes the header: a
    // line end, 80 asterisks and a line end. False when the file cannot be
    // created, opened or written; it stays closed then and Unwritable is true.
    bool Start(const std::filesystem::path& path);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    // True after a Start or a write failed, until the next Start or Close: the
    // file the log should go to could not be written.
    bool Unwritable() const { return unwritable_; }

    // Writes text as it stands. Nothing is written while no file is open; a
    // failed write closes the file and makes it unwritable. False when nothing
    // was written.
    bool Write(std::u16string_view text);
    // Writes text and CR LF.
    bool WriteLine(std::u16string_view text);

  private:
    std::FILE* file_ = nullptr;
    bool unwritable_ = false;
};

}  // namespace brix
