#include "save/mariadb_translation.h"

#include <algorithm>
#include <array>
#include <utility>

#include "app/text.h"
#include "catalogue/script_safety.h"
#include "save/sql_text.h"
#include "schema/field_types.h"
#include "values/temporal.h"

namespace brix {

namespace {

// MySQL's language tags of the 0900 collations, and the rules MariaDB's
// uca1400 collations have for the same language (or the one whose rules it
// follows: Norwegian as Danish, Bosnian and Serbian in Latin letters as
// Croatian). Languages MariaDB has no rules for sort by the root rules.
constexpr std::array<std::pair<std::u16string_view, std::u16string_view>, 24> kLanguages{{
    {u"de_pb", u"german2"}, {u"is", u"icelandic"},     {u"lv", u"latvian"},
    {u"ro", u"romanian"},   {u"sl", u"slovenian"},     {u"pl", u"polish"},
    {u"et", u"estonian"},   {u"es", u"spanish"},       {u"sv", u"swedish"},
    {u"tr", u"turkish"},    {u"cs", u"czech"},         {u"da", u"danish"},
    {u"lt", u"lithuanian"}, {u"sk", u"slovak"},        {u"es_trad", u"spanish2"},
    {u"la", u"roman"},      {u"eo", u"esperanto"},     {u"hu", u"hungarian"},
    {u"hr", u"croatian"},   {u"vi", u"vietnamese"},    {u"nb", u"danish"},
    {u"nn", u"danish"},     {u"sr_latn", u"croatian"}, {u"bs", u"croatian"},
}};

// Languages of the 0900 family that MariaDB has no rules for.
constexpr std::array<std::u16string_view, 6> kRootLanguages{u"ja", u"zh", u"ru",
                                                            u"bg", u"gl", u"mn_cyrl"};

// The sensitivity suffixes of the 0900 family, as uca1400 writes them: the
// Japanese kana-sensitive one has no match and is taken as accent- and
// case-sensitive.
constexpr std::array<std::pair<std::u16string_view, std::u16string_view>, 4> kSensitivities{{
    {u"ai_ci", u"ai_ci"},
    {u"as_ci", u"as_ci"},
    {u"as_cs", u"as_cs"},
    {u"as_cs_ks", u"as_cs"},
}};

// Functions MySQL has and MariaDB 10.11 does not, as DEFAULT expressions
// may call them.
constexpr std::array<std::u16string_view, 10> kMySqlOnlyFunctions{
    u"uuid_to_bin",           u"bin_to_uuid",       u"is_uuid",
    u"regexp_like",           u"json_schema_valid", u"json_schema_validation_report",
    u"json_storage_size",     u"json_storage_free", u"statement_digest",
    u"statement_digest_text",
};

std::optional<CCollationName> Utf8mb4Collation(std::u16string_view collation) {
    constexpr std::u16string_view kPrefix = u"utf8mb4_";
    constexpr std::u16string_view kFamily = u"0900_";
    if (!collation.starts_with(kPrefix)) return std::nullopt;
    std::u16string_view rest = collation.substr(kPrefix.size());
    const size_t family = rest.find(kFamily);
    if (family == std::u16string_view::npos) return std::nullopt;
    std::u16string_view language = rest.substr(0, family);
    const std::u16string_view sensitivity = rest.substr(family + kFamily.size());
    if (!language.empty()) {
        if (language.back() != u'_') return std::nullopt;
        language.remove_suffix(1);
    }
    if (language.empty() && sensitivity == u"bin")
        return CCollationName{u"utf8mb4", u"utf8mb4_nopad_bin"};
    const auto suffix = std::find_if(kSensitivities.begin(), kSensitivities.end(),
                                     [&](const auto& s) { return s.first == sensitivity; });
    if (suffix == kSensitivities.end()) return std::nullopt;
    std::u16string name = u"utf8mb4_uca1400_";
    if (!language.empty()) {
        const auto rules = std::find_if(kLanguages.begin(), kLanguages.end(),
                                        [&](const auto& l) { return l.first == language; });
        if (rules != kLanguages.end()) {
            name += rules->second;
            name.push_back(u'_');
        } else if (std::find(kRootLanguages.begin(), kRootLanguages.end(), language) ==
                   kRootLanguages.end()) {
            return std::nullopt;
        }
    }
    name += u"nopad_";
    name += suffix->second;
    return CCollationName{u"utf8mb4", std::move(name)};
}

bool IsIdentifierCharacter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'$';
}

char16_t Lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// The first function of kMySqlOnlyFunctions that expression calls (a name
// not inside a longer name, followed by "(" after optional spaces); empty
// when it calls none. Text in quotes is looked at too: a string that merely
// holds such a call leaves out a default that would have loaded, which is the
// safe side.
std::u16string_view MySqlOnlyFunctionIn(std::u16string_view expression) {
    for (std::u16string_view function : kMySqlOnlyFunctions) {
        for (size_t at = 0; at + function.size() <= expression.size(); ++at) {
            bool same = true;
            for (size_t i = 0; i < function.size() && same; ++i)
                same = Lower(expression[at + i]) == function[i];
            if (!same) continue;
            if (at > 0 && IsIdentifierCharacter(expression[at - 1])) continue;
            size_t after = at + function.size();
            while (after < expression.size() && expression[after] == u' ') ++after;
            if (after < expression.size() && expression[after] == u'(') return function;
        }
    }
    return {};
}

const CollationInfo* FindCollation(const CollationTable& collations, int32_t number) {
    if (number <= 0) return nullptr;
    const auto found = collations.find(static_cast<uint32_t>(number));
    return found == collations.end() ? nullptr : &found->second;
}

bool HasCharacterSet(const CColumnDef& column) {
    if (column.charsetNumber == kBinaryCharset) return false;
    return IsStringType(column.type) || IsBlobType(column.type) ||
           column.type == FieldType::kEnum || column.type == FieldType::kSet;
}

// "utf8mb4_0900_ai_ci is written as utf8mb4_uca1400_nopad_ai_ci" for a
// collation MariaDB lacks; empty otherwise.
std::u16string CollationChange(const CollationInfo& info) {
    const std::optional<CCollationName> substitute = MariaDbCollation(info.text2, info.text1);
    if (!substitute) return {};
    std::u16string text = info.text1 + u" is written as " + substitute->collation;
    if (substitute->charset != info.text2)
        text += u" (character set " + info.text2 + u" as " + substitute->charset + u")";
    return text;
}

}  // namespace

