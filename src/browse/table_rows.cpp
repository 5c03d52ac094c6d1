#include "browse/table_rows.h"

#include <algorithm>
#include <array>
#include <limits>

#include "app/app_state.h"
#include "app/file_names.h"
#include "app/object_names.h"
#include "app/text_decoder.h"
#include "csv/csv_reader.h"
#include "innodb/blob.h"
#include "innodb/btree.h"
#include "innodb/columns.h"
#include "innodb/deleted_records.h"
#include "innodb/dictionary.h"
#include "innodb/inno_table_reader.h"
#include "innodb/instant.h"
#include "innodb/page_check.h"
#include "innodb/page_view.h"
#include "myisam/deleted_rows.h"
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
    std::u16string name = PathComponentText(folder);
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
    if (inno.options.deleted) {
        // Deleted records are looked for on every leaf of the index, in
        // file order, whatever the tree says.
        inno.window.bookmarks.push_back(RecordBookmark{0, 0});
        FillDeletedWindow(inno, pages, 0, 0, true, app);
        return;
    }
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

// The table is in a tablespace of its own kind that is neither the system
// tablespace nor a file of its own name: a general tablespace of MySQL 5.7
// (CREATE TABLESPACE ... ADD DATAFILE), which SYS_DATAFILES names.
bool InGeneralTablespace(const CInnoDictionary& dictionary, uint64_t tableId) {
    const SysTableRec* table = dictionary.FindTable(tableId);
    return table && table->spaceId != 0 && !dictionary.FindDatafilePath(table->spaceId).empty();
}

// Where the file a dictionary path names is: a relative path is from the
// data directory (the folder of the database folders). A data directory
// copied from elsewhere keeps absolute paths that no longer hold: the file
// is then looked for by its name in the data directory and in the table's
// own database folder.
std::filesystem::path ResolveDatafile(const std::filesystem::path& databaseFolder,
                                      std::u16string_view dictionaryPath) {
    const std::filesystem::path dataDir = databaseFolder.parent_path();
    const std::filesystem::path named(std::u16string(dictionaryPath.begin(), dictionaryPath.end()));
    std::error_code ec;
    const std::filesystem::path first = named.is_absolute() ? named : dataDir / named;
    if (std::filesystem::is_regular_file(first, ec)) return first;
    for (const std::filesystem::path& other :
         {dataDir / named.filename(), databaseFolder / named.filename()})
        if (std::filesystem::is_regular_file(other, ec)) return other;
    return first;
}

// Reads the rows of a table in a general tablespace: its columns and root from
// the dictionary, its pages from the tablespace's file. Many tables share the
// file, as they share the system tablespace, so its pages are told apart by
// their index id.
void OpenGeneralTablespaceRows(CInnoTableReader& inno, const std::filesystem::path& databaseFolder,
                               const CInnoDictionary& dictionary, uint64_t tableId,
                               CAppState& app) {
    const uint32_t spaceId = dictionary.FindTable(tableId)->spaceId;
    const std::filesystem::path file =
        ResolveDatafile(databaseFolder, dictionary.FindDatafilePath(spaceId));
    auto space = std::make_shared<CTablespace>();
    if (!space->Open(file)) {
        ReportDamage(inno, DamageFinding{PathUtf8(file), -1, -1, DamageWhat::kFile,
                                         "data file missing", -1, false});
        return;
    }
    if (const std::string reason = UnreadFormatReason(ReadSpaceFormat(space->Page(0)));
        !reason.empty()) {
        ReportDamage(
            inno, DamageFinding{space->pathText(), -1, -1, DamageWhat::kTable, reason, -1, false});
        return;
    }
    inno.perTableSource = false;
    BuildColumnsFromDictionary(inno, dictionary, tableId);
    const uint32_t root = dictionary.FindClusteredRoot(tableId);
    if (root == 0) {
        ReportDamage(inno, DamageFinding{space->pathText(), -1, -1, DamageWhat::kTable,
                                         "the dictionary names no clustered index", -1, false});
        return;
    }
    ReadFirstInnoWindow(inno, std::move(space), root, dictionary.FindClusteredIndexId(tableId),
                        app);
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
        ReportDamage(inno, DamageFinding{PathUtf8(ibd), -1, -1, DamageWhat::kTable,
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
                         DamageFinding{PathUtf8(ibd), -1, -1, DamageWhat::kTable,
                                       "the system tablespace's dictionary does not know the table",
                                       -1, false});
        }
        return;
    }
    if (haveDictionary && tableId != 0 && InGeneralTablespace(*dictionary, tableId)) {
        OpenGeneralTablespaceRows(inno, databaseFolder, *dictionary, tableId, app);
        return;
    }
    // A table of a tablespace other than the system tablespace whose file is
    // not there: its root page number is one of that file, not of ibdata1.
    if (haveDictionary && tableId != 0 && dictionary->FindTable(tableId) &&
        dictionary->FindTable(tableId)->spaceId != 0) {
        ReportDamage(inno, DamageFinding{PathUtf8(ibd), -1, -1, DamageWhat::kFile,
                                         "data file missing", -1, false});
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
    ReportDamage(inno, DamageFinding{PathUtf8(ibd), -1, -1, DamageWhat::kFile, "data file missing",
                                     -1, false});
}

