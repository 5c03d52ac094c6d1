#include "support/test_support.h"

#include <fstream>
#include <random>
#include <sstream>

#include "app/text.h"

namespace brix::test {

std::filesystem::path SourceDir() {
    return BRIX_SOURCE_DIR;
}
std::filesystem::path FixtureDataDir() {
    return SourceDir() / "tests" / "fixtures" / "datadir";
}
std::filesystem::path FixtureExpectedDir() {
    return SourceDir() / "tests" / "fixtures" / "expected";
}

const CAppState& TestApp() {
    static const CAppState app(kDefaultAnsiCodePage, SourceDir() / "data" / kCollationFileName);
    return app;
}

std::unique_ptr<CAppState> NewTestApp() {
    return std::make_unique<CAppState>(kDefaultAnsiCodePage,
                                       SourceDir() / "data" / kCollationFileName);
}

TempDir::TempDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("brix-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadFileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::vector<std::string>> ReadTsv(const std::filesystem::path& path) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(ReadFileText(path));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields(1);
        for (size_t i = 0; i < line.size(); ++i) {
            char c = line[i];
            if (c == '\t') {
                fields.emplace_back();
            } else if (c == '\\' && i + 1 < line.size()) {
                char e = line[++i];
                fields.back().push_back(e == 't' ? '\t' : e == 'n' ? '\n' : e == '0' ? '\0' : e);
            } else {
                fields.back().push_back(c);
            }
        }
        rows.push_back(std::move(fields));
    }
    return rows;
}

std::string U8(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

}  // namespace brix::test
