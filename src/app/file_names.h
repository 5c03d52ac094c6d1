#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace brix {

// The file folder/stem.extension, matching the extension in any case (MySQL
// writes .MYD and .MYI; copies made on case-insensitive systems may not keep
// the case). The exact spelling is tried first; empty when none exists.
std::filesystem::path FindStorageFile(const std::filesystem::path& folder, std::u16string_view stem,
                                      std::string_view extension);

// The name of a path's last component as wide text; bytes that are not UTF-8
// (names copied from another system) become U+FFFD instead of throwing, as
// std::filesystem's own conversion does.
std::u16string PathComponentText(const std::filesystem::path& path);
// The whole path as wide text, the same way.
std::u16string PathText(const std::filesystem::path& path);
// The whole path as UTF-8, as damage findings and log lines name files (the
// bytes of the name on systems whose paths are bytes).
std::string PathUtf8(const std::filesystem::path& path);

}  // namespace brix
