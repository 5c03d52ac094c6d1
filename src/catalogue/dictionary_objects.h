#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "catalogue/trigger_text.h"
#include "catalogue/view_text.h"

namespace brix {

class CAppState;

// A view of MySQL 8.0 or later: a row of the dictionary table `tables` of
// type VIEW in mysql.ibd.
struct CDictionaryView {
    std::u16string schema;  // the database it belongs to
    std::u16string name;
    CViewDefinition definition;
};

// A trigger of MySQL 8.0 or later: a row of the dictionary table `triggers`.
struct CDictionaryTrigger {
    std::u16string schema;  // the database of the trigger and its table
    std::u16string table;
    std::u16string timing;  // BEFORE or AFTER
    std::u16string event;   // INSERT, UPDATE or DELETE
    int64_t order = 0;      // action_order among the table's triggers of one timing and event
    // Its statement as a .TRG file's trigger gives it (FOLLOWS the trigger
    // before it where its order is not the first), its body and its mode.
    CTriggerDefinition definition;
};

// The views and triggers the dictionary in mysql.ibd holds, and one message
// for each that is left out or each dictionary table that did not read.
struct CDictionaryObjects {
    std::vector<CDictionaryView> views;
    std::vector<CDictionaryTrigger> triggers;
    std::vector<std::u16string> findings;
    // Each database's default collation (its number), by the database's name.
    std::map<std::u16string, int32_t> schemaCollations;
};

// Reads the views and triggers of the dictionary tablespace at mysqlIbd
// (MySQL 8.0 and later), read-only: the dictionary tables' own definitions
// come from the tablespace's dictionary information, their rows are read as
// any InnoDB table's; values kept off-page go through spill files in a
// temporary folder that is removed again. Views and triggers whose schema or
// table is not found, and triggers whose body cannot go into a script
// safely, are left out with a finding. Nothing when the file is no such
// tablespace; damaged pages give fewer objects.
CDictionaryObjects ReadDictionaryObjects(const std::filesystem::path& mysqlIbd, CAppState& app);

// Item data of the tree nodes of dictionary views and triggers: the base, 1,
// and the position of the view, or of the table's first trigger, in the
// catalogue's dictionary lists. Above every position of the lists of .frm
// views and .TRG files, whose nodes go under groups of the same kinds.
inline constexpr int64_t kDictionaryItemBase = int64_t{1} << 40;

// The CREATE VIEW statement of a dictionary view followed by ";", as a view
// file's text is shown; empty when it cannot be built.
std::u16string DictionaryViewText(const CDictionaryView& view);

// The script of the triggers of the table of triggers[first] (its triggers
// follow each other in the list), as a .TRG file's text is shown; empty when
// first is past the end.
std::u16string DictionaryTriggerText(const std::vector<CDictionaryTrigger>& triggers, size_t first);

}  // namespace brix
