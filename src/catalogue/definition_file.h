#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace brix {

class CAppState;

// The text of a view or trigger definition file (key=value lines that the
// server writes): UTF-8 when the bytes are well-formed UTF-8, else the ANSI
// code page. Nothing when the file cannot be opened. Reads at most the first
// 16 MiB; definition files are far smaller.
std::optional<std::u16string> ReadDefinitionFile(const std::filesystem::path& path,
                                                 const CAppState& app);

// The rest of the first line that starts with key (such as "query=") at its
// first character, without a line-end CR; empty when no line does.
std::u16string DefinitionValue(std::u16string_view text, std::u16string_view key);

// Undoes the escapes with which the server writes values into definition
// files: \\ is a backslash, \' a quote, \n a line feed, \0 a zero character
// and \z the character 26. A backslash before anything else, and one at the
// very end, is dropped.
std::u16string UnescapeDefinitionText(std::u16string_view escaped);

}  // namespace brix
