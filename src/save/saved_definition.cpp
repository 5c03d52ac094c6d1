#include "save/saved_definition.h"

#include <limits>
#include <optional>
#include <system_error>

#include "app/file_names.h"
#include "innodb/dictionary.h"
#include "innodb/root_auto_increment.h"
#include "innodb/tablespace.h"
#include "myisam/myisam_auto_increment.h"
#include "myisam/myisam_header.h"
#include "save/create_table.h"

namespace brix {

namespace {

// The clustered root of a table with a tablespace of its own, where the
// dictionary does not say: the first page after the file's header pages.
constexpr uint32_t kFirstIndexRoot = 3;

// The row format of an index file whose records myisampack packed.
constexpr int32_t kMyisamPackedRows = 2;

bool HasAutoIncrementColumn(const CTableDef& table) {
    for (const CColumnDef& column : table.columns)
        if (column.uniregType == CColumnDef::kAutoIncrement) return true;
    return false;
}

// The last value an InnoDB table's counter gave: from the table's .ibd, or
// from the system tablespace for a table stored there.
std::optional<uint64_t> InnoCounter(const std::filesystem::path& databaseFolder,
                                    std::u16string_view fileStem,
                                    const CInnoDictionary* dictionary) {
    uint64_t tableId = 0;
    const SysTableRec* entry = nullptr;
    if (dictionary && dictionary->IsOpen()) {
        std::u16string name = PathComponentText(databaseFolder);
        name.push_back(u'/');
        name += fileStem;
        tableId = dictionary->FindTableId(name);
        entry = dictionary->FindTable(tableId);
    }
    const std::filesystem::path ibd =
        databaseFolder / std::filesystem::path(std::u16string(fileStem) + u".ibd");
    std::error_code error;
    if (std::filesystem::is_regular_file(ibd, error)) {
        CTablespace space;
        if (!space.Open(ibd)) return std::nullopt;
        // The dictionary's root and index id count only when its entry is
        // for this tablespace.
        const bool known = entry && entry->spaceId != 0 && space.pageCount() > 0 &&
                           ReadFilHeader(space.Page(0)).spaceId == entry->spaceId;
        const uint32_t root = known ? dictionary->FindClusteredRoot(tableId) : kFirstIndexRoot;
        const uint64_t indexId = known ? dictionary->FindClusteredIndexId(tableId) : 0;
        return ReadRootAutoIncrement(space, root, indexId);
    }
    if (entry && entry->spaceId == 0 && dictionary->space())
        return ReadRootAutoIncrement(*dictionary->space(), dictionary->FindClusteredRoot(tableId),
                                     dictionary->FindClusteredIndexId(tableId));
    return std::nullopt;
}

}  // namespace

CTableDef SavedDefinition(const CTableDef& table, const std::filesystem::path& databaseFolder,
                          std::u16string_view fileStem, const CInnoDictionary* dictionary,
                          const std::vector<CInnoForeignKey>& foreignKeys,
                          std::vector<std::u16string>& notes) {
    CTableDef saved = table;
    const bool innodb = table.engineCode == EngineCode::kInnoDb;
    if (innodb && saved.foreignKeys.empty() && dictionary && !foreignKeys.empty()) {
        std::vector<std::u16string> problems;
        saved.foreignKeys = ForeignKeysOfTable(
            foreignKeys, *dictionary, PathComponentText(databaseFolder), fileStem, problems, notes);
        for (std::u16string& problem : problems) notes.push_back(problem + u"; it is left out");
    }
    if (saved.nextAutoIncrement == 0 && HasAutoIncrementColumn(table) &&
        table.partitioning.empty()) {
        std::optional<uint64_t> last;
        if (table.engineCode == EngineCode::kMyIsam)
            last = ReadMyisamAutoIncrement(
                databaseFolder / std::filesystem::path(std::u16string(fileStem) + u".MYI"));
        else if (innodb)
            last = InnoCounter(databaseFolder, fileStem, dictionary);
        // Rows saved with larger values raise the counter on the server as
        // they go in, so a counter below them does no harm.
        if (last && *last > 0 && *last < std::numeric_limits<uint64_t>::max())
            saved.nextAutoIncrement = *last + 1;
    }
    if (table.engineCode == EngineCode::kMyIsam && table.partitioning.empty()) {
        // myisampack leaves the .frm as it was; the index file says the
        // records are packed.
        CMyisamHeader header;
        if (ReadMyisamHeader(
                table, header,
                databaseFolder / std::filesystem::path(std::u16string(fileStem) + u".MYI")) &&
            header.myisamRowFormat == kMyisamPackedRows)
            notes.push_back(
                u"its rows were packed with myisampack (a read-only table); it is saved as an "
                u"ordinary MyISAM table holding the same rows");
    }
    if (innodb &&
        (table.rowType == kRowTypeCompressed || (table.rowType == 0 && table.keyBlockSize > 0))) {
        notes.push_back(
            u"saved with ROW_FORMAT=COMPRESSED as it was; a server with "
            u"innodb_read_only_compressed on refuses to create it: load it with that option off, "
            u"or with ROW_FORMAT=DYNAMIC and without KEY_BLOCK_SIZE");
    }
    if (RowsTooLargeForRowFormat(table)) {
        const std::u16string format =
            table.rowType == kRowTypeRedundant ? u"REDUNDANT" : u"COMPACT";
        if (!RowsTooLargeForDynamic(table)) {
            saved.rowType = kRowTypeDynamic;
            notes.push_back(u"saved with ROW_FORMAT=DYNAMIC instead of " + format +
                            u": a server with innodb_strict_mode on (the default) refuses "
                            u"the table in " +
                            format + u", whose rows may be too large for it");
        } else {
            notes.push_back(
                u"its rows may be too large for any row format of a server with "
                u"innodb_strict_mode on (the default); load it with "
                u"innodb_strict_mode off");
        }
    }
    return saved;
}

}  // namespace brix
