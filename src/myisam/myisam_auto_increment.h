#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace brix {

// The last AUTO_INCREMENT value a MyISAM index file's state header records
// (the next value is one more): the value the server gave or was given
// last, or the table's starting value less one. nullopt when the file cannot
// be opened, is too short to hold the field or does not start as a MyISAM
// index file does; 0 when none was given. Opened read-only.
std::optional<uint64_t> ReadMyisamAutoIncrement(const std::filesystem::path& indexFile);

}  // namespace brix
