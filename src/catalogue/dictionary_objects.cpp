#include "catalogue/dictionary_objects.h"

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <tuple>

#include "app/app_state.h"
#include "app/read_only_file.h"
#include "app/text.h"
#include "catalogue/script_safety.h"
#include "innodb/btree.h"
#include "innodb/columns.h"
#include "innodb/inno_table_reader.h"
#include "innodb/instant.h"
#include "innodb/tablespace.h"
#include "sdi/sdi_reader.h"
#include "sdi/sdi_table.h"

namespace brix {

namespace {

// At most this many rows are taken from one dictionary table, whatever its
// pages claim.
constexpr size_t kMaxDictionaryRows = 4'000'000;
// The mode a trigger script puts back after each trigger, as for .TRG files.
constexpr char16_t kScriptSqlMode[] = u"NO_AUTO_VALUE_ON_ZERO";
// The longest text taken back from a spill file.
constexpr size_t kMaxSpilledText = 64u << 20;

using Cell = std::optional<std::u16string>;

// The rows of one dictionary table, each cell its text or nothing for NULL.
struct DictionaryTable {
    std::vector<std::u16string> columns;
    std::vector<std::vector<Cell>> rows;

    // The column's position, or columns.size() when the table has none such.
    size_t Column(std::u16string_view name) const {
        return static_cast<size_t>(std::find(columns.begin(), columns.end(), name) -
                                   columns.begin());
    }
};

// A folder for spill files, removed with everything in it at the end.
class CScratchFolder {
  public:
    CScratchFolder() {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec) return;
        std::random_device random;
        for (int attempt = 0; attempt < 8 && path_.empty(); ++attempt) {
            std::filesystem::path candidate =
                base / ("brix-dictionary-" + std::to_string(random()) + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, ec) && !ec) path_ = candidate;
        }
    }
    ~CScratchFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The text of a spilled value (the dictionary's texts are UTF-8); the file
// is removed once read.
std::u16string SpilledText(const std::filesystem::path& path) {
    std::u16string text;
    CReadOnlyFile file;
    if (file.Open(path)) {
        const std::vector<uint8_t> bytes = file.ReadAll(kMaxSpilledText);
        text = Utf8ToUtf16(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return text;
}

// The definition of one dictionary table, from the tablespace's dictionary
// information.
struct DictionaryTableDef {
    CTableDef table;
    SdiTableInfo info;
};

// Reads every row of the dictionary table def describes from space. False
// when its clustered index is not found.
bool ReadDictionaryTable(const DictionaryTableDef& def, const std::shared_ptr<CTablespace>& space,
                         const std::filesystem::path& spillFolder, CAppState& app,
                         DictionaryTable& out) {
    const CTableDef& table = def.table;
    const SdiTableInfo& info = def.info;
    if (info.clusteredRoot == 0 || info.changedInPlace) return false;
    for (const CColumnDef& column : table.columns) out.columns.push_back(column.name);

    CWindowState window;
    window.Reset(table.columns.size());
    CReadOptions options;
    options.exportMode = true;  // whole texts, not the grid's short forms
    options.spillFolder = spillFolder;
    CInnoTableReader inno(table, window, options);
    inno.perTableSource = true;
    BuildColumnsFromFrm(inno, app);
    inno.space = space;
    ReadInstantLayout(inno, *space, info.clusteredRoot, app);
    const uint32_t leaf = FindFirstLeaf(inno, *space, info.clusteredRoot);
    if (leaf == 0) return false;
    window.bookmarks.push_back(RecordBookmark{leaf, 0});
    FillRowWindow(inno, *space, leaf, 0, false, app);
    // ReadNextInnoWindow ends a leaf chain that runs in a circle.
    do {
        const CRowWindow& rows = window.rows;
        for (size_t r = 0; r < rows.rowCount() && out.rows.size() < kMaxDictionaryRows; ++r) {
            std::vector<Cell> row(table.columns.size());
            for (size_t c = 0; c < table.columns.size(); ++c) {
                if (rows.IsNull(r, c)) continue;
                const std::u16string_view text = rows.Text(r, c);
                row[c] = rows.IsSpilled(r, c)
                             ? SpilledText(std::filesystem::path(std::u16string(text)))
                             : std::u16string(text);
            }
            out.rows.push_back(std::move(row));
        }
    } while (out.rows.size() < kMaxDictionaryRows && ReadNextInnoWindow(inno, app));
    return true;
}

// The cell of row in column, empty for NULL and for a column the table lacks.
std::u16string Text(const std::vector<Cell>& row, size_t column) {
    return column < row.size() && row[column] ? *row[column] : std::u16string();
}

// The cell of a binary column, which export mode writes as 0x and hex
// digits, taken as UTF-8 text; a value kept off-page comes back from its
// spill file as the bytes themselves.
std::u16string BinaryText(const std::vector<Cell>& row, size_t column) {
    const std::u16string text = Text(row, column);
    if (text.size() < 2 || text[0] != u'0' || (text[1] != u'x' && text[1] != u'X') ||
        text.size() % 2 != 0)
        return text;
    auto digit = [](char16_t c) -> int {
        if (c >= u'0' && c <= u'9') return c - u'0';
        if (c >= u'A' && c <= u'F') return c - u'A' + 10;
        if (c >= u'a' && c <= u'f') return c - u'a' + 10;
        return -1;
    };
    std::string bytes;
    bytes.reserve(text.size() / 2);
    for (size_t i = 2; i + 1 < text.size(); i += 2) {
        const int high = digit(text[i]);
        const int low = digit(text[i + 1]);
        if (high < 0 || low < 0) return text;
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return Utf8ToUtf16(bytes);
}

int64_t Number(const std::vector<Cell>& row, size_t column) {
    const std::u16string text = Text(row, column);
    int64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9' || value > (INT64_MAX - 9) / 10) return -1;
        value = value * 10 + (c - u'0');
    }
    return text.empty() ? -1 : value;
}

// Position of word in words, or otherwise.
int IndexOf(std::u16string_view word, std::initializer_list<std::u16string_view> words,
            int otherwise) {
    int i = 0;
    for (std::u16string_view w : words) {
        if (w == word) return i;
        ++i;
    }
    return otherwise;
}

// The values of a dictionary property list "1=a;2=b;" in the order of their
// numeric keys; "\" escapes the next character.
std::vector<std::u16string> PropertyValues(std::u16string_view text) {
    std::map<int64_t, std::u16string> byKey;
    std::u16string key;
    std::u16string value;
    bool inValue = false;
    auto flush = [&] {
        if (inValue && !key.empty()) {
            int64_t k = 0;
            bool numeric = key.size() <= 9;
            for (char16_t c : key) {
                if (c < u'0' || c > u'9') numeric = false;
                k = k * 10 + (c - u'0');
            }
            if (numeric) byKey[k] = value;
        }
        key.clear();
        value.clear();
        inValue = false;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            c = text[++i];
        } else if (c == u';') {
            flush();
            continue;
        } else if (c == u'=' && !inValue) {
            inValue = true;
            continue;
        }
        (inValue ? value : key).push_back(c);
    }
    flush();
    std::vector<std::u16string> values;
    for (auto& [k, v] : byKey) values.push_back(std::move(v));
    return values;
}

void AppendQuoted(std::u16string& out, std::u16string_view name) {
    AppendQuotedName(out, name);
}

}  // namespace

CDictionaryObjects ReadDictionaryObjects(const std::filesystem::path& mysqlIbd, CAppState& app) {
    CDictionaryObjects found;
    const SdiReadResult sdi = ReadSdi(mysqlIbd);
    if (sdi.objects.empty()) return found;
    auto space = std::make_shared<CTablespace>();
    if (!space->Open(mysqlIbd)) return found;
    CScratchFolder scratch;

    // The three dictionary tables read, by their names in the dictionary.
    std::map<std::u16string, DictionaryTableDef> defs;
    for (const SdiObject& object : sdi.objects) {
        if (object.type != kSdiTypeTable) continue;
        DictionaryTableDef def;
        std::string problem;
        if (!TableDefFromSdi(object.json, app, def.table, def.info, problem)) continue;
        const std::u16string name = def.info.name;
        if (name == u"schemata" || name == u"tables" || name == u"triggers")
            defs.try_emplace(name, std::move(def));
    }
    auto read = [&](const char16_t* name, DictionaryTable& out) {
        const auto def = defs.find(name);
        return def != defs.end() &&
               ReadDictionaryTable(def->second, space, scratch.path(), app, out);
    };
    DictionaryTable schemata;
    DictionaryTable tables;
    DictionaryTable triggers;
    const bool haveSchemata = read(u"schemata", schemata);
    const bool haveTables = read(u"tables", tables);
    const bool haveTriggers = read(u"triggers", triggers);
    if (!haveSchemata || !haveTables) {
        found.findings.push_back(u"The dictionary tables of views in mysql.ibd cannot be read");
        return found;
    }
    if (!haveTriggers)
        found.findings.push_back(u"The dictionary table of triggers in mysql.ibd cannot be read");

    std::map<int64_t, std::u16string> schemaNames;
    {
        const size_t id = schemata.Column(u"id");
        const size_t name = schemata.Column(u"name");
        const size_t collation = schemata.Column(u"default_collation_id");
        for (const auto& row : schemata.rows) {
            schemaNames[Number(row, id)] = Text(row, name);
            const int64_t number = Number(row, collation);
            if (number > 0 && number <= INT32_MAX)
                found.schemaCollations[Text(row, name)] = static_cast<int32_t>(number);
        }
    }

    // Tables by id, for the triggers; views as they come.
    std::map<int64_t, std::u16string> tableNames;
    const size_t tId = tables.Column(u"id");
    const size_t tSchema = tables.Column(u"schema_id");
    const size_t tName = tables.Column(u"name");
    const size_t tType = tables.Column(u"type");
    const size_t tQuery = tables.Column(u"view_definition_utf8");
    const size_t tCheck = tables.Column(u"view_check_option");
    const size_t tAlgorithm = tables.Column(u"view_algorithm");
    const size_t tSecurity = tables.Column(u"view_security_type");
    const size_t tDefiner = tables.Column(u"view_definer");
    const size_t tColumns = tables.Column(u"view_column_names");
    for (const auto& row : tables.rows) {
        tableNames[Number(row, tId)] = Text(row, tName);
        if (Text(row, tType) != u"VIEW") continue;
        const auto schema = schemaNames.find(Number(row, tSchema));
        if (schema == schemaNames.end()) {
            found.findings.push_back(u"View " + Text(row, tName) +
                                     u" is left out: its database is not in the dictionary");
            continue;
        }
        CDictionaryView view{schema->second, Text(row, tName), {}};
        CViewDefinition& d = view.definition;
        d.query = Text(row, tQuery);
        d.algorithm = IndexOf(Text(row, tAlgorithm), {u"UNDEFINED", u"MERGE", u"TEMPTABLE"}, -1);
        d.security = IndexOf(Text(row, tSecurity), {u"INVOKER", u"DEFINER", u"DEFAULT"}, -1);
        d.checkOption = IndexOf(Text(row, tCheck), {u"NONE", u"LOCAL", u"CASCADED"}, -1);
        // The account is user@host; a user name may itself hold "@".
        const std::u16string definer = Text(row, tDefiner);
        const size_t at = definer.rfind(u'@');
        if (at != std::u16string::npos) {
            d.definerUser = definer.substr(0, at);
            d.definerHost = definer.substr(at + 1);
        }
        d.columnNames = PropertyValues(Text(row, tColumns));
        found.views.push_back(std::move(view));
    }

    const size_t gSchema = triggers.Column(u"schema_id");
    const size_t gName = triggers.Column(u"name");
    const size_t gEvent = triggers.Column(u"event_type");
    const size_t gTable = triggers.Column(u"table_id");
    const size_t gTiming = triggers.Column(u"action_timing");
    const size_t gOrder = triggers.Column(u"action_order");
    // The body as it was written; the server's UTF-8 copy has its string
    // literals' escapes undone.
    const size_t gBody = triggers.Column(u"action_statement");
    const size_t gMode = triggers.Column(u"sql_mode");
    for (const auto& row : triggers.rows) {
        const std::u16string name = Text(row, gName);
        const auto schema = schemaNames.find(Number(row, gSchema));
        const auto table = tableNames.find(Number(row, gTable));
        if (schema == schemaNames.end() || table == tableNames.end()) {
            found.findings.push_back(u"Trigger " + name +
                                     u" is left out: its table is not in the dictionary");
            continue;
        }
        CDictionaryTrigger trigger;
        trigger.schema = schema->second;
        trigger.table = table->second;
        trigger.order = Number(row, gOrder);
        trigger.timing = Text(row, gTiming);
        trigger.event = Text(row, gEvent);
        CTriggerDefinition& d = trigger.definition;
        d.name = name;
        d.body = BinaryText(row, gBody);
        d.sqlMode = Text(row, gMode);
        d.hasSqlMode = row.size() > gMode && row[gMode].has_value();
        const bool noBackslashEscapes =
            d.sqlMode.find(u"NO_BACKSLASH_ESCAPES") != std::u16string::npos;
        const std::u16string& timing = trigger.timing;
        const std::u16string& event = trigger.event;
        std::u16string problem;
        if (IndexOf(timing, {u"BEFORE", u"AFTER"}, -1) < 0 ||
            IndexOf(event, {u"INSERT", u"UPDATE", u"DELETE"}, -1) < 0)
            problem = u"its timing or event is not one the server writes";
        else if (d.body.empty())
            problem = u"it has no body";
        else
            problem = ScriptTextProblem(d.body, false, noBackslashEscapes);
        if (!problem.empty()) {
            found.findings.push_back(u"Trigger " + name + u" is left out: " + problem);
            continue;
        }
        d.statement = u"TRIGGER ";
        AppendQuoted(d.statement, name);
        d.statement += u" " + timing + u" " + event + u" ON ";
        AppendQuoted(d.statement, trigger.table);
        d.statement += u" FOR EACH ROW ";
        found.triggers.push_back(std::move(trigger));
    }
    // The order among a table's triggers of one timing and event: each but
    // the first follows the one before it.
    auto key = [](const CDictionaryTrigger& t) {
        return std::tie(t.schema, t.table, t.timing, t.event, t.order);
    };
    std::stable_sort(
        found.triggers.begin(), found.triggers.end(),
        [&](const CDictionaryTrigger& a, const CDictionaryTrigger& b) { return key(a) < key(b); });
    for (size_t i = 0; i < found.triggers.size(); ++i) {
        CDictionaryTrigger& t = found.triggers[i];
        if (i > 0 && t.order > 1) {
            const CDictionaryTrigger& before = found.triggers[i - 1];
            if (before.schema == t.schema && before.table == t.table && before.timing == t.timing &&
                before.event == t.event) {
                t.definition.statement += u"FOLLOWS ";
                AppendQuoted(t.definition.statement, before.definition.name);
                t.definition.statement += u" ";
            }
        }
        t.definition.statement += t.definition.body;
    }
    return found;
}

std::u16string DictionaryViewText(const CDictionaryView& view) {
    std::u16string problem;
    std::u16string statement = ViewStatement(view.definition, view.name, problem);
    if (!statement.empty()) statement.push_back(u';');
    return statement;
}

std::u16string DictionaryTriggerText(const std::vector<CDictionaryTrigger>& triggers,
                                     size_t first) {
    std::u16string script;
    if (first >= triggers.size()) return script;
    const CDictionaryTrigger& head = triggers[first];
    for (size_t i = first; i < triggers.size() && triggers[i].schema == head.schema &&
                           triggers[i].table == head.table;
         ++i)
        script += TriggerScript(triggers[i].definition, kScriptSqlMode);
    return script;
}

}  // namespace brix
