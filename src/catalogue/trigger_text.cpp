#include "catalogue/trigger_text.h"

#include <algorithm>

#include "app/app_state.h"
#include "catalogue/definition_file.h"
#include "catalogue/token.h"

namespace brix {

namespace {

constexpr char16_t kTriggersKey[] = u"triggers=";
constexpr char16_t kStatementSeparator[] = u"CREATE DEFINER=";
constexpr std::u16string_view kTriggerKeyword = u"TRIGGER";

char16_t UpperAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

// Where a backquoted name that starts at from ends (after its closing
// backquote; a doubled backquote stands for one); npos when it is not closed.
size_t SkipQuotedName(std::u16string_view text, size_t from) {
    for (size_t i = from + 1; i < text.size(); ++i) {
        if (text[i] != u'`') continue;
        if (i + 1 < text.size() && text[i + 1] == u'`') {
            ++i;
            continue;
        }
        return i + 1;
    }
    return std::u16string_view::npos;
}

// Where the definer `user`@`host` at the start of a piece ends; 0 when the
// piece does not start with one in that form.
size_t SkipDefiner(std::u16string_view piece) {
    if (piece.empty() || piece[0] != u'`') return 0;
    size_t at = SkipQuotedName(piece, 0);
    if (at == std::u16string_view::npos || at >= piece.size() || piece[at] != u'@') return 0;
    ++at;
    if (at < piece.size() && piece[at] == u'`') {
        at = SkipQuotedName(piece, at);
        return at == std::u16string_view::npos ? 0 : at;
    }
    while (at < piece.size() && !IsSpace(piece[at])) ++at;
    return at;
}

// The first TRIGGER keyword after from, in any case.
size_t FindTriggerKeyword(std::u16string_view piece, size_t from) {
    auto it = std::search(piece.begin() + static_cast<std::ptrdiff_t>(from), piece.end(),
                          kTriggerKeyword.begin(), kTriggerKeyword.end(),
                          [](char16_t a, char16_t b) { return UpperAscii(a) == b; });
    return it == piece.end() ? std::u16string_view::npos : static_cast<size_t>(it - piece.begin());
}

// The statement of one piece: from the keyword to the quote that closes the
// piece's quoted text, skipping escaped characters, so that a statement that
// itself ends in an escaped quote keeps it. Without a closing quote: to the
// end of the piece, less trailing quotes and white space.
std::u16string_view StatementOfPiece(std::u16string_view piece, size_t keyword) {
    size_t end = std::u16string_view::npos;
    for (size_t i = keyword; i < piece.size(); ++i) {
        if (piece[i] == u'\\') {
            ++i;
        } else if (piece[i] == u'\'') {
            end = i;
            break;
        }
    }
    if (end != std::u16string_view::npos) {
        std::u16string_view statement = piece.substr(keyword, end - keyword);
        while (!statement.empty() && IsSpace(statement.back())) statement.remove_suffix(1);
        return statement;
    }
    std::u16string_view statement = piece.substr(keyword);
    while (!statement.empty() && (IsSpace(statement.back()) || statement.back() == u'\''))
        statement.remove_suffix(1);
    return statement;
}

}  // namespace

std::vector<std::u16string> ReadTriggerDefinitions(const std::filesystem::path& path,
                                                   const CAppState& app) {
    std::vector<std::u16string> definitions;
    const std::optional<std::u16string> text = ReadDefinitionFile(path, app);
    if (!text) return definitions;
    CToken tokens(DefinitionValue(*text, kTriggersKey));
    tokens.SetSeparator(kStatementSeparator);
    while (tokens.HasMoreTokens()) {
        const std::u16string piece = tokens.NextToken();
        const size_t keyword = FindTriggerKeyword(piece, SkipDefiner(piece));
        if (keyword == std::u16string_view::npos) continue;
        definitions.push_back(UnescapeDefinitionText(StatementOfPiece(piece, keyword)));
    }
    return definitions;
}

std::u16string TriggerText(const std::filesystem::path& path, const CAppState& app) {
    std::u16string script;
    if (app.saveToDatabase && !app.saveAsScript) return script;
    for (const std::u16string& definition : ReadTriggerDefinitions(path, app)) {
        script += u"DELIMITER $$\nCREATE ";
        script += definition;
        script += u"\n$$\nDELIMITER ;\n";
    }
    return script;
}

}  // namespace brix
