#include "save/save_objects.h"

#include <algorithm>
#include <array>
#include <system_error>

#include "app/object_names.h"
#include "app/read_only_file.h"

namespace brix {

namespace {

constexpr std::array<uint8_t, 2> kTableMagic = {0xFE, 0x01};
constexpr std::string_view kViewMagic = "TYPE=VIEW";

char16_t LowerAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool LessIgnoringCase(const std::filesystem::path& a, const std::filesystem::path& b) {
    const std::u16string x = a.filename().u16string();
    const std::u16string y = b.filename().u16string();
    return std::lexicographical_compare(
        x.begin(), x.end(), y.begin(), y.end(),
        [](char16_t p, char16_t q) { return LowerAscii(p) < LowerAscii(q); });
}

std::u16string LowerExtension(const std::filesystem::path& file) {
    std::u16string extension = file.extension().u16string();
    for (char16_t& c : extension) c = LowerAscii(c);
    return extension;
}

std::vector<std::filesystem::path> Entries(const std::filesystem::path& folder, bool folders) {
    std::vector<std::filesystem::path> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code ignored;
        if (it->is_directory(ignored) == folders) entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end(), LessIgnoringCase);
    return entries;
}

// The tables, views and trigger files of one database folder: tables first,
// then views, then triggers, each in name order.
void ListDatabase(const std::filesystem::path& folder, std::vector<CSaveObject>& out) {
    std::vector<CSaveObject> views;
    std::vector<CSaveObject> triggers;
    for (const std::filesystem::path& file : Entries(folder, false)) {
        const std::u16string extension = LowerExtension(file);
        if (extension == u".trg") {
            triggers.push_back({SaveObjectKind::kTrigger, folder, file});
            continue;
        }
        if (extension != u".frm") continue;
        CReadOnlyFile frm;
        if (!frm.Open(file)) continue;
        const std::vector<uint8_t> head = frm.ReadAll(kViewMagic.size());
        if (head.size() >= kTableMagic.size() &&
            std::equal(kTableMagic.begin(), kTableMagic.end(), head.begin())) {
            out.push_back({SaveObjectKind::kTable, folder, file});
        } else if (head.size() == kViewMagic.size() &&
                   std::equal(kViewMagic.begin(), kViewMagic.end(), head.begin())) {
            views.push_back({SaveObjectKind::kView, folder, file});
        }
    }
    out.insert(out.end(), views.begin(), views.end());
    out.insert(out.end(), triggers.begin(), triggers.end());
}

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

bool NameMatches(std::u16string_view wanted, const std::u16string& realName,
                 const std::u16string& fileName) {
    return wanted == realName || wanted == fileName;
}

}  // namespace

std::u16string CSaveObject::DatabaseName() const {
    std::filesystem::path folder = databaseFolder;
    if (!folder.has_filename()) folder = folder.parent_path();
    return ObjectNameFromFileName(folder.filename().u16string());
}

std::u16string CSaveObject::Name() const {
    return ObjectNameFromFileName(FileStem());
}

std::u16string CSaveObject::FileStem() const {
    return file.stem().u16string();
}

std::vector<CSaveObject> ListSaveObjects(const std::filesystem::path& dataDir) {
    std::vector<CSaveObject> objects;
    for (const std::filesystem::path& folder : Entries(dataDir, true))
        ListDatabase(folder, objects);
    if (objects.empty()) ListDatabase(dataDir, objects);
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
        std::u16string name;
        const bool wholeDatabase = parts.size() == 1;
        if (parts.size() >= 3 && (parts[1] == u"Views" || parts[1] == u"Trigger")) {
            kind = parts[1] == u"Views" ? SaveObjectKind::kView : SaveObjectKind::kTrigger;
            parts.erase(parts.begin() + 1);
        }
        for (size_t i = 1; i < parts.size(); ++i) {
            if (i > 1) name.push_back(u'/');
            name += parts[i];
        }
        bool found = false;
        for (size_t i = 0; i < all.size(); ++i) {
            const CSaveObject& object = all[i];
            std::filesystem::path folder = object.databaseFolder;
            if (!folder.has_filename()) folder = folder.parent_path();
            if (!NameMatches(parts[0], object.DatabaseName(), folder.filename().u16string()))
                continue;
            if (!wholeDatabase &&
                (object.kind != kind || !NameMatches(name, object.Name(), object.FileStem())))
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
