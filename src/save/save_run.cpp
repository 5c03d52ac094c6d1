#include "save/save_run.h"

#include <stdlib.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <unordered_map>

#include "app/app_state.h"
#include "app/collation_table.h"
#include "app/file_names.h"
#include "app/read_only_file.h"
#include "app/text.h"
#include "app/ui_operations.h"
#include "browse/table_rows.h"
#include "browse/window_pipeline.h"
#include "catalogue/catalogue.h"
#include "catalogue/trigger_text.h"
#include "catalogue/view_text.h"
#include "innodb/dictionary.h"
#include "innodb/dictionary_foreign.h"
#include "save/create_table.h"
#include "save/deleted_table.h"
#include "save/mariadb_translation.h"
#include "save/saved_definition.h"
#include "save/server_target.h"
#include "save/sql_text.h"

namespace brix {

namespace {

// Comment lines of a script; they carry no text from the files.
constexpr char16_t kDefinerNote[] =
    u"-- The next view keeps the definer and the SQL SECURITY of its file; where that account\n"
    u"-- does not exist on this server, the server creates the view with a warning.\n";
constexpr char16_t kTriggerLeftOutNote[] =
    u"-- A trigger of this table was left out: its statement cannot be saved safely.\n";

// db.opt is a few lines; anything longer is not one.
constexpr size_t kDbOptLimit = 64 << 10;

bool IsPlainName(std::u16string_view name) {
    if (name.empty()) return false;
    for (char16_t c : name) {
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                        (c >= u'0' && c <= u'9') || c == u'_';
        if (!ok) return false;
    }
    return true;
}

// " CHARACTER SET x COLLATE y" from the database folder's db.opt, as far as
// it names them; names that are not plain words are left out, since the file
// is only data from disk.
std::u16string DatabaseOptions(const std::filesystem::path& folder) {
    CReadOnlyFile file;
    if (!file.Open(folder / "db.opt")) return {};
    const std::vector<uint8_t> bytes = file.ReadAll(kDbOptLimit);
    const std::u16string text =
        Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    auto value = [&](std::u16string_view key) -> std::u16string {
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find(u'\n', at);
            if (end == std::u16string::npos) end = text.size();
            std::u16string_view line(text.data() + at, end - at);
            if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
            if (line.substr(0, key.size()) == key) {
                std::u16string_view v = line.substr(key.size());
                return IsPlainName(v) ? std::u16string(v) : std::u16string();
            }
            at = end + 1;
        }
        return {};
    };
    std::u16string options;
    std::u16string charset = value(u"default-character-set=");
    std::u16string collation = value(u"default-collation=");
    // A collation of MySQL's that MariaDB lacks: the nearest one it has.
    if (std::optional<CCollationName> substitute = MariaDbCollation(charset, collation)) {
        charset = std::move(substitute->charset);
        collation = std::move(substitute->collation);
    }
    if (IsKnownCharsetName(charset)) options += u" CHARACTER SET " + charset;
    if (!collation.empty() && !charset.empty() && IsKnownCollationPair(charset, collation))
        options += u" COLLATE " + collation;
    return options;
}

// The CREATE VIEW statement of a view, built from the parts of its
// definition file and named by the view's real name (decoded from its file
// name); empty with the reason in problem when it cannot be built.
std::u16string ViewStatementOf(const CSaveObject& view, const CAppState& app, bool& namesDefiner,
                               std::u16string& problem) {
    const std::optional<CViewDefinition> definition =
        view.dictionaryView ? std::optional<CViewDefinition>(*view.dictionaryView)
                            : ReadViewDefinition(view.file, app);
    if (!definition) {
        problem = u"its definition file cannot be read";
        return {};
    }
    namesDefiner = !definition->definerUser.empty();
    // The definer goes into the statement as an identifier, under the same
    // rule as every other name.
    if (!IsWritableName(definition->definerUser) || !IsWritableName(definition->definerHost)) {
        problem = kUnwritableName;
        return {};
    }
    return ViewStatement(*definition, view.Name(), problem);
}

// A text for a comment line of a script: every character that is not
// printable ASCII written as "?", so that no name in it can end the comment.
std::u16string CommentText(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) out.push_back(c < 0x20 || c >= 0x7F ? u'?' : c);
    return out;
}

// A view of the run with its statement.
struct CViewToSave {
    const CSaveObject* object = nullptr;
    std::u16string statement;
    std::u16string problem;  // why statement is empty
    bool namesDefiner = false;
};

// Where the backquoted name that starts at from ends (after its closing
// backquote; a doubled backquote stands for one); npos when it is not closed.
size_t QuotedNameEnd(std::u16string_view text, size_t from) {
    for (size_t i = from + 1; i < text.size(); ++i) {
        if (text[i] != u'`') continue;
        if (i + 1 < text.size() && text[i + 1] == u'`') {
            ++i;
            continue;
        }
        return i + 1;
    }
    return std::u16string_view::npos;
}

