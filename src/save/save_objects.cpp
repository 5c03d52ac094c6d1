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
    return {SaveObjectKind::kView, file.parent_path(), file};
}

CSaveObject TriggerObject(const CatalogueTrigger& entry) {
    return {SaveObjectKind::kTrigger, entry.folderPath,
            entry.folderPath / std::filesystem::path(entry.fileName)};
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
