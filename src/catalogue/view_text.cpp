#include "catalogue/view_text.h"

#include <algorithm>
#include <cctype>
#include <span>
#include <vector>

#include "app/app_state.h"
#include "app/object_names.h"
#include "app/read_only_file.h"
#include "app/text.h"
#include "catalogue/catalogue.h"
#include "catalogue/definition_file.h"
#include "catalogue/script_safety.h"

namespace brix {

namespace {

constexpr size_t kMaxViewFileSize = size_t{16} << 20;
constexpr char16_t kAlgorithmKey[] = u"algorithm=";
constexpr char16_t kDefinerUserKey[] = u"definer_user=";
constexpr char16_t kDefinerHostKey[] = u"definer_host=";
constexpr char16_t kSecurityKey[] = u"suid=";
constexpr char16_t kCheckOptionKey[] = u"with_check_option=";

// A small number of a key's line; fallback when the line is missing, -1
// when it holds anything else.
int SmallNumber(std::u16string_view text, std::u16string_view key, int fallback) {
    const std::u16string value = DefinitionValue(text, key);
    if (value.empty()) return fallback;
    if (value.size() > 3) return -1;
    int number = 0;
    for (char16_t c : value) {
        if (c < u'0' || c > u'9') return -1;
        number = number * 10 + (c - u'0');
    }
    return number;
}

bool StartsWithKeyword(std::u16string_view text, std::u16string_view keyword) {
    if (text.size() < keyword.size()) return false;
    for (size_t i = 0; i < keyword.size(); ++i) {
        char16_t c = text[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        if (c != keyword[i]) return false;
    }
    if (text.size() == keyword.size()) return true;
    const char16_t after = text[keyword.size()];
    return !((after >= u'a' && after <= u'z') || (after >= u'A' && after <= u'Z') ||
             (after >= u'0' && after <= u'9') || after == u'_');
}

bool IsQuery(std::u16string_view query) {
    while (!query.empty() && (query.front() == u' ' || query.front() == u'\n' ||
                              query.front() == u'\t' || query.front() == u'\r'))
        query.remove_prefix(1);
    if (query.starts_with(u'(')) return true;
    for (std::u16string_view keyword : {u"SELECT", u"WITH", u"VALUES", u"TABLE"})
        if (StartsWithKeyword(query, keyword)) return true;
    return false;
}

// The bytes of the first line that starts with key, without the key and a
// line-end CR, with the file's escapes (\\, \', \n, \0, \z) undone.
std::vector<uint8_t> RawValue(std::span<const uint8_t> bytes, std::string_view key) {
    std::vector<uint8_t> value;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = start;
        while (end < bytes.size() && bytes[end] != '\n') ++end;
        std::span<const uint8_t> line = bytes.subspan(start, end - start);
        if (line.size() >= key.size() &&
            std::equal(key.begin(), key.end(), line.begin(),
                       [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; })) {
            line = line.subspan(key.size());
            if (!line.empty() && line.back() == '\r') line = line.first(line.size() - 1);
            for (size_t i = 0; i < line.size(); ++i) {
                if (line[i] != '\\') {
                    value.push_back(line[i]);
                    continue;
                }
                if (++i == line.size()) break;
                switch (line[i]) {
                    case 'n':
                        value.push_back('\n');
                        break;
                    case '0':
                        value.push_back(0);
                        break;
                    case 'z':
                        value.push_back(26);
                        break;
                    default:
                        value.push_back(line[i]);
                        break;
                }
            }
            return value;
        }
        start = end + 1;
    }
    return value;
}

bool IsUtf8Charset(std::string_view name) {
    return name == "utf8" || name == "utf8mb3" || name == "utf8mb4";
}

// The bytes a string literal of the query stands for, its backslash escapes
// and doubled quotes undone.
std::vector<uint8_t> LiteralBytes(std::span<const uint8_t> content, uint8_t quote) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < content.size(); ++i) {
        if (content[i] == quote && i + 1 < content.size() && content[i + 1] == quote) {
            out.push_back(quote);
            ++i;
        } else if (content[i] == '\\' && i + 1 < content.size()) {
            const uint8_t c = content[++i];
            switch (c) {
                case '0':
                    out.push_back(0);
                    break;
                case 'b':
                    out.push_back(8);
                    break;
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'Z':
                    out.push_back(26);
                    break;
                case '%':
                case '_':
                    out.push_back('\\');
                    out.push_back(c);
                    break;
                default:
                    out.push_back(c);
                    break;
            }
        } else {
            out.push_back(content[i]);
        }
    }
    return out;
}

