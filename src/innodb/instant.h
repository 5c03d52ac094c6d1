#pragma once

#include <cstdint>

#include "innodb/inno_table_reader.h"
#include "innodb/tablespace.h"

namespace brix {

class CAppState;

// MariaDB adds and drops columns of an InnoDB table in place, without
// rewriting its rows. Such a clustered index has a root of a page type of its
// own that says how many fields the records written before the first change
// hold, and its leftmost leaf starts with a hidden metadata record: it holds
// the defaults of the added columns, and after a column was dropped or moved
// it refers to a map of the fields the records store, dropped ones included.
// Reads all of that from the index whose root is root and adapts the reader's
// layout, the number of core fields and the defaults. Tables never changed in
// place are left as they are.
void ReadInstantLayout(CInnoTableReader& inno, CTablespace& space, uint32_t root, CAppState& app);

}  // namespace brix
