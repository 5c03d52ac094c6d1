#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/damage_report.h"
#include "schema/table_def.h"

namespace brix {

class CInnoDictionary;

// One foreign key as the InnoDB dictionary of a system tablespace keeps it
// (SYS_FOREIGN with its columns from SYS_FOREIGN_COLS): the names of tables
// in the dictionary's own form "db/table", spelt as their files are.
struct CInnoForeignKey {
    std::u16string id;       // "db/name"
    std::u16string forName;  // the referencing table
    std::u16string refName;  // the referenced table
    // The columns as N_COLS counts them, and the type bits above them:
    // bit 0 ON DELETE CASCADE, 1 ON DELETE SET NULL, 2 ON UPDATE CASCADE,
    // 3 ON UPDATE SET NULL, 4 ON DELETE NO ACTION, 5 ON UPDATE NO ACTION.
    uint32_t columnCount = 0;
    uint32_t type = 0;
    std::vector<std::u16string> forColumns;
    std::vector<std::u16string> refColumns;
};

// Reads SYS_FOREIGN and SYS_FOREIGN_COLS from the open dictionary, whose
// SYS_TABLES and SYS_INDEXES give their clustered roots. Delete-marked
// entries (dropped keys) are left out; each key gets the columns
// SYS_FOREIGN_COLS lists for it in position order. Empty when the dictionary
// is not open or has no such tables (MySQL 8.0 and later); damaged pages are
// reported to damage.
std::vector<CInnoForeignKey> ReadInnoForeignKeys(const CInnoDictionary& dictionary,
                                                 CDamageSink* damage = nullptr);

// The foreign keys of the table whose folder is databaseFolder and whose
// files are named fileStem, as a CREATE TABLE states them, in the order of
// their names: database and table names decoded from their file form, the
// referenced database empty when it is the table's own. A key whose column
// lists are not whole (fewer columns than N_COLS says, or lists of unequal
// length) is left out, its reason added to problems. A key that references
// a table the dictionary does not hold is kept, and said in notes.
std::vector<CForeignKeyDef> ForeignKeysOfTable(const std::vector<CInnoForeignKey>& keys,
                                               const CInnoDictionary& dictionary,
                                               std::u16string_view databaseFolder,
                                               std::u16string_view fileStem,
                                               std::vector<std::u16string>& problems,
                                               std::vector<std::u16string>& notes);

}  // namespace brix
