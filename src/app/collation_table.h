#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

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

// Adds the collations that MySQL 8.0 and later number and MariaDB does not
// (utf8mb4_0900_* from 255, gb18030, utf8mb3_tolower_ci), each only where
// table has no collation of that number.
void AddMySqlCollations(CollationTable& table);

// Where the collation table is looked for: the folder of the running program
// first, then the current directory (which may be anyone's folder). Empty
// when neither has it.
std::filesystem::path FindCollationFile();

// True when charset is the name of a character set the server has, from our
// own list ("binary" among them).
bool IsKnownCharsetName(std::u16string_view charset);

// True when charset is a known character set and collation is "binary" for
// the binary set or a plain name of the set: the set's name, "_", then only lower-case letters,
// digits and "_". Only such names go from the collation table into a
// statement; the table is a file that anyone may have put beside us.
bool IsKnownCollationPair(std::u16string_view charset, std::u16string_view collation);

// The folder of the running program; empty when the platform does not say.
std::filesystem::path ExecutableDirectory();

}  // namespace brix