std::optional<CCollationName> MariaDbCollation(std::u16string_view charset,
                                               std::u16string_view collation) {
    if (charset == u"utf8mb4") return Utf8mb4Collation(collation);
    if (charset == u"gb18030") {
        if (collation == u"gb18030_bin") return CCollationName{u"utf8mb4", u"utf8mb4_bin"};
        if (collation == u"gb18030_chinese_ci" || collation == u"gb18030_unicode_520_ci")
            return CCollationName{u"utf8mb4", u"utf8mb4_unicode_520_ci"};
        return std::nullopt;
    }
    if ((charset == u"utf8mb3" || charset == u"utf8") && collation.ends_with(u"_tolower_ci"))
        return CCollationName{std::u16string(charset), std::u16string(charset) + u"_general_ci"};
    return std::nullopt;
}

std::vector<std::u16string> DictionaryDefaultClauses(const CTableDef& table) {
    std::vector<std::u16string> clauses(table.columns.size());
    for (size_t c = 0; c < table.columns.size(); ++c) {
        const CColumnDef& column = table.columns[c];
        std::u16string& clause = clauses[c];
        if (column.isVirtual || column.isStoredGenerated ||
            column.uniregType == CColumnDef::kAutoIncrement)
            continue;
        std::u16string now = u"CURRENT_TIMESTAMP";
        if (const int digits = TemporalFractionDigits(column); digits > 0)
            now += u"(" + WidenAscii(std::to_string(digits)) + u")";
        const bool defaultNow = column.uniregType == CColumnDef::kTimestampDefault ||
                                column.uniregType == CColumnDef::kTimestampDefaultAndOnUpdate;
        const bool updateNow = column.uniregType == CColumnDef::kTimestampOnUpdate ||
                               column.uniregType == CColumnDef::kTimestampDefaultAndOnUpdate;
        const bool binary = column.charsetNumber == kBinaryCharset &&
                            (IsStringType(column.type) || IsBlobType(column.type));
        if (!column.defaultExpression.empty()) {
            // An expression the client or the server could read as more
            // than an expression is left out (the column gets no default).
            if (ExpressionTextProblem(column.defaultExpression).empty())
                clause = u" DEFAULT (" + column.defaultExpression + u")";
        } else if (defaultNow) {
            clause = u" DEFAULT " + now;
        } else if (column.hasDictionaryDefault && column.dictionaryDefaultNull) {
            clause = u" DEFAULT NULL";
        } else if (column.hasDictionaryDefault && column.type != FieldType::kBit && !binary &&
                   !IsBlobType(column.type) && column.type != FieldType::kGeometry &&
                   column.type != FieldType::kJson) {
            clause = u" DEFAULT ";
            AppendValueLiteral(clause, column, column.dictionaryDefault, false);
        }
        if (updateNow) clause += u" ON UPDATE " + now;
    }
    return clauses;
}