// The views in an order in which each comes after the views of the run that
// its query names (as `db`.`view`, the form the server keeps in the file);
// views in a cycle keep their order. Each query is read once for the
// qualified names it holds, looked up by name, so that thousands of views
// cost no more than their texts.
std::vector<CViewToSave> OrderViews(std::vector<CViewToSave> views) {
    std::unordered_map<std::u16string, size_t> byReference;
    for (size_t i = 0; i < views.size(); ++i)
        byReference.emplace(QuotedName(views[i].object->DatabaseName()) + u"." +
                                QuotedName(views[i].object->Name()),
                            i);
    std::vector<std::vector<size_t>> dependents(views.size());
    std::vector<size_t> waitingFor(views.size(), 0);
    for (size_t i = 0; i < views.size(); ++i) {
        const std::u16string_view text = views[i].statement;
        std::vector<size_t> uses;
        size_t previousStart = std::u16string_view::npos;
        size_t previousEnd = std::u16string_view::npos;
        for (size_t at = text.find(u'`'); at != std::u16string_view::npos;) {
            const size_t end = QuotedNameEnd(text, at);
            if (end == std::u16string_view::npos) break;
            if (previousEnd != std::u16string_view::npos && previousEnd + 1 == at &&
                text[previousEnd] == u'.') {
                const auto found = byReference.find(
                    std::u16string(text.substr(previousStart, end - previousStart)));
                if (found != byReference.end() && found->second != i) uses.push_back(found->second);
            }
            previousStart = at;
            previousEnd = end;
            at = text.find(u'`', end);
        }
        std::sort(uses.begin(), uses.end());
        uses.erase(std::unique(uses.begin(), uses.end()), uses.end());
        waitingFor[i] = uses.size();
        for (size_t used : uses) dependents[used].push_back(i);
    }
    // Passes in the run's order, each placing every view whose views are
    // placed: views that do not depend on each other keep their order.
    std::vector<CViewToSave> ordered;
    std::vector<bool> placed(views.size(), false);
    bool progress = true;
    while (progress) {
        progress = false;
        for (size_t i = 0; i < views.size(); ++i) {
            if (placed[i] || waitingFor[i] != 0) continue;
            placed[i] = true;
            progress = true;
            for (size_t dependent : dependents[i]) --waitingFor[dependent];
            ordered.push_back(views[i]);
        }
    }
    for (size_t i = 0; i < views.size(); ++i)
        if (!placed[i]) ordered.push_back(views[i]);
    return ordered;
}

std::filesystem::path FolderKey(const std::filesystem::path& folder) {
    std::filesystem::path key = folder.lexically_normal();
    if (!key.has_filename()) key = key.parent_path();
    return key;
}

std::u16string Number(size_t n) {
    return WidenAscii(std::to_string(n));
}

// Collects rows into INSERT statements of at most the target's size, built
// in UTF-8 in one buffer that is kept from statement to statement. On a
// server the statements run in transactions that Commit ends; rows count as
// written once their transaction is committed (on a script, once their
// statement is written).
class CInsertBatch {
  public:
    CInsertBatch(CSaveTarget& target, std::u16string_view prefix)
        : target_(target), prefix_(Utf16ToUtf8(prefix)) {}

    // The statement, for the caller to append one row, "(v1,v2,...)", and
    // then to call EndRow.
    std::string& BeginRow() {
        if (pending_ == 0) {
            statement_.assign(prefix_);
        } else {
            statement_.push_back(',');
        }
        rowStart_ = statement_.size();
        return statement_;
    }

    // Takes the row appended since BeginRow; sends the statement without it
    // first when the row took it past the limit, and starts the next
    // statement with the row.
    bool EndRow(std::u16string& error) {
        if (pending_ > 0 && statement_.size() > target_.MaxStatementBytes()) {
            row_.assign(statement_, rowStart_);
            statement_.resize(rowStart_ - 1);  // without the comma
            const bool ok = Send(error);
            statement_.assign(prefix_);
            statement_ += row_;
            if (!ok) return false;
        }
        ++pending_;
        return true;
    }

    bool Flush(std::u16string& error) {
        if (pending_ == 0) return true;
        return Send(error);
    }

    // Ends the transaction that the statements sent so far run in, if one
    // is open: committed, or rolled back when the commit fails.
    bool Commit(std::u16string& error) {
        if (!inTransaction_) {
            written_ += uncommitted_;
            uncommitted_ = 0;
            return true;
        }
        inTransaction_ = false;
        const bool ok = target_.Commit(error);
        if (ok) {
            written_ += uncommitted_;
        } else {
            std::u16string ignored;
            target_.Rollback(ignored);
        }
        uncommitted_ = 0;
        return ok;
    }

    size_t written() const { return written_; }

  private:
    // Sends the statement of the pending rows, in a transaction on a server.
    bool Send(std::u16string& error) {
        const size_t rows = pending_;
        pending_ = 0;
        if (!inTransaction_ && target_.UsesTransactions()) {
            if (!target_.BeginTransaction(error)) return false;
            inTransaction_ = true;
        }
        if (!target_.ExecuteUtf8(statement_, error)) return false;
        uncommitted_ += rows;
        return true;
    }

