#pragma once

#include <cstdio>
#include <filesystem>

namespace brix {

// Opens a file that the program writes (a script, a spilled value) without
// ever following a symbolic link in its place, so that a link planted where
// the file goes cannot make the program write elsewhere.
//
// kCreate makes the file new: a regular file of that name is removed first,
// and the file is then created exclusively; kAppend opens an existing regular
// file to write at its end. A symbolic link (or anything else that is not a
// regular file) in the file's place is refused. Returns nullptr with errno
// set on failure (ELOOP for a link).
enum class OutputMode { kCreate, kAppend };
std::FILE* OpenOutputFile(const std::filesystem::path& path, OutputMode mode);

}  // namespace brix