// How the text of an off-page value is made from its bytes as they come.
enum class StreamForm {
    kHex,    // binary: 0x and two hex digits a byte
    kText,   // characters of a set whose characters can be told apart in pieces
    kWhole,  // a text that needs every byte at once
};

// The form export mode gives a value of column (RenderMyIsamValue), with the
// decoder of its characters for kText.
StreamForm FormOf(const CColumnDef& column, const CTextDecoders& decoders,
                  const CTextDecoder*& decoder) {
    switch (column.type) {
        case FieldType::kTinyBlob:
        case FieldType::kMediumBlob:
        case FieldType::kLongBlob:
        case FieldType::kBlob:
            if (column.charsetNumber == kBinaryCharset) return StreamForm::kHex;
            break;
        case FieldType::kVarchar:
        case FieldType::kVarString:
            if (column.dataType != ColumnDataType::kPlain) return StreamForm::kWhole;
            if (column.charsetNumber == kBinaryCharset) return StreamForm::kHex;
            break;
        default:
            // CHAR drops its trailing spaces, JSON and spatial values are
            // read as a whole.
            return StreamForm::kWhole;
    }
    decoder = column.decoder ? column.decoder : &decoders.Ansi();
    // Where iconv's multi-byte characters end cannot be told from outside.
    return decoder->kind() == CTextDecoder::Kind::kIconv ? StreamForm::kWhole : StreamForm::kText;
}

bool IsContinuation(uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

// Bytes at the end of bytes that may be the start of a character the next
// piece finishes.
size_t UnfinishedTail(CTextDecoder::Kind kind, ByteSpan bytes) {
    switch (kind) {
        case CTextDecoder::Kind::kUtf16Be:
        case CTextDecoder::Kind::kUtf16Le:
            return bytes.size() % 2;
        case CTextDecoder::Kind::kUtf32Be:
            return bytes.size() % 4;
        case CTextDecoder::Kind::kUtf8:
            // A sequence is at most four bytes: only one whose lead is among
            // the last three may go on. A sequence never takes a byte that is
            // not a continuation byte, so before a lead the text is whole.
            for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
                const uint8_t b = bytes[bytes.size() - back];
                if (!IsContinuation(b)) return b >= 0x80 ? back : 0;
            }
            return 0;
        default:
            return 0;
    }
}

// Bytes at the start of the next piece that belong to the character begun by
// the carried bytes.
size_t Completion(CTextDecoder::Kind kind, size_t carried, ByteSpan next) {
    switch (kind) {
        case CTextDecoder::Kind::kUtf16Be:
        case CTextDecoder::Kind::kUtf16Le:
            return std::min(next.size(), (2 - carried % 2) % 2);
        case CTextDecoder::Kind::kUtf32Be:
            return std::min(next.size(), (4 - carried % 4) % 4);
        case CTextDecoder::Kind::kUtf8: {
            size_t n = 0;
            while (n < 3 && n < next.size() && IsContinuation(next[n])) ++n;
            return n;
        }
        default:
            return 0;
    }
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

void AppendHexDigits(std::u16string& out, ByteSpan bytes) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    size_t at = out.size();
    out.resize(at + 2 * bytes.size());
    for (uint8_t b : bytes) {
        out[at++] = kDigits[b >> 4];
        out[at++] = kDigits[b & 15];
    }
}

RenderContext ExportContext(const CAppState& app) {
    RenderContext context;
    context.decoders = &app.decoders();
    context.exportMode = true;
    context.blobsInFull = true;
    return context;
}

}  // namespace

