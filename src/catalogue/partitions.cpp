#include "catalogue/partitions.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>

#include "app/file_names.h"
#include "app/read_only_file.h"
#include "app/text.h"
#include "sdi/sdi_table.h"

namespace brix {

namespace {

constexpr size_t kParWord = 4;
constexpr size_t kParPartCount = 2 * kParWord;  // after the length and the checksum
constexpr size_t kParEngines = 3 * kParWord;
// Far more than a .par of kMaxPartitions long names needs.
constexpr uint64_t kMaxParBytes = 4u << 20;

char16_t LowerAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return LowerAscii(x) == LowerAscii(y); });
}

// Position of the first "#p#" (any case) in name, npos when none.
size_t FindMarker(std::u16string_view name, std::u16string_view marker) {
    for (size_t i = 0; i + marker.size() <= name.size(); ++i)
        if (EqualIgnoringCase(name.substr(i, marker.size()), marker)) return i;
    return std::u16string_view::npos;
}

// a before b with runs of digits compared as numbers: "p2" before "p10".
bool NaturalLess(std::u16string_view a, std::u16string_view b) {
    size_t i = 0;
    size_t j = 0;
    const auto digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            size_t ei = i;
            size_t ej = j;
            while (ei < a.size() && a[ei] == u'0') ++ei;
            while (ej < b.size() && b[ej] == u'0') ++ej;
            size_t ni = ei;
            size_t nj = ej;
            while (ni < a.size() && digit(a[ni])) ++ni;
            while (nj < b.size() && digit(b[nj])) ++nj;
            if (ni - ei != nj - ej) return ni - ei < nj - ej;
            const int order = a.substr(ei, ni - ei).compare(b.substr(ej, nj - ej));
            if (order != 0) return order < 0;
            i = ni;
            j = nj;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

bool IsIdentifierChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'$' || c >= 0x80;
}

// The data files' extensions of a partition.
bool IsDataExtension(std::u16string_view extension) {
    return EqualIgnoringCase(extension, u".ibd") || EqualIgnoringCase(extension, u".MYD") ||
           EqualIgnoringCase(extension, u".MYI");
}

std::vector<std::u16string> ReadParFile(const std::filesystem::path& path) {
    CReadOnlyFile file;
    if (!file.Open(path) || file.Length() > kMaxParBytes) return {};
    const std::vector<uint8_t> bytes = file.ReadAll(kMaxParBytes);
    if (file.Failed()) return {};
    return ReadParNames(bytes);
}

// The leaf partition of one object of a "partitions" or "subpartitions"
// array, with its first index's root and id.
CSdiPartition SdiLeaf(const nlohmann::json& object) {
    CSdiPartition leaf;
    const auto name = object.find("name");
    if (name != object.end() && name->is_string())
        leaf.name = Utf8ToUtf16(name->get_ref<const std::string&>());
    const auto own = object.find("se_private_data");
    if (own != object.end() && own->is_string()) {
        const uint64_t before =
            DecimalOption(OptionValue(own->get_ref<const std::string&>(), "instant_col"));
        leaf.instantColumnsBefore = before <= 4096 ? static_cast<uint32_t>(before) : 0;
    }
    const auto indexes = object.find("indexes");
    if (indexes == object.end() || !indexes->is_array() || indexes->empty()) return leaf;
    const nlohmann::json& first = indexes->front();
    if (!first.is_object()) return leaf;
    const auto data = first.find("se_private_data");
    if (data == first.end() || !data->is_string()) return leaf;
    const std::string_view options = data->get_ref<const std::string&>();
    const uint64_t root = DecimalOption(OptionValue(options, "root"));
    leaf.root = root <= 0xFFFFFFFFu ? static_cast<uint32_t>(root) : 0;
    leaf.indexId = DecimalOption(OptionValue(options, "id"));
    return leaf;
}

}  // namespace