    CSaveTarget& target_;
    const std::string prefix_;
    std::string statement_;
    // Where the row being added starts in statement_, and a place for it
    // while the statement before it is sent.
    size_t rowStart_ = 0;
    std::string row_;
    size_t pending_ = 0;
    size_t uncommitted_ = 0;
    bool inTransaction_ = false;
    size_t written_ = 0;
};

// A folder for the spill files of a save into a server, removed with the
// object.
class CTemporaryFolder {
  public:
    CTemporaryFolder() {
        std::error_code error;
        std::string pattern =
            (std::filesystem::temp_directory_path(error) / "brixtallow-save.XXXXXX").string();
        if (!error && mkdtemp(pattern.data())) path_ = pattern;
    }
    ~CTemporaryFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    CTemporaryFolder(const CTemporaryFolder&) = delete;
    CTemporaryFolder& operator=(const CTemporaryFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Empty windows of deleted rows read one after another before a table is
// taken to have none: each moves over at least the reader's budget of
// bytes, so this reaches far past any data file.
constexpr size_t kMaxEmptyWindows = size_t{1} << 24;

// At most this many damage lines of one table go to the log; the rest are
// counted in one line after them.
constexpr size_t kMaxDamageLogLines = 1000;

// The findings of one table's read: kept for the table's outcome, logged as
// damage lines and passed on to the run's own listener.
class CTableDamage : public CDamageSink {
  public:
    CTableDamage(CUiOperations& ui, CDamageSink* also) : ui_(ui), also_(also) {}

    // The reader and the thread that builds the statements (which reads
    // off-page values) both report; their lines go to the log one at a time.
    void Report(DamageFinding finding) override {
        std::lock_guard lock(mutex_);
        if (report_.Count() < kMaxDamageLogLines) ui_.AppendDamageLine(finding);
        if (also_) also_->Report(finding);
        report_.Report(std::move(finding));
    }
    const CDamageReport& report() const { return report_; }
    void Clear() { report_.Clear(); }

  private:
    CUiOperations& ui_;
    CDamageSink* also_;
    CDamageReport report_;
    std::mutex mutex_;
};

// What a table's findings say of its rows, as a reason: the first finding
// that lost rows.
std::u16string LossReason(const CDamageReport& report) {
    for (const DamageFinding& finding : report.Findings())
        if (!finding.rowsStillRead) return Utf8ToUtf16(finding.why);
    return u"its rows are lost";
}

class CSaveRunner {
  public:
    CSaveRunner(CAppState& app, CReadOptions options, const CInnoDictionary* dictionary,
                CUiOperations& ui, CSaveTarget& target, const std::atomic<bool>* stop,
                CDamageSink* damage, bool deletedRows)
        : deletedRows_(deletedRows),
          app_(app),
          options_(std::move(options)),
          dictionary_(dictionary),
          ui_(ui),
          target_(target),
          stop_(stop),
          damage_(ui, damage) {
        options_.damage = &damage_;
    }

    void Run(const std::vector<CSaveObject>& objects) {
        // Database by database, in the order each first appears. The same
        // folder may be spelt differently ("a/db" and "a/./db/"), so folders
        // are compared in their normal form.
        // One pass over the objects, with the folders indexed by key, so that
        // a run of many databases is not quadratic.
        std::vector<std::filesystem::path> folders;
        std::map<std::filesystem::path, size_t> folderOfKey;
        std::vector<size_t> folderOfObject(objects.size());
        for (size_t i = 0; i < objects.size(); ++i) {
            const auto [at, added] =
                folderOfKey.emplace(FolderKey(objects[i].databaseFolder), folders.size());
            if (added) folders.push_back(objects[i].databaseFolder);
            folderOfObject[i] = at->second;
        }
        // Each database's tables, then views, then triggers, in the run's order.
        std::vector<std::vector<const CSaveObject*>> inDatabase(folders.size());
        for (SaveObjectKind kind :
             {SaveObjectKind::kTable, SaveObjectKind::kView, SaveObjectKind::kTrigger})
            for (size_t i = 0; i < objects.size(); ++i)
                if (objects[i].kind == kind) inDatabase[folderOfObject[i]].push_back(&objects[i]);
        for (size_t f = 0; f < folders.size(); ++f) {
            if (Stopped()) break;
            SaveDatabase(folders[f], inDatabase[f]);
        }
        // A stopped run leaves objects unsaved; they count as failed. The
        // tables of deleted rows are not among the objects.
        const size_t done = result_.saved + result_.failed - deletedTables_;
        if (done < objects.size()) {
            const size_t left = objects.size() - done;
            ui_.AppendLogLine(u"Saving was stopped; " + Number(left) + u" objects were not saved");
            ui_.AppendLogLine(u"Of " + Number(objects.size()) + u" objects, " +
                              Number(result_.saved) + u" were saved, " + Number(result_.failed) +
                              u" failed and " + Number(left) + u" were not tried");
            result_.failed += left;
            result_.notTried = left;
        }
    }

    const CSaveResult& result() const { return result_; }

  private:
    bool Stopped() const { return stop_ && stop_->load(); }

    void Fail(std::u16string_view what, std::u16string_view error) {
        std::u16string line(what);
        line += u": ";
        line += error;
        ui_.AppendLogLine(line);
        ++result_.failed;
    }

    void SaveDatabase(const std::filesystem::path& folder,
                      const std::vector<const CSaveObject*>& objects) {
        if (objects.empty()) return;
        CSaveDatabase database;
        database.name = objects.front()->DatabaseName();
        database.folderName = std::filesystem::path(objects.front()->FolderName());
        database.options = DatabaseOptions(folder);
        // MySQL 8.0 and later keep a database's defaults in their dictionary.
        std::u16string collationNote;
        if (database.options.empty() && objects.front()->databaseCollation > 0)
            database.options = DatabaseCollationOptions(objects.front()->databaseCollation,
                                                        app_.collations, collationNote);
        ui_.AppendLogLine(u"Saving database " + database.name);
        std::u16string error;
        if (!IsWritableName(database.name)) {
            Fail(u"Error saving database " + database.name, kUnwritableName);
            result_.failed += objects.size() - 1;
            return;
        }
        if (!target_.BeginDatabase(database, error)) {
            Fail(u"Error saving database " + database.name, error);
            result_.failed += objects.size() - 1;
            return;
        }
        if (!collationNote.empty()) {
            ui_.AppendLogLine(u"Database " + database.name + u": " + collationNote);
            if (target_.IsScript() &&
                !target_.WriteText(u"-- Database " + CommentName(database.name) + u": " +
                                       CommentText(collationNote) + u"\n",
                                   error)) {
                Fail(u"Error saving database " + database.name, error);
                result_.failed += objects.size() - 1;
                return;
            }
        }
        std::vector<CViewToSave> views;
        for (const CSaveObject* object : objects) {
            if (object->kind != SaveObjectKind::kView) continue;
            CViewToSave view;
            view.object = object;
            view.statement = ViewStatementOf(*object, app_, view.namesDefiner, view.problem);
            views.push_back(std::move(view));
        }
        for (const CSaveObject* object : objects) {
            if (Stopped()) break;
            if (object->kind != SaveObjectKind::kTable) continue;
            SaveTable(*object);
            if (deletedRows_ && !Stopped()) SaveDeletedRows(*object);
        }
        for (const CViewToSave& view : OrderViews(std::move(views))) {
            if (Stopped()) break;
            SaveView(view);
        }
        for (const CSaveObject* object : objects) {
            if (Stopped()) break;
            if (object->kind == SaveObjectKind::kTrigger) SaveTriggers(*object);
        }
        if (!target_.EndDatabase(error)) Fail(u"Error saving database " + database.name, error);
    }

    void SaveView(const CViewToSave& view) {
        const std::u16string display = view.object->DatabaseName() + u"." + view.object->Name();
        ui_.AppendLogLine(u"Saving view " + display);
        const std::u16string& statement = view.statement;
        std::u16string error;
        if (statement.empty()) {
            Fail(u"Error saving view " + display, view.problem);
            return;
        }
        if (!IsWritableName(view.object->Name())) {
            Fail(u"Error saving view " + display, kUnwritableName);
            return;
        }
        // The view keeps its definer and its SQL SECURITY; the account may
        // be one the target server does not have, which the server allows
        // (with a warning) and which the script says ahead.
        if (view.namesDefiner && target_.IsScript() && !target_.WriteText(kDefinerNote, error)) {
            Fail(u"Error saving view " + display, error);
        } else if (!target_.Execute(statement, error)) {
            Fail(u"Error saving view " + display, error);
        } else {
            ++result_.saved;
        }
    }

    void SaveTriggers(const CSaveObject& object) {
        const std::u16string display = object.DatabaseName() + u"." + object.Name();
        ui_.AppendLogLine(u"Saving triggers of " + display);
        const std::u16string failure = u"Error saving triggers of " + display;
        std::u16string error;
        CTriggerFile file;
        if (object.dictionaryTriggers.empty())
            file = ReadTriggerFile(object.file, app_);
        else
            file.triggers = object.dictionaryTriggers;
        if (file.triggers.empty() && file.refused.empty()) {
            Fail(failure, u"the trigger file holds no trigger that can be read");
            return;
        }
        // Version comments MySQL 8.0+ skipped would run in MariaDB: they
        // become plain comments, and that is said.
        for (CTriggerDefinition& trigger : file.triggers) {
            if (object.dictionaryTriggers.empty()) break;
            const bool noEscapes =
                trigger.hasSqlMode &&
                trigger.sqlMode.find(u"NO_BACKSLASH_ESCAPES") != std::u16string::npos;
            const size_t disarmed = DisarmMySqlVersionComments(trigger.statement, noEscapes);
            DisarmMySqlVersionComments(trigger.body, noEscapes);
            if (disarmed == 0) continue;
            const std::u16string note =
                u"Trigger " + trigger.name + u" of " + display + u": " +
                Utf8ToUtf16(std::to_string(disarmed)) +
                u" version comment(s) for MySQL 8.0 and later, which MySQL did not run, "
                u"are kept as plain comments so that MariaDB does not run them";
            ui_.AppendLogLine(note);
            if (target_.IsScript() &&
                !target_.WriteText(u"-- " + CommentText(note) + u"\n", error)) {
                Fail(failure, error);
                return;
            }
        }
        // Session modes MariaDB does not know would fail the SET SQL_MODE
        // before the trigger; they are left out and said.
        for (CTriggerDefinition& trigger : file.triggers) {
            if (!trigger.hasSqlMode) continue;
            std::u16string leftOut;
            trigger.sqlMode = MariaDbSqlMode(trigger.sqlMode, leftOut);
            if (leftOut.empty()) continue;
            const std::u16string note = u"Trigger " + trigger.name + u" of " + display +
                                        u": its session mode " + leftOut +
                                        u", which MariaDB does not have, is left out";
            ui_.AppendLogLine(note);
            if (target_.IsScript() &&
                !target_.WriteText(u"-- " + CommentText(note) + u"\n", error)) {
                Fail(failure, error);
                return;
            }
        }
        // Each trigger on its own, in its own session mode (set before it
        // and put back after it), so that its body means what it meant; one
        // that fails does not keep the others from being tried.
        std::u16string firstError;
        for (const std::u16string& refused : file.refused) {
            ui_.AppendLogLine(u"Left out of the triggers of " + display + u": " + refused);
            if (firstError.empty()) firstError = refused;
            if (target_.IsScript() && !target_.WriteText(kTriggerLeftOutNote, error)) {
                Fail(failure, error);
                return;
            }
        }
        if (target_.IsScript()) {
            for (const CTriggerDefinition& trigger : file.triggers) {
                if (!target_.WriteText(TriggerScript(trigger, kSessionSqlMode), error)) {
                    Fail(failure, error);
                    return;
                }
            }
        } else {
            // DEFINER=CURRENT_USER is what a CREATE TRIGGER without a
            // definer means; said out loud, it keeps the MariaDB ODBC driver
            // from blanking out the comments of a body that holds more than
            // one statement, which it does to statements it takes for a
            // batch.
            for (const CTriggerDefinition& trigger : file.triggers) {
                bool ok = true;
                if (trigger.hasSqlMode)
                    ok = target_.Execute(u"SET SQL_MODE='" + trigger.sqlMode + u"'", error);
                if (ok)
                    ok =
                        target_.Execute(u"CREATE DEFINER=CURRENT_USER " + trigger.statement, error);
                ui_.AppendLogLine(ok ? kTriggerCreated : kTriggerFailed);
                if (!ok && firstError.empty()) firstError = error;
                std::u16string restoreError;
                if (trigger.hasSqlMode &&
                    !target_.Execute(u"SET SQL_MODE='" + std::u16string(kSessionSqlMode) + u"'",
                                     restoreError)) {
                    Fail(failure, restoreError);
                    return;
                }
            }
        }
        if (firstError.empty()) {
            ++result_.saved;
        } else {
            Fail(failure, firstError);
        }
    }

    void SaveTable(const CSaveObject& object) {
        const std::u16string display = object.DatabaseName() + u"." + object.Name();
        ui_.AppendLogLine(u"Saving table " + display);
        const std::u16string failure = u"Error saving table " + display;
        damage_.Clear();
        const OpenRowsResult opened =
            rows_.Open(object.databaseFolder, object.FileStem(), app_, options_, dictionary_);
        const CTableDef& table = rows_.table();
        if (opened == OpenRowsResult::kNoDefinition) {
            Fail(failure, u"no readable table definition");
            return;
        }
        bool writable = IsWritableName(object.Name());
        for (const CColumnDef& column : table.columns)
            writable = writable && IsWritableName(column.name);
        for (const CKeyDef& key : table.keys) writable = writable && IsWritableName(key.name);
        if (!writable) {
            Fail(failure, kUnwritableName);
            rows_.Close();
            return;
        }
        std::u16string error;
        // A definition from a MySQL 8.0+ dictionary has its defaults as text.
        std::vector<std::u16string> defaults = table.defaultRecord.empty() &&
                                                       table.serverVersion >= kMySql80 &&
                                                       table.serverVersion < kMariaDb100
                                                   ? DictionaryDefaultClauses(table)
                                                   : ColumnDefaultClauses(table, app_);
        std::vector<std::u16string> notes;
        CTableDef saved = SavedDefinition(table, object.databaseFolder, object.FileStem(),
                                          dictionary_, ForeignKeys(), notes);
        for (std::u16string& note : AdaptDefinitionForMariaDb(saved, defaults, app_.collations))
            notes.push_back(std::move(note));
        for (std::u16string& reason : DefinitionPartsLeftOut(saved))
            notes.push_back(reason + u"; it is left out");
        for (const std::u16string& note : notes) {
            ui_.AppendLogLine(u"Table " + display + u": " + note);
            if (target_.IsScript() && !target_.WriteText(u"-- Table " + CommentName(object.Name()) +
                                                             u": " + CommentText(note) + u"\n",
                                                         error)) {
                Fail(failure, error);
                rows_.Close();
                return;
            }
        }
        if (!target_.Execute(CreateTableStatement(saved, object.Name(), app_.collations, &defaults),
                             error)) {
            Fail(failure, error);
            rows_.Close();
            return;
        }
        for (size_t c : ColumnsWithExpressionsLeftOut(table))
            ui_.AppendLogLine(u"Left out of table " + display + u": the expression of column " +
                              table.columns[c].name + u", which cannot be saved safely");
        if (opened == OpenRowsResult::kChangedInPlace) {
            Fail(failure,
                 u"the table was created, but its columns were added or dropped in place, "
                 u"and the rows of such tables cannot be read yet");
            return;
        }
        if (opened == OpenRowsResult::kUnsupportedEngine) {
            Fail(failure, table.engineCode == EngineCode::kMemory
                              ? u"the table was created, but its storage engine is MEMORY, "
                                u"which keeps its rows in memory only, so there are none to save"
                              : u"the table was created, but its storage engine is not MyISAM, "
                                u"InnoDB or CSV, so its rows cannot be read");
            return;
        }
        size_t rowsRead = 0;
        size_t written = 0;
        bool ok = InsertRows(table, object.Name(), rowsRead, written, error);
        const bool readFailed = opened == OpenRowsResult::kReadError || rows_.ReadFailed();
        rows_.Close();
        const CDamageReport& report = damage_.report();
        const size_t findings = report.Count();
        if (findings > kMaxDamageLogLines)
            ui_.AppendLogLine(Number(findings - kMaxDamageLogLines) + u" more findings in " +
                              display + u" are not listed");
        if (ok && rowsRead == 0 && report.LossCount() > 0) {
            // Never "0 rows written" as if the table were empty.
            Fail(failure, u"the table was created, but none of its rows could be read: " +
                              LossReason(report));
            return;
        }
        ui_.AppendLogLine(Number(written) + u" rows written to " + display);
        if (findings > 0) {
            result_.findings += findings;
            result_.rowsLost += report.RowsLost();
            std::u16string line = u"Damaged table " + display + u": " + Number(findings) +
                                  (findings == 1 ? u" finding" : u" findings");
            if (report.RowsLost() > 0)
                line +=
                    u", about " + Number(static_cast<size_t>(report.RowsLost())) + u" rows lost";
            line += u"; the rows that could be read were saved";
            ui_.AppendLogLine(line);
        }
        if (Finish(failure, ok, readFailed, error) && findings > 0) ++result_.damaged;
    }

    // Counts a table whose rows were written: saved, or failed with the
    // reason its rows did not all go in. True when saved.
    bool Finish(const std::u16string& failure, bool ok, bool readFailed,
                const std::u16string& error) {
        if (!ok) {
            Fail(failure, error);
        } else if (readFailed) {
            Fail(failure, u"a read error in the table's files ended its rows early");
        } else if (Stopped()) {
            Fail(failure, u"stopped before the end of its rows");
        } else {
            ++result_.saved;
            return true;
        }
        return false;
    }

    // Writes the rows of the window rows_ holds and of every window after
    // it into the table name as INSERT statements, by the columns of table
    // (the definition the rows were read with, or one with the same columns
    // first): generated columns are left to the server, which computes
    // them; a stored one whose expression was left out is a plain column on
    // the server, and gets the values stored in the file. Counts the rows
    // read and those written (committed); false with the error when a
    // statement or a commit failed.
    bool InsertRows(const CTableDef& table, std::u16string_view name, size_t& rowsRead,
                    size_t& written, std::u16string& error) {
        const std::vector<size_t> leftOut = ColumnsWithExpressionsLeftOut(table);
        std::vector<size_t> columns;
        std::u16string prefix = u"INSERT INTO ";
        AppendQuotedName(prefix, name);
        prefix += u" (";
        for (size_t c = 0; c < table.columns.size(); ++c) {
            const CColumnDef& column = table.columns[c];
            const bool plainNow = column.isStoredGenerated &&
                                  std::find(leftOut.begin(), leftOut.end(), c) != leftOut.end();
            if ((column.isVirtual || column.isStoredGenerated) &&
                !column.generationExpression.empty() && !plainNow)
                continue;
            if (!columns.empty()) prefix.push_back(u',');
            AppendQuotedName(prefix, column.name);
            columns.push_back(c);
        }
        prefix += u") VALUES ";
        CInsertBatch batch(target_, prefix);
        // Off-page values go from the tablespace straight into the
        // statement, read through a handle of the save's own.
        CExternalValues externals;
        if (std::vector<std::filesystem::path> paths = rows_.TablespacePaths(); !paths.empty())
            externals.Open(std::move(paths));
        CValueLiteralUtf8 literal;
        const auto part = [&literal](std::u16string_view piece) { literal.Part(piece); };
        std::u16string spilled;
        // The statements are built and sent on a thread of their own while
        // the reader fills the next window; the reader stops at a failed
        // statement or a stop.
        bool ok = true;
        const auto writeWindow = [&](const CRowWindow& window) {
            for (size_t r = 0; r < window.rowCount() && ok; ++r) {
                std::string& row = batch.BeginRow();
                row.push_back('(');
                for (size_t i = 0; i < columns.size(); ++i) {
                    const size_t c = columns[i];
                    if (i > 0) row.push_back(',');
                    if (window.IsExternal(r, c) && externals.IsOpen()) {
                        literal.Begin(row, table.columns[c]);
                        externals.Render(table, window, r, c, app_, &damage_, part);
                        literal.End();
                        continue;
                    }
                    std::u16string_view text = window.Text(r, c);
                    if (window.IsSpilled(r, c)) {
                        // The value itself goes into the statement, not the
                        // path of the file that holds it.
                        spilled.clear();
                        RenderSpilledValue(table, c, std::filesystem::path(text), app_, spilled);
                        text = spilled;
                    }
                    AppendValueLiteralUtf8(row, table.columns[c], text, window.IsNull(r, c));
                }
                row.push_back(')');
                ok = batch.EndRow(error);
            }
            // The statements of the window are committed together; rows
            // still pending go into the next window's transaction.
            if (ok) ok = batch.Commit(error);
            return ok;
        };
        rowsRead = static_cast<size_t>(
            ReadWindowsAlongside(rows_, app_, writeWindow, [this] { return !Stopped(); }));
        if (ok) ok = batch.Flush(error);
        // What went in before a failed statement stays, as it would with a
        // commit per statement; the failure's own message is the one told.
        std::u16string commitError;
        if (!batch.Commit(commitError) && ok) {
            ok = false;
            error = commitError;
        }
        written = batch.written();
        return ok;
    }

    // Saves the deleted rows of the table object names, when its files hold
    // any, into the table NAME__deleted (see RunSave).
    void SaveDeletedRows(const CSaveObject& object) {
        const std::u16string name = object.Name() + kDeletedTableSuffix;
        const std::u16string display = object.DatabaseName() + u"." + name;
        // The read of the live rows told what the files hold damaged; this
        // second read of them reports into a list nobody shows.
        CDamageReport quiet;
        CReadOptions options = options_;
        options.deleted = true;
        options.damage = &quiet;
        const OpenRowsResult opened =
            rows_.Open(object.databaseFolder, object.FileStem(), app_, options, dictionary_);
        // A table that does not open was failed with its reason already.
        if (opened != OpenRowsResult::kOk || !rows_.deletedMode()) {
            rows_.Close();
            return;
        }
        // A window of deleted rows may end empty before the data file does
        // (the search moves over so many bytes at most); each read moves on.
        for (size_t windows = 0; rows_.rows().rowCount() == 0 && windows < kMaxEmptyWindows;
             ++windows) {
            if (Stopped() || !rows_.ReadNextWindow(app_)) break;
        }
        if (rows_.rows().rowCount() == 0) {
            rows_.Close();
            if (!Stopped())
                ui_.AppendLogLine(u"No deleted rows found in " + object.DatabaseName() + u"." +
                                  object.Name());
            return;
        }
        ui_.AppendLogLine(u"Saving table " + display);
        ++deletedTables_;
        const std::u16string failure = u"Error saving table " + display;
        const CTableDef& table = rows_.table();
        std::u16string error;
        if (HasDeletedRowsColumnName(table)) {
            Fail(failure, u"the table has a column named _source or _unknown already");
            rows_.Close();
            return;
        }
        if (!IsWritableName(name)) {
            Fail(failure, kUnwritableName);
            rows_.Close();
            return;
        }
        const CTableDef deleted = DeletedRowsTableDef(table);
        if (!target_.Execute(CreateTableStatement(deleted, name, app_.collations), error)) {
            Fail(failure, error);
            rows_.Close();
            return;
        }
        size_t rowsRead = 0;
        size_t written = 0;
        const bool ok = InsertRows(deleted, name, rowsRead, written, error);
        const bool readFailed = rows_.ReadFailed();
        rows_.Close();
        ui_.AppendLogLine(Number(written) + u" rows written to " + display);
        Finish(failure, ok, readFailed, error);
    }

    // Tables of deleted rows begun, which the run's objects do not count.
    const bool deletedRows_;
    size_t deletedTables_ = 0;

    // The foreign keys of the system tablespace's dictionary, read when the
    // first table is saved.
    const std::vector<CInnoForeignKey>& ForeignKeys() {
        if (!foreignKeysRead_) {
            foreignKeysRead_ = true;
            if (dictionary_) foreignKeys_ = ReadInnoForeignKeys(*dictionary_);
        }
        return foreignKeys_;
    }

    CAppState& app_;
    std::vector<CInnoForeignKey> foreignKeys_;
    bool foreignKeysRead_ = false;
    // Export mode, where off-page values are spilled, and the sink of the
    // table being read.
    CReadOptions options_;
    const CInnoDictionary* dictionary_;
    CUiOperations& ui_;
    CSaveTarget& target_;
    const std::atomic<bool>* stop_;
    CTableDamage damage_;
    CTableRows rows_;
    CSaveResult result_;
};

}  // namespace

std::u16string SaveEndMessage(const CSaveResult& result) {
    std::u16string text = u"Saving is finished: ";
    text += Number(result.saved);
    text += result.saved == 1 ? u" object saved, " : u" objects saved, ";
    // Objects a stop left untouched are said apart from those that failed.
    const size_t notTried = std::min(result.notTried, result.failed);
    text += Number(result.failed - notTried);
    text += u" failed.";
    if (notTried > 0) {
        text += u" ";
        text += Number(notTried);
        text += notTried == 1 ? u" object was" : u" objects were";
        text += u" not tried: saving was stopped.";
    }
    if (result.damaged > 0) {
        text += u" ";
        text += Number(result.damaged);
        text += result.damaged == 1 ? u" table was" : u" tables were";
        text += u" saved with damage; see the log.";
    }
    return text;
}

CSaveResult RunSave(const std::vector<CSaveObject>& objects, const CSaveSettings& settings,
                    CAppState& app, const CInnoDictionary* dictionary, CUiOperations& ui,
                    const std::atomic<bool>* stop) {
    CBusyGuard busy(app.busy);
    if (!busy) {
        ui.ShowMessage(kBusyRefusal);
        CSaveResult refused;
        refused.refused = true;
        return refused;
    }
    return RunSaveHoldingBusy(objects, settings, app, dictionary, ui, std::move(busy), stop);
}

CSaveResult RunSaveHoldingBusy(const std::vector<CSaveObject>& objects,
                               const CSaveSettings& settings, CAppState& app,
                               const CInnoDictionary* dictionary, CUiOperations& ui,
                               CBusyGuard busy, const std::atomic<bool>* stop) {
    const CBusyGuard held = std::move(busy);
    CSaveResult refused;
    refused.refused = true;
    // Every value in full. Off-page values are kept by their reference and
    // read into the statements; those a reader cannot keep so (a partition
    // in a shared tablespace) are spilled into the folder set below.
    CReadOptions options;
    options.exportMode = true;
    options.keepExternal = true;
    ui.ShowProgress(true);
    COdbcConnection connection;
    std::unique_ptr<CSaveTarget> target;
    std::unique_ptr<CTemporaryFolder> spillFolder;
    std::u16string error;
    if (settings.destination == SaveDestination::kScript) {
        std::error_code created;
        const std::filesystem::path blobs = settings.scriptFolder / "blobdata";
        // The blob folder is never reached through a symbolic link: one in
        // its place could send the values' files anywhere.
        const bool linked =
            !settings.scriptFolder.empty() &&
            std::filesystem::is_symlink(std::filesystem::symlink_status(blobs, created));
        if (linked) {
            ui.AppendLogLine(u"Cannot use the blob folder " + PathText(blobs) +
                             u": it is a symbolic link, which is not followed");
        } else if (!settings.scriptFolder.empty()) {
            created.clear();
            std::filesystem::create_directories(blobs, created);
        }
        if (settings.scriptFolder.empty() || created || linked) {
            ui.ShowProgress(false);
            ui.ShowMessage(kFolderRefusal);
            return refused;
        }
        app.scriptFolder = PathText(settings.scriptFolder);
        options.spillFolder = blobs;
        target =
            std::make_unique<CScriptTarget>(settings.scriptFolder, settings.scriptStatementBytes);
        ui.AppendLogLine(u"Saving as script into " + PathText(settings.scriptFolder));
    } else {
        spillFolder = std::make_unique<CTemporaryFolder>();
        auto server = std::make_unique<CServerTarget>(connection);
        if (spillFolder->path().empty() || !connection.Open(settings.connection, error) ||
            !server->Start(error)) {
            if (!error.empty()) ui.AppendLogLine(u"Cannot connect to the server: " + error);
            ui.ShowProgress(false);
            ui.ShowMessage(kConnectionRefusal);
            return refused;
        }
        options.spillFolder = spillFolder->path();
        target = std::move(server);
        ui.AppendLogLine(u"Saving into the server " + settings.connection.server + u":" +
                         settings.connection.port);
    }
    CSaveRunner runner(app, std::move(options), dictionary, ui, *target, stop, settings.damage,
                       settings.deletedRows);
    runner.Run(objects);
    const CSaveResult result = runner.result();
    ui.ShowProgress(false);
    ui.ShowMessage(SaveEndMessage(result));
    return result;
}

}  // namespace brix
