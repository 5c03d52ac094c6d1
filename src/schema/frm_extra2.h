#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/byte_reader.h"
#include "schema/table_def.h"

namespace brix {

// What a MariaDB .frm keeps in the typed entries after its fixed header:
// the names of the column types beyond the field type codes (uuid, inet6 ...)
// and a byte of flags per column (its visibility among them).
struct CFrmExtra2 {
    // (column number from 0, type name as written).
    std::vector<std::pair<size_t, std::string>> dataTypes;
    // One byte per column, empty when the file has none.
    std::vector<uint8_t> fieldFlags;
    // The table's options that the engine defines (PAGE_COMPRESSED=1 ...),
    // in the order written.
    std::vector<CEngineOption> engineOptions;
};

// Reads the entries from a whole .frm image; entries cut short or past the
// file are ignored.
CFrmExtra2 ReadFrmExtra2(ByteSpan frm);

// Gives the table the engine options of extra, and the columns from
// firstColumn on (fieldCount of them) the types the entries name, with their
// stored width and the binary character set, and drops the columns at the
// end that the server keeps for itself and never shows (the hash of a long
// UNIQUE key). The server computes those when it reads a row and keeps them
// last, after every stored byte, so dropping them moves no column and no key
// part of another column.
void ApplyFrmExtra2(const CFrmExtra2& extra, CTableDef& table, size_t firstColumn,
                    size_t fieldCount);

}  // namespace brix
