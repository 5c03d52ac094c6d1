#include "app/collation_table.h"

#include <system_error>

#include "app/byte_reader.h"
#include "app/read_only_file.h"
#include "app/text_decoder.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace brix {

namespace {

// No sane collation table comes near this size; a larger file is read no further.
constexpr size_t kCollationFileLimit = 16u << 20;
constexpr size_t kRecordFixedPart = 4 + 4 + 4 + 4;

}  // namespace

CollationTable LoadCollations(const std::filesystem::path& file, const CTextDecoder& ansi) {
    CollationTable table;
    CReadOnlyFile in;
    if (!in.Open(file)) return table;
    std::vector<uint8_t> bytes = in.ReadAll(kCollationFileLimit);
    ByteReader r(bytes);
    while (r.remaining() >= kRecordFixedPart) {
        uint32_t number = r.u32le();
        CollationInfo info;
        info.minCharBytes = r.u32le();
        info.maxCharBytes = r.u32le();
        uint32_t length1 = r.u32le();
        if (length1 > r.remaining()) break;
        ansi.Append(r.bytes(length1), info.text1, false);
        if (r.remaining() < 4) break;
        uint32_t length2 = r.u32le();
        if (length2 > r.remaining()) break;
        ansi.Append(r.bytes(length2), info.text2, false);
        table[number] = std::move(info);
    }
    return table;
}

std::filesystem::path ExecutableDirectory() {
#ifdef _WIN32
    wchar_t buffer[32768];
    DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
    if (n == 0 || n >= 32768) return {};
    return std::filesystem::path(std::wstring(buffer, n)).parent_path();
#else
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe.parent_path();
#endif
}

std::filesystem::path FindCollationFile() {
    std::error_code ec;
    std::filesystem::path dir = ExecutableDirectory();
    if (!dir.empty()) {
        std::filesystem::path beside = dir / kCollationFileName;
        if (std::filesystem::is_regular_file(beside, ec)) return beside;
    }
    std::filesystem::path here(kCollationFileName);
    if (std::filesystem::is_regular_file(here, ec)) return here;
    return {};
}

bool IsKnownCharsetName(std::u16string_view charset) {
    std::string name;
    for (char16_t c : charset) {
        if (c >= 0x80) return false;
        name.push_back(static_cast<char>(c));
    }
    return name == "binary" || !IconvNameOfCharset(name).empty();
}

bool IsKnownCollationPair(std::u16string_view charset, std::u16string_view collation) {
    if (!IsKnownCharsetName(charset)) return false;
    if (charset == u"binary") return collation == u"binary";
    if (collation.size() <= charset.size() + 1 || collation.substr(0, charset.size()) != charset ||
        collation[charset.size()] != u'_')
        return false;
    for (char16_t c : collation.substr(charset.size() + 1)) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_';
        if (!plain) return false;
    }
    return true;
}

}  // namespace brix
