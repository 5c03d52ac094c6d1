#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/damage_report.h"

namespace brix {

class CAppState;

// What a view definition file (a .frm that starts with TYPE=VIEW) says of its
// view, each key=value line read as the server writes it.
struct CViewDefinition {
    std::u16string query;        // query=, escapes undone; empty when missing
    int algorithm = 0;           // algorithm=: 0 UNDEFINED, 1 MERGE, 2 TEMPTABLE
    std::u16string definerUser;  // definer_user=, escapes undone
    std::u16string definerHost;  // definer_host=
    int security = 2;            // suid=: 0 INVOKER, 1 DEFINER, 2 the default, DEFINER
    int checkOption = 0;         // with_check_option=: 0 none, 1 LOCAL, 2 CASCADED
    // The names the view gives its columns, when its statement lists them
    // (MySQL 8.0 and later keep them apart from the query).
    std::vector<std::u16string> columnNames;
};

// Reads a view definition file; nothing when it cannot be opened. Tells
// damage of a file that is damaged: unreadable, not a view definition, cut
// short, without a query, or naming a clause value the server never writes.
std::optional<CViewDefinition> ReadViewDefinition(const std::filesystem::path& path,
                                                  const CAppState& app,
                                                  CDamageSink* damage = nullptr);

// The CREATE VIEW statement of a view, without a semicolon, built from its
// parts: ALGORITHM, DEFINER (left out when the file names no account) and
// SQL SECURITY as the file says, the name quoted, the column names quoted
// in parentheses when there are any, the query, and WITH ...
// CHECK OPTION. Empty, with a message in problem, when the query is missing,
// is not a query (SELECT, WITH, VALUES, TABLE or a parenthesis first), or
// holds text the mariadb client would read as more than one statement or as
// its own command, or when a clause value is not one the server writes.
std::u16string ViewStatement(const CViewDefinition& view, std::u16string_view name,
                             std::u16string& problem);

// ViewStatement of the file's view named after the file (its name up to the
// last ".", decoded as the server encodes file names), followed by ";".
// Empty when the file cannot be opened or its statement cannot be built.
std::u16string ViewText(const std::filesystem::path& path, const CAppState& app);

}  // namespace brix
