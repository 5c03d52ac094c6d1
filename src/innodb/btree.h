#pragma once

#include <cstdint>

#include "app/byte_reader.h"
#include "app/damage_report.h"
#include "innodb/inno_table_reader.h"
#include "innodb/tablespace.h"

namespace brix {

class CAppState;

// Reports finding to the reader's damage sink, naming the reader's file
// when the finding names none.
void ReportDamage(CInnoTableReader& inno, DamageFinding finding);

// The leftmost leaf page below page of the table's clustered index in space,
// following the first node pointer of every level; 0 when a page on the way
// is all zeros, not an index page, of another index (when inno.indexId is
// known), fails its checksum and does not parse, is not below its parent,
// has no records, or points outside the file, or the descent runs longer
// than the file has pages. With report set, says why to the damage sink.
uint32_t FindFirstLeaf(CInnoTableReader& inno, CTablespace& space, uint32_t page,
                       bool report = false);

// Bytes of the key fields of a compact node-pointer record at origin, which
// the child page number follows. 0 when the header cannot be read.
uint32_t KeyPrefixLength(const CInnoTableReader& inno, ByteSpan page, uint32_t origin);

// The id of the clustered index, guessed from the leaves when neither the
// dictionary nor the root says: the id most leaf pages carry whose first
// record fits the table's fields; 0 when no page does. Reads every page.
uint64_t GuessClusteredIndexId(CInnoTableReader& inno, CTablespace& space);

// Reads rows of the table's clustered-index leaves into its window, from
// startPage on, starting at startOrigin of that page when resume is set (a
// window read from a bookmark) and the origin is not 0. Stops when the window
// holds kWindowRows rows, then appends the bookmark of the next row unless
// bookmarks are suppressed; or at the end of the leaf chain.
// A page on the leaf level that is not a leaf of the index (all zeros, of
// another index or level, a checksum that fails on records that do not
// parse) or a link that loops or leaves the file ends the walk along the
// leaf level: the window goes on with the leaves of the index that walk did
// not reach, in file order (see FillScanWindow), and its bookmark is then a
// scan bookmark. A page whose checksum fails but whose records parse is read.
// A record that does not decode is skipped. Each is reported to the damage
// sink by the window that reads furthest, once.
void FillRowWindow(CInnoTableReader& inno, CTablespace& space, uint64_t startPage,
                   uint32_t startOrigin, bool resume, CAppState& app);

// Reads rows, in file order from startPage (at startOrigin of it when not
// 0), of the leaf pages (level 0) of the clustered index inno.indexId that
// the walk along the leaf level did not stand on (inno.leavesWalked), until
// the window fills (its bookmark is {page, origin | kScanBookmarkFlag}) or
// the file ends (then one finding counts the pages recovered). fresh starts
// the furthest walk here: the table's first window when the descent failed.
void FillScanWindow(CInnoTableReader& inno, CTablespace& space, uint64_t startPage,
                    uint32_t startOrigin, bool fresh, CAppState& app);

}  // namespace brix
