#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>

#include <stdlib.h>

#include "app/text.h"
#include "browse/table_rows.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/damage_output.h"
#include "cli/output.h"
#include "innodb/dictionary.h"

namespace brix {

namespace {

struct RowsArgs {
    std::string dataDir;
    std::string database;
    std::string table;
    bool all = false;
    std::string format = "tsv";
    bool exportMode = false;
    bool deleted = false;
    std::string spillDir;
    std::string ibdata;
    std::string damageReport;
    std::string recoverFrom;
};

// The spill folder of an export: the one asked for, created when missing, or
// a temporary one removed again at the end.
class CSpillFolder {
  public:
    explicit CSpillFolder(const std::string& asked) {
        std::error_code error;
        if (!asked.empty()) {
            path_ = asked;
            std::filesystem::create_directories(path_, error);
            if (error) throw CommandFailed("cannot create the spill folder " + asked);
            return;
        }
        // TMPDIR may name a folder that is not there: that is a message, not
        // an exception.
        const std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
        if (error)
            throw CommandFailed("no folder for temporary files (TMPDIR): " + error.message() +
                                "; name one with --spill-dir");
        std::string pattern = (temporary / "brixtallow-spill.XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw CommandFailed("cannot create a temporary folder in " + temporary.string() + ": " +
                                std::strerror(errno));
        path_ = pattern;
        temporary_ = true;
    }
    ~CSpillFolder() {
        std::error_code ignored;
        if (temporary_) std::filesystem::remove_all(path_, ignored);
    }
    CSpillFolder(const CSpillFolder&) = delete;
    CSpillFolder& operator=(const CSpillFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    bool temporary_ = false;
};

// The reason a table yields nothing: the first finding that lost rows.
std::string FirstLoss(const CDamageReport& report) {
    for (const DamageFinding& finding : report.Findings())
        if (!finding.rowsStillRead) return finding.why;
    return "its rows are lost";
}

void RunRows(const RowsArgs& args, CliContext& context) {
    // The table's files are found by joining the names to the data
    // directory: each must be one name inside it.
    CheckDataDirectory(args.dataDir);
    CheckObjectName(args.database, "database");
    CheckObjectName(args.table, "table");
    if (!args.spillDir.empty()) CheckPathText(args.spillDir, "the --spill-dir path");
    if (!args.ibdata.empty()) CheckPathText(args.ibdata, "the --ibdata path");
    if (!args.damageReport.empty()) CheckPathText(args.damageReport, "the --damage-report path");
    if (!args.recoverFrom.empty()) CheckPathText(args.recoverFrom, "the --recover-from path");
    CAppState& app = context.App();
    // Findings go to stderr as the reader reports them, on the reading
    // thread, and are kept for the summary and the JSON file.
    CPrintingDamageSink damage(stderr);
    const CDamageReport& report = damage.report();
    // The JSON file is written however the command ends, once the reading
    // is over.
    auto writeReport = [&] {
        if (!args.damageReport.empty() && !WriteDamageJson(args.damageReport, report))
            throw CommandFailed("cannot write the damage report " + args.damageReport);
    };
    CReadOptions options;
    options.exportMode = args.exportMode;
    // Off-page values go from the tablespace straight into the output as the
    // writer writes them: nothing is spilled.
    options.keepExternal = args.exportMode;
    options.deleted = args.deleted;
    options.damage = &damage;
    options.recoverFrom = args.recoverFrom;
    std::unique_ptr<CSpillFolder> spillFolder;
    if (args.exportMode) {
        spillFolder = std::make_unique<CSpillFolder>(args.spillDir);
        options.spillFolder = spillFolder->path();
    }
    // The system tablespace holds the dictionary and the tables that have no
    // file of their own.
    CInnoDictionary dictionary;
    const std::filesystem::path ibdata = args.ibdata.empty()
                                             ? std::filesystem::path(args.dataDir) / "ibdata1"
                                             : std::filesystem::path(args.ibdata);
    // Damage in the dictionary is told only where it can touch the table's
    // rows: an InnoDB table, or one that did not open.
    CDamageReport dictionaryDamage;
    const auto tellDictionaryDamage = [&] {
        for (DamageFinding& finding : dictionaryDamage.Findings())
            damage.Report(std::move(finding));
    };
    if (!dictionary.Open(ibdata, app, &dictionaryDamage) && !args.ibdata.empty()) {
        tellDictionaryDamage();
        writeReport();
        throw CommandFailed("cannot open the system tablespace " + args.ibdata);
    }
    CTableRows rows;
    const std::filesystem::path folder = std::filesystem::path(args.dataDir) / args.database;
    const OpenRowsResult opened =
        rows.Open(folder, Utf8ToUtf16(args.table), app, options, &dictionary);
    if (opened != OpenRowsResult::kOk || rows.table().engineCode == EngineCode::kInnoDb)
        tellDictionaryDamage();
    if (opened != OpenRowsResult::kOk) writeReport();
    switch (opened) {
        case OpenRowsResult::kOk:
            break;
        case OpenRowsResult::kNoDefinition:
            throw CommandFailed("no readable table definition for " + args.database + "." +
                                args.table + " in " + args.dataDir);
        case OpenRowsResult::kUnsupportedEngine:
            if (rows.table().engineCode == EngineCode::kMemory)
                throw CommandFailed(
                    "the table's storage engine is MEMORY, which keeps its rows in memory only: "
                    "its files hold none");
            throw CommandFailed("the table's storage engine is not MyISAM, InnoDB or CSV");
        case OpenRowsResult::kReadError:
            throw CommandFailed("read error in the table's data file");
        case OpenRowsResult::kChangedInPlace:
            throw CommandFailed(
                "the table's columns were added or dropped in place (ALTER TABLE ... "
                "ALGORITHM=INSTANT); reading the rows of such MySQL 8.0+ tables is not "
                "supported yet, so none are shown");
    }
    const CTableDef& table = rows.table();
    std::unique_ptr<CTsvWriter> tsv;
    std::unique_ptr<CJsonRowsWriter> json;
    if (args.format == "json") {
        json = std::make_unique<CJsonRowsWriter>(stdout);
        json->BeginColumns();
        for (const CColumnDef& c : table.columns) json->Column(c.name);
        if (rows.deletedMode()) {
            json->Column(kDeletedSourceColumn);
            json->Column(kDeletedUnknownColumn);
        }
        json->EndColumns();
    } else {
        tsv = std::make_unique<CTsvWriter>(stdout);
        for (const CColumnDef& c : table.columns) tsv->Field(c.name);
        if (rows.deletedMode()) {
            tsv->Field(kDeletedSourceColumn);
            tsv->Field(kDeletedUnknownColumn);
        }
        tsv->EndRow();
    }
    // The writer reads the off-page values through a handle of its own,
    // never the reader's, so that it may run beside the reader.
    CExternalValues values;
    if (std::vector<std::filesystem::path> paths = rows.TablespacePaths();
        args.exportMode && !paths.empty() && !values.Open(std::move(paths)))
        throw CommandFailed("cannot open the table's tablespace again to read its long values");
    auto write = [&](const CRowWindow& window) {
        WriteRowWindow(window, table, app, values.IsOpen() ? &values : nullptr, &damage, tsv.get(),
                       json.get());
    };
    const int64_t rowsRead = WriteWindows(rows, app, args.all, write);
    const bool written = json ? json->Finish() : tsv->Flush();
    writeReport();
    if (!written) throw CommandFailed("cannot write the output");
    context.exitStatus = ReadStatus(rowsRead, report);
    if (context.exitStatus == ExitStatus::kNothingRead)
        throw CommandFailed("nothing could be read from " + args.database + "." + args.table +
                            ": " + FirstLoss(report));
    if (!report.Empty()) std::fprintf(stderr, "%s\n", DamageSummary(rowsRead, report).c_str());
}

}  // namespace

void AddRowsCommand(CLI::App& program, CliContext& context) {
    auto args = std::make_shared<RowsArgs>();
    CLI::App* command =
        program.add_subcommand("rows", "Print the rows of a table, a window of 1000 at a time");
    command->add_option("DATADIR", args->dataDir, "MySQL data directory")->required();
    command->add_option("DB", args->database, "database folder name")->required();
    command->add_option("TABLE", args->table, "table name")->required();
    command->add_flag("--all", args->all, "read every window until the end of the table");
    command->add_option("--format", args->format, "output format")
        ->check(CLI::IsMember({"tsv", "json"}))
        ->capture_default_str();
    command->add_flag("--export", args->exportMode,
                      "render long and binary values in full, as saving does");
    command->add_flag("--deleted", args->deleted,
                      "print only the rows of deleted records the files still hold, with the "
                      "columns _source (delete-marked, free-list, deleted-slot or "
                      "deleted-block) and _unknown (the columns whose bytes were overwritten, "
                      "shown as NULL)");
    command->add_option("--recover-from", args->recoverFrom,
                        "read the rows of FILE, a data file no table owns any more (a dropped "
                        "table's .ibd or .MYD, or an ibdata1 that held it), by the definition of "
                        "DB.TABLE: live and deleted records, printed as with --deleted, live "
                        "ones with _source recovered-page (InnoDB) or recovered-row (MyISAM)");
    command->add_option("--spill-dir", args->spillDir,
                        "folder for spill files in export mode, created when missing (long "
                        "InnoDB values are streamed into the output: none is left there)");
    command->add_option("--ibdata", args->ibdata,
                        "the system tablespace to read (default DATADIR/ibdata1)");
    command->add_option("--damage-report", args->damageReport,
                        "write what the readers skipped or could not read to FILE as JSON lines, "
                        "one object a line");
    command->callback([args, &context] { RunRows(*args, context); });
}

}  // namespace brix
