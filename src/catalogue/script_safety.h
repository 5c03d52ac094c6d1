#pragma once

#include <string>
#include <string_view>

namespace brix {

// Checks a statement text taken from a file (a trigger body, a view query)
// before it goes into a script that the mariadb client reads, the way that
// client reads it in a session with or without NO_BACKSLASH_ESCAPES (the
// client follows the session's mode): strings in ', " and ` (with backslash
// escapes in ' and " unless noBackslashEscapes), comments in /* */ (but not
// the executable /*! and /*M! forms, which the client reads as text), and
// line comments after "-- " and "#". Returns a message naming the first
// problem, or an empty text when the text is safe:
// - a zero character anywhere;
// - a backslash outside a string or comment (the client takes \x as one of
//   its own commands, \! as a shell command);
// - a line that starts, outside a string or comment, with the name of one of
//   the client's own commands (system, source, delimiter, connect, use ...);
// - a semicolon outside a string or comment when forbidSemicolon is set (a
//   statement that the client would end early), and then also an end inside
//   a line comment (which would swallow the semicolon after it);
// - a string or /* comment that is not closed at the end of the text.
std::u16string ScriptTextProblem(std::u16string_view text, bool forbidSemicolon,
                                 bool noBackslashEscapes);

// ScriptTextProblem for an expression that goes between parentheses of a
// statement (a column's DEFAULT or generation expression) in either mode: no
// semicolon, and
// its parentheses outside strings and comments balanced, so that it cannot
// end the parentheses around it.
std::u16string ExpressionTextProblem(std::u16string_view text);

// A DELIMITER word for a block that holds text: "$$", or "$$" and a number,
// the first that text does not contain anywhere.
std::u16string BlockDelimiter(std::u16string_view text);

// True when text is one of the mariadb client's own command names, in any
// case.
bool IsClientCommandName(std::u16string_view word);

// Appends name as an SQL identifier: in backquotes, every backquote in it
// doubled, so that no name can end the identifier early.
void AppendQuotedName(std::u16string& out, std::u16string_view name);

}  // namespace brix
