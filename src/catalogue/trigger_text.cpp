#include "catalogue/trigger_text.h"

#include <optional>
#include <string>

#include "app/app_state.h"
#include "app/object_names.h"
#include "app/text.h"
#include "catalogue/catalogue.h"
#include "catalogue/definition_file.h"
#include "catalogue/script_safety.h"

namespace brix {

namespace {

constexpr char16_t kTriggersKey[] = u"triggers=";
constexpr char16_t kSqlModesKey[] = u"sql_modes=";
constexpr char16_t kScriptSqlMode[] = u"NO_AUTO_VALUE_ON_ZERO";

// The server's sql_mode bits in order, from bit 0.
constexpr std::u16string_view kSqlModeBits[] = {
    u"REAL_AS_FLOAT",
    u"PIPES_AS_CONCAT",
    u"ANSI_QUOTES",
    u"IGNORE_SPACE",
    u"IGNORE_BAD_TABLE_OPTIONS",
    u"ONLY_FULL_GROUP_BY",
    u"NO_UNSIGNED_SUBTRACTION",
    u"NO_DIR_IN_CREATE",
    u"POSTGRESQL",
    u"ORACLE",
    u"MSSQL",
    u"DB2",
    u"MAXDB",
    u"NO_KEY_OPTIONS",
    u"NO_TABLE_OPTIONS",
    u"NO_FIELD_OPTIONS",
    u"MYSQL323",
    u"MYSQL40",
    u"ANSI",
    u"NO_AUTO_VALUE_ON_ZERO",
    u"NO_BACKSLASH_ESCAPES",
    u"STRICT_TRANS_TABLES",
    u"STRICT_ALL_TABLES",
    u"NO_ZERO_IN_DATE",
    u"NO_ZERO_DATE",
    u"ALLOW_INVALID_DATES",
    u"ERROR_FOR_DIVISION_BY_ZERO",
    u"TRADITIONAL",
    u"NO_AUTO_CREATE_USER",
    u"HIGH_NOT_PRECEDENCE",
    u"NO_ENGINE_SUBSTITUTION",
    u"PAD_CHAR_TO_FULL_LENGTH",
    u"EMPTY_STRING_IS_NULL",
    u"SIMULTANEOUS_ASSIGNMENT",
    u"TIME_ROUND_FRACTIONAL",
};

constexpr uint64_t kNoBackslashEscapesBit = uint64_t{1} << 20;

char16_t UpperAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool SameNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

bool IsWordChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'$' || c >= 0x80;
}

enum class TokenKind { kEnd, kWord, kQuotedName, kString, kOther };

struct CHeaderToken {
    TokenKind kind = TokenKind::kEnd;
    std::u16string text;  // a word as written, a quoted name or string undone
};

// Reads the head of a CREATE TRIGGER statement token by token: words,
// backquoted names, quoted strings (as in a definer 'u'@'h') and single
// characters, with white space between them.
class CHeaderReader {
  public:
    explicit CHeaderReader(std::u16string_view text) : text_(text) {}

    CHeaderToken Next() {
        while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
        CHeaderToken token;
        if (at_ >= text_.size()) return token;
        const char16_t c = text_[at_];
        if (c == u'`' || c == u'\'' || c == u'"') {
            token.kind = c == u'`' ? TokenKind::kQuotedName : TokenKind::kString;
            for (++at_; at_ < text_.size(); ++at_) {
                if (text_[at_] == u'\\' && c != u'`' && at_ + 1 < text_.size()) {
                    token.text.push_back(text_[++at_]);
                } else if (text_[at_] == c) {
                    if (at_ + 1 < text_.size() && text_[at_ + 1] == c) {
                        token.text.push_back(c);
                        ++at_;
                    } else {
                        ++at_;
                        return token;
                    }
                } else {
                    token.text.push_back(text_[at_]);
                }
            }
            token.kind = TokenKind::kEnd;  // not closed
            return token;
        }
        if (IsWordChar(c)) {
            token.kind = TokenKind::kWord;
            while (at_ < text_.size() && IsWordChar(text_[at_])) token.text.push_back(text_[at_++]);
            return token;
        }
        token.kind = TokenKind::kOther;
        token.text.push_back(c);
        ++at_;
        return token;
    }