std::u16string DatabaseCollationOptions(int32_t number, const CollationTable& collations,
                                        std::u16string& note) {
    note.clear();
    const CollationInfo* info = FindCollation(collations, number);
    if (!info) return {};
    const std::optional<CCollationName> substitute = MariaDbCollation(info->text2, info->text1);
    const std::u16string& charset = substitute ? substitute->charset : info->text2;
    const std::u16string& collation = substitute ? substitute->collation : info->text1;
    // Only names of our own list of sets go into the statement.
    if (!IsKnownCollationPair(charset, collation)) return {};
    if (substitute)
        note = u"its default collation " + CollationChange(*info) +
               u", the nearest collation MariaDB 10.11 has";
    return u" CHARACTER SET " + charset + u" COLLATE " + collation;
}

std::u16string MariaDbSqlMode(std::u16string_view modes, std::u16string& leftOut) {
    static constexpr std::u16string_view kMySqlOnlyModes[] = {u"TIME_TRUNCATE_FRACTIONAL"};
    leftOut.clear();
    std::u16string kept;
    while (!modes.empty()) {
        const size_t comma = modes.find(u',');
        const std::u16string_view mode = modes.substr(0, comma);
        modes =
            comma == std::u16string_view::npos ? std::u16string_view() : modes.substr(comma + 1);
        if (mode.empty()) continue;
        const bool mysqlOnly = std::find(std::begin(kMySqlOnlyModes), std::end(kMySqlOnlyModes),
                                         mode) != std::end(kMySqlOnlyModes);
        std::u16string& list = mysqlOnly ? leftOut : kept;
        if (!list.empty()) list.push_back(u',');
        list += mode;
    }
    return kept;
}

std::vector<std::u16string> AdaptDefinitionForMariaDb(CTableDef& table,
                                                      std::vector<std::u16string>& defaults,
                                                      const CollationTable& collations) {
    std::vector<std::u16string> notes;
    if (const CollationInfo* info = FindCollation(collations, table.tableCharset)) {
        if (const std::u16string change = CollationChange(*info); !change.empty())
            notes.push_back(u"its default collation " + change +
                            u", the nearest collation MariaDB 10.11 has");
    }
    for (size_t c = 0; c < table.columns.size(); ++c) {
        CColumnDef& column = table.columns[c];
        if (HasCharacterSet(column)) {
            if (const CollationInfo* info = FindCollation(collations, column.charsetNumber)) {
                if (const std::u16string change = CollationChange(*info); !change.empty())
                    notes.push_back(u"column " + column.name + u": collation " + change +
                                    u", the nearest collation MariaDB 10.11 has");
            }
        }
        if (!column.defaultExpression.empty()) {
            const std::u16string_view function = MySqlOnlyFunctionIn(column.defaultExpression);
            if (!function.empty()) {
                notes.push_back(u"column " + column.name + u": its DEFAULT expression calls " +
                                std::u16string(function) +
                                u", which MariaDB 10.11 does not have; it is left out");
                column.defaultExpression.clear();
                if (c < defaults.size()) defaults[c].clear();
            }
        }
        if (column.type == FieldType::kGeometry && column.srid >= 0)
            notes.push_back(u"column " + column.name + u": its SRID " +
                            WidenAscii(std::to_string(column.srid)) +
                            u" is kept as REF_SYSTEM_ID, which MariaDB records but does not "
                            u"check values against");
        if (column.type == FieldType::kJson)
            notes.push_back(u"column " + column.name +
                            u": JSON is MariaDB's JSON, a LONGTEXT whose values JSON_VALID "
                            u"checks; the values go in as their text");
    }
    std::vector<CKeyDef> kept;
    for (CKeyDef& key : table.keys) {
        if (key.flags & CKeyDef::kExpressionParts) {
            notes.push_back(u"key " + key.name +
                            u" indexes an expression (a functional key part), which MariaDB "
                            u"10.11 cannot index; it is left out");
            continue;
        }
        kept.push_back(std::move(key));
    }
    table.keys = std::move(kept);
    return notes;
}

