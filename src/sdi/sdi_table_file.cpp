#include "sdi/sdi_table_file.h"

#include <algorithm>
#include <mutex>

#include "app/file_names.h"
#include "app/object_names.h"
#include "app/read_only_file.h"
#include "app/text.h"
#include "sdi/sdi_reader.h"

namespace brix {

namespace {

char16_t LowerAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool EndsWithIgnoringCase(std::u16string_view text, std::u16string_view tail) {
    if (text.size() < tail.size()) return false;
    return std::equal(tail.begin(), tail.end(), text.end() - static_cast<ptrdiff_t>(tail.size()),
                      [](char16_t a, char16_t b) { return LowerAscii(a) == LowerAscii(b); });
}

// Position of the first "#p#" (any case) in name, npos when none.
size_t FindPartitionMarker(std::u16string_view name) {
    for (size_t i = 0; i + 3 <= name.size(); ++i)
        if (name[i] == u'#' && LowerAscii(name[i + 1]) == u'p' && name[i + 2] == u'#') return i;
    return std::u16string_view::npos;
}

// The files of folder sorted by name, so that the first of several partitions
// is the same on every system.
std::vector<std::filesystem::path> SortedFiles(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && !typeError) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The first table object of a tablespace's dictionary information that reads.
bool ReadFromTablespace(const std::filesystem::path& ibd, const CAppState& app, CTableDef& table,
                        SdiTableInfo& info) {
    for (const SdiObject& object : ReadSdi(ibd).objects) {
        if (object.type != kSdiTypeTable) continue;
        std::string problem;
        if (TableDefFromSdi(object.json, app, table, info, problem)) return true;
    }
    return false;
}

}  // namespace

std::u16string TableNameOfTablespaceFile(std::u16string_view fileName) {
    if (!EndsWithIgnoringCase(fileName, u".ibd")) return {};
    std::u16string_view stem = fileName.substr(0, fileName.size() - 4);
    const size_t marker = FindPartitionMarker(stem);
    if (marker != std::u16string_view::npos) stem = stem.substr(0, marker);
    return std::u16string(stem);
}

std::u16string SdiFilePrefix(std::u16string_view fileName) {
    if (!EndsWithIgnoringCase(fileName, u".sdi")) return {};
    const std::u16string_view stem = fileName.substr(0, fileName.size() - 4);
    const size_t underscore = stem.rfind(u'_');
    if (underscore == std::u16string_view::npos || underscore == 0 || underscore + 1 == stem.size())
        return {};
    for (size_t i = underscore + 1; i < stem.size(); ++i)
        if (stem[i] < u'0' || stem[i] > u'9') return {};
    return std::u16string(stem.substr(0, underscore));
}

std::string ReadSdiFile(const std::filesystem::path& path) {
    CReadOnlyFile file;
    if (!file.Open(path) || file.Length() > kMaxSdiJson) return {};
    const std::vector<uint8_t> bytes = file.ReadAll(kMaxSdiJson);
    if (file.Failed()) return {};
    return std::string(bytes.begin(), bytes.end());
}

bool ReadTableDefinitionFromSdi(const std::filesystem::path& databaseFolder,
                                std::u16string_view tableName, const CAppState& app,
                                CTableDef& table, SdiTableInfo& info,
                                std::filesystem::path* source) {
    table.Reset();
    info = {};
    if (tableName.empty()) return false;
    const std::filesystem::path own = FindStorageFile(databaseFolder, tableName, "ibd");
    if (!own.empty() && ReadFromTablespace(own, app, table, info)) {
        if (source) *source = own;
        return true;
    }
    // Partitions and .sdi files: the first that holds the table.
    const std::u16string objectName = ObjectNameFromFileName(tableName);
    for (const std::filesystem::path& file : SortedFiles(databaseFolder)) {
        const std::u16string fileName = PathComponentText(file);
        bool found = false;
        if (FindPartitionMarker(fileName) != std::u16string::npos) {
            found = TableNameOfTablespaceFile(fileName) == tableName &&
                    ReadFromTablespace(file, app, table, info);
        } else {
            // The prefix is the first characters of the table's name.
            const std::u16string prefix = SdiFilePrefix(fileName);
            if (prefix.empty() || (!objectName.starts_with(ObjectNameFromFileName(prefix)) &&
                                   !tableName.starts_with(prefix)))
                continue;
            std::string problem;
            found = TableDefFromSdi(ReadSdiFile(file), app, table, info, problem) &&
                    (info.name == objectName || info.name == tableName);
        }
        if (found) {
            if (source) *source = file;
            return true;
        }
        table.Reset();
        info = {};
    }
    std::filesystem::path folder = databaseFolder;
    if (!folder.has_filename()) folder = folder.parent_path();
    return ReadSharedTablespaceDefinition(DataDirectoryOf(databaseFolder),
                                          ObjectNameFromFileName(PathComponentText(folder)),
                                          tableName, app, table, info, source);
}

std::filesystem::path DataDirectoryOf(const std::filesystem::path& databaseFolder) {
    std::filesystem::path folder = databaseFolder;
    if (!folder.has_filename()) folder = folder.parent_path();
    return folder.parent_path();
}

namespace {

// A table object of a general tablespace, with the names it gives.
struct SharedObject {
    std::filesystem::path file;
    std::u16string schema;
    std::u16string name;
    bool hidden = false;
    std::string json;
};

// The table objects of the general tablespaces of a data directory. A scan
// asks once per database folder, and mysql.ibd holds dozens of objects: the
// last directory's are kept while its files keep their sizes and times.
class CSharedObjectCache {
  public:
    std::vector<SharedObject> Objects(const std::filesystem::path& dataDir, const CAppState& app) {
        std::vector<std::filesystem::path> files;
        std::string signature = dataDir.string();
        for (const std::filesystem::path& file : SortedFiles(dataDir)) {
            if (!EndsWithIgnoringCase(PathComponentText(file), u".ibd")) continue;
            std::error_code ec;
            const auto size = std::filesystem::file_size(file, ec);
            const auto time = std::filesystem::last_write_time(file, ec);
            signature += '|';
            signature += file.filename().string();
            signature += ':';
            signature += std::to_string(size);
            signature += ':';
            signature += std::to_string(time.time_since_epoch().count());
            files.push_back(file);
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (signature == signature_) return objects_;
        }
        std::vector<SharedObject> objects;
        for (const std::filesystem::path& file : files) {
            const SdiReadResult sdi = ReadSdi(file);
            if (!sdi.flags.valid || !sdi.flags.shared) continue;
            for (const SdiObject& object : sdi.objects) {
                if (object.type != kSdiTypeTable) continue;
                CTableDef table;
                SdiTableInfo info;
                std::string problem;
                if (!TableDefFromSdi(object.json, app, table, info, problem) || info.name.empty() ||
                    info.schema.empty())
                    continue;
                objects.push_back(
                    {file, std::move(info.schema), std::move(info.name), info.hidden, object.json});
            }
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        signature_ = std::move(signature);
        objects_ = objects;
        return objects;
    }

  private:
    std::mutex mutex_;
    std::string signature_;
    std::vector<SharedObject> objects_;
};

CSharedObjectCache& SharedObjects() {
    static CSharedObjectCache cache;
    return cache;
}

}  // namespace

std::vector<SharedTablespaceTable> FindSharedTablespaceTables(const std::filesystem::path& dataDir,
                                                              const CAppState& app) {
    std::vector<SharedTablespaceTable> found;
    if (dataDir.empty()) return found;
    for (SharedObject& object : SharedObjects().Objects(dataDir, app))
        if (!object.hidden)
            found.push_back(
                {std::move(object.file), std::move(object.schema), std::move(object.name)});
    return found;
}

bool ReadSharedTablespaceDefinition(const std::filesystem::path& dataDir,
                                    std::u16string_view schema, std::u16string_view tableName,
                                    const CAppState& app, CTableDef& table, SdiTableInfo& info,
                                    std::filesystem::path* source) {
    table.Reset();
    info = {};
    if (tableName.empty() || dataDir.empty()) return false;
    const std::u16string objectName = ObjectNameFromFileName(tableName);
    for (const SharedObject& object : SharedObjects().Objects(dataDir, app)) {
        if (object.schema != schema || (object.name != objectName && object.name != tableName))
            continue;
        std::string problem;
        if (TableDefFromSdi(object.json, app, table, info, problem)) {
            if (source) *source = object.file;
            return true;
        }
    }
    table.Reset();
    info = {};
    return false;
}

}  // namespace brix