std::vector<CSdiPartition> PartitionsInSdi(std::string_view json) {
    std::vector<CSdiPartition> leaves;
    const nlohmann::json document = nlohmann::json::parse(json, nullptr, false);
    if (!document.is_object()) return leaves;
    const auto object = document.find("dd_object");
    if (object == document.end() || !object->is_object()) return leaves;
    const auto partitions = object->find("partitions");
    if (partitions == object->end() || !partitions->is_array()) return leaves;
    for (const nlohmann::json& partition : *partitions) {
        if (!partition.is_object() || leaves.size() >= kMaxPartitions) continue;
        const auto subs = partition.find("subpartitions");
        if (subs != partition.end() && subs->is_array() && !subs->empty()) {
            for (const nlohmann::json& sub : *subs)
                if (sub.is_object() && leaves.size() < kMaxPartitions)
                    leaves.push_back(SdiLeaf(sub));
        } else {
            leaves.push_back(SdiLeaf(partition));
        }
    }
    return leaves;
}

std::vector<std::u16string> ReadParNames(ByteSpan bytes) {
    if (bytes.size() < kParEngines) return {};
    const size_t count = LoadU32le(bytes, kParPartCount);
    if (count == 0 || count > kMaxPartitions) return {};
    const size_t namesLengthAt = kParEngines + (count + kParWord - 1) / kParWord * kParWord;
    if (namesLengthAt + kParWord > bytes.size()) return {};
    const size_t namesAt = namesLengthAt + kParWord;
    const size_t namesLength =
        std::min<size_t>(LoadU32le(bytes, namesLengthAt), bytes.size() - namesAt);
    std::vector<std::u16string> names;
    size_t at = namesAt;
    const size_t end = namesAt + namesLength;
    while (names.size() < count && at < end) {
        size_t stop = at;
        while (stop < end && bytes[stop] != 0) ++stop;
        if (stop == end || stop == at) return {};  // unterminated or empty: not a name list
        names.push_back(Utf8ToUtf16(
            std::string_view(reinterpret_cast<const char*>(bytes.data() + at), stop - at)));
        at = stop + 1;
    }
    if (names.size() != count) return {};
    return names;
}

