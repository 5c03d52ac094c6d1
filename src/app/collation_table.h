#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace brix {

class CTextDecoder;

// What the collation table knows of one MySQL collation number.
struct CollationInfo {
    uint32_t minCharBytes = 0;
    uint32_t maxCharBytes = 0;
    std::u16string text1;  // the collation's name
    std::u16string text2;  // the name of its character set
};

using CollationTable = std::map<uint32_t, CollationInfo>;

// The name of the collation table file.
inline constexpr char kCollationFileName[] = "collation (2)";

// Reads the collation table file: records of u32 number, u32 minimum and u32
// maximum bytes per character, then two texts each as u32 length and bytes in
// the ANSI code page; all little-endian. A later record replaces an earlier
// one with the same number. A missing file gives an empty table; a record cut
// short by the end of the file ends the load, keeping what was read.
CollationTable LoadCollations(const std::filesystem::path& file, const CTextDecoder& ansi);

// Where the collation table is looked for: the current directory first, then
// the folder of the running program. Empty when neither has it.
std::filesystem::path FindCollationFile();

// The folder of the running program; empty when the platform does not say.
std::filesystem::path ExecutableDirectory();

}  // namespace brix
