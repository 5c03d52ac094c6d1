#include "app/text_decoder.h"

#include <iconv.h>

#include <cerrno>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "app/text.h"

namespace brix {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// One open iconv conversion to UTF-16LE per thread and source set: iconv
// handles keep state and must not be shared between threads. They are closed
// when the thread ends.
class ThreadConversions {
  public:
    ~ThreadConversions() {
        for (auto& [name, cd] : open_)
            if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
    iconv_t To16(const std::string& from) {
        auto it = open_.find(from);
        if (it != open_.end()) return it->second;
        iconv_t cd = iconv_open("UTF-16LE", from.c_str());
        open_.emplace(from, cd);
        return cd;
    }

  private:
    std::map<std::string, iconv_t> open_;
};

iconv_t ConversionTo16(const std::string& from) {
    thread_local ThreadConversions conversions;
    return conversions.To16(from);
}

struct CharsetName {
    std::string_view mysql;
    std::string_view iconv;
};

// MySQL character-set names and the iconv names of the same code pages.
constexpr CharsetName kCharsetNames[] = {
    {"armscii8", "ARMSCII-8"},
    {"ascii", "ASCII"},
    {"big5", "BIG5"},
    {"cp1250", "CP1250"},
    {"cp1251", "CP1251"},
    {"cp1256", "CP1256"},
    {"cp1257", "CP1257"},
    {"cp850", "CP850"},
    {"cp852", "CP852"},
    {"cp866", "CP866"},
    {"cp932", "CP932"},
    {"dec8", "DEC-MCS"},
    {"eucjpms", "EUC-JP-MS"},
    {"euckr", "EUC-KR"},
    {"gb18030", "GB18030"},
    {"gb2312", "GB2312"},
    {"gbk", "GBK"},
    {"geostd8", "GEORGIAN-PS"},
    {"greek", "ISO-8859-7"},
    {"hebrew", "ISO-8859-8"},
    {"hp8", "HP-ROMAN8"},
    {"keybcs2", "CP895"},
    {"koi8r", "KOI8-R"},
    {"koi8u", "KOI8-U"},
    {"latin1", "WINDOWS-1252"},
    {"latin2", "ISO-8859-2"},
    {"latin5", "ISO-8859-9"},
    {"latin7", "ISO-8859-13"},
    {"macce", "MAC-CENTRALEUROPE"},
    {"macroman", "MACINTOSH"},
    {"sjis", "SHIFT_JIS"},
    {"swe7", "ISO646-SE"},
    {"tis620", "TIS-620"},
    {"ucs2", "UCS-2BE"},
    {"ujis", "EUC-JP"},
    {"utf16", "UTF-16BE"},
    {"utf16le", "UTF-16LE"},
    {"utf32", "UTF-32BE"},
    {"utf8", "UTF-8"},
    {"utf8mb3", "UTF-8"},
    {"utf8mb4", "UTF-8"},
};

struct CSingleByteTable {
    bool opened = false;
    bool singleByte = false;
    std::array<char16_t, 256> table{};
};

CSingleByteTable MakeSingleByteTable(const std::string& iconvName) {
    CSingleByteTable made;
    std::array<char16_t, 256>& table = made.table;
    iconv_t cd = iconv_open("UTF-16LE", std::string(iconvName).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return made;
    made.opened = true;
    bool singleByte = true;
    for (unsigned b = 0; b < 256; ++b) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char in[1] = {static_cast<char>(b)};
        char outBuf[8];
        char* inPtr = in;
        char* outPtr = outBuf;
        size_t inLeft = 1;
        size_t outLeft = sizeof outBuf;
        size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        // A byte that only starts a character belongs to a multi-byte code page.
        if (rc == static_cast<size_t>(-1) && errno == EINVAL) singleByte = false;
        if (rc != static_cast<size_t>(-1) && outLeft == sizeof outBuf - 2) {
            table[b] = static_cast<char16_t>(static_cast<uint8_t>(outBuf[0]) |
                                             static_cast<uint8_t>(outBuf[1]) << 8);
        } else {
            table[b] = (b >= 0x80 && b <= 0x9F) ? static_cast<char16_t>(b) : kReplacement;
        }
    }
    iconv_close(cd);
    made.singleByte = singleByte;
    return made;
}

}  // namespace

bool BuildSingleByteTable(std::string_view iconvName, std::array<char16_t, 256>& table) {
    // The tables of a code page never change, and making one takes 256 calls
    // into a converter module loaded for it: each is made once per process.
    static std::mutex guard;
    static std::map<std::string, CSingleByteTable, std::less<>> made;
    std::lock_guard<std::mutex> lock(guard);
    auto it = made.find(iconvName);
    if (it == made.end()) {
        const std::string name(iconvName);
        it = made.emplace(name, MakeSingleByteTable(name)).first;
    }
    if (!it->second.opened) return false;
    table = it->second.table;
    return it->second.singleByte;
}

std::string_view IconvNameOfCharset(std::string_view mysqlCharset) {
    for (const auto& name : kCharsetNames)
        if (name.mysql == mysqlCharset) return name.iconv;
    return {};
}

std::unique_ptr<CTextDecoder> CTextDecoder::SingleByte(const std::array<char16_t, 256>& table) {
    std::unique_ptr<CTextDecoder> d(new CTextDecoder(Kind::kSingleByte));
    d->table_ = table;
    return d;
}

std::unique_ptr<CTextDecoder> CTextDecoder::Unicode(Kind kind) {
    return std::unique_ptr<CTextDecoder>(new CTextDecoder(kind));
}

std::unique_ptr<CTextDecoder> CTextDecoder::Iconv(std::string iconvName) {
    std::unique_ptr<CTextDecoder> d(new CTextDecoder(Kind::kIconv));
    d->iconvName_ = std::move(iconvName);
    return d;
}

void CTextDecoder::Append(std::span<const uint8_t> bytes, std::u16string& out,
                          bool stopAtZero) const {
    switch (kind_) {
        case Kind::kSingleByte: {
            size_t n = bytes.size();
            size_t at = out.size();
            out.resize(at + n);
            size_t i = 0;
            for (; i < n; ++i) {
                if (stopAtZero && bytes[i] == 0) break;
                out[at + i] = table_[bytes[i]];
            }
            out.resize(at + i);
            return;
        }
        case Kind::kUtf8:
        case Kind::kIconv: {
            if (stopAtZero) {
                size_t end = 0;
                while (end < bytes.size() && bytes[end] != 0) ++end;
                bytes = bytes.first(end);
            }
            if (kind_ == Kind::kUtf8) {
                AppendUtf8(out, bytes);
            } else {
                AppendIconv(bytes, out);
            }
            return;
        }
        case Kind::kUtf16Be:
        case Kind::kUtf16Le: {
            // Surrogate pairs pass through unchanged; they are UTF-16 as it is.
            bool be = kind_ == Kind::kUtf16Be;
            for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
                char16_t unit = be ? static_cast<char16_t>(bytes[i] << 8 | bytes[i + 1])
                                   : static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
                if (stopAtZero && unit == 0) return;
                out.push_back(unit);
            }
            if (bytes.size() % 2) out.push_back(kReplacement);
            return;
        }
        case Kind::kUtf32Be: {
            for (size_t i = 0; i + 3 < bytes.size(); i += 4) {
                uint32_t cp = static_cast<uint32_t>(bytes[i]) << 24 | bytes[i + 1] << 16 |
                              bytes[i + 2] << 8 | bytes[i + 3];
                if (stopAtZero && cp == 0) return;
                AppendCodePoint(out, cp);
            }
            if (bytes.size() % 4) out.push_back(kReplacement);
            return;
        }
    }
}

