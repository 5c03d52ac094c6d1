#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/damage_report.h"

namespace brix {

class CAppState;

// One trigger of a .TRG file, parsed from its CREATE statement.
struct CTriggerDefinition {
    std::u16string name;  // the trigger's name
    // Its statement from the TRIGGER keyword on, built from the parsed parts:
    // "TRIGGER `name` BEFORE INSERT ON `table` FOR EACH ROW " and the body.
    // Names are unqualified: the trigger belongs to the database of its file.
    std::u16string statement;
    std::u16string body;  // the trigger's body as the server keeps it
    // The session mode it was made in, as a list of mode names for
    // SET SQL_MODE; empty when the file gives none (then the script's own
    // mode stands).
    std::u16string sqlMode;
    bool hasSqlMode = false;
};

// What a .TRG file holds.
struct CTriggerFile {
    std::vector<CTriggerDefinition> triggers;
    // One message for each trigger the file lists that is not taken, naming
    // it and saying why: a statement that cannot be parsed, one whose trigger
    // or table belongs to another database or table than its file, a body that
    // the mariadb client would read as more than text.
    std::vector<std::u16string> refused;
};

// The mode names of a sql_mode bit set as the server writes it into a .TRG
// file (bit 0 REAL_AS_FLOAT ... bit 34 TIME_ROUND_FRACTIONAL), joined by
// commas; bits the list does not know are left out.
std::u16string SqlModeNames(uint64_t bits);

// Reads a .TRG file by its structure: the triggers= line lists the CREATE
// statements as quoted texts, and the sql_modes= line their session modes in
// the same order. The trigger's database and table are those of the file
// (its folder's and its own name, decoded). An empty result when the file
// cannot be opened or lists nothing. Tells damage of a file that is damaged
// (unreadable, not a trigger file, cut short, without a triggers= line, with
// modes that do not pair with its triggers) and of each trigger refused.
CTriggerFile ReadTriggerFile(const std::filesystem::path& path, const CAppState& app,
                             CDamageSink* damage = nullptr);

// The statements of ReadTriggerFile's triggers ("TRIGGER ..."), the refused
// ones left out.
std::vector<std::u16string> ReadTriggerDefinitions(const std::filesystem::path& path,
                                                   const CAppState& app);

// The script text of one trigger: its SET SQL_MODE (when it has a mode),
// "DELIMITER d", a line feed, "CREATE " and the statement, a line feed, d, a
// line feed, "DELIMITER ;", a line feed, and a SET SQL_MODE that puts
// restoreMode back. d is a delimiter the statement does not contain.
std::u16string TriggerScript(const CTriggerDefinition& trigger, std::u16string_view restoreMode);

// The triggers of a .TRG file as a script: TriggerScript of each trigger,
// restoring NO_AUTO_VALUE_ON_ZERO, with a comment line for each refused
// trigger that says only that one was left out. Empty when there are none,
// and when savingToServer is set, where the save run executes the
// statements itself.
std::u16string TriggerText(const std::filesystem::path& path, const CAppState& app,
                           bool savingToServer = false);

}  // namespace brix
