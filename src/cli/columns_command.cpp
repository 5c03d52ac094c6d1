#include <cstdio>
#include <filesystem>

#include "app/text.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console_session.h"
#include "cli/output.h"

namespace brix {

namespace {

struct ColumnsArgs {
    std::string dataDir;
    std::string database;
    std::string table;
};

// Scans the data directory and clicks the table's "Keys" node, as a user
// would, then prints the grid that shows.
void RunColumns(const ColumnsArgs& args, CliContext& context) {
    CheckDataDirectory(args.dataDir);
    CheckObjectName(args.database, "database");
    CheckObjectName(args.table, "table");
    CConsoleSession session(context.App(), stdout, {});
    session.Scan(args.dataDir, false);
    const TreeItem keys = session.FindNode(args.database + "/Tables/" + args.table + "/Keys");
    if (keys == kNoTreeItem) {
        const std::filesystem::path frm =
            std::filesystem::path(args.dataDir) / args.database / (args.table + ".frm");
        throw CommandFailed("no table definition " + frm.string() + " in the catalogue");
    }
    session.Select(keys);
    CTsvWriter out(stdout);
    for (const std::u16string& title : session.ui.gridColumns()) out.Field(title);
    out.EndRow();
    for (const auto& row : session.ui.gridRows()) {
        for (const std::u16string& cell : row) out.Field(cell);
        out.EndRow();
    }
    if (!out.Flush()) throw CommandFailed("cannot write the output");
}

}  // namespace

void AddColumnsCommand(CLI::App& program, CliContext& context) {
    auto args = std::make_shared<ColumnsArgs>();
    CLI::App* command = program.add_subcommand(
        "columns",
        "Print the column definitions of table TABLE of database DB as tab-separated text");
    command->add_option("DATADIR", args->dataDir, "MySQL data directory")->required();
    command->add_option("DB", args->database, "database folder name")->required();
    command->add_option("TABLE", args->table, "table name")->required();
    command->callback([args, &context] { RunColumns(*args, context); });
}

}  // namespace brix