bool CExternalValues::RenderBytes(const CColumnDef& column, ByteSpan bytes, const CAppState& app,
                                  const std::function<void(std::u16string_view)>& sink,
                                  size_t chunk) {
    const CTextDecoder* decoder = nullptr;
    const StreamForm form = FormOf(column, app.decoders(), decoder);
    if (form == StreamForm::kWhole) {
        whole_.clear();
        const bool complete = ReadExternalValue(*space_, bytes, [&](ByteSpan part) {
            whole_.insert(whole_.end(), part.begin(), part.end());
        });
        text_.clear();
        RenderMyIsamValue(column, whole_, ExportContext(app), text_);
        sink(text_);
        return complete;
    }
    const CTextDecoder::Kind kind =
        form == StreamForm::kText ? decoder->kind() : CTextDecoder::Kind::kSingleByte;
    carry_.clear();
    bool started = false;
    // A high surrogate at the end of a piece waits for its pair in the next.
    char16_t held = 0;
    const auto decode = [&](ByteSpan input, bool last) {
        const size_t tail = last ? 0 : UnfinishedTail(kind, input);
        decoder->Append(input.first(input.size() - tail), text_, false);
        std::array<uint8_t, 4> rest{};
        std::copy(input.end() - static_cast<std::ptrdiff_t>(tail), input.end(), rest.begin());
        carry_.assign(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(tail));
    };
    const auto send = [&](bool last) {
        if (!last && !text_.empty() && IsHighSurrogate(text_.back())) {
            held = text_.back();
            text_.pop_back();
        }
        if (!text_.empty()) sink(text_);
    };
    const auto take = [&](ByteSpan piece) {
        if (piece.empty()) return;
        text_.clear();
        if (held != 0) text_.push_back(held);
        held = 0;
        if (form == StreamForm::kHex) {
            if (!started) text_ += u"0x";
            started = true;
            AppendHexDigits(text_, piece);
        } else {
            if (!carry_.empty()) {
                // The carried character and the bytes that finish it; a
                // piece too short to finish it leaves it carried.
                const size_t k = Completion(kind, carry_.size(), piece);
                std::array<uint8_t, 8> joined{};
                std::copy(carry_.begin(), carry_.end(), joined.begin());
                std::copy(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(k),
                          joined.begin() + static_cast<std::ptrdiff_t>(carry_.size()));
                const size_t length = carry_.size() + k;
                piece = piece.subspan(k);
                decode(ByteSpan(joined.data(), length), !piece.empty());
            }
            if (!piece.empty()) decode(piece, false);
        }
        send(false);
    };
    const bool complete = ReadExternalValue(*space_, bytes, [&](ByteSpan part) {
        if (chunk == 0) return take(part);
        for (size_t at = 0; at < part.size(); at += chunk)
            take(part.subspan(at, std::min(chunk, part.size() - at)));
    });
    text_.clear();
    if (held != 0) text_.push_back(held);
    if (!carry_.empty()) {
        const std::vector<uint8_t> last = carry_;
        decode(last, true);
    }
    send(true);
    return complete;
}

bool CExternalValues::Open(const std::filesystem::path& tablespace) {
    return Open(std::vector<std::filesystem::path>{tablespace});
}

bool CExternalValues::Open(std::vector<std::filesystem::path> sources) {
    sources_ = std::move(sources);
    spaces_.clear();
    spaces_.resize(sources_.size());
    space_ = &none_;
    if (sources_.empty() || (!sources_.front().empty() && !Source(0))) {
        sources_.clear();
        return false;
    }
    return true;
}

CTablespace* CExternalValues::Source(uint16_t source) {
    if (source >= sources_.size() || sources_[source].empty()) return nullptr;
    std::unique_ptr<CTablespace>& space = spaces_[source];
    if (!space) {
        // Tried once: a file that cannot be opened breaks its values' chains.
        space = std::make_unique<CTablespace>();
        space->Open(sources_[source]);
    }
    return space->IsOpen() ? space.get() : nullptr;
}

void CExternalValues::Render(const CTableDef& table, const CRowWindow& window, size_t row,
                             size_t column, const CAppState& app, CDamageSink* damage,
                             const std::function<void(std::u16string_view)>& sink) {
    if (column >= table.columns.size()) return;
    const ExternalCell cell = window.External(row, column);
    CTablespace* source = Source(cell.source);
    space_ = source ? source : &none_;
    const bool whole = RenderBytes(table.columns[column], cell.bytes, app, sink);
    // The row keeps what the chain gave.
    if (!whole && cell.reportBroken && damage) {
        std::string file = space_->pathText();
        if (!source && cell.source < sources_.size()) file = PathUtf8(sources_[cell.source]);
        damage->Report(DamageFinding{std::move(file), -1, cell.leafPage, DamageWhat::kChain,
                                     "value's off-page chain is broken", 0, false});
    }
}

