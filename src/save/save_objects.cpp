#include "save/save_objects.h"

#include "app/object_names.h"
#include "catalogue/catalogue.h"

namespace brix {

namespace {

std::vector<std::u16string> SplitPath(std::u16string_view text) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    for (;;) {
        const size_t slash = text.find(u'/', start);
        parts.emplace_back(text.substr(start, slash - start));
        if (slash == std::u16string_view::npos) return parts;
        start = slash + 1;
    }
}

CSaveObject TableObject(const CCatalogue& catalogue, const CatalogueTable& entry) {
    CSaveObject object;
    object.kind = SaveObjectKind::kTable;
    object.databaseFolder = catalogue.databaseFolders[static_cast<size_t>(entry.databaseNumber)];
    object.file = object.databaseFolder / std::filesystem::path(entry.tableName + u".frm");
    return object;
}

CSaveObject ViewObject(const std::filesystem::path& file) {
    CSaveObject object;
    object.kind = SaveObjectKind::kView;
    object.databaseFolder = file.parent_path();
    object.file = file;
    return object;
}

CSaveObject TriggerObject(const CatalogueTrigger& entry) {
    CSaveObject object;
    object.kind = SaveObjectKind::kTrigger;
    object.databaseFolder = entry.folderPath;
    object.file = entry.folderPath / std::filesystem::path(entry.fileName);
    return object;
}

// The folder of the database named schema; empty when the scan found none.
std::filesystem::path FolderOfSchema(const CCatalogue& catalogue, const std::u16string& schema) {
    for (const std::filesystem::path& folder : catalogue.databaseFolders) {
        std::filesystem::path named = folder;
        if (!named.has_filename()) named = named.parent_path();
        if (ObjectNameFromFileName(PathComponentText(named)) == schema) return folder;
    }
    return {};
}

std::optional<CSaveObject> DictionaryViewObject(const CCatalogue& catalogue, size_t index) {
    if (index >= catalogue.dictionaryViews.size()) return std::nullopt;
    const CDictionaryView& view = catalogue.dictionaryViews[index];
    CSaveObject object;
    object.kind = SaveObjectKind::kView;
    object.databaseFolder = FolderOfSchema(catalogue, view.schema);
    if (object.databaseFolder.empty()) return std::nullopt;
    object.file = object.databaseFolder / std::filesystem::path(view.name + u".frm");
    object.dictionaryView = std::make_shared<const CViewDefinition>(view.definition);
    return object;
}

// The triggers of the table of the dictionary trigger at first.
std::optional<CSaveObject> DictionaryTriggerObject(const CCatalogue& catalogue, size_t first) {
    const std::vector<CDictionaryTrigger>& triggers = catalogue.dictionaryTriggers;
    if (first >= triggers.size()) return std::nullopt;
    const CDictionaryTrigger& head = triggers[first];
    CSaveObject object;
    object.kind = SaveObjectKind::kTrigger;
    object.databaseFolder = FolderOfSchema(catalogue, head.schema);
    if (object.databaseFolder.empty()) return std::nullopt;
    object.file = object.databaseFolder / std::filesystem::path(head.table + u".TRG");
    for (size_t i = first; i < triggers.size() && triggers[i].schema == head.schema &&
                           triggers[i].table == head.table;
         ++i)
        object.dictionaryTriggers.push_back(triggers[i].definition);
    return object;
}

bool HasDatabase(const CCatalogue& catalogue, const CatalogueTable& entry) {
    return entry.databaseNumber >= 0 &&
           static_cast<size_t>(entry.databaseNumber) < catalogue.databaseFolders.size();
}

}  // namespace

std::u16string CSaveObject::FolderName() const {
    std::filesystem::path folder = databaseFolder;
    if (!folder.has_filename()) folder = folder.parent_path();
    return PathComponentText(folder);
}

std::u16string CSaveObject::FileStem() const {
    const std::u16string name = PathComponentText(file);
    const size_t dot = name.rfind(u'.');
    return dot == std::u16string::npos ? name : name.substr(0, dot);
}

std::u16string CSaveObject::DatabaseName() const {
    return ObjectNameFromFileName(FolderName());
}

std::u16string CSaveObject::Name() const {
    return ObjectNameFromFileName(FileStem());
}

