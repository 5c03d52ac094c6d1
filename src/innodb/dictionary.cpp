#include "innodb/dictionary.h"

#include <algorithm>
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>

#include "app/app_state.h"
#include "innodb/page.h"
#include "innodb/page_check.h"
#include "innodb/page_set.h"
#include "innodb/page_view.h"
#include "values/value_text.h"

namespace brix {

namespace {

// Root pages of the dictionary tables in a system tablespace of 16 KiB
// pages, where the dictionary header does not say.
constexpr uint32_t kSysTablesRoot = 8;
constexpr uint32_t kSysColumnsRoot = 10;
constexpr uint32_t kSysIndexesRoot = 11;
// The dictionary header page, and where in it the roots of SYS_TABLES,
// SYS_COLUMNS and SYS_INDEXES are: after three ids of eight bytes and two
// numbers of four, the roots of SYS_TABLES, its id index, SYS_COLUMNS,
// SYS_INDEXES. Smaller pages put the later roots on other pages.
constexpr uint32_t kDictionaryHeaderPage = 7;
constexpr size_t kTablesRootField = 38 + 32;
constexpr size_t kColumnsRootField = 38 + 40;
constexpr size_t kIndexesRootField = 38 + 44;

struct DictionaryRoots {
    uint32_t tables = kSysTablesRoot;
    uint32_t columns = kSysColumnsRoot;
    uint32_t indexes = kSysIndexesRoot;
};

// The roots the dictionary header gives when it is whole and they lie in the
// file; otherwise those of 16 KiB pages.
DictionaryRoots ReadDictionaryRoots(CTablespace& space) {
    DictionaryRoots roots;
    if (space.pageCount() <= kDictionaryHeaderPage) return roots;
    const ByteSpan header = space.Page(kDictionaryHeaderPage);
    if (CheckPage(header) != PageState::kSound) return roots;
    const uint32_t tables = LoadU32be(header, kTablesRootField);
    const uint32_t columns = LoadU32be(header, kColumnsRootField);
    const uint32_t indexes = LoadU32be(header, kIndexesRootField);
    for (uint32_t root : {tables, columns, indexes})
        if (root <= kDictionaryHeaderPage || root >= space.pageCount()) return roots;
    return DictionaryRoots{tables, columns, indexes};
}

enum Kind { kTables = 0, kColumns = 1, kIndexes = 2, kTablespaces = 3, kDatafiles = 4 };

// InnoDB main types that hold character data.
bool HoldsCharacters(uint32_t mtype) {
    return mtype <= 5 || mtype == 12 || mtype == 13;
}

constexpr uint32_t kBinaryCollation = 63;
constexpr uint32_t kDefaultCollation = 8;  // latin1_swedish_ci
constexpr uint32_t kBinaryFlag = 0x400;

// The leftmost leaf below page of a dictionary index; 0 when the descent
// fails. Each level is a page of its own, so a descent longer than the file
// has pages runs in a cycle.
// Why it failed is reported to lost (the page, the reason, whether the
// page's records are read all the same).
uint32_t FindFirstLeafRedundant(CTablespace& space, uint32_t page,
                                const std::function<void(int64_t, const char*, bool)>& lost) {
    std::vector<RedundantField> fields;
    uint32_t parentLevel = 0x10000;  // each level below the one before
    uint32_t parent = page;
    const auto fail = [&](uint32_t at, const char* why) {
        lost(at, why, false);
        return 0u;
    };
    for (uint64_t depth = 0; depth <= space.pageCount(); ++depth) {
        if (page >= space.pageCount()) return fail(parent, "link points outside the file");
        const CIndexPageView view(space.Page(page));
        const ByteSpan bytes = view.bytes();
        const PageState state = CheckPage(bytes);
        if (state == PageState::kZero) return fail(page, "page is all zeros");
        if (!view.isIndexPage())
            return fail(page, state == PageState::kSound ? "page is not an index page"
                                                         : "checksum mismatch");
        if (view.level() >= parentLevel) return fail(page, "page is at the wrong level");
        parentLevel = view.level();
        // The leaf walk reports on the leaves.
        if (view.level() == 0) return page;
        if (state != PageState::kSound) lost(page, "checksum mismatch", true);
        if (!view.holdsRecords()) return fail(page, "page has no record list");
        const uint32_t origin = view.FirstRecord();
        if (origin >= bytes.size() || IsSupremumText(bytes, origin) ||
            !ReadRedundantFields(bytes, origin, fields) || fields.empty() ||
            fields.back().length != 4)
            return fail(page, "node pointer does not decode");
        const uint32_t next = LoadU32be(bytes, fields.back().start);
        if (next == 0) return fail(page, "link points outside the index");
        parent = page;
        page = next;
    }
    return fail(parent, "node pointers run in a circle");
}

// Field i (from 0) as a number when it has exactly width bytes; 0 otherwise.
uint64_t NumberField(ByteSpan page, const std::vector<RedundantField>& fields, size_t i,
                     uint32_t width) {
    if (i >= fields.size() || fields[i].length != width || fields[i].null) return 0;
    return LoadUIntBe(page, fields[i].start, width);
}

std::u16string TextField(ByteSpan page, const std::vector<RedundantField>& fields, size_t i,
                         const CTextDecoders& decoders) {
    if (i >= fields.size() || fields[i].null) return {};
    return DecodeAnsiText(page.subspan(fields[i].start, fields[i].length), decoders);
}

}  // namespace

bool CInnoDictionary::Open(const std::filesystem::path& path, const CAppState& app,
                           CDamageSink* damage) {
    Close();
    damage_ = damage;
    // A new tablespace object each time: a table reader may still hold the
    // one of the last Open.
    auto space = std::make_shared<CTablespace>();
    if (!space->Open(path)) return false;
    space_ = std::move(space);
    const DictionaryRoots roots = ReadDictionaryRoots(*space_);
    // The system tablespace of MySQL 8.0 and later has no SYS_* tables: the
    // page that held SYS_TABLES' root is its dictionary information's root,
    // and the dictionary is in mysql.ibd. Nothing is lost there.
    if (roots.tables < space_->pageCount() &&
        ReadFilHeader(space_->Page(roots.tables)).pageType == kSdiIndexPageType) {
        damage_ = nullptr;
        return true;
    }
    ReadDictionaryTable(roots.tables, kTables, app);
    ReadDictionaryTable(roots.columns, kColumns, app);
    ReadDictionaryTable(roots.indexes, kIndexes, app);
    // The tablespaces of MySQL 5.7 and MariaDB 10.1 to 10.5 are tables of the
    // dictionary itself, in the system tablespace: their roots are in
    // SYS_INDEXES.
    constexpr uint32_t kSystemSpace = 0;
    for (const auto& [name, kind] :
         {std::pair{u"SYS_TABLESPACES", kTablespaces}, std::pair{u"SYS_DATAFILES", kDatafiles}}) {
        const uint64_t tableId = FindTableId(name);
        if (tableId == 0) continue;
        const auto index =
            std::find_if(indexes_.begin(), indexes_.end(), [&](const SysIndexRec& i) {
                return i.tableId == tableId && (i.type & 1) != 0 && i.spaceId == kSystemSpace;
            });
        if (index != indexes_.end()) ReadDictionaryTable(index->rootPage, kind, app);
    }
    damage_ = nullptr;
    return true;
}

void CInnoDictionary::Close() {
    space_.reset();
    tables_.clear();
    columns_.clear();
    indexes_.clear();
    tablespaces_.clear();
    datafiles_.clear();
}

void CInnoDictionary::VisitDictionaryRecords(uint32_t rootPage, std::string_view tableName,
                                             const RecordVisitor& visit,
                                             CDamageSink* damage) const {
    if (!space_) return;
    CTablespace& space = *space_;
    // Findings name the dictionary table; a page whose records are read
    // anyway says so in its reason.
    const auto lost = [&](int64_t at, const char* why, bool read = false) {
        if (!damage) return;
        damage->Report(DamageFinding{space.pathText(), -1, at, DamageWhat::kPage,
                                     "dictionary table " + std::string(tableName) + ": " + why, -1,
                                     read});
    };
    if (rootPage >= space.pageCount()) {
        lost(rootPage, "root page lies past the end of the file");
        return;
    }
    uint32_t page = FindFirstLeafRedundant(space, rootPage, lost);
    if (page == 0) return;

    std::vector<RedundantField> f;
    PageBytes copy;
    // Each leaf is read once: a chain that comes back to one loops.
    CPageSet walked;
    int64_t from = rootPage;
    for (uint64_t visited = 0; page != kNoPage; ++visited) {
        if (page == 0 || page >= space.pageCount())
            return lost(from, "link points outside the file");
        if (visited >= space.pageCount() || !walked.Insert(page))
            return lost(from, "leaf chain loops");
        const ByteSpan cached = space.Page(page);
        copy.assign(cached.begin(), cached.end());
        const CIndexPageView view{ByteSpan(copy)};
        const ByteSpan bytes = view.bytes();
        const PageState state = CheckPage(bytes);
        if (state == PageState::kZero) return lost(page, "page is all zeros");
        if (state != PageState::kSound) {
            if (!view.holdsRecords()) return lost(page, "checksum mismatch");
            lost(page, "checksum mismatch", true);
        }
        if (view.holdsRecords() && !view.compact()) {
            uint32_t origin = view.FirstRecord();
            for (uint32_t n = 0;
                 n < MaxRecordsOnPage(bytes.size()) && origin >= kLowestUserOrigin &&
                 origin < bytes.size() && !IsSupremumText(bytes, origin);
                 ++n) {
                if (ReadRedundantFields(bytes, origin, f))
                    visit(bytes, f, (view.InfoBits(origin) & kInfoDeleted) != 0);
                const uint32_t next = view.NextRecord(origin);
                if (next == 0) break;
                origin = next;
            }
        }
        from = page;
        page = view.fil().nextPage;
    }
}

void CInnoDictionary::ReadDictionaryTable(uint32_t rootPage, int kind, const CAppState& app) {
    static const char* const kNames[] = {"SYS_TABLES", "SYS_COLUMNS", "SYS_INDEXES",
                                         "SYS_TABLESPACES", "SYS_DATAFILES"};
    const CTextDecoders& decoders = app.decoders();
    const auto visit = [&](ByteSpan bytes, const std::vector<RedundantField>& f, bool deleted) {
        if (kind == kTables) {
            SysTableRec rec;
            rec.name = TextField(bytes, f, 0, decoders);
            rec.tableId = NumberField(bytes, f, 3, 8);
            rec.columnCount = static_cast<uint32_t>(NumberField(bytes, f, 4, 4)) & 0x7FFFFFFF;
            rec.flags = static_cast<uint32_t>(NumberField(bytes, f, 5, 4));
            rec.spaceId = static_cast<uint32_t>(NumberField(bytes, f, 9, 4));
            rec.deleted = deleted;
            tables_.push_back(std::move(rec));
        } else if (kind == kColumns) {
            SysColumnRec rec;
            rec.tableId = NumberField(bytes, f, 0, 8);
            rec.pos = static_cast<uint32_t>(NumberField(bytes, f, 1, 4));
            rec.name = TextField(bytes, f, 4, decoders);
            rec.mtype = static_cast<uint32_t>(NumberField(bytes, f, 5, 4));
            rec.prtype = static_cast<uint32_t>(NumberField(bytes, f, 6, 4));
            rec.len = static_cast<uint32_t>(NumberField(bytes, f, 7, 4));
            rec.prec = static_cast<uint32_t>(NumberField(bytes, f, 8, 4));
            if (HoldsCharacters(rec.mtype)) {
                if (((rec.prtype >> 16) & 0xFF) == 0) {
                    const bool binary = rec.mtype == 3 || rec.mtype == 4 ||
                                        (rec.mtype == 5 && (rec.prtype & kBinaryFlag));
                    rec.prtype |= (binary ? kBinaryCollation : kDefaultCollation) << 16;
                }
                const auto found = app.collations.find((rec.prtype >> 16) & 0xFF);
                if (found != app.collations.end()) {
                    rec.minCharBytes = found->second.minCharBytes;
                    rec.maxCharBytes = found->second.maxCharBytes;
                }
            }
            rec.charWidths = rec.minCharBytes + 5 * rec.maxCharBytes;
            columns_.push_back(std::move(rec));
        } else if (kind == kTablespaces) {
            // SPACE, two system fields, NAME, FLAGS.
            SysTablespaceRec rec;
            rec.spaceId = static_cast<uint32_t>(NumberField(bytes, f, 0, 4));
            rec.name = TextField(bytes, f, 3, decoders);
            rec.flags = static_cast<uint32_t>(NumberField(bytes, f, 4, 4));
            rec.deleted = deleted;
            tablespaces_.push_back(std::move(rec));
        } else if (kind == kDatafiles) {
            // SPACE, two system fields, PATH.
            SysDatafileRec rec;
            rec.spaceId = static_cast<uint32_t>(NumberField(bytes, f, 0, 4));
            rec.path = TextField(bytes, f, 3, decoders);
            rec.deleted = deleted;
            datafiles_.push_back(std::move(rec));
        } else {
            SysIndexRec rec;
            rec.tableId = NumberField(bytes, f, 0, 8);
            rec.indexId = NumberField(bytes, f, 1, 8);
            rec.name = TextField(bytes, f, 4, decoders);
            rec.fieldCount = static_cast<uint32_t>(NumberField(bytes, f, 5, 4));
            rec.type = static_cast<uint32_t>(NumberField(bytes, f, 6, 4));
            rec.spaceId = static_cast<uint32_t>(NumberField(bytes, f, 7, 4));
            rec.rootPage = static_cast<uint32_t>(NumberField(bytes, f, 8, 4));
            indexes_.push_back(std::move(rec));
        }
    };
    VisitDictionaryRecords(rootPage, kNames[kind], visit, damage_);
}

uint64_t CInnoDictionary::FindTableId(std::u16string_view name) const {
    uint64_t deletedMatch = 0;
    for (const SysTableRec& t : tables_) {
        if (t.name != name) continue;
        if (!t.deleted) return t.tableId;
        if (deletedMatch == 0) deletedMatch = t.tableId;
    }
    if (deletedMatch != 0) return deletedMatch;
    // A server on a system that ignores the case of file names keeps the
    // names in lower case ("db/t#p#p0" for the file "t#P#p0.ibd"); such a
    // name counts when no name matches exactly.
    const auto lower = [](char16_t c) {
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    for (const SysTableRec& t : tables_) {
        if (t.deleted || t.name.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i) same = lower(t.name[i]) == lower(name[i]);
        if (same) return t.tableId;
    }
    return 0;
}

const SysTableRec* CInnoDictionary::FindTable(uint64_t tableId) const {
    if (tableId == 0) return nullptr;
    for (const SysTableRec& t : tables_)
        if (t.tableId == tableId) return &t;
    return nullptr;
}

std::u16string CInnoDictionary::FindDatafilePath(uint32_t spaceId) const {
    if (spaceId == 0) return {};
    const SysDatafileRec* deletedMatch = nullptr;
    for (const SysDatafileRec& d : datafiles_) {
        if (d.spaceId != spaceId || d.path.empty()) continue;
        if (!d.deleted) return d.path;
        if (!deletedMatch) deletedMatch = &d;
    }
    return deletedMatch ? deletedMatch->path : std::u16string();
}

uint32_t CInnoDictionary::FindClusteredRoot(uint64_t tableId) const {
    if (tableId == 0) return 0;
    for (const SysIndexRec& i : indexes_)
        if (i.tableId == tableId && (i.type & 1) != 0) return i.rootPage;
    return 0;
}

uint64_t CInnoDictionary::FindClusteredIndexId(uint64_t tableId) const {
    if (tableId == 0) return 0;
    for (const SysIndexRec& i : indexes_)
        if (i.tableId == tableId && (i.type & 1) != 0) return i.indexId;
    return 0;
}

}  // namespace brix
