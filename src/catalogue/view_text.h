#pragma once

#include <filesystem>
#include <string>

namespace brix {

class CAppState;

// The CREATE VIEW statement rebuilt from a view definition file (a .frm that
// starts with TYPE=VIEW): the view is named after the file (its name up to the
// last "."), the query is the value of the file's query= line with the file's
// escapes undone, and the algorithm, definer and security clauses are always
// ALGORITHM=UNDEFINED, `root`@`localhost` and DEFINER. A file without a
// query= line gives " AS ;" at the end. Empty when the file cannot be opened.
std::u16string ViewText(const std::filesystem::path& path, const CAppState& app);

}  // namespace brix
