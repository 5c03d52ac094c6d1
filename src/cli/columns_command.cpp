#include <cstdio>
#include <filesystem>

#include "app/text.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "schema/column_grid.h"
#include "schema/frm_reader.h"

namespace brix {

namespace {

struct ColumnsArgs {
    std::string dataDir;
    std::string database;
    std::string table;
};

void RunColumns(const ColumnsArgs& args, CliContext& context) {
    CAppState& app = context.App();
    const std::filesystem::path frm =
        std::filesystem::path(args.dataDir) / args.database / (args.table + ".frm");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(frm, ec))
        throw CommandFailed("no table definition at " + frm.string());
    CTableDef table;
    ReadTableDefinition(table, frm, app);
    if (table.columns.empty())
        throw CommandFailed("not a readable table definition: " + frm.string());
    CTsvWriter out(stdout);
    for (const char16_t* title : kColumnGridTitles) out.Field(title);
    out.EndRow();
    for (const CColumnDef& column : table.columns) {
        for (const std::u16string& text : ColumnGridRow(column, table.tableCharset, app.collations))
            out.Field(text);
        out.EndRow();
    }
    if (!out.Flush()) throw CommandFailed("cannot write the output");
}

}  // namespace

void AddColumnsCommand(CLI::App& program, CliContext& context) {
    auto args = std::make_shared<ColumnsArgs>();
    CLI::App* command = program.add_subcommand(
        "columns", "Print the column definitions of DATADIR/DB/TABLE.frm as tab-separated text");
    command->add_option("DATADIR", args->dataDir, "MySQL data directory")->required();
    command->add_option("DB", args->database, "database folder name")->required();
    command->add_option("TABLE", args->table, "table name")->required();
    command->callback([args, &context] { RunColumns(*args, context); });
}

}  // namespace brix