// The query of a view file as text: UTF-8, as the server writes it, except
// the strings that a character-set introducer (_latin1'...') says are in
// another set and that hold more than ASCII: they become hex literals of the
// same bytes (_latin1 X'E9'), which mean the same in a script of any
// character set. One pass.
std::u16string DecodeQuery(std::span<const uint8_t> raw) {
    std::u16string out;
    size_t code = 0;  // where the text not yet appended starts
    std::string introducer;
    size_t i = 0;
    while (i < raw.size()) {
        const uint8_t c = raw[i];
        if (c == '`') {
            for (++i; i < raw.size(); ++i) {
                if (raw[i] != '`') continue;
                if (i + 1 < raw.size() && raw[i + 1] == '`') {
                    ++i;
                    continue;
                }
                break;
            }
            ++i;
            introducer.clear();
            continue;
        }
        if (c == '_' && (i == 0 || !(std::isalnum(raw[i - 1]) || raw[i - 1] == '_'))) {
            size_t end = i + 1;
            while (end < raw.size() && (std::isalnum(raw[end]) || raw[end] == '_')) ++end;
            introducer.assign(reinterpret_cast<const char*>(raw.data()) + i + 1, end - i - 1);
            i = end;
            while (i < raw.size() && raw[i] == ' ') ++i;
            if (i >= raw.size() || raw[i] != '\'') introducer.clear();
            continue;
        }
        if (c != '\'' && c != '"') {
            ++i;
            if (c != ' ') introducer.clear();
            continue;
        }
        size_t end = i + 1;
        while (end < raw.size()) {
            if (raw[end] == '\\') {
                end += 2;
            } else if (raw[end] == c && end + 1 < raw.size() && raw[end + 1] == c) {
                end += 2;
            } else if (raw[end] == c) {
                break;
            } else {
                ++end;
            }
        }
        end = std::min(end, raw.size());
        const std::span<const uint8_t> content = raw.subspan(i + 1, end - i - 1);
        bool ascii = true;
        for (uint8_t b : content) ascii = ascii && b < 0x80;
        if (c == '\'' && !introducer.empty() && !IsUtf8Charset(introducer) && !ascii) {
            // The literal's own bytes as hex, "_latin1 X'E9'": an introducer
            // says which set the bytes are in, so they must reach the server
            // as they are, whatever the script's own character set.
            AppendUtf8(out, raw.subspan(code, i - code));
            static constexpr char16_t kHex[] = u"0123456789ABCDEF";
            if (!out.empty() && out.back() != u' ') out.push_back(u' ');
            out += u"X'";
            for (uint8_t b : LiteralBytes(content, c)) {
                out.push_back(kHex[b >> 4]);
                out.push_back(kHex[b & 15]);
            }
            out.push_back(u'\'');
            i = std::min(end + 1, raw.size());
            code = i;
            introducer.clear();
            continue;
        }
        i = std::min(end + 1, raw.size());
        introducer.clear();
    }
    AppendUtf8(out, raw.subspan(code));
    return out;
}

}  // namespace

