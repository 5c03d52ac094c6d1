#include "app/file_names.h"

#include <algorithm>
#include <cctype>

#include "app/text.h"

namespace brix {

namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::filesystem::path FindStorageFile(const std::filesystem::path& folder, std::u16string_view stem,
                                      std::string_view extension) {
    std::error_code ec;
    const std::filesystem::path stemPath{std::u16string(stem)};
    std::filesystem::path exact = folder / stemPath;
    exact += ".";
    exact += extension;
    if (std::filesystem::is_regular_file(exact, ec)) return exact;
    const std::string wantedStem = stemPath.string();
    std::filesystem::directory_iterator it(folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::filesystem::path& p = it->path();
        if (p.stem().string() != wantedStem) continue;
        const std::string ext = p.extension().string();
        if (ext.empty() || !EqualIgnoringCase(std::string_view(ext).substr(1), extension)) continue;
        std::error_code typeError;
        if (it->is_regular_file(typeError)) return p;
    }
    return {};
}

std::u16string PathText(const std::filesystem::path& path) {
#ifdef _WIN32
    return path.u16string();
#else
    return Utf8ToUtf16(path.native());
#endif
}

std::string PathUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::u16string PathComponentText(const std::filesystem::path& path) {
    return PathText(path.filename());
}

}  // namespace brix