uint32_t CTableRows::ReadDefinitionFromTablespace(const std::filesystem::path& databaseFolder,
                                                  std::u16string_view tableName,
                                                  const CAppState& app, bool& changedInPlace,
                                                  uint64_t& indexId, CDamageSink* damage) {
    const std::filesystem::path ibd = FindStorageFile(databaseFolder, tableName, "ibd");
    if (ibd.empty()) {
        // No tablespace of its own: a table of a general tablespace.
        SdiTableInfo info;
        std::filesystem::path folder = databaseFolder;
        if (!folder.has_filename()) folder = folder.parent_path();
        if (!ReadSharedTablespaceDefinition(DataDirectoryOf(databaseFolder),
                                            ObjectNameFromFileName(PathComponentText(folder)),
                                            tableName, app, table_, info, &sharedSpace_))
            return 0;
        changedInPlace = info.changedInPlace;
        rowVersions_ = std::move(info.rowVersions);
        instantColumns_ = std::move(info.instantColumns);
        indexId = info.clusteredIndexId;
        return info.clusteredRoot;
    }
    for (const SdiObject& object : ReadSdi(ibd, damage).objects) {
        if (object.type != kSdiTypeTable) continue;
        SdiTableInfo info;
        std::string problem;
        if (TableDefFromSdi(object.json, app, table_, info, problem)) {
            changedInPlace = info.changedInPlace;
            rowVersions_ = std::move(info.rowVersions);
            instantColumns_ = std::move(info.instantColumns);
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
    // A table of another engine (MyISAM, CSV, ...) is described by its .sdi
    // file, and its rows are read as a .frm table's are; an unpartitioned
    // InnoDB table found here is read as it was before. Partitions keep a
    // count of columns before the first added in place each of their own,
    // which each is read with.
    if (partitions.empty() && source.extension() != ".sdi") {
        table_.Reset();
    } else {
        changedInPlace = info.changedInPlace;
        rowVersions_ = std::move(info.rowVersions);
        instantColumns_ = std::move(info.instantColumns);
    }
    return partitions;
}

CTableRows::CTableRows() = default;
CTableRows::~CTableRows() = default;

void CTableRows::CloseReaders() {
    myisam_.reset();
    myisamLive_.reset();
    inno_.reset();
    csv_.reset();
}

void CTableRows::Close() {
    CloseReaders();
    deleted_ = false;
    recovering_ = false;
    myisamPointerLength_ = 0;
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
    rowVersions_.clear();
    instantColumns_ = {};
    instantColumnsBefore_ = 0;
    sharedSpace_.clear();
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
    deleted_ = options.deleted || !options.recoverFrom.empty();
    window_.rows.Reset(WindowColumns());
    if (changedInPlace) return OpenRowsResult::kChangedInPlace;
    instantColumnsBefore_ = instantColumns_.columnsBefore;
    if (!options.recoverFrom.empty())
        return OpenRecovery(StorageFileOrName(databaseFolder, tableName, "MYI"), options, app);
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
                path += '.';
                path += extension;
            }
            return path;
        };
        bool ok = OpenMyIsamTable(*myisam_, storageFile("MYI"), storageFile("MYD"), app);
        if (ok && options.deleted) {
            // The window of live rows gives way to the first of deleted ones.
            myisamPointerLength_ = ReadMyisamPointerLength(storageFile("MYI"));
            window_.Reset(WindowColumns());
            if (myisam_->dataFile.IsOpen()) window_.bookmarks.push_back({0, 0});
            ok = ReadDeletedRowWindow(*myisam_, 0, myisamPointerLength_, true, app);
        }
        return ok ? OpenRowsResult::kOk : OpenRowsResult::kReadError;
    }
    if (table_.engineCode == EngineCode::kInnoDb) {
        inno_ = std::make_unique<CInnoTableReader>(table_, window, options);
        if (fromTablespace) {
            // The rows are where the dictionary information says: a
            // definition that names no clustered root, or a tablespace that
            // does not open, is an error, never a table without rows.
            auto ownSpace = std::make_shared<CTablespace>();
            const std::filesystem::path ibd =
                !sharedSpace_.empty() ? sharedSpace_
                                      : FindStorageFile(databaseFolder, tableName, "ibd");
            if (sdiRoot == 0 || !ownSpace->Open(ibd)) {
                ReportDamage(*inno_,
                             DamageFinding{PathUtf8(ibd), -1, -1, DamageWhat::kTable,
                                           sdiRoot == 0 ? "the dictionary names no clustered index"
                                                        : "data file cannot be opened",
                                           -1, false});
                return OpenRowsResult::kReadError;
            }
            inno_->perTableSource = true;
            BuildColumnsFromFrm(*inno_, app);
            // Records of several layout versions: read only when every field
            // finds its place, never garbled.
            if (!ApplyInPlaceLayout(*inno_, rowVersions_, instantColumns_, instantColumnsBefore_,
                                    app)) {
                inno_.reset();
                return OpenRowsResult::kChangedInPlace;
            }
            ReadFirstInnoWindow(*inno_, std::move(ownSpace), sdiRoot, sdiIndexId, app);
        } else {
            OpenInnoRows(*inno_, databaseFolder, tableName, app, dictionary);
        }
        if (!ReadFailed()) return OpenRowsResult::kOk;
        ReportDamage(*inno_, DamageFinding{inno_->space->pathText(), -1, -1, DamageWhat::kFile,
                                           "reading the file failed part way", -1, false});
        return OpenRowsResult::kReadError;
    }
    if (table_.engineCode == EngineCode::kCsv) {
        // The engine rewrites its file when rows are deleted: no deleted
        // rows are left to read.
        if (options.deleted) return OpenRowsResult::kOk;
        csv_ = std::make_unique<CCsvTableReader>(table_, window, options);
        return OpenCsvTable(*csv_, StorageFileOrName(databaseFolder, tableName, "CSV"),
                            StorageFileOrName(databaseFolder, tableName, "CSM"), app)
                   ? OpenRowsResult::kOk
                   : OpenRowsResult::kReadError;
    }
    return OpenRowsResult::kUnsupportedEngine;
}

