#include "catalogue/catalogue.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_set>
#include <utility>

#include "app/file_names.h"
#include "app/read_only_file.h"
#include "app/text.h"
#include "myisam/myisam_header.h"

namespace brix {

namespace {

// Bytes that tell a table definition from a view definition.
constexpr size_t kFrmProbeSize = 10;
constexpr uint8_t kTableMagic[] = {0xFE, 0x01};
constexpr char kViewMagic[] = "TYPE=VIEW";
// The header byte of a table definition that names its storage engine.
constexpr size_t kFrmEngineByte = 3;
constexpr uint8_t kEngineMyIsam = 9;
constexpr uint8_t kEngineCsv = 17;
constexpr uint8_t kEngineInnoDb = 12;

template <class C>
C LowerAscii(C c) {
    return (c >= C('A') && c <= C('Z')) ? static_cast<C>(c - C('A') + C('a')) : c;
}

template <class S>
bool LessIgnoringAsciiCase(const S& x, const S& y) {
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](auto p, auto q) {
        return LowerAscii(p) < LowerAscii(q);
    });
}

// The text after the last "." of a file name, lower-cased; the whole name
// when it has none.
std::u16string LowerExtension(const std::u16string& name) {
    const size_t dot = name.rfind(u'.');
    std::u16string ext = dot == std::u16string::npos ? name : name.substr(dot + 1);
    for (char16_t& c : ext) c = LowerAscii(c);
    return ext;
}

// The file name without its last four characters (".frm", ".TRG").
std::u16string StripFourChars(const std::u16string& name) {
    return name.size() > 4 ? name.substr(0, name.size() - 4) : std::u16string();
}

enum class FrmKind { kTable, kView, kOther };

// What the first bytes of a .frm say; a file that cannot be opened is neither
// a table nor a view. A file shorter than the probe is judged on what it has.
// engine is the table's storage-engine byte (0 when there is none).
FrmKind ProbeFrm(const std::filesystem::path& path, uint8_t& engine) {
    engine = 0;
    CReadOnlyFile file;
    if (!file.Open(path)) return FrmKind::kOther;
    std::array<uint8_t, kFrmProbeSize> head{};
    const size_t got = file.ReadAt(0, head.data(), head.size());
    if (got >= sizeof kTableMagic &&
        std::memcmp(head.data(), kTableMagic, sizeof kTableMagic) == 0) {
        if (got > kFrmEngineByte) engine = head[kFrmEngineByte];
        return FrmKind::kTable;
    }
    const size_t viewMagicSize = sizeof kViewMagic - 1;
    if (got >= viewMagicSize && std::memcmp(head.data(), kViewMagic, viewMagicSize) == 0)
        return FrmKind::kView;
    return FrmKind::kOther;
}

TreeItem InsertNode(CUiOperations& ui, std::u16string_view text, int image, TreeItem parent,
                    int64_t data) {
    const TreeItem item = ui.InsertItem(text, image, parent);
    ui.SetItemData(item, data);
    return item;
}

}  // namespace

void CCatalogue::Clear() {
    databaseFolders.clear();
    catalogueTables.clear();
    catalogueViews.clear();
    catalogueTriggers.clear();
    dictionaryViews.clear();
    dictionaryTriggers.clear();
    databaseCollations.clear();
}

std::vector<std::filesystem::path> ListFolderEntries(const std::filesystem::path& folder,
                                                     bool directories) {
    // Each entry's name is taken once, not at every comparison of the sort:
    // a folder may hold a hundred thousand files.
    using Name = std::filesystem::path::string_type;
    std::vector<std::pair<Name, std::filesystem::path>> named;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        const bool isDirectory = it->is_directory(typeError);
        if (typeError || isDirectory != directories) continue;
        named.emplace_back(it->path().filename().native(), it->path());
    }
    // Names equal but for case keep a fixed order among themselves.
    std::sort(named.begin(), named.end(), [](const auto& a, const auto& b) {
        if (LessIgnoringAsciiCase(a.first, b.first)) return true;
        if (LessIgnoringAsciiCase(b.first, a.first)) return false;
        return a.first < b.first;
    });
    std::vector<std::filesystem::path> entries;
    entries.reserve(named.size());
    for (auto& entry : named) entries.push_back(std::move(entry.second));
    return entries;
}

void InsertDeletedRowsNode(CUiOperations& ui, TreeItem table) {
    InsertNode(ui, kDeletedRowsNodeText, TreeImage::kDeletedRows, table, ItemData::kDeletedRows);
}

void ListDatabaseFolders(CCatalogue& catalogue, const std::filesystem::path& dataPath) {
    for (std::filesystem::path& folder : ListFolderEntries(dataPath, true))
        catalogue.databaseFolders.push_back(std::move(folder));
}

