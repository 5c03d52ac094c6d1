#pragma once

#include <string>
#include <string_view>

namespace brix {

// The name of a database or table from the name of its folder or file (the
// extension already taken off). The server writes letters, digits and "_" as
// they are and every other character as "@" and four hex digits of its code
// (a backquote as @0060, a space as @0020), or, for many accented, Greek and
// Cyrillic letters, as "@" and two characters (à as @0G). An "@" that starts
// neither form stays as it is, so names of old servers, which wrote every
// character as it is, keep their spelling.
std::u16string ObjectNameFromFileName(std::u16string_view fileName);

}  // namespace brix
