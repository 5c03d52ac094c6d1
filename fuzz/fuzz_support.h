#pragma once

// Shared pieces of the fuzz targets: every target turns the fuzzer's bytes
// into one or more files in a scratch folder of its own and runs a reader
// over them to its end, as the program would on a damaged data directory.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "app/app_state.h"

namespace brix::fuzz {

// The scratch folder of this process: under /dev/shm when it exists, so that
// the files of each run stay in memory.
const std::filesystem::path& ScratchDir();

// The application state every target reads with: the shipped collation table
// and the default code page.
CAppState& App();

// A file of the fixture data directory of the source tree.
std::filesystem::path FixtureFile(const std::string& relative);

void WriteBytes(const std::filesystem::path& path, const uint8_t* data, size_t size);
// Hands the bytes to the readers as the file at path without writing them
// out: they read them from memory, the fuzzer's own bytes, not a copy, so
// nothing may read the file after the input's run returns. An empty file
// stays on disk under that name, so that the lookups of table files find it.
void PutInMemory(const std::filesystem::path& path, const uint8_t* data, size_t size);
// Copies a fixture file into the scratch folder (once: they never change).
void CopyInto(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace brix::fuzz

namespace brix {
class CInnoDictionary;
}

namespace brix::fuzz {

// Opens the table in folder and reads its first windows, in display mode
// and again in export mode (spilling off-page values into the scratch
// folder), as the record browser and a save would: up to kFuzzWindows of
// them, as later windows take the same paths.
inline constexpr int kFuzzWindows = 4;
// Rows of those windows: small, so that an input runs fast; the paths from
// window to window are the same whatever the size.
inline constexpr size_t kFuzzWindowRows = 16;
void ReadEveryWindow(const std::filesystem::path& folder, const std::u16string& table,
                     const CInnoDictionary* dictionary);

// Puts the input as the data file of a copy of the fixture MyISAM table name
// (its .frm and .MYI beside it, in the scratch folder's subfolder) and reads
// it as ReadEveryWindow does; then once more with a damage report listening,
// and once without the index file, so that the rows are read by what the
// .frm and the data file alone say.
void ReadMyisamDataFile(const std::filesystem::path& name, const char* subfolder,
                        const uint8_t* data, size_t size);

// Reads the input as the tablespace of a table whose columns were changed in
// place: added before MySQL 8.0.29 (the records of the core fields, and
// those with a field count) and, as variant chooses, added and dropped in
// versions since too, with the count of the table, of a partition made after
// the change (none) or of one made part way. Its live rows window after
// window from page 3, or with deleted its deleted ones.
void ReadInstantLayouts(uint8_t variant, const uint8_t* data, size_t size, bool deleted);

// The table a target works on, chosen by the first input byte among names.
template <size_t N>
const char* Pick(const uint8_t*& data, size_t& size, const char* const (&names)[N]) {
    if (size == 0) return names[0];
    const char* name = names[data[0] % N];
    ++data;
    --size;
    return name;
}

}  // namespace brix::fuzz
