#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace brix {

class CAppState;

// The triggers of a .TRG file, each as the text of its CREATE statement from
// the TRIGGER keyword on (the definer left out), with the file's escapes
// undone. The file's triggers= line lists the statements as quoted texts that
// each start with "CREATE DEFINER="; pieces without the keyword are skipped.
// Empty when the file cannot be opened or lists nothing.
std::vector<std::u16string> ReadTriggerDefinitions(const std::filesystem::path& path,
                                                   const CAppState& app);

// The triggers of a .TRG file as a script: for each, "DELIMITER $$", a line
// feed, "CREATE " and the statement, a line feed, "$$", a line feed,
// "DELIMITER ;" and a line feed. Empty when there are none, and in
// save-to-database mode, where the save run executes the statements itself.
std::u16string TriggerText(const std::filesystem::path& path, const CAppState& app);

}  // namespace brix