    // Where the next token starts, white space skipped.
    size_t Rest() {
        while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
        return at_;
    }

  private:
    std::u16string_view text_;
    size_t at_ = 0;
};

bool IsKeyword(const CHeaderToken& token, std::u16string_view keyword) {
    return token.kind == TokenKind::kWord && SameNameIgnoringCase(token.text, keyword);
}

bool IsName(const CHeaderToken& token) {
    return token.kind == TokenKind::kWord || token.kind == TokenKind::kQuotedName;
}

// A name, maybe qualified by a database ("db.name"); the token after it is
// left in next.
struct CQualifiedName {
    std::u16string database;
    std::u16string name;
    bool valid = false;
};

CQualifiedName ReadQualifiedName(CHeaderReader& reader, CHeaderToken& next) {
    CQualifiedName result;
    CHeaderToken first = reader.Next();
    if (!IsName(first)) return result;
    next = reader.Next();
    if (next.kind == TokenKind::kOther && next.text == u".") {
        CHeaderToken second = reader.Next();
        if (!IsName(second)) return result;
        result.database = std::move(first.text);
        result.name = std::move(second.text);
        next = reader.Next();
    } else {
        result.name = std::move(first.text);
    }
    result.valid = !result.name.empty();
    return result;
}

// Parses one CREATE TRIGGER statement of the file; a message in problem
// when it cannot be taken.
std::optional<CTriggerDefinition> ParseTrigger(std::u16string_view statement,
                                               std::u16string_view database,
                                               std::u16string_view table, bool noBackslashEscapes,
                                               std::u16string& problem) {
    CHeaderReader reader(statement);
    CHeaderToken token = reader.Next();
    if (!IsKeyword(token, u"CREATE")) {
        problem = u"its statement is not a CREATE TRIGGER statement";
        return std::nullopt;
    }
    // Everything up to the TRIGGER keyword (OR REPLACE, the definer) is left
    // out: the trigger is created by the account that loads it. The walk is
    // bounded by the statement's length.
    do {
        token = reader.Next();
    } while (token.kind != TokenKind::kEnd && !IsKeyword(token, u"TRIGGER"));
    if (token.kind == TokenKind::kEnd) {
        problem = u"its statement has no TRIGGER keyword";
        return std::nullopt;
    }
    CHeaderToken next;
    CQualifiedName name = ReadQualifiedName(reader, next);
    if (name.valid && IsKeyword({TokenKind::kWord, name.name}, u"IF") && name.database.empty() &&
        IsKeyword(next, u"NOT")) {
        if (!IsKeyword(reader.Next(), u"EXISTS")) name.valid = false;
        if (name.valid) name = ReadQualifiedName(reader, next);
    }
    if (!name.valid) {
        problem = u"its statement names no trigger";
        return std::nullopt;
    }
    CTriggerDefinition trigger;
    trigger.name = name.name;
    if (trigger.name.find(u'\0') != std::u16string::npos) {
        problem = u"its name holds a zero character";
        return std::nullopt;
    }
    if (!name.database.empty() && name.database != database) {
        problem = u"its statement puts it into another database";
        return std::nullopt;
    }
    const CHeaderToken timing = next;
    if (!IsKeyword(timing, u"BEFORE") && !IsKeyword(timing, u"AFTER")) {
        problem = u"its statement has no BEFORE or AFTER";
        return std::nullopt;
    }
    const CHeaderToken event = reader.Next();
    if (!IsKeyword(event, u"INSERT") && !IsKeyword(event, u"UPDATE") &&
        !IsKeyword(event, u"DELETE")) {
        problem = u"its statement has no INSERT, UPDATE or DELETE";
        return std::nullopt;
    }
    if (!IsKeyword(reader.Next(), u"ON")) {
        problem = u"its statement has no ON";
        return std::nullopt;
    }
    CQualifiedName onTable = ReadQualifiedName(reader, next);
    if (!onTable.valid || !SameNameIgnoringCase(onTable.name, table) ||
        (!onTable.database.empty() && onTable.database != database)) {
        problem = u"its statement is on another table than that of its file";
        return std::nullopt;
    }
    if (!IsKeyword(next, u"FOR") || !IsKeyword(reader.Next(), u"EACH") ||
        !IsKeyword(reader.Next(), u"ROW")) {
        problem = u"its statement has no FOR EACH ROW";
        return std::nullopt;
    }
    std::u16string statementText = u"TRIGGER ";
    statementText += u'`';
    for (char16_t c : trigger.name) statementText += c == u'`' ? u"``" : std::u16string(1, c);
    statementText += u"` ";
    for (char16_t c : timing.text) statementText.push_back(UpperAscii(c));
    statementText.push_back(u' ');
    for (char16_t c : event.text) statementText.push_back(UpperAscii(c));
    statementText += u" ON `";
    for (char16_t c : table) statementText += c == u'`' ? u"``" : std::u16string(1, c);
    statementText += u"` FOR EACH ROW ";
    // FOLLOWS and PRECEDES name another trigger of the same table.
    size_t bodyAt = reader.Rest();
    CHeaderReader order(statement.substr(bodyAt));
    const CHeaderToken orderWord = order.Next();
    if (IsKeyword(orderWord, u"FOLLOWS") || IsKeyword(orderWord, u"PRECEDES")) {
        const CHeaderToken other = order.Next();
        if (!IsName(other)) {
            problem = u"its statement names no trigger after " + orderWord.text;
            return std::nullopt;
        }
        for (char16_t c : orderWord.text) statementText.push_back(UpperAscii(c));
        statementText += u" `";
        for (char16_t c : other.text) statementText += c == u'`' ? u"``" : std::u16string(1, c);
        statementText += u"` ";
        bodyAt += order.Rest();
    }
    trigger.body = std::u16string(statement.substr(bodyAt));
    while (!trigger.body.empty() && IsSpace(trigger.body.back())) trigger.body.pop_back();
    if (trigger.body.empty()) {
        problem = u"its statement has no body";
        return std::nullopt;
    }
    problem = ScriptTextProblem(trigger.body, false, noBackslashEscapes);
    if (!problem.empty()) {
        problem = u"its body cannot go into a script safely: " + problem;
        return std::nullopt;
    }
    trigger.statement = statementText + trigger.body;
    return trigger;
}

// A name for messages and comments: quoted, with every character that is not
// printable ASCII written as "?", so that no name can end a comment line.
std::u16string SafeNameForMessage(std::u16string_view name) {
    std::u16string out = u"`";
    for (char16_t c : name) {
        if (c < 0x20 || c >= 0x7F) {
            out.push_back(u'?');
        } else {
            if (c == u'`') out.push_back(u'`');
            out.push_back(c);
        }
    }
    out.push_back(u'`');
    return out;
}

// The trigger's own name from its statement, for a message about it; "?"
// when even that cannot be read.
std::u16string NameForMessage(std::u16string_view statement) {
    CHeaderReader reader(statement);
    for (CHeaderToken token = reader.Next(); token.kind != TokenKind::kEnd; token = reader.Next()) {
        if (!IsKeyword(token, u"TRIGGER")) continue;
        const CHeaderToken name = reader.Next();
        if (IsName(name)) return SafeNameForMessage(name.text);
        break;
    }
    return u"?";
}

std::optional<uint64_t> ParseUnsigned(std::u16string_view text) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - u'0');
    }
    return value;
}

}  // namespace

