#pragma once

#include "app/ui_operations.h"
#include "catalogue/frame_state.h"

namespace brix {

class CAppState;

// Shows the column definitions of the table whose "Keys" node has the text
// keysText and whose table node has the item data tableItemData (-1 when the
// Keys node has no parent): reads the table's .frm (found whatever the case
// of its extension) and shows the grid with the five columns "Column Name",
// "Data Type", "size", "Allow Nulls" and "Key Name" and one row per column.
// The caption becomes the node text followed by the row count in brackets
// when there is more than one row, and empty otherwise. A node whose parent
// is not a catalogued table, or a .frm that cannot be read, gives the titles
// and no rows. Reads nothing but the .frm. Returns the rows shown.
size_t ShowColumnDefinitions(CUiOperations& ui, CAppState& app, CFrameState& frame,
                             int64_t tableItemData, std::u16string_view keysText);

}  // namespace brix
