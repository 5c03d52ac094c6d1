#include "catalogue/tablespace_catalogue.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "app/object_names.h"
#include "myisam/myisam_header.h"
#include "sdi/sdi_reader.h"
#include "sdi/sdi_table.h"
#include "sdi/sdi_table_file.h"

namespace brix {

namespace {

char16_t LowerAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool LessIgnoringAsciiCase(const std::u16string& x, const std::u16string& y) {
    return std::lexicographical_compare(
        x.begin(), x.end(), y.begin(), y.end(),
        [](char16_t p, char16_t q) { return LowerAscii(p) < LowerAscii(q); });
}

TreeItem InsertNode(CUiOperations& ui, std::u16string_view text, int image, TreeItem parent,
                    int64_t data) {
    const TreeItem item = ui.InsertItem(text, image, parent);
    ui.SetItemData(item, data);
    return item;
}

// The stem of the file name (all before its last "."), or the whole name.
std::u16string Stem(const std::u16string& fileName) {
    const size_t dot = fileName.rfind(u'.');
    return dot == std::u16string::npos ? fileName : fileName.substr(0, dot);
}

// The note of a table whose dictionary calls it something else than its
// file's name does, decoded, or places it in another database.
std::u16string NameNote(const std::u16string& tableName, const std::u16string& databaseName,
                        const SdiTableInfo& info) {
    if (info.name == ObjectNameFromFileName(tableName) &&
        (info.schema.empty() || info.schema == databaseName))
        return {};
    std::u16string note = u"Table " + tableName + u": its dictionary names it ";
    if (!info.schema.empty()) note += info.schema + u".";
    return note + info.name;
}

// The data files of a folder by the names they spell (decoded), for naming
// the tables of .sdi files; built at the first such file.
class CStemsByName {
  public:
    explicit CStemsByName(const std::vector<std::u16string>& fileNames) : fileNames_(fileNames) {}

    // The stem of a file that spells name, else name itself.
    std::u16string TableName(const std::u16string& name) {
        if (!built_) {
            built_ = true;
            for (const std::u16string& fileName : fileNames_) {
                if (!SdiFilePrefix(fileName).empty()) continue;
                const std::u16string stem = Stem(fileName);
                if (!stem.empty()) stems_.try_emplace(ObjectNameFromFileName(stem), stem);
            }
        }
        const auto found = stems_.find(name);
        return found != stems_.end() ? found->second : name;
    }

  private:
    const std::vector<std::u16string>& fileNames_;
    bool built_ = false;
    std::unordered_map<std::u16string, std::u16string> stems_;
};

// Whether a table found by its dictionary information gets a "Deleted rows"
// node, by the rule of the tables of .frm files: an InnoDB table with a
// tablespace of its own (a partitioned one has none of its name), a MyISAM
// table whose data file is there and whose index file counts deleted records
// or cannot say. The names are those of the table's files.
bool MayHoldDeletedRows(const std::filesystem::path& folder, const std::u16string& tableName) {
    const auto file = [&](const char* extension) {
        std::filesystem::path path = folder / std::filesystem::path(tableName);
        path += extension;
        return path;
    };
    std::error_code ec;
    if (std::filesystem::is_regular_file(file(".ibd"), ec)) return true;
    if (!std::filesystem::is_regular_file(file(".MYD"), ec)) return false;
    return !std::filesystem::is_regular_file(file(".MYI"), ec) ||
           ReadMyisamDeletedCount(file(".MYI")) != 0;
}

}  // namespace

std::vector<TablespaceTable> FindTablespaceTables(const std::filesystem::path& folder,
                                                  const CAppState& app,
                                                  const std::vector<std::u16string>& known) {
    const std::u16string databaseName = ObjectNameFromFileName(PathComponentText(folder));
    const std::vector<std::filesystem::path> files = ListFolderEntries(folder, false);
    std::vector<std::u16string> fileNames;
    fileNames.reserve(files.size());
    for (const std::filesystem::path& file : files) fileNames.push_back(PathComponentText(file));

    std::vector<TablespaceTable> found;
    std::unordered_set<std::u16string> seen(known.begin(), known.end());
    CStemsByName stems(fileNames);
    // Tables whose tablespaces say they carry dictionary information that
    // did not read, with the first such file; listed unless a later
    // partition's reads (the server keeps it in one partition only).
    std::vector<std::pair<std::u16string, std::u16string>> unread;
    std::unordered_set<std::u16string> unreadNames;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::u16string& fileName = fileNames[i];
        const std::u16string tableName = TableNameOfTablespaceFile(fileName);
        if (!tableName.empty()) {
            if (seen.count(tableName) != 0) continue;
            const SdiReadResult sdi = ReadSdi(files[i]);
            std::optional<SdiTableInfo> read;
            for (const SdiObject& object : sdi.objects) {
                if (object.type != kSdiTypeTable) continue;
                CTableDef table;
                SdiTableInfo info;
                std::string problem;
                if (!TableDefFromSdi(object.json, app, table, info, problem)) continue;
                read = std::move(info);
                break;
            }
            if (read) {
                found.push_back({tableName, NameNote(tableName, databaseName, *read)});
                seen.insert(tableName);
            } else if (sdi.flags.valid && sdi.flags.hasSdi &&
                       unreadNames.insert(tableName).second) {
                unread.emplace_back(tableName, fileName);
            }
            continue;
        }
        if (SdiFilePrefix(fileName).empty()) continue;
        CTableDef table;
        SdiTableInfo info;
        std::string problem;
        if (!TableDefFromSdi(ReadSdiFile(files[i]), app, table, info, problem)) continue;
        const std::u16string name = stems.TableName(info.name);
        if (name.empty() || !seen.insert(name).second) continue;
        found.push_back({name, NameNote(name, databaseName, info)});
    }
    // Tables of the database kept in the data directory's general
    // tablespaces, under their dictionary names.
    for (SharedTablespaceTable& shared : FindSharedTablespaceTables(DataDirectoryOf(folder), app)) {
        if (shared.schema != databaseName || !seen.insert(shared.name).second) continue;
        found.push_back({std::move(shared.name), {}});
    }
    for (const auto& [tableName, fileName] : unread) {
        if (seen.count(tableName) != 0) continue;
        found.push_back({tableName, u"Table " + tableName + u": the dictionary information in " +
                                        fileName + u" cannot be read"});
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return LessIgnoringAsciiCase(a.tableName, b.tableName);
    });
    return found;
}

