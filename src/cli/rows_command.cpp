#include <cstdio>
#include <filesystem>

#include "app/text.h"
#include "browse/table_rows.h"
#include "cli/commands.h"
#include "cli/output.h"

namespace brix {

namespace {

struct RowsArgs {
    std::string dataDir;
    std::string database;
    std::string table;
    bool all = false;
    std::string format = "tsv";
    bool exportMode = false;
    std::string spillDir;
};

void WriteWindow(const CRowWindow& rows, CTsvWriter* tsv, CJsonRowsWriter* json) {
    for (size_t r = 0; r < rows.rowCount(); ++r) {
        if (json) json->BeginRow();
        for (size_t c = 0; c < rows.columnCount(); ++c) {
            if (json) {
                json->Value(rows.Text(r, c), rows.IsNull(r, c));
            } else {
                tsv->Field(rows.Text(r, c));
            }
        }
        if (json) {
            json->EndRow();
        } else {
            tsv->EndRow();
        }
    }
}

void RunRows(const RowsArgs& args, CliContext& context) {
    CAppState& app = context.App();
    app.saveAsScript = args.exportMode ? 1 : 0;
    CTableDef table;
    const std::filesystem::path folder = std::filesystem::path(args.dataDir) / args.database;
    switch (OpenTableRows(table, folder, Utf8ToUtf16(args.table), app)) {
        case OpenRowsResult::kOk:
            break;
        case OpenRowsResult::kNoDefinition:
            throw CommandFailed("no readable table definition for " + args.database + "." +
                                args.table + " in " + args.dataDir);
        case OpenRowsResult::kUnsupportedEngine:
            throw CommandFailed("the table's storage engine is not MyISAM or InnoDB");
        case OpenRowsResult::kReadError:
            throw CommandFailed("read error in the table's data file");
    }
    std::unique_ptr<CTsvWriter> tsv;
    std::unique_ptr<CJsonRowsWriter> json;
    if (args.format == "json") {
        json = std::make_unique<CJsonRowsWriter>(stdout);
        json->BeginColumns();
        for (const CColumnDef& c : table.columns) json->Column(c.name);
        json->EndColumns();
    } else {
        tsv = std::make_unique<CTsvWriter>(stdout);
        for (const CColumnDef& c : table.columns) tsv->Field(c.name);
        tsv->EndRow();
    }
    WriteWindow(table.rows, tsv.get(), json.get());
    while (args.all && ReadNextWindow(table, app)) WriteWindow(table.rows, tsv.get(), json.get());
    const bool written = json ? json->Finish() : tsv->Flush();
    if (!written) throw CommandFailed("cannot write the output");
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
    command->add_option("--spill-dir", args->spillDir,
                        "folder for the spill files of long InnoDB values in export mode");
    command->callback([args, &context] { RunRows(*args, context); });
}

}  // namespace brix
