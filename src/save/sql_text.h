#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "catalogue/script_safety.h"
#include "schema/table_def.h"

namespace brix {

std::u16string QuotedName(std::u16string_view name);

// True when name can be written as an identifier: no zero
// character (which the mariadb client refuses in a script) and no half of a
// surrogate pair (text that is not valid Unicode, which UTF-8 cannot carry).
bool IsWritableName(std::u16string_view name);
inline constexpr char16_t kUnwritableName[] =
    u"a name holds a zero character or text that is not valid Unicode";

// Appends text as an SQL string literal: in single quotes, a quote doubled,
// and backslash, NUL, line feed, carriage return and Ctrl-Z written as \\,
// \0, \n, \r and \Z. The value is exact in a session without
// NO_BACKSLASH_ESCAPES (the scripts and the server connection turn it off);
// in one with it, the literal still ends where it should (it holds no \'),
// so no value can end it early in either mode.
void AppendStringLiteral(std::u16string& out, std::u16string_view text);
std::u16string StringLiteral(std::u16string_view text);

// True when text is a number the server reads as written: an optional sign,
// digits with at most one point, at least one digit, and an optional exponent.
bool IsPlainNumber(std::u16string_view text);

// Appends the literal for one value of column, given as export mode renders
// it: NULL when the reader marked it NULL (the text "NULL" of a string is a
// string), numbers bare, BIT values as b'...', binary and spatial values
// (hex from the renderer) as 0x..., and everything else, text and temporal
// values alike, as a string literal. A value whose text does not have the form
// its type promises (damage) is written as a string literal, which the server
// converts as it converts any string.
void AppendValueLiteral(std::u16string& out, const CColumnDef& column, std::u16string_view text,
                        bool isNull);

// AppendStringLiteral and AppendValueLiteral writing UTF-8 straight into
// out: the bytes are those of the UTF-16 literal converted with
// AppendUtf16AsUtf8 (a lone surrogate becomes U+FFFD), made in one pass
// without a UTF-16 copy of the value.
void AppendStringLiteralUtf8(std::string& out, std::u16string_view text);
void AppendValueLiteralUtf8(std::string& out, const CColumnDef& column, std::u16string_view text,
                            bool isNull);

// Appends text escaped as AppendStringLiteralUtf8 escapes it, without the
// quotes: a piece of a literal written in parts.
void AppendEscapedUtf8(std::string& out, std::u16string_view text);

// The literal of one value of column written in pieces, as a value read
// from its off-page chain arrives: Begin, Part for each piece of the text
// export mode renders for it, End. Writes what AppendValueLiteralUtf8 writes
// for the whole text of a text or binary column (the only columns whose
// values are stored off-page).
class CValueLiteralUtf8 {
  public:
    void Begin(std::string& out, const CColumnDef& column);
    void Part(std::u16string_view text);
    void End();

  private:
    std::string* out_ = nullptr;
    size_t start_ = 0;
    bool hex_ = false;
};

// Bytes that text takes in UTF-8: what it adds to a statement sent to the
// server or written to a script.
size_t Utf8Length(std::u16string_view text);

}  // namespace brix
