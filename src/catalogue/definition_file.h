#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/damage_report.h"

namespace brix {

class CAppState;

// Tells damage (when not null) of a damaged view or trigger definition file:
// a definition finding for path with why, at byte offset (-1: the whole
// file).
void ReportDefinitionDamage(CDamageSink* damage, const std::filesystem::path& path, std::string why,
                            int64_t offset = -1);

// Checks what every definition file of the server has: its first line is
// "TYPE=" and the kind (VIEW, TRIGGERS), and it ends with a line feed, as the
// server ends every line it writes. Tells damage of what is wrong.
void CheckDefinitionFileShape(const std::filesystem::path& path, std::u16string_view text,
                              std::u16string_view kind, CDamageSink* damage);

// The text of a view or trigger definition file (key=value lines that the
// server writes), line by line: a line of well-formed UTF-8 (the server
// writes its statement texts in UTF-8) as UTF-8, any other line (such as a
// source= line in a client's single-byte character set) in the ANSI code
// page. Nothing when the file cannot be opened (told to damage when it is
// there). Reads at most the first 16 MiB; definition files are far smaller.
std::optional<std::u16string> ReadDefinitionFile(const std::filesystem::path& path,
                                                 const CAppState& app,
                                                 CDamageSink* damage = nullptr);

// The rest of the first line that starts with key (such as "query=") at its
// first character, without a line-end CR; empty when no line does.
std::u16string DefinitionValue(std::u16string_view text, std::u16string_view key);

// Undoes the escapes with which the server writes values into definition
// files: \\ is a backslash, \' a quote, \n a line feed, \0 a zero character
// and \z the character 26. A backslash before anything else, and one at the
// very end, is dropped.
std::u16string UnescapeDefinitionText(std::u16string_view escaped);

// The items of a list value of a definition file, such as the triggers= line
// ('one' 'two', each a quoted text with the file's escapes, which are undone)
// or the sql_modes= line (0 524288, bare words): items are separated by
// spaces; a quoted item ends at its first quote that no backslash escapes.
// One pass over the value; an item whose closing quote is missing runs to the
// end of the value.
std::vector<std::u16string> DefinitionList(std::u16string_view value);

}  // namespace brix
