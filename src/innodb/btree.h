#pragma once

#include <cstdint>

#include "app/byte_reader.h"
#include "innodb/inno_table_reader.h"
#include "innodb/tablespace.h"

namespace brix {

class CAppState;

// The leftmost leaf page below page of the table's clustered index in space,
// following the first node pointer of every level; 0 when a page on the way
// is not an index page, has no records or points outside the file, or the
// descent runs longer than the file has pages.
uint32_t FindFirstLeaf(CInnoTableReader& inno, CTablespace& space, uint32_t page);

// Bytes of the key fields of a compact node-pointer record at origin, which
// the child page number follows. 0 when the header cannot be read.
uint32_t KeyPrefixLength(const CInnoTableReader& inno, ByteSpan page, uint32_t origin);

// Reads rows of the table's clustered-index leaves into its window, from
// startPage on, starting at startOrigin of that page when resume is set (a
// window read from a bookmark) and the origin is not 0. Stops when the window
// holds kWindowRows rows, then appends the bookmark of the next row unless
// bookmarks are suppressed; or at the end of the leaf chain. Pages outside
// the file, pages that are not index pages, loops in the record chain or the
// page chain end the walk or the page quietly.
void FillRowWindow(CInnoTableReader& inno, CTablespace& space, uint64_t startPage,
                   uint32_t startOrigin, bool resume, CAppState& app);

}  // namespace brix
