#pragma once

#include <filesystem>
#include <string_view>

namespace brix {

// The file folder/stem.extension, matching the extension in any case (MySQL
// writes .MYD and .MYI; copies made on case-insensitive systems may not keep
// the case). The exact spelling is tried first; empty when none exists.
std::filesystem::path FindStorageFile(const std::filesystem::path& folder, std::u16string_view stem,
                                      std::string_view extension);

}  // namespace brix
