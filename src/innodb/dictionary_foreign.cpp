#include "innodb/dictionary_foreign.h"

#include <algorithm>
#include <map>

#include "app/object_names.h"
#include "app/text.h"
#include "innodb/dictionary.h"

namespace brix {

namespace {

// Fields of the clustered records, the system columns among them:
// SYS_FOREIGN (ID, DB_TRX_ID, DB_ROLL_PTR, FOR_NAME, REF_NAME, N_COLS) and
// SYS_FOREIGN_COLS (ID, POS, DB_TRX_ID, DB_ROLL_PTR, FOR_COL_NAME,
// REF_COL_NAME).
constexpr size_t kForeignId = 0;
constexpr size_t kForeignForName = 3;
constexpr size_t kForeignRefName = 4;
constexpr size_t kForeignColumns = 5;
constexpr size_t kColsId = 0;
constexpr size_t kColsPos = 1;
constexpr size_t kColsForName = 4;
constexpr size_t kColsRefName = 5;
// N_COLS: the column count in the low 24 bits, the type bits above.
constexpr uint32_t kColumnCountMask = 0xFFFFFF;
constexpr uint32_t kTypeShift = 24;
// A key has at most as many columns as an index has fields.
constexpr uint32_t kMaxKeyColumns = 64;

constexpr uint32_t kDeleteCascade = 1;
constexpr uint32_t kDeleteSetNull = 2;
constexpr uint32_t kUpdateCascade = 4;
constexpr uint32_t kUpdateSetNull = 8;
constexpr uint32_t kDeleteNoAction = 16;
constexpr uint32_t kUpdateNoAction = 32;

std::u16string Utf8Field(ByteSpan page, const std::vector<RedundantField>& fields, size_t i) {
    if (i >= fields.size() || fields[i].null) return {};
    const ByteSpan bytes = page.subspan(fields[i].start, fields[i].length);
    return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

uint32_t U32Field(ByteSpan page, const std::vector<RedundantField>& fields, size_t i) {
    if (i >= fields.size() || fields[i].null || fields[i].length != 4) return 0;
    return LoadU32be(page, fields[i].start);
}

// The root of the clustered index of the dictionary table named name; 0
// when the dictionary does not list it.
uint32_t ClusteredRootOf(const CInnoDictionary& dictionary, std::u16string_view name) {
    return dictionary.FindClusteredRoot(dictionary.FindTableId(name));
}

ForeignKeyAction ActionOf(uint32_t type, uint32_t cascade, uint32_t setNull, uint32_t noAction) {
    if (type & cascade) return ForeignKeyAction::kCascade;
    if (type & setNull) return ForeignKeyAction::kSetNull;
    if (type & noAction) return ForeignKeyAction::kNoAction;
    return ForeignKeyAction::kRestrict;
}

// "db/name" split at its first "/": the database part and the rest.
std::pair<std::u16string_view, std::u16string_view> SplitName(std::u16string_view name) {
    const size_t slash = name.find(u'/');
    if (slash == std::u16string_view::npos) return {{}, name};
    return {name.substr(0, slash), name.substr(slash + 1)};
}

}  // namespace

std::vector<CInnoForeignKey> ReadInnoForeignKeys(const CInnoDictionary& dictionary,
                                                 CDamageSink* damage) {
    std::vector<CInnoForeignKey> keys;
    if (!dictionary.IsOpen()) return keys;
    const uint32_t foreignRoot = ClusteredRootOf(dictionary, u"SYS_FOREIGN");
    const uint32_t columnsRoot = ClusteredRootOf(dictionary, u"SYS_FOREIGN_COLS");
    if (foreignRoot == 0) return keys;
    std::map<std::u16string, size_t> byId;
    dictionary.VisitDictionaryRecords(
        foreignRoot, "SYS_FOREIGN",
        [&](ByteSpan page, const std::vector<RedundantField>& f, bool deleted) {
            if (deleted) return;
            CInnoForeignKey key;
            key.id = Utf8Field(page, f, kForeignId);
            key.forName = Utf8Field(page, f, kForeignForName);
            key.refName = Utf8Field(page, f, kForeignRefName);
            const uint32_t columns = U32Field(page, f, kForeignColumns);
            key.columnCount = columns & kColumnCountMask;
            key.type = columns >> kTypeShift;
            if (key.id.empty() || key.forName.empty() || byId.count(key.id)) return;
            byId.emplace(key.id, keys.size());
            keys.push_back(std::move(key));
        },
        damage);
    if (columnsRoot == 0) return keys;
    dictionary.VisitDictionaryRecords(
        columnsRoot, "SYS_FOREIGN_COLS",
        [&](ByteSpan page, const std::vector<RedundantField>& f, bool deleted) {
            if (deleted) return;
            const auto found = byId.find(Utf8Field(page, f, kColsId));
            if (found == byId.end()) return;
            CInnoForeignKey& key = keys[found->second];
            // The records come in (ID, POS) order; a position that is not the
            // next one leaves the lists short, and the key is refused later.
            const uint32_t pos = U32Field(page, f, kColsPos);
            if (pos != key.forColumns.size() || pos >= kMaxKeyColumns) return;
            key.forColumns.push_back(Utf8Field(page, f, kColsForName));
            key.refColumns.push_back(Utf8Field(page, f, kColsRefName));
        },
        damage);
    return keys;
}

std::vector<CForeignKeyDef> ForeignKeysOfTable(const std::vector<CInnoForeignKey>& keys,
                                               const CInnoDictionary& dictionary,
                                               std::u16string_view databaseFolder,
                                               std::u16string_view fileStem,
                                               std::vector<std::u16string>& problems,
                                               std::vector<std::u16string>& notes) {
    std::u16string table(databaseFolder);
    table.push_back(u'/');
    table += fileStem;
    std::vector<const CInnoForeignKey*> own;
    for (const CInnoForeignKey& key : keys)
        if (key.forName == table) own.push_back(&key);
    std::sort(own.begin(), own.end(),
              [](const CInnoForeignKey* a, const CInnoForeignKey* b) { return a->id < b->id; });
    std::vector<CForeignKeyDef> defs;
    for (const CInnoForeignKey* key : own) {
        CForeignKeyDef def;
        def.name = std::u16string(SplitName(key->id).second);
        if (key->columnCount == 0 || key->forColumns.size() != key->columnCount ||
            key->refColumns.size() != key->columnCount) {
            problems.push_back(u"foreign key " + def.name +
                               u": the dictionary does not list all of its columns");
            continue;
        }
        const auto [refDatabase, refTable] = SplitName(key->refName);
        if (refDatabase != databaseFolder)
            def.referencedDatabase = ObjectNameFromFileName(refDatabase);
        def.referencedTable = ObjectNameFromFileName(refTable);
        def.columns = key->forColumns;
        def.referencedColumns = key->refColumns;
        def.onDelete = ActionOf(key->type, kDeleteCascade, kDeleteSetNull, kDeleteNoAction);
        def.onUpdate = ActionOf(key->type, kUpdateCascade, kUpdateSetNull, kUpdateNoAction);
        if (dictionary.FindTableId(key->refName) == 0)
            notes.push_back(u"foreign key " + def.name + u" references " +
                            ObjectNameFromFileName(refDatabase) + u"." + def.referencedTable +
                            u", which this data directory does not hold; the key is kept");
        defs.push_back(std::move(def));
    }
    return defs;
}

}  // namespace brix