namespace {

bool IsAsciiDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Where the quoted text that starts at at (a quote character) ends: just
// past its closing quote, or the text's end when it has none. A doubled
// quote stays inside; so does an escaped one where backslashes escape.
size_t QuotedEnd(std::u16string_view text, size_t at, bool backslashEscapes) {
    const char16_t quote = text[at];
    for (size_t i = at + 1; i < text.size(); ++i) {
        if (backslashEscapes && quote != u'`' && text[i] == u'\\') {
            ++i;
            continue;
        }
        if (text[i] != quote) continue;
        if (i + 1 < text.size() && text[i + 1] == quote) {
            ++i;
            continue;
        }
        return i + 1;
    }
    return text.size();
}

// Where the code of a version comment whose code starts at at ends: at its
// closing "*/" outside quoted text, or the text's end.
size_t VersionCommentEnd(std::u16string_view text, size_t at, bool backslashEscapes) {
    size_t i = at;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c == u'\'' || c == u'"' || c == u'`') {
            i = QuotedEnd(text, i, backslashEscapes);
        } else if (c == u'*' && i + 1 < text.size() && text[i + 1] == u'/') {
            return i;
        } else {
            ++i;
        }
    }
    return text.size();
}

}  // namespace

size_t DisarmMySqlVersionComments(std::u16string& statement, bool noBackslashEscapes) {
    const bool escapes = !noBackslashEscapes;
    std::u16string out;
    out.reserve(statement.size());
    size_t changed = 0;
    size_t i = 0;
    const std::u16string_view text(statement);
    // Each round moves i on by at least one character.
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c == u'\'' || c == u'"' || c == u'`') {
            const size_t end = QuotedEnd(text, i, escapes);
            out.append(text.substr(i, end - i));
            i = end;
            continue;
        }
        const bool lineComment =
            c == u'#' || (c == u'-' && text.substr(i).starts_with(u"--") &&
                          (i + 2 == text.size() || text[i + 2] == u' ' || text[i + 2] == u'\t' ||
                           text[i + 2] == u'\n' || text[i + 2] == u'\r'));
        if (lineComment) {
            size_t end = text.find(u'\n', i);
            end = end == std::u16string_view::npos ? text.size() : end;
            out.append(text.substr(i, end - i));
            i = end;
            continue;
        }
        if (!text.substr(i).starts_with(u"/*")) {
            out.push_back(c);
            ++i;
            continue;
        }
        if (i + 2 >= text.size() || text[i + 2] != u'!') {
            // A plain comment: copied to its end.
            size_t end = text.find(u"*/", i + 2);
            end = end == std::u16string_view::npos ? text.size() : end + 2;
            out.append(text.substr(i, end - i));
            i = end;
            continue;
        }
        size_t digits = 0;
        while (i + 3 + digits < text.size() && digits < 7 && IsAsciiDigit(text[i + 3 + digits]))
            ++digits;
        uint32_t number = 0;
        for (size_t d = 0; d < digits; ++d)
            number = number * 10 + static_cast<uint32_t>(text[i + 3 + d] - u'0');
        const bool disarm = (digits == 5 && number >= 80000) || digits == 6;
        if (!disarm) {
            // Code MariaDB runs as MySQL did: the marker is kept and what
            // follows is read as code.
            out.append(text.substr(i, 3));
            i += 3;
            continue;
        }
        const size_t codeEnd = VersionCommentEnd(text, i + 3, escapes);
        out += u"/* !";
        for (size_t at = i + 3; at < codeEnd; ++at) {
            out.push_back(text[at]);
            // "*/" inside the old comment's quoted text would end the new one.
            if (text[at] == u'*' && at + 1 < codeEnd && text[at + 1] == u'/') out.push_back(u' ');
        }
        out += u"*/";
        i = codeEnd < text.size() ? codeEnd + 2 : codeEnd;
        ++changed;
    }
    if (changed > 0) statement = std::move(out);
    return changed;
}

}  // namespace brix
