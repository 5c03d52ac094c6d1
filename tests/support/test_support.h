#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/byte_reader.h"

namespace brix::test {

// The repository's own folders.
std::filesystem::path SourceDir();
std::filesystem::path FixtureDataDir();
std::filesystem::path FixtureExpectedDir();

// One process-wide state for the tests, with the repository's collation table
// and the default ANSI code page; shared, so never changed.
const CAppState& TestApp();
// A state of the caller's own, made as TestApp is: for tests whose reads
// change it (the spill counter of export mode), or that change it themselves.
std::unique_ptr<CAppState> NewTestApp();

// A folder under the system's temporary folder, removed with the object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);
std::string ReadFileText(const std::filesystem::path& path);

// Splits tab-separated text as the mariadb client writes it in batch mode,
// undoing its escapes (\t, \n, \\, \0).
std::vector<std::vector<std::string>> ReadTsv(const std::filesystem::path& path);

// UTF-16 text as UTF-8, for readable assertions.
std::string U8(std::u16string_view text);

// Bytes from a list of values 0-255.
inline std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

}  // namespace brix::test
