#include "browse/table_rows.h"

#include <limits>

#include "app/app_state.h"
#include "app/file_names.h"
#include "innodb/btree.h"
#include "innodb/columns.h"
#include "innodb/dictionary.h"
#include "innodb/inno_table_reader.h"
#include "innodb/instant.h"
#include "innodb/page_check.h"
#include "innodb/page_view.h"
#include "myisam/myisam_header.h"
#include "myisam/myisam_reader.h"
#include "schema/frm_reader.h"
#include "sdi/sdi_reader.h"
#include "sdi/sdi_table.h"
#include "sdi/sdi_table_file.h"
#include "values/value_render.h"

namespace brix {

namespace {

// The root page of a file-per-table tablespace's clustered index.
constexpr uint32_t kOwnSpaceRoot = 3;

// The name under which the dictionary knows the table: the database folder's
// own name, a slash and the table name.
std::u16string DictionaryName(const std::filesystem::path& databaseFolder,
                              std::u16string_view tableName) {
    std::filesystem::path folder = databaseFolder;
    if (!folder.has_filename()) folder = folder.parent_path();
    std::u16string name = folder.filename().u16string();
    name += u'/';
    name += tableName;
    return name;
}

// The path of the table's file with extension: the one found in the folder,
// or the name it would have, for a finding that it is missing.
std::filesystem::path StorageFileOrName(const std::filesystem::path& databaseFolder,
                                        std::u16string_view tableName, const char* extension) {
    std::filesystem::path path = FindStorageFile(databaseFolder, tableName, extension);
    if (path.empty()) {
        path = databaseFolder / std::filesystem::path(std::u16string(tableName));
        path += std::string(".") + extension;
    }
    return path;
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Whether the rows of the tablespace are in a form that is read: false, with
// the reason reported, for pages of another size, compressed pages and
// encrypted tablespaces.
bool ReadableSpace(CInnoTableReader& inno, CTablespace& space) {
    const std::string reason = UnreadFormatReason(ReadSpaceFormat(space.Page(0)));
    if (reason.empty()) return true;
    ReportDamage(inno,
                 DamageFinding{space.pathText(), -1, -1, DamageWhat::kTable, reason, -1, false});
    return false;
}

// Reads the first window of an InnoDB table from space, whose clustered index
// starts at root and whose pages carry indexId (0: not known); the reader
// reads from space from then on. When the descent from the root fails, the
// rows come from the leaves of the index found in file order.
void ReadFirstInnoWindow(CInnoTableReader& inno, std::shared_ptr<CTablespace> space, uint32_t root,
                         uint64_t indexId, CAppState& app) {
    inno.space = std::move(space);
    CTablespace& pages = *inno.space;
    inno.fileName = pages.pathText();
    if (!ReadableSpace(inno, pages)) return;
    inno.indexId = indexId;
    if (inno.indexId == 0 && root < pages.pageCount()) {
        // The root says which index it is when it is whole.
        const CIndexPageView view(pages.Page(root));
        if (view.isIndexPage() && view.fil().pageNumber == root &&
            CheckPage(view.bytes()) == PageState::kSound)
            inno.indexId = view.header().indexId;
    }
    inno.indexIdKnown = inno.indexId != 0;
    ReadInstantLayout(inno, pages, root, app);
    const uint32_t leaf = FindFirstLeaf(inno, pages, root, true);
    if (leaf != 0) {
        inno.window.bookmarks.push_back(RecordBookmark{leaf, 0});
        FillRowWindow(inno, pages, leaf, 0, false, app);
        return;
    }
    inno.leavesWalked.Clear();
    inno.window.bookmarks.push_back(RecordBookmark{0, kScanBookmarkFlag});
    FillScanWindow(inno, pages, 0, 0, true, app);
}

// A table's own tablespace that exists but whose rows are in a form not
// read: reports the reason and returns true.
bool TablespaceNotRead(const std::filesystem::path& databaseFolder, std::u16string_view tableName,
                       CDamageSink* damage) {
    CTablespace space;
    if (!space.Open(FindStorageFile(databaseFolder, tableName, "ibd"))) return false;
    const std::string reason = UnreadFormatReason(ReadSpaceFormat(space.Page(0)));
    if (reason.empty()) return false;
    if (damage)
        damage->Report(
            DamageFinding{space.pathText(), -1, -1, DamageWhat::kTable, reason, -1, false});
    return true;
}

void OpenInnoRows(CInnoTableReader& inno, const std::filesystem::path& databaseFolder,
                  std::u16string_view tableName, CAppState& app,
                  const CInnoDictionary* dictionary) {
    const bool haveDictionary = dictionary && dictionary->IsOpen();
    const uint64_t tableId =
        haveDictionary ? dictionary->FindTableId(DictionaryName(databaseFolder, tableName)) : 0;
    const std::filesystem::path ibd = StorageFileOrName(databaseFolder, tableName, "ibd");
    auto ownSpace = std::make_shared<CTablespace>();
    const auto noRoot = [&] {
        ReportDamage(inno, DamageFinding{PathText(ibd), -1, -1, DamageWhat::kTable,
                                         "the dictionary names no clustered index", -1, false});
    };
    if (ownSpace->Open(ibd)) {
        inno.perTableSource = true;
        if (!haveDictionary) {
            BuildColumnsFromFrm(inno, app);
            ReadFirstInnoWindow(inno, std::move(ownSpace), kOwnSpaceRoot, 0, app);
        } else if (tableId != 0) {
            BuildColumnsFromDictionary(inno, *dictionary, tableId);
            const uint32_t root = dictionary->FindClusteredRoot(tableId);
            if (root != 0)
                ReadFirstInnoWindow(inno, std::move(ownSpace), root,
                                    dictionary->FindClusteredIndexId(tableId), app);
            else
                noRoot();
        } else {
            ReportDamage(inno,
                         DamageFinding{PathText(ibd), -1, -1, DamageWhat::kTable,
                                       "the system tablespace's dictionary does not know the table",
                                       -1, false});
        }
        return;
    }
    if (haveDictionary && tableId != 0) {
        inno.perTableSource = false;
        BuildColumnsFromDictionary(inno, *dictionary, tableId);
        const uint32_t root = dictionary->FindClusteredRoot(tableId);
        if (root != 0)
            ReadFirstInnoWindow(inno, dictionary->space(), root,
                                dictionary->FindClusteredIndexId(tableId), app);
        else
            noRoot();
        return;
    }
    ReportDamage(inno, DamageFinding{PathText(ibd), -1, -1, DamageWhat::kFile, "data file missing",
                                     -1, false});
}

}  // namespace

uint32_t CTableRows::ReadDefinitionFromTablespace(const std::filesystem::path& databaseFolder,
                                                  std::u16string_view tableName,
                                                  const CAppState& app, bool& changedInPlace,
                                                  uint64_t& indexId, CDamageSink* damage) {
    const std::filesystem::path ibd = FindStorageFile(databaseFolder, tableName, "ibd");
    if (ibd.empty()) return 0;
    for (const SdiObject& object : ReadSdi(ibd, damage).objects) {
        if (object.type != kSdiTypeTable) continue;
        SdiTableInfo info;
        std::string problem;
        if (TableDefFromSdi(object.json, app, table_, info, problem)) {
            changedInPlace = info.changedInPlace;
            indexId = info.clusteredIndexId;
            return info.clusteredRoot;
        }
    }
    table_.Reset();
    return 0;
}

std::vector<CSdiPartition> CTableRows::ReadPartitionedDefinition(
    const std::filesystem::path& databaseFolder, std::u16string_view tableName,
    const CAppState& app, bool& changedInPlace) {
    std::filesystem::path source;
    SdiTableInfo info;
    if (!ReadTableDefinitionFromSdi(databaseFolder, tableName, app, table_, info, &source))
        return {};
    std::vector<CSdiPartition> partitions;
    if (source.extension() == ".ibd") {
        for (const SdiObject& object : ReadSdi(source).objects) {
            if (object.type != kSdiTypeTable) continue;
            partitions = PartitionsInSdi(object.json);
            break;
        }
    }
    // Tables of other kinds are read as they were before.
    if (partitions.empty())
        table_.Reset();
    else
        changedInPlace = info.changedInPlace;
    return partitions;
}

CTableRows::CTableRows() = default;
CTableRows::~CTableRows() = default;

void CTableRows::CloseReaders() {
    myisam_.reset();
    inno_.reset();
}

void CTableRows::Close() {
    CloseReaders();
    table_.Reset();
    window_.Reset(0);
    partitions_.clear();
    partitionWindow_.Reset(0);
    onceSink_.reset();
}

OpenRowsResult CTableRows::Open(const std::filesystem::path& databaseFolder,
                                std::u16string_view tableName, CAppState& app,
                                const CReadOptions& options, const CInnoDictionary* dictionary) {
    Close();
    // MySQL writes .frm in lower case; copies from case-insensitive systems
    // may not keep the case.
    std::filesystem::path frm = FindStorageFile(databaseFolder, tableName, "frm");
    if (frm.empty()) {
        frm = databaseFolder / std::filesystem::path(std::u16string(tableName));
        frm += ".frm";
    }
    ReadTableDefinition(table_, frm, app, options.damage);
    // Tables of MySQL 8.0 and later have no .frm: their definition is in
    // their tablespace's own dictionary information.
    uint32_t sdiRoot = 0;
    bool changedInPlace = false;
    const bool fromTablespace = table_.columns.empty();
    uint64_t sdiIndexId = 0;
    if (fromTablespace)
        sdiRoot = ReadDefinitionFromTablespace(databaseFolder, tableName, app, changedInPlace,
                                               sdiIndexId, options.damage);
    std::vector<CSdiPartition> sdiPartitions;
    if (fromTablespace && table_.columns.empty())
        sdiPartitions = ReadPartitionedDefinition(databaseFolder, tableName, app, changedInPlace);
    if (table_.columns.empty()) {
        // A tablespace whose pages are encrypted or compressed hides its
        // definition too: that is the reason, not a missing definition.
        if (fromTablespace && TablespaceNotRead(databaseFolder, tableName, options.damage))
            return OpenRowsResult::kOk;
        return OpenRowsResult::kNoDefinition;
    }
    window_.rows.Reset(table_.columns.size());
    if (changedInPlace) return OpenRowsResult::kChangedInPlace;
    if (!table_.partitioning.empty() || !sdiPartitions.empty()) {
        partitions_ = ListPartitions(databaseFolder, tableName, table_.partitioning, sdiPartitions);
        if (!partitions_.empty()) {
            folder_ = databaseFolder;
            options_ = options;
            dictionary_ = dictionary;
            return OpenPartitioned(app);
        }
    }
    return OpenStorage(databaseFolder, tableName, window_, app, options, dictionary, fromTablespace,
                       sdiRoot, sdiIndexId);
}

OpenRowsResult CTableRows::OpenStorage(const std::filesystem::path& databaseFolder,
                                       std::u16string_view tableName, CWindowState& window,
                                       CAppState& app, const CReadOptions& options,
                                       const CInnoDictionary* dictionary, bool fromTablespace,
                                       uint32_t sdiRoot, uint64_t sdiIndexId) {
    if (table_.engineCode == EngineCode::kMyIsam) {
        myisam_ = std::make_unique<CMyisamTableReader>(table_, window, options);
        // A file not found is named where the server would have put it.
        const auto storageFile = [&](std::string_view extension) {
            std::filesystem::path path = FindStorageFile(databaseFolder, tableName, extension);
            if (path.empty()) {
                path = databaseFolder / std::filesystem::path(std::u16string(tableName));
                path += "." + std::string(extension);
            }
            return path;
        };
        const bool ok = OpenMyIsamTable(*myisam_, storageFile("MYI"), storageFile("MYD"), app);
        return ok ? OpenRowsResult::kOk : OpenRowsResult::kReadError;
    }
    if (table_.engineCode == EngineCode::kInnoDb) {
        inno_ = std::make_unique<CInnoTableReader>(table_, window, options);
        if (fromTablespace) {
            // The rows are where the dictionary information says: a
            // definition that names no clustered root, or a tablespace that
            // does not open, is an error, never a table without rows.
            auto ownSpace = std::make_shared<CTablespace>();
            const std::filesystem::path ibd = FindStorageFile(databaseFolder, tableName, "ibd");
            if (sdiRoot == 0 || !ownSpace->Open(ibd)) {
                ReportDamage(*inno_,
                             DamageFinding{PathText(ibd), -1, -1, DamageWhat::kTable,
                                           sdiRoot == 0 ? "the dictionary names no clustered index"
                                                        : "data file cannot be opened",
                                           -1, false});
                return OpenRowsResult::kReadError;
            }
            inno_->perTableSource = true;
            BuildColumnsFromFrm(*inno_, app);
            ReadFirstInnoWindow(*inno_, std::move(ownSpace), sdiRoot, sdiIndexId, app);
        } else {
            OpenInnoRows(*inno_, databaseFolder, tableName, app, dictionary);
        }
        if (!ReadFailed()) return OpenRowsResult::kOk;
        ReportDamage(*inno_, DamageFinding{inno_->space->pathText(), -1, -1, DamageWhat::kFile,
                                           "reading the file failed part way", -1, false});
        return OpenRowsResult::kReadError;
    }
    return OpenRowsResult::kUnsupportedEngine;
}

bool CTableRows::ReadFailed() const {
    if (myisam_) return myisam_->dataFile.Failed();
    return inno_ && inno_->space && inno_->space->Failed();
}

bool CTableRows::CompressedRows() const {
    return myisam_ && myisam_->header.myisamRowFormat == 2;
}

void CTableRows::ReadWindowAt(const RecordBookmark& from, bool bookmarkWanted, CAppState& app) {
    if (!partitions_.empty()) {
        ReadPartitionedWindow(from, bookmarkWanted, app);
        return;
    }
    if (inno_) {
        ReadInnoWindowAt(*inno_, from, bookmarkWanted, app);
        return;
    }
    window_.rows.Reset(table_.columns.size());
    window_.windowFull = false;
    if (myisam_ && myisam_->dataFile.IsOpen())
        ReadMyIsamWindowAt(*myisam_, from.origin, bookmarkWanted, app);
}

bool CTableRows::ReadNextWindow(CAppState& app) {
    if (!partitions_.empty()) {
        if (!window_.windowFull || window_.bookmarks.empty()) return false;
        ReadPartitionedWindow(window_.bookmarks.back(), true, app);
        return true;
    }
    if (inno_) return ReadNextInnoWindow(*inno_, app);
    if (!window_.windowFull || window_.bookmarks.empty()) return false;
    ReadWindowAt(window_.bookmarks.back(), true, app);
    return true;
}

void RenderSpilledValue(const CTableDef& table, size_t column, const std::filesystem::path& path,
                        const CAppState& app, std::u16string& out) {
    if (column >= table.columns.size()) return;
    CReadOnlyFile file;
    if (!file.Open(path)) return;
    const std::vector<uint8_t> bytes = file.ReadAll(std::numeric_limits<size_t>::max());
    RenderContext context;
    context.decoders = &app.decoders();
    context.allEnumValues = table.allEnumValues;
    context.exportMode = true;
    context.blobsInFull = true;
    RenderMyIsamValue(table.columns[column], bytes, context, out);
}

}  // namespace brix