void CatalogueDatabaseFolder(CCatalogue& catalogue, CUiOperations& ui,
                             const std::filesystem::path& folder, TreeItem databaseNode,
                             TreeItem tablesNode, int32_t databaseNumber) {
    TreeItem viewsNode = kNoTreeItem;
    TreeItem triggersNode = kNoTreeItem;
    const std::vector<std::filesystem::path> files = ListFolderEntries(folder, false);
    // The names of the folder's files in lower case, to tell from the
    // listing alone whether a table's data files are there.
    std::unordered_set<std::u16string> present;
    present.reserve(files.size());
    for (const std::filesystem::path& file : files) {
        std::u16string name = PathComponentText(file);
        for (char16_t& c : name) c = LowerAscii(c);
        present.insert(std::move(name));
    }
    // The tables, in lower case, with partition files ("t#P#p0.ibd"): their
    // rows are in those, not in files of the table's own name.
    std::unordered_set<std::u16string> partitioned;
    for (const std::u16string& name : present) {
        const size_t marker = name.find(u"#p#");
        if (marker != std::u16string::npos && marker > 0)
            partitioned.insert(name.substr(0, marker));
    }
    auto has = [&](const std::u16string& stem, std::u16string_view extension) {
        std::u16string name = stem;
        for (char16_t& c : name) c = LowerAscii(c);
        name += extension;
        return present.count(name) != 0;
    };
    for (const std::filesystem::path& file : files) {
        const std::u16string fileName = PathComponentText(file);
        const std::u16string extension = LowerExtension(fileName);
        if (extension == u"frm") {
            uint8_t engine = 0;
            const FrmKind kind = ProbeFrm(file, engine);
            if (kind == FrmKind::kTable) {
                CatalogueTable& entry = catalogue.catalogueTables.emplace_back();
                entry.databaseNumber = databaseNumber;
                entry.tableName = StripFourChars(fileName);
                const TreeItem table =
                    InsertNode(ui, entry.tableName, TreeImage::kFolder, tablesNode,
                               static_cast<int64_t>(catalogue.catalogueTables.size()));
                entry.item = table;
                InsertNode(ui, kKeysNodeText, TreeImage::kKeys, table, ItemData::kKeys);
                std::u16string lowerName = entry.tableName;
                for (char16_t& c : lowerName) c = LowerAscii(c);
                if (partitioned.count(lowerName) != 0 || has(entry.tableName, u".par")) {
                    // Each partition's files are read, and a missing one reported,
                    // when its rows are.
                } else if (engine == kEngineMyIsam && !has(entry.tableName, u".myd")) {
                    ui.MarkTreeItem(table, kDataFileMissing);
                } else if (engine == kEngineMyIsam && !has(entry.tableName, u".myi")) {
                    InsertDeletedRowsNode(ui, table);
                    ui.MarkTreeItem(table, kIndexFileMissing);
                } else if (engine == kEngineMyIsam) {
                    // The state header's count of deleted records is one
                    // small read; a count that cannot be read says nothing.
                    if (ReadMyisamDeletedCount(FindStorageFile(folder, entry.tableName, "MYI")) !=
                        0)
                        InsertDeletedRowsNode(ui, table);
                } else if (engine == kEngineCsv && !has(entry.tableName, u".csv")) {
                    // No "Deleted rows" node for CSV tables in any case: the
                    // engine writes its file anew on every delete.
                    ui.MarkTreeItem(table, kDataFileMissing);
                } else if (engine == kEngineInnoDb && !has(entry.tableName, u".ibd")) {
                    // The scan adds its node once the system tablespace's
                    // dictionary knows the table.
                    entry.noOwnTablespace = true;
                } else if (engine == kEngineInnoDb) {
                    InsertDeletedRowsNode(ui, table);
                }
            } else if (kind == FrmKind::kView) {
                if (viewsNode == kNoTreeItem)
                    viewsNode = InsertNode(ui, kViewsNodeText, TreeImage::kViews, databaseNode,
                                           ItemData::kViews);
                catalogue.catalogueViews.push_back(file);
                InsertNode(ui, StripFourChars(fileName), TreeImage::kFolder, viewsNode,
                           static_cast<int64_t>(catalogue.catalogueViews.size()));
            }
        } else if (extension == u"trg") {
            if (triggersNode == kNoTreeItem)
                triggersNode = InsertNode(ui, kTriggersNodeText, TreeImage::kTriggers, databaseNode,
                                          ItemData::kTriggers);
            catalogue.catalogueTriggers.push_back({fileName, folder});
            InsertNode(ui, StripFourChars(fileName), TreeImage::kFolder, triggersNode,
                       static_cast<int64_t>(catalogue.catalogueTriggers.size()));
        }
    }
}

}  // namespace brix