std::u16string SqlModeNames(uint64_t bits) {
    std::u16string names;
    for (size_t bit = 0; bit < std::size(kSqlModeBits); ++bit) {
        if ((bits & (uint64_t{1} << bit)) == 0) continue;
        if (!names.empty()) names.push_back(u',');
        names += kSqlModeBits[bit];
    }
    return names;
}

CTriggerFile ReadTriggerFile(const std::filesystem::path& path, const CAppState& app,
                             CDamageSink* damage) {
    CTriggerFile file;
    const std::optional<std::u16string> text = ReadDefinitionFile(path, app, damage);
    if (!text) return file;
    CheckDefinitionFileShape(path, *text, u"TRIGGERS", damage);
    const std::u16string table = ObjectNameFromFileName(PathComponentText(path.stem()));
    const std::u16string database =
        ObjectNameFromFileName(PathComponentText(path.parent_path().filename()));
    const std::vector<std::u16string> statements =
        DefinitionList(DefinitionValue(*text, kTriggersKey));
    const std::vector<std::u16string> modes = DefinitionList(DefinitionValue(*text, kSqlModesKey));
    if (statements.empty())
        ReportDefinitionDamage(damage, path, "trigger file lists no triggers");
    else if (!modes.empty() && modes.size() != statements.size())
        ReportDefinitionDamage(damage, path,
                               "trigger file gives " + std::to_string(modes.size()) +
                                   " modes for " + std::to_string(statements.size()) + " triggers");
    for (size_t i = 0; i < statements.size(); ++i) {
        // The body is read the way the client reads it in the trigger's own
        // mode, which the script sets before it.
        std::optional<uint64_t> bits;
        if (i < modes.size()) bits = ParseUnsigned(modes[i]);
        const bool noBackslashEscapes = bits && (*bits & kNoBackslashEscapesBit) != 0;
        std::u16string problem;
        std::optional<CTriggerDefinition> trigger =
            ParseTrigger(statements[i], database, table, noBackslashEscapes, problem);
        if (!trigger) {
            file.refused.push_back(u"trigger " + NameForMessage(statements[i]) + u" is left out: " +
                                   problem);
            ReportDefinitionDamage(damage, path, Utf16ToUtf8(file.refused.back()));
            continue;
        }
        if (bits) {
            trigger->sqlMode = SqlModeNames(*bits);
            trigger->hasSqlMode = true;
        }
        file.triggers.push_back(std::move(*trigger));
    }
    return file;
}