std::vector<std::u16string> PartitionNamesInClause(std::u16string_view clause) {
    std::vector<std::u16string> names;
    size_t i = 0;
    const size_t n = clause.size();
    // Reads the identifier at i (quoted or not), or an empty one.
    const auto identifier = [&]() {
        std::u16string word;
        if (i < n && (clause[i] == u'`' || clause[i] == u'"')) {
            const char16_t quote = clause[i++];
            while (i < n) {
                if (clause[i] == quote) {
                    if (i + 1 < n && clause[i + 1] == quote) {
                        word += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                word += clause[i++];
            }
            return word;
        }
        while (i < n && IsIdentifierChar(clause[i])) word += clause[i++];
        return word;
    };
    int depth = 0;
    while (i < n && names.size() < kMaxPartitions) {
        const char16_t c = clause[i];
        if (c == u'\'') {
            // A string value: skipped whole, doubled quotes and escapes kept in.
            ++i;
            while (i < n && clause[i] != u'\'') i += clause[i] == u'\\' ? 2 : 1;
            ++i;
            continue;
        }
        if (c == u'(') {
            ++depth;
            ++i;
            continue;
        }
        if (c == u')') {
            --depth;
            ++i;
            continue;
        }
        if (c == u'`' || c == u'"' || !IsIdentifierChar(c)) {
            if (c == u'`' || c == u'"')
                identifier();
            else
                ++i;
            continue;
        }
        const std::u16string word = identifier();
        // The partition list is the first level of parentheses; the
        // subpartitions of a partition sit one level deeper.
        if (depth == 1 && EqualIgnoringCase(word, u"PARTITION")) {
            while (i < n && clause[i] == u' ') ++i;
            std::u16string name = identifier();
            if (!name.empty()) names.push_back(std::move(name));
        }
    }
    return names;
}

std::vector<CPartitionFile> ListPartitions(const std::filesystem::path& databaseFolder,
                                           std::u16string_view tableName,
                                           std::u16string_view clause,
                                           const std::vector<CSdiPartition>& ordered) {
    std::vector<CPartitionFile> parts;
    if (tableName.empty()) return parts;
    std::filesystem::path par = FindStorageFile(databaseFolder, tableName, "par");
    std::vector<std::u16string> names =
        par.empty() ? std::vector<std::u16string>{} : ReadParFile(par);
    if (!names.empty()) {
        for (std::u16string& name : names) {
            std::u16string stem(tableName);
            stem += u"#P#";
            stem += name;
            parts.push_back(CPartitionFile{std::move(name), std::move(stem)});
        }
        return parts;
    }
    // The partition files on disk: "NAME#P#PART" and "NAME#P#PART#SP#SUB",
    // the markers in any case.
    std::set<std::u16string> stems;
    std::error_code ec;
    std::filesystem::directory_iterator it(databaseFolder, ec);
    for (size_t seen = 0; !ec && it != std::filesystem::directory_iterator() && seen < 1000000;
         it.increment(ec), ++seen) {
        const std::u16string fileName = PathComponentText(it->path());
        const size_t dot = fileName.rfind(u'.');
        if (dot == std::u16string::npos || !IsDataExtension(fileName.substr(dot))) continue;
        const std::u16string_view stem = std::u16string_view(fileName).substr(0, dot);
        if (stem.size() <= tableName.size() + 3 || stem.substr(0, tableName.size()) != tableName ||
            !EqualIgnoringCase(stem.substr(tableName.size(), 3), u"#p#"))
            continue;
        if (stems.size() < kMaxPartitions) stems.insert(std::u16string(stem));
    }
    std::vector<CPartitionFile> found;
    for (const std::u16string& stem : stems)
        found.push_back(CPartitionFile{stem.substr(tableName.size() + 3), stem});
    if (!ordered.empty()) {
        // The leaf names of a dictionary ("p0" or "sub" of a subpartition)
        // against the file names, whose subpartition part follows "#sp#".
        const auto leafName = [](std::u16string_view name) {
            const size_t sub = FindMarker(name, u"#sp#");
            return sub == std::u16string_view::npos ? name : name.substr(sub + 4);
        };
        for (const CSdiPartition& wanted : ordered) {
            const auto match =
                std::find_if(found.begin(), found.end(), [&](const CPartitionFile& part) {
                    return EqualIgnoringCase(leafName(part.name), wanted.name);
                });
            if (match != found.end()) {
                parts.push_back(*match);
            } else {
                std::u16string stem(tableName);
                stem += u"#p#";
                stem += wanted.name;
                parts.push_back(CPartitionFile{wanted.name, std::move(stem)});
            }
            parts.back().root = wanted.root;
            parts.back().indexId = wanted.indexId;
            parts.back().instantColumnsBefore = wanted.instantColumnsBefore;
        }
        return parts;
    }
    const std::vector<std::u16string> order = PartitionNamesInClause(clause);
    const auto rank = [&](const CPartitionFile& part) {
        const size_t sub = FindMarker(part.name, u"#sp#");
        const std::u16string_view top = std::u16string_view(part.name).substr(0, sub);
        for (size_t i = 0; i < order.size(); ++i)
            if (EqualIgnoringCase(order[i], top)) return i;
        return order.size();
    };
    std::stable_sort(found.begin(), found.end(),
                     [&](const CPartitionFile& a, const CPartitionFile& b) {
                         const size_t ra = rank(a);
                         const size_t rb = rank(b);
                         if (ra != rb) return ra < rb;
                         return NaturalLess(a.name, b.name);
                     });
    return found;
}

}  // namespace brix
