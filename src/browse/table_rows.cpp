#include "browse/table_rows.h"

#include <limits>

#include "app/app_state.h"
#include "app/file_names.h"
#include "innodb/btree.h"
#include "innodb/columns.h"
#include "innodb/dictionary.h"
#include "innodb/inno_table_reader.h"
#include "innodb/instant.h"
#include "myisam/myisam_header.h"
#include "myisam/myisam_reader.h"
#include "schema/frm_reader.h"
#include "sdi/sdi_reader.h"
#include "sdi/sdi_table.h"
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

// Reads the first window of an InnoDB table from space, whose clustered index
// starts at root; the reader reads from space from then on.
void ReadFirstInnoWindow(CInnoTableReader& inno, std::shared_ptr<CTablespace> space, uint32_t root,
                         CAppState& app) {
    inno.space = std::move(space);
    CTablespace& pages = *inno.space;
    ReadInstantLayout(inno, pages, root, app);
    const uint32_t leaf = FindFirstLeaf(inno, pages, root);
    if (leaf == 0) return;
    inno.window.bookmarks.push_back(RecordBookmark{leaf, 0});
    FillRowWindow(inno, pages, leaf, 0, false, app);
}

// Reports a table whose data file is not there or does not open; the
// table then reads as one without rows.
void ReportMissingDataFile(const CReadOptions& options, const std::filesystem::path& found,
                           const std::filesystem::path& expected) {
    if (!options.damage) return;
    DamageFinding finding;
    finding.file = (found.empty() ? expected : found).string();
    finding.what = DamageWhat::kFile;
    finding.why = found.empty() ? "data file missing" : "data file cannot be opened";
    options.damage->Report(std::move(finding));
}

// Opens the table's rows from its own .ibd or the system tablespace; false
// when it has neither (no .ibd that opens and no entry in the dictionary).
bool OpenInnoRows(CInnoTableReader& inno, const std::filesystem::path& databaseFolder,
                  std::u16string_view tableName, CAppState& app,
                  const CInnoDictionary* dictionary) {
    const bool haveDictionary = dictionary && dictionary->IsOpen();
    const uint64_t tableId =
        haveDictionary ? dictionary->FindTableId(DictionaryName(databaseFolder, tableName)) : 0;
    auto ownSpace = std::make_shared<CTablespace>();
    if (ownSpace->Open(FindStorageFile(databaseFolder, tableName, "ibd"))) {
        inno.perTableSource = true;
        if (!haveDictionary) {
            BuildColumnsFromFrm(inno, app);
            ReadFirstInnoWindow(inno, std::move(ownSpace), kOwnSpaceRoot, app);
        } else if (tableId != 0) {
            BuildColumnsFromDictionary(inno, *dictionary, tableId);
            const uint32_t root = dictionary->FindClusteredRoot(tableId);
            if (root != 0) ReadFirstInnoWindow(inno, std::move(ownSpace), root, app);
        }
        return true;
    }
    if (haveDictionary && tableId != 0) {
        inno.perTableSource = false;
        BuildColumnsFromDictionary(inno, *dictionary, tableId);
        const uint32_t root = dictionary->FindClusteredRoot(tableId);
        if (root != 0) ReadFirstInnoWindow(inno, dictionary->space(), root, app);
        return true;
    }
    return false;
}

// The path a table's file would have: the folder, the table's name and the
// extension, for reports about a file that is not there.
std::filesystem::path StorageFileName(const std::filesystem::path& databaseFolder,
                                      std::u16string_view tableName, const char* extension) {
    std::filesystem::path path = databaseFolder / std::filesystem::path(std::u16string(tableName));
    path += extension;
    return path;
}

}  // namespace

uint32_t CTableRows::ReadDefinitionFromTablespace(const std::filesystem::path& databaseFolder,
                                                  std::u16string_view tableName,
                                                  const CAppState& app, bool& changedInPlace) {
    const std::filesystem::path ibd = FindStorageFile(databaseFolder, tableName, "ibd");
    if (ibd.empty()) return 0;
    for (const SdiObject& object : ReadSdi(ibd).objects) {
        if (object.type != kSdiTypeTable) continue;
        SdiTableInfo info;
        std::string problem;
        if (TableDefFromSdi(object.json, app, table_, info, problem)) {
            changedInPlace = info.changedInPlace;
            return info.clusteredRoot;
        }
    }
    table_.Reset();
    return 0;
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
    ReadTableDefinition(table_, frm, app);
    // Tables of MySQL 8.0 and later have no .frm: their definition is in
    // their tablespace's own dictionary information.
    uint32_t sdiRoot = 0;
    bool changedInPlace = false;
    const bool fromTablespace = table_.columns.empty();
    if (fromTablespace)
        sdiRoot = ReadDefinitionFromTablespace(databaseFolder, tableName, app, changedInPlace);
    if (table_.columns.empty()) return OpenRowsResult::kNoDefinition;
    window_.rows.Reset(table_.columns.size());
    if (changedInPlace) return OpenRowsResult::kChangedInPlace;
    if (table_.engineCode == EngineCode::kMyIsam) {
        myisam_ = std::make_unique<CMyisamTableReader>(table_, window_, options);
        ReadMyisamHeader(table_, myisam_->header,
                         FindStorageFile(databaseFolder, tableName, "MYI"));
        const std::filesystem::path myd = FindStorageFile(databaseFolder, tableName, "MYD");
        const bool ok = ReadFirstMyIsamWindow(*myisam_, myd, app);
        if (!myisam_->dataFile.IsOpen())
            ReportMissingDataFile(options, myd, StorageFileName(databaseFolder, tableName, ".MYD"));
        return ok ? OpenRowsResult::kOk : OpenRowsResult::kReadError;
    }
    if (table_.engineCode == EngineCode::kInnoDb) {
        inno_ = std::make_unique<CInnoTableReader>(table_, window_, options);
        if (fromTablespace) {
            // The rows are where the dictionary information says: a
            // definition that names no clustered root, or a tablespace that
            // does not open, is an error, never a table without rows.
            auto ownSpace = std::make_shared<CTablespace>();
            if (sdiRoot == 0 || !ownSpace->Open(FindStorageFile(databaseFolder, tableName, "ibd")))
                return OpenRowsResult::kReadError;
            inno_->perTableSource = true;
            BuildColumnsFromFrm(*inno_, app);
            ReadFirstInnoWindow(*inno_, std::move(ownSpace), sdiRoot, app);
            return ReadFailed() ? OpenRowsResult::kReadError : OpenRowsResult::kOk;
        }
        if (!OpenInnoRows(*inno_, databaseFolder, tableName, app, dictionary))
            ReportMissingDataFile(options, FindStorageFile(databaseFolder, tableName, "ibd"),
                                  StorageFileName(databaseFolder, tableName, ".ibd"));
        return ReadFailed() ? OpenRowsResult::kReadError : OpenRowsResult::kOk;
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