std::vector<std::u16string> ReadTriggerDefinitions(const std::filesystem::path& path,
                                                   const CAppState& app) {
    std::vector<std::u16string> definitions;
    for (CTriggerDefinition& trigger : ReadTriggerFile(path, app).triggers)
        definitions.push_back(std::move(trigger.statement));
    return definitions;
}

std::u16string TriggerScript(const CTriggerDefinition& trigger, std::u16string_view restoreMode) {
    std::u16string script;
    // Mode names are our own words, never text from the file.
    if (trigger.hasSqlMode) script += u"SET SQL_MODE='" + trigger.sqlMode + u"';\n";
    const std::u16string delimiter = BlockDelimiter(trigger.statement);
    script += u"DELIMITER " + delimiter + u"\nCREATE ";
    script += trigger.statement;
    script += u"\n" + delimiter + u"\nDELIMITER ;\n";
    if (trigger.hasSqlMode) {
        script += u"SET SQL_MODE='";
        script += restoreMode;
        script += u"';\n";
    }
    return script;
}

std::u16string TriggerText(const std::filesystem::path& path, const CAppState& app,
                           bool savingToServer) {
    std::u16string script;
    if (savingToServer) return script;
    const CTriggerFile file = ReadTriggerFile(path, app);
    for (size_t i = 0; i < file.refused.size(); ++i)
        script += u"-- a trigger of this table was left out: its statement cannot be saved\n";
    for (const CTriggerDefinition& trigger : file.triggers)
        script += TriggerScript(trigger, kScriptSqlMode);
    return script;
}

}  // namespace brix