std::optional<CViewDefinition> ReadViewDefinition(const std::filesystem::path& path,
                                                  const CAppState& app, CDamageSink* damage) {
    const std::optional<std::u16string> text = ReadDefinitionFile(path, app, damage);
    if (!text) return std::nullopt;
    CheckDefinitionFileShape(path, *text, u"VIEW", damage);
    CViewDefinition view;
    {
        CReadOnlyFile file;
        if (file.Open(path))
            view.query = DecodeQuery(RawValue(file.ReadAll(kMaxViewFileSize), "query="));
    }
    view.algorithm = SmallNumber(*text, kAlgorithmKey, 0);
    view.definerUser = UnescapeDefinitionText(DefinitionValue(*text, kDefinerUserKey));
    view.definerHost = UnescapeDefinitionText(DefinitionValue(*text, kDefinerHostKey));
    view.security = SmallNumber(*text, kSecurityKey, 2);
    view.checkOption = SmallNumber(*text, kCheckOptionKey, 0);
    if (view.query.empty()) ReportDefinitionDamage(damage, path, "view definition holds no query");
    const auto checkClause = [&](int value, const char* why) {
        if (value < 0 || value > 2) ReportDefinitionDamage(damage, path, why);
    };
    checkClause(view.algorithm, "view definition names an unknown algorithm");
    checkClause(view.security, "view definition names an unknown SQL SECURITY");
    checkClause(view.checkOption, "view definition names an unknown CHECK OPTION");
    return view;
}

std::u16string ViewStatement(const CViewDefinition& view, std::u16string_view name,
                             std::u16string& problem) {
    static constexpr std::u16string_view kAlgorithms[] = {u"UNDEFINED", u"MERGE", u"TEMPTABLE"};
    static constexpr std::u16string_view kSecurity[] = {u"INVOKER", u"DEFINER", u"DEFINER"};
    static constexpr std::u16string_view kCheckOptions[] = {u"", u" WITH LOCAL CHECK OPTION",
                                                            u" WITH CASCADED CHECK OPTION"};
    if (view.algorithm < 0 || view.algorithm > 2) {
        problem = u"its file names an unknown algorithm";
        return {};
    }
    if (view.security < 0 || view.security > 2) {
        problem = u"its file names an unknown SQL SECURITY";
        return {};
    }
    if (view.checkOption < 0 || view.checkOption > 2) {
        problem = u"its file names an unknown CHECK OPTION";
        return {};
    }
    if (!IsQuery(view.query)) {
        problem = u"its file holds no query";
        return {};
    }
    // The script's session reads backslash escapes, and so does the client.
    problem = ScriptTextProblem(view.query, true, false);
    if (!problem.empty()) {
        problem = u"its query cannot go into a script safely: " + problem;
        return {};
    }
    std::u16string statement = u"CREATE ALGORITHM=";
    statement += kAlgorithms[view.algorithm];
    if (!view.definerUser.empty()) {
        statement += u" DEFINER=";
        AppendQuotedName(statement, view.definerUser);
        statement.push_back(u'@');
        AppendQuotedName(statement, view.definerHost);
    }
    statement += u" SQL SECURITY ";
    statement += kSecurity[view.security];
    statement += u" VIEW ";
    AppendQuotedName(statement, name);
    if (!view.columnNames.empty()) {
        statement += u" (";
        for (size_t i = 0; i < view.columnNames.size(); ++i) {
            if (i > 0) statement.push_back(u',');
            AppendQuotedName(statement, view.columnNames[i]);
        }
        statement.push_back(u')');
    }
    statement += u" AS ";
    statement += view.query;
    statement += kCheckOptions[view.checkOption];
    return statement;
}

std::u16string ViewText(const std::filesystem::path& path, const CAppState& app) {
    const std::u16string fileName = PathComponentText(path);
    const size_t dot = fileName.rfind(u'.');
    const std::u16string viewName = ObjectNameFromFileName(
        dot == std::u16string::npos ? std::u16string() : fileName.substr(0, dot));
    const std::optional<CViewDefinition> view = ReadViewDefinition(path, app);
    if (!view) return {};
    std::u16string problem;
    std::u16string statement = ViewStatement(*view, viewName, problem);
    if (!statement.empty()) statement.push_back(u';');
    return statement;
}

}  // namespace brix