std::optional<CSaveObject> SaveObjectOfNode(const CCatalogue& catalogue, int64_t itemData,
                                            int64_t parentItemData) {
    if (itemData < 1) return std::nullopt;
    if (itemData > kDictionaryItemBase) {
        const size_t entry = static_cast<size_t>(itemData - kDictionaryItemBase - 1);
        if (parentItemData == ItemData::kTriggers) return DictionaryTriggerObject(catalogue, entry);
        if (parentItemData == ItemData::kViews) return DictionaryViewObject(catalogue, entry);
        return std::nullopt;
    }
    const size_t index = static_cast<size_t>(itemData - 1);
    if (parentItemData == ItemData::kTriggers) {
        if (index >= catalogue.catalogueTriggers.size()) return std::nullopt;
        return TriggerObject(catalogue.catalogueTriggers[index]);
    }
    if (parentItemData == ItemData::kViews) {
        if (index >= catalogue.catalogueViews.size()) return std::nullopt;
        return ViewObject(catalogue.catalogueViews[index]);
    }
    if (index >= catalogue.catalogueTables.size() ||
        !HasDatabase(catalogue, catalogue.catalogueTables[index]))
        return std::nullopt;
    return TableObject(catalogue, catalogue.catalogueTables[index]);
}

std::vector<CSaveObject> SaveObjectsOfCatalogue(const CCatalogue& catalogue) {
    std::vector<CSaveObject> objects;
    for (const CatalogueTable& entry : catalogue.catalogueTables)
        if (HasDatabase(catalogue, entry)) objects.push_back(TableObject(catalogue, entry));
    for (const std::filesystem::path& view : catalogue.catalogueViews)
        objects.push_back(ViewObject(view));
    for (const CatalogueTrigger& entry : catalogue.catalogueTriggers)
        objects.push_back(TriggerObject(entry));
    for (size_t i = 0; i < catalogue.dictionaryViews.size(); ++i)
        if (auto view = DictionaryViewObject(catalogue, i)) objects.push_back(std::move(*view));
    const std::vector<CDictionaryTrigger>& triggers = catalogue.dictionaryTriggers;
    for (size_t i = 0; i < triggers.size(); ++i) {
        if (i > 0 && triggers[i - 1].schema == triggers[i].schema &&
            triggers[i - 1].table == triggers[i].table)
            continue;
        if (auto trigger = DictionaryTriggerObject(catalogue, i))
            objects.push_back(std::move(*trigger));
    }
    for (CSaveObject& object : objects) {
        const auto found = catalogue.databaseCollations.find(object.DatabaseName());
        if (found != catalogue.databaseCollations.end()) object.databaseCollation = found->second;
    }
    return objects;
}

std::vector<CSaveObject> SelectSaveObjects(const std::vector<CSaveObject>& all,
                                           const std::vector<std::u16string>& selection,
                                           std::vector<std::u16string>& missing) {
    std::vector<CSaveObject> chosen;
    std::vector<bool> taken(all.size(), false);
    for (const std::u16string& wanted : selection) {
        std::vector<std::u16string> parts = SplitPath(wanted);
        SaveObjectKind kind = SaveObjectKind::kTable;
        const bool wholeDatabase = parts.size() == 1;
        if (parts.size() >= 3 && (parts[1] == u"Views" || parts[1] == u"Trigger")) {
            kind = parts[1] == u"Views" ? SaveObjectKind::kView : SaveObjectKind::kTrigger;
            parts.erase(parts.begin() + 1);
        }
        std::u16string name;
        for (size_t i = 1; i < parts.size(); ++i) {
            if (i > 1) name.push_back(u'/');
            name += parts[i];
        }
        bool found = false;
        for (size_t i = 0; i < all.size(); ++i) {
            const CSaveObject& object = all[i];
            if (parts[0] != object.DatabaseName() && parts[0] != object.FolderName()) continue;
            if (!wholeDatabase &&
                (object.kind != kind || (name != object.Name() && name != object.FileStem())))
                continue;
            found = true;
            if (taken[i]) continue;
            taken[i] = true;
            chosen.push_back(object);
        }
        if (!found) missing.push_back(wanted);
    }
    return chosen;
}

}  // namespace brix
