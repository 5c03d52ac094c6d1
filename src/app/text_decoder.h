#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "app/collation_table.h"

namespace brix {

// Turns the bytes of one character set into UTF-16 text.
class CTextDecoder {
  public:
    enum class Kind { kSingleByte, kUtf8, kUtf16Be, kUtf16Le, kUtf32Be, kIconv };

    static std::unique_ptr<CTextDecoder> SingleByte(const std::array<char16_t, 256>& table);
    static std::unique_ptr<CTextDecoder> Unicode(Kind kind);
    static std::unique_ptr<CTextDecoder> Iconv(std::string iconvName);

    Kind kind() const { return kind_; }

    // Appends the text of the bytes. With stopAtZero the text ends before the
    // first zero character (a zero byte in byte-oriented sets, a zero unit in
    // UTF-16 and UTF-32). Bytes that do not form a character of the set become
    // U+FFFD; nothing is read outside the span.
    void Append(std::span<const uint8_t> bytes, std::u16string& out, bool stopAtZero) const;

  private:
    explicit CTextDecoder(Kind kind) : kind_(kind) {}
    void AppendIconv(std::span<const uint8_t> bytes, std::u16string& out) const;

    Kind kind_;
    std::array<char16_t, 256> table_{};
    std::string iconvName_;
};

// Builds the 256-entry table of a single-byte code page known to iconv. Bytes
// the code page leaves undefined map to themselves in 0x80-0x9F (as Windows and
// MySQL's latin1 do) and to U+FFFD elsewhere. False when iconv does not know
// the name or the code page is not single-byte.
bool BuildSingleByteTable(std::string_view iconvName, std::array<char16_t, 256>& table);

// The iconv name of a MySQL character set, or an empty view when the set has
// none (binary).
std::string_view IconvNameOfCharset(std::string_view mysqlCharset);

// The decoders of the process: the ANSI code page and one per character set of
// the collation table, shared by every reader for the life of the process.
class CTextDecoders {
  public:
    // Throws std::invalid_argument when the ANSI code page is not a
    // single-byte code page that iconv knows.
    explicit CTextDecoders(std::string_view ansiCodePage);

    // Adds a decoder for the character set of every collation in the table,
    // found by the character-set name that is the entry's second text.
    void AddCollations(const CollationTable& collations);

    const CTextDecoder& Ansi() const { return *ansi_; }
    const CTextDecoder& Utf8() const { return *utf8_; }

    // Decoder for the character set of a collation number; nullptr for the
    // binary set and for numbers the collation table does not know.
    const CTextDecoder* ForCollation(uint32_t collation) const;

  private:
    std::unique_ptr<CTextDecoder> ansi_;
    std::unique_ptr<CTextDecoder> utf8_;
    std::map<std::string, std::unique_ptr<CTextDecoder>, std::less<>> byCharset_;
    std::unordered_map<uint32_t, const CTextDecoder*> byCollation_;
};

}  // namespace brix
