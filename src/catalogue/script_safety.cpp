#include "catalogue/script_safety.h"

#include <set>
#include <string>

namespace brix {

namespace {

// The mariadb client's own commands by name; a line that starts with one
// outside a string is the client's, not the server's, when the client reads
// names (always at the start of a statement, on every line with
// --named-commands).
constexpr std::u16string_view kClientCommands[] = {
    u"?",      u"charset", u"clear", u"connect",  u"delimiter", u"edit",      u"ego",
    u"exit",   u"go",      u"help",  u"nopager",  u"notee",     u"nowarning", u"pager",
    u"print",  u"prompt",  u"quit",  u"rehash",   u"sandbox",   u"source",    u"status",
    u"system", u"tee",     u"use",   u"warnings",
};

char16_t LowerAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\f' || c == u'\v';
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

enum class State { kCode, kQuote, kDoubleQuote, kBackquote, kBlockComment, kLineComment };

std::u16string CheckOneReading(std::u16string_view text, bool forbidSemicolon,
                               bool backslashEscapes, bool balanced = false) {
    State state = State::kCode;
    size_t depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\0') return u"it holds a zero character";
        if (c == u'\n') {
            if (state == State::kLineComment) state = State::kCode;
            if (state != State::kCode) continue;
            size_t start = i + 1;
            while (start < text.size() && IsBlank(text[start])) ++start;
            size_t end = start;
            while (end < text.size() && !IsBlank(text[end]) && text[end] != u'\n' &&
                   text[end] != u';')
                ++end;
            if (IsClientCommandName(text.substr(start, end - start)))
                return u"a line of it starts with a command of the mariadb client";
            continue;
        }
        switch (state) {
            case State::kCode:
                if (c == u'\'') {
                    state = State::kQuote;
                } else if (c == u'"') {
                    state = State::kDoubleQuote;
                } else if (c == u'`') {
                    state = State::kBackquote;
                } else if (c == u'\\') {
                    return u"it holds a backslash outside a string, which the mariadb client "
                           u"takes for one of its own commands";
                } else if (c == u'(') {
                    ++depth;
                } else if (c == u')' && balanced && depth-- == 0) {
                    return u"it closes a parenthesis it did not open";
                } else if (c == u';' && forbidSemicolon) {
                    return u"it holds a semicolon outside a string";
                } else if (c == u'#') {
                    state = State::kLineComment;
                } else if (c == u'-' && i + 1 < text.size() && text[i + 1] == u'-' &&
                           (i + 2 == text.size() || IsBlank(text[i + 2]) || text[i + 2] == u'\n')) {
                    state = State::kLineComment;
                } else if (c == u'/' && i + 1 < text.size() && text[i + 1] == u'*') {
                    // /*! and /*M! hold text that the client and the server
                    // read as statement text; other comments are skipped.
                    const bool executable =
                        (i + 2 < text.size() && text[i + 2] == u'!') ||
                        (i + 3 < text.size() && text[i + 2] == u'M' && text[i + 3] == u'!');
                    if (!executable) state = State::kBlockComment;
                    ++i;
                }
                break;
            case State::kQuote:
            case State::kDoubleQuote: {
                const char16_t quote = state == State::kQuote ? u'\'' : u'"';
                if (c == u'\\' && backslashEscapes) {
                    // The escaped character may be a line feed; it is part
                    // of the string either way.
                    ++i;
                } else if (c == quote) {
                    if (i + 1 < text.size() && text[i + 1] == quote) {
                        ++i;
                    } else {
                        state = State::kCode;
                    }
                }
                break;
            }
            case State::kBackquote:
                if (c == u'`') {
                    if (i + 1 < text.size() && text[i + 1] == u'`') {
                        ++i;
                    } else {
                        state = State::kCode;
                    }
                }
                break;
            case State::kBlockComment:
                if (c == u'*' && i + 1 < text.size() && text[i + 1] == u'/') {
                    state = State::kCode;
                    ++i;
                }
                break;
            case State::kLineComment:
                break;
        }
    }
    if (balanced && depth != 0) return u"a parenthesis in it is not closed";
    // Text that ends in a line comment would swallow what the statement puts
    // after it on the same line: a closing parenthesis, a clause or its
    // semicolon.
    if (state == State::kLineComment && (balanced || forbidSemicolon))
        return u"it ends in a comment";
    if (state == State::kCode || state == State::kLineComment) return {};
    return state == State::kBlockComment ? u"a comment in it is not closed"
                                         : u"a string or quoted name in it is not closed";
}

}  // namespace

bool IsClientCommandName(std::u16string_view word) {
    for (std::u16string_view command : kClientCommands) {
        if (command.size() != word.size()) continue;
        bool same = true;
        for (size_t i = 0; i < word.size() && same; ++i) same = LowerAscii(word[i]) == command[i];
        if (same) return true;
    }
    return false;
}

std::u16string ScriptTextProblem(std::u16string_view text, bool forbidSemicolon,
                                 bool noBackslashEscapes) {
    return CheckOneReading(text, forbidSemicolon, !noBackslashEscapes);
}

std::u16string ExpressionTextProblem(std::u16string_view text) {
    std::u16string problem = CheckOneReading(text, true, true, true);
    if (problem.empty()) problem = CheckOneReading(text, true, false, true);
    return problem;
}

std::u16string BlockDelimiter(std::u16string_view text) {
    constexpr std::u16string_view kMark = u"$$";
    if (text.find(kMark) == std::u16string_view::npos) return std::u16string(kMark);
    // Otherwise "$$N$$" with the smallest N that text does not hold in that
    // form; one pass collects the numbers it holds.
    constexpr size_t kMaxDigits = 9;
    std::set<uint32_t> used;
    for (size_t at = text.find(kMark); at != std::u16string_view::npos;
         at = text.find(kMark, at + 1)) {
        size_t end = at + kMark.size();
        uint32_t number = 0;
        while (end < text.size() && IsDigit(text[end]) && end - at - kMark.size() < kMaxDigits) {
            number = number * 10 + static_cast<uint32_t>(text[end] - u'0');
            ++end;
        }
        if (end > at + kMark.size() && text.substr(end).starts_with(kMark)) used.insert(number);
    }
    uint32_t number = 1;
    while (used.count(number) != 0) ++number;
    std::u16string delimiter(kMark);
    for (char c : std::to_string(number)) delimiter.push_back(static_cast<char16_t>(c));
    delimiter += kMark;
    return delimiter;
}

void AppendQuotedName(std::u16string& out, std::u16string_view name) {
    out.push_back(u'`');
    for (char16_t c : name) {
        if (c == u'`') out.push_back(u'`');
        out.push_back(c);
    }
    out.push_back(u'`');
}

}  // namespace brix