bool CTableRows::ReadFailed() const {
    if (myisam_) return myisam_->dataFile.Failed();
    if (csv_) return csv_->dataFile.Failed();
    return inno_ && inno_->space && inno_->space->Failed();
}

std::filesystem::path CTableRows::TablespacePath() const {
    if (!inno_ || !inno_->space || !inno_->space->IsOpen()) return {};
    const std::string text = inno_->space->pathText();
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::vector<std::filesystem::path> CTableRows::TablespacePaths() const {
    std::vector<std::filesystem::path> paths;
    if (partitions_.empty()) {
        std::filesystem::path path = TablespacePath();
        if (!path.empty()) paths.push_back(std::move(path));
        return paths;
    }
    for (size_t i = 0; i < partitions_.size(); ++i) paths.push_back(PartitionTablespace(i));
    return paths;
}

int64_t CTableRows::CountedRows() const {
    if (csv_) {
        // A meta file marked crashed was not written at a clean close: its
        // count may be old.
        const CsvMeta& meta = csv_->meta;
        return meta.valid && !meta.crashed ? static_cast<int64_t>(meta.rows) : -1;
    }
    return myisam_ ? myisam_->header.records : -1;
}

void CTableRows::ReadWindowAt(const RecordBookmark& from, bool bookmarkWanted, CAppState& app) {
    if (deleted_) {
        ReadDeletedWindowAt(from, bookmarkWanted, app);
        return;
    }
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
    if (csv_) ReadCsvWindowAt(*csv_, from.origin, bookmarkWanted, app);
}

void CTableRows::ReadDeletedWindowAt(const RecordBookmark& from, bool bookmarkWanted,
                                     CAppState& app) {
    window_.rows.Reset(WindowColumns());
    window_.windowFull = false;
    if (inno_ && inno_->space) {
        FillDeletedWindow(*inno_, *inno_->space, from.page, static_cast<uint32_t>(from.origin),
                          bookmarkWanted, app, recovering_);
    } else if (recovering_) {
        ReadRecoveredMyisamWindow(from, bookmarkWanted, app);
    } else if (myisam_ && myisam_->dataFile.IsOpen() && from.origin >= 0) {
        ReadDeletedRowWindow(*myisam_, static_cast<uint64_t>(from.origin), myisamPointerLength_,
                             bookmarkWanted, app);
    }
}

bool CTableRows::ReadNextWindow(CAppState& app) {
    if (deleted_) {
        if (!window_.windowFull || window_.bookmarks.empty()) return false;
        ReadDeletedWindowAt(window_.bookmarks.back(), true, app);
        return true;
    }
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
    RenderContext context = ExportContext(app);
    context.allEnumValues = table.allEnumValues;
    RenderMyIsamValue(table.columns[column], bytes, context, out);
}

}  // namespace brix