void CTextDecoder::AppendIconv(std::span<const uint8_t> bytes, std::u16string& out) const {
    iconv_t cd = ConversionTo16(iconvName_);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        out.append(bytes.size(), kReplacement);
        return;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    size_t inLeft = bytes.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        size_t produced = sizeof buffer - outLeft;
        for (size_t i = 0; i + 1 < produced; i += 2)
            out.push_back(static_cast<char16_t>(static_cast<uint8_t>(buffer[i]) |
                                                static_cast<uint8_t>(buffer[i + 1]) << 8));
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // An invalid byte: show it as one replacement character and go on
        // after it; an incomplete character at the end ends the text.
        out.push_back(kReplacement);
        if (errno == EINVAL) break;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
}

CTextDecoders::CTextDecoders(std::string_view ansiCodePage) {
    std::array<char16_t, 256> table;
    if (!BuildSingleByteTable(ansiCodePage, table))
        throw std::invalid_argument("unknown single-byte code page: " + std::string(ansiCodePage));
    ansi_ = CTextDecoder::SingleByte(table);
    utf8_ = CTextDecoder::Unicode(CTextDecoder::Kind::kUtf8);
}

void CTextDecoders::AddCollations(const CollationTable& collations) {
    for (const auto& [number, info] : collations) {
        std::string charset = Utf16ToUtf8(info.text2);
        auto found = byCharset_.find(charset);
        if (found == byCharset_.end()) {
            std::unique_ptr<CTextDecoder> decoder;
            std::string_view iconvName = IconvNameOfCharset(charset);
            if (iconvName == "UTF-8") {
                decoder = CTextDecoder::Unicode(CTextDecoder::Kind::kUtf8);
            } else if (iconvName == "UTF-16BE" || iconvName == "UCS-2BE") {
                decoder = CTextDecoder::Unicode(CTextDecoder::Kind::kUtf16Be);
            } else if (iconvName == "UTF-16LE") {
                decoder = CTextDecoder::Unicode(CTextDecoder::Kind::kUtf16Le);
            } else if (iconvName == "UTF-32BE") {
                decoder = CTextDecoder::Unicode(CTextDecoder::Kind::kUtf32Be);
            } else if (!iconvName.empty()) {
                std::array<char16_t, 256> table;
                if (info.maxCharBytes <= 1 && BuildSingleByteTable(iconvName, table)) {
                    decoder = CTextDecoder::SingleByte(table);
                } else {
                    decoder = CTextDecoder::Iconv(std::string(iconvName));
                }
            }
            found = byCharset_.emplace(charset, std::move(decoder)).first;
        }
        if (found->second) byCollation_[number] = found->second.get();
    }
}

const CTextDecoder* CTextDecoders::ForCollation(uint32_t collation) const {
    auto it = byCollation_.find(collation);
    return it == byCollation_.end() ? nullptr : it->second;
}

}  // namespace brix
