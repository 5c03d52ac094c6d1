#include "catalogue/definition_file.h"

#include <algorithm>
#include <span>
#include <system_error>

#include "app/app_state.h"
#include "app/file_names.h"
#include "app/read_only_file.h"
#include "app/text.h"

namespace brix {

namespace {

constexpr size_t kMaxDefinitionFileSize = size_t{16} << 20;

}  // namespace

void ReportDefinitionDamage(CDamageSink* damage, const std::filesystem::path& path, std::string why,
                            int64_t offset) {
    if (!damage) return;
    DamageFinding finding;
    finding.file = PathUtf8(path);
    finding.offset = offset;
    finding.what = DamageWhat::kDefinition;
    finding.why = std::move(why);
    damage->Report(std::move(finding));
}

void CheckDefinitionFileShape(const std::filesystem::path& path, std::u16string_view text,
                              std::u16string_view kind, CDamageSink* damage) {
    if (text.empty()) {
        ReportDefinitionDamage(damage, path, "definition file is empty");
        return;
    }
    const std::u16string_view firstLine = text.substr(0, text.find(u'\n'));
    std::u16string expected = u"TYPE=";
    expected += kind;
    std::u16string_view type = firstLine;
    if (type.ends_with(u'\r')) type.remove_suffix(1);
    if (type != expected)
        ReportDefinitionDamage(damage, path,
                               "definition file does not start with TYPE=" + Utf16ToUtf8(kind), 0);
    if (text.back() != u'\n')
        ReportDefinitionDamage(damage, path,
                               "definition file is cut short: its last line has no end");
}

std::optional<std::u16string> ReadDefinitionFile(const std::filesystem::path& path,
                                                 const CAppState& app, CDamageSink* damage) {
    CReadOnlyFile file;
    if (!file.Open(path)) {
        std::error_code ec;
        if (!path.empty() && std::filesystem::exists(path, ec))
            ReportDefinitionDamage(damage, path, "definition file cannot be read");
        return std::nullopt;
    }
    const std::vector<uint8_t> bytes = file.ReadAll(kMaxDefinitionFileSize);
    if (file.Failed()) ReportDefinitionDamage(damage, path, "definition file cannot be read");
    std::u16string text;
    std::span<const uint8_t> rest(bytes);
    while (!rest.empty()) {
        size_t end = 0;
        while (end < rest.size() && rest[end] != '\n') ++end;
        if (end < rest.size()) ++end;  // the line feed goes with its line
        const std::span<const uint8_t> line = rest.first(end);
        if (IsValidUtf8(line)) {
            AppendUtf8(text, line);
        } else {
            app.decoders().Ansi().Append(line, text, false);
        }
        rest = rest.subspan(end);
    }
    return text;
}

std::u16string DefinitionValue(std::u16string_view text, std::u16string_view key) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string_view::npos) end = text.size();
        std::u16string_view line = text.substr(start, end - start);
        if (line.starts_with(key)) {
            line.remove_prefix(key.size());
            if (line.ends_with(u'\r')) line.remove_suffix(1);
            return std::u16string(line);
        }
        start = end + 1;
    }
    return {};
}

std::u16string UnescapeDefinitionText(std::u16string_view escaped) {
    std::u16string out;
    out.reserve(escaped.size());
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != u'\\') {
            out.push_back(escaped[i]);
            continue;
        }
        if (++i == escaped.size()) break;
        switch (escaped[i]) {
            case u'n':
                out.push_back(u'\n');
                break;
            case u'0':
                out.push_back(u'\0');
                break;
            case u'z':
                out.push_back(char16_t{26});
                break;
            default:  // \\ and \' among them
                out.push_back(escaped[i]);
                break;
        }
    }
    return out;
}

std::vector<std::u16string> DefinitionList(std::u16string_view value) {
    std::vector<std::u16string> items;
    size_t i = 0;
    while (i < value.size()) {
        if (value[i] == u' ') {
            ++i;
            continue;
        }
        if (value[i] != u'\'') {
            const size_t end = std::min(value.find(u' ', i), value.size());
            items.emplace_back(value.substr(i, end - i));
            i = end;
            continue;
        }
        size_t end = i + 1;
        while (end < value.size() && value[end] != u'\'') end += value[end] == u'\\' ? 2 : 1;
        end = std::min(end, value.size());
        items.push_back(UnescapeDefinitionText(value.substr(i + 1, end - i - 1)));
        i = end + 1;
    }
    return items;
}

}  // namespace brix
