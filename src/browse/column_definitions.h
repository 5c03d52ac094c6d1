#pragma once

#include "app/ui_operations.h"
#include "catalogue/frame_state.h"

namespace brix {

class CAppState;

// What the caption adds before the dictionary's own name of a table whose
// file is named otherwise.
inline constexpr char16_t kDictionaryNameCaption[] = u" - named in its dictionary: ";

// Shows the column definitions of the table whose "Keys" node has the text
// keysText and whose table node has the item data tableItemData (-1 when the
// Keys node has no parent): reads the table's .frm (found whatever the case
// of its extension), or without one the dictionary information MySQL 8.0 and
// later keep in the table's tablespace or .sdi file, and shows the grid with
// the five columns "Column Name", "Data Type", "size", "Allow Nulls" and "Key
// Name" and one row per column. The caption becomes the node text followed by
// the row count in brackets when there is more than one row, and empty
// otherwise; for a table whose dictionary names it otherwise than its file
// does, kDictionaryNameCaption and that name follow. A node whose parent is
// not a catalogued table, or a definition that cannot be read, gives the
// titles and no rows. Reads nothing but the definition. Returns the rows
// shown.
size_t ShowColumnDefinitions(CUiOperations& ui, CAppState& app, CFrameState& frame,
                             int64_t tableItemData, std::u16string_view keysText);

}  // namespace brix
