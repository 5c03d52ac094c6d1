#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brix {

// Checks of what the command line names, shared by the commands. Each throws
// CommandFailed with a message that says what is wrong; none follows a path
// further than the checks need.

// DATADIR: UTF-8 (the program keeps paths as text), and a folder that exists
// and can be listed. A path that is too long, a loop of symbolic links or a
// folder that may not be read is named with the system's reason.
void CheckDataDirectory(const std::string& dataDir);

// A database or table name that becomes one component of a path below the
// data directory: not empty, UTF-8, no path separator, not "." or "..", so
// that it can never name anything outside its folder.
void CheckObjectName(const std::string& name, std::string_view what);

// A path given for the program to create or read (spill folder, script
// folder, log folder, system tablespace): UTF-8, as the data directory.
void CheckPathText(const std::string& path, std::string_view what);

// The first line of a password file, read through at most kMaxPasswordFile
// bytes: a directory, a line that does not end within them (/dev/zero) or a
// zero byte in the line is refused. Pipes and devices may be named.
inline constexpr size_t kMaxPasswordFile = 4096;
std::string ReadPasswordFile(const std::string& path);

// The longest command line browse takes; a longer one is skipped.
inline constexpr size_t kMaxBrowseLine = 64 * 1024;

}  // namespace brix