void CatalogueTablespaceTables(CCatalogue& catalogue, CUiOperations& ui, const CAppState& app,
                               const std::filesystem::path& folder, TreeItem databaseNode,
                               TreeItem tablesNode, int32_t databaseNumber) {
    std::vector<std::u16string> known;
    for (const CatalogueTable& table : catalogue.catalogueTables)
        if (table.databaseNumber == databaseNumber) known.push_back(table.tableName);
    for (TablespaceTable& found : FindTablespaceTables(folder, app, known)) {
        catalogue.catalogueTables.push_back({databaseNumber, std::move(found.tableName)});
        const TreeItem table =
            InsertNode(ui, catalogue.catalogueTables.back().tableName, TreeImage::kFolder,
                       tablesNode, static_cast<int64_t>(catalogue.catalogueTables.size()));
        InsertNode(ui, kKeysNodeText, TreeImage::kKeys, table, ItemData::kKeys);
        if (MayHoldDeletedRows(folder, catalogue.catalogueTables.back().tableName))
            InsertDeletedRowsNode(ui, table);
        if (!found.note.empty()) ui.AppendLogLine(found.note);
    }

    const std::u16string databaseName = ObjectNameFromFileName(PathComponentText(folder));
    TreeItem viewsNode = kNoTreeItem;
    for (size_t i = 0; i < catalogue.dictionaryViews.size(); ++i) {
        const CDictionaryView& view = catalogue.dictionaryViews[i];
        if (view.schema != databaseName) continue;
        if (viewsNode == kNoTreeItem)
            viewsNode =
                InsertNode(ui, kViewsNodeText, TreeImage::kViews, databaseNode, ItemData::kViews);
        InsertNode(ui, view.name, TreeImage::kFolder, viewsNode,
                   kDictionaryItemBase + 1 + static_cast<int64_t>(i));
    }
    TreeItem triggersNode = kNoTreeItem;
    const std::vector<CDictionaryTrigger>& triggers = catalogue.dictionaryTriggers;
    for (size_t i = 0; i < triggers.size(); ++i) {
        if (triggers[i].schema != databaseName) continue;
        if (i > 0 && triggers[i - 1].schema == databaseName &&
            triggers[i - 1].table == triggers[i].table)
            continue;  // one node per table, as per .TRG file
        if (triggersNode == kNoTreeItem)
            triggersNode = InsertNode(ui, kTriggersNodeText, TreeImage::kTriggers, databaseNode,
                                      ItemData::kTriggers);
        InsertNode(ui, triggers[i].table, TreeImage::kFolder, triggersNode,
                   kDictionaryItemBase + 1 + static_cast<int64_t>(i));
    }
}

void ReadMysqlDictionary(CCatalogue& catalogue, CUiOperations& ui, CAppState& app,
                         const std::filesystem::path& dataPath) {
    const std::filesystem::path mysqlIbd = dataPath / "mysql.ibd";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(mysqlIbd, ec)) return;
    CDictionaryObjects objects = ReadDictionaryObjects(mysqlIbd, app);
    // Views in the order of their names, as a folder lists view files.
    std::stable_sort(objects.views.begin(), objects.views.end(),
                     [](const CDictionaryView& a, const CDictionaryView& b) {
                         return LessIgnoringAsciiCase(a.name, b.name);
                     });
    catalogue.dictionaryViews = std::move(objects.views);
    catalogue.dictionaryTriggers = std::move(objects.triggers);
    catalogue.databaseCollations = std::move(objects.schemaCollations);
    for (const std::u16string& finding : objects.findings) ui.AppendLogLine(finding);
}

}  // namespace brix
