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

namespace {

struct MySqlCollation {
    uint32_t number;
    const char* name;
};

// utf8mb4 collations of MySQL 8.0 and later, 4 bytes per character at most.
constexpr MySqlCollation kMySqlUtf8mb4[] = {
    {255, "utf8mb4_0900_ai_ci"},         {256, "utf8mb4_de_pb_0900_ai_ci"},
    {257, "utf8mb4_is_0900_ai_ci"},      {258, "utf8mb4_lv_0900_ai_ci"},
    {259, "utf8mb4_ro_0900_ai_ci"},      {260, "utf8mb4_sl_0900_ai_ci"},
    {261, "utf8mb4_pl_0900_ai_ci"},      {262, "utf8mb4_et_0900_ai_ci"},
    {263, "utf8mb4_es_0900_ai_ci"},      {264, "utf8mb4_sv_0900_ai_ci"},
    {265, "utf8mb4_tr_0900_ai_ci"},      {266, "utf8mb4_cs_0900_ai_ci"},
    {267, "utf8mb4_da_0900_ai_ci"},      {268, "utf8mb4_lt_0900_ai_ci"},
    {269, "utf8mb4_sk_0900_ai_ci"},      {270, "utf8mb4_es_trad_0900_ai_ci"},
    {271, "utf8mb4_la_0900_ai_ci"},      {273, "utf8mb4_eo_0900_ai_ci"},
    {274, "utf8mb4_hu_0900_ai_ci"},      {275, "utf8mb4_hr_0900_ai_ci"},
    {277, "utf8mb4_vi_0900_ai_ci"},      {278, "utf8mb4_0900_as_cs"},
    {279, "utf8mb4_de_pb_0900_as_cs"},   {280, "utf8mb4_is_0900_as_cs"},
    {281, "utf8mb4_lv_0900_as_cs"},      {282, "utf8mb4_ro_0900_as_cs"},
    {283, "utf8mb4_sl_0900_as_cs"},      {284, "utf8mb4_pl_0900_as_cs"},
    {285, "utf8mb4_et_0900_as_cs"},      {286, "utf8mb4_es_0900_as_cs"},
    {287, "utf8mb4_sv_0900_as_cs"},      {288, "utf8mb4_tr_0900_as_cs"},
    {289, "utf8mb4_cs_0900_as_cs"},      {290, "utf8mb4_da_0900_as_cs"},
    {291, "utf8mb4_lt_0900_as_cs"},      {292, "utf8mb4_sk_0900_as_cs"},
    {293, "utf8mb4_es_trad_0900_as_cs"}, {294, "utf8mb4_la_0900_as_cs"},
    {296, "utf8mb4_eo_0900_as_cs"},      {297, "utf8mb4_hu_0900_as_cs"},
    {298, "utf8mb4_hr_0900_as_cs"},      {300, "utf8mb4_vi_0900_as_cs"},
    {303, "utf8mb4_ja_0900_as_cs"},      {304, "utf8mb4_ja_0900_as_cs_ks"},
    {305, "utf8mb4_0900_as_ci"},         {306, "utf8mb4_ru_0900_ai_ci"},
    {307, "utf8mb4_ru_0900_as_cs"},      {308, "utf8mb4_zh_0900_as_cs"},
    {309, "utf8mb4_0900_bin"},           {310, "utf8mb4_nb_0900_ai_ci"},
    {311, "utf8mb4_nb_0900_as_cs"},      {312, "utf8mb4_nn_0900_ai_ci"},
    {313, "utf8mb4_nn_0900_as_cs"},      {314, "utf8mb4_sr_latn_0900_ai_ci"},
    {315, "utf8mb4_sr_latn_0900_as_cs"}, {316, "utf8mb4_bs_0900_ai_ci"},
    {317, "utf8mb4_bs_0900_as_cs"},      {318, "utf8mb4_bg_0900_ai_ci"},
    {319, "utf8mb4_bg_0900_as_cs"},      {320, "utf8mb4_gl_0900_ai_ci"},
    {321, "utf8mb4_gl_0900_as_cs"},      {322, "utf8mb4_mn_cyrl_0900_ai_ci"},
    {323, "utf8mb4_mn_cyrl_0900_as_cs"},
};

// gb18030 takes one, two or four bytes a character.
constexpr MySqlCollation kMySqlGb18030[] = {
    {248, "gb18030_chinese_ci"}, {249, "gb18030_bin"}, {250, "gb18030_unicode_520_ci"}};

void AddIfMissing(CollationTable& table, uint32_t number, const char* name, const char16_t* charset,
                  uint32_t minBytes, uint32_t maxBytes) {
    if (table.count(number)) return;
    CollationInfo info;
    info.minCharBytes = minBytes;
    info.maxCharBytes = maxBytes;
    for (const char* c = name; *c; ++c) info.text1.push_back(static_cast<char16_t>(*c));
    info.text2 = charset;
    table.emplace(number, std::move(info));
}

}  // namespace

void AddMySqlCollations(CollationTable& table) {
    for (const MySqlCollation& c : kMySqlUtf8mb4)
        AddIfMissing(table, c.number, c.name, u"utf8mb4", 1, 4);
    for (const MySqlCollation& c : kMySqlGb18030)
        AddIfMissing(table, c.number, c.name, u"gb18030", 1, 4);
    AddIfMissing(table, 76, "utf8mb3_tolower_ci", u"utf8mb3", 1, 3);
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
