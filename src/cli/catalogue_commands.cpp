// The commands that show the catalogue: tree, view and trigger.

#include <cstdio>

#include "app/text.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console_session.h"

namespace brix {

namespace {

struct TreeArgs {
    std::string dataDir;
    std::string answer = "no";
    std::string ibdata;
};

struct NodeArgs {
    std::string dataDir;
    std::string database;
    std::string name;
};

void WriteText(std::u16string_view text) {
    std::string out = Utf16ToUtf8(text);
    if (!out.empty() && out.back() != '\n') out.push_back('\n');
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
        throw CommandFailed("cannot write the output");
}

void RunTree(const TreeArgs& args, CliContext& context) {
    CheckDataDirectory(args.dataDir);
    if (!args.ibdata.empty()) CheckPathText(args.ibdata, "the --ibdata path");
    ConsoleUiOptions options;
    options.showMessages = true;
    options.answerYes = args.answer == "yes";
    options.chosenFile = args.ibdata;
    CConsoleSession session(context.App(), stdout, options);
    session.Scan(args.dataDir, false);
    session.ui.PrintTree();
    session.ui.PrintLogList();
    if (!session.ui.ok()) throw CommandFailed("cannot write the output");
}

// Scans quietly, clicks the node group/name of the database and prints the
// text that shows.
void RunTextNode(const NodeArgs& args, const char* group, const char* what, CliContext& context) {
    CheckDataDirectory(args.dataDir);
    CheckObjectName(args.database, "database");
    CheckObjectName(args.name, what);
    CConsoleSession session(context.App(), stdout, {});
    session.Scan(args.dataDir, false);
    const TreeItem item = session.FindNode(args.database + "/" + group + "/" + args.name);
    if (item == kNoTreeItem)
        throw CommandFailed(std::string("no ") + what + " " + args.name + " in database " +
                            args.database + " of " + args.dataDir);
    session.Select(item);
    WriteText(session.ui.textBoxText());
}

void AddNodeOptions(CLI::App* command, NodeArgs& args, const char* nameHelp) {
    command->add_option("DATADIR", args.dataDir, "MySQL data directory")->required();
    command->add_option("DB", args.database, "database folder name")->required();
    command->add_option("NAME", args.name, nameHelp)->required();
}

}  // namespace

void AddTreeOptions(CLI::App* command, std::string& answer, std::string& ibdata) {
    command->add_option("--answer", answer, "the answer to every question")
        ->check(CLI::IsMember({"yes", "no"}))
        ->capture_default_str();
    command->add_option("--ibdata", ibdata,
                        "the system tablespace to choose when the scan asks for one");
}

void AddTreeCommand(CLI::App& program, CliContext& context) {
    auto args = std::make_shared<TreeArgs>();
    CLI::App* command = program.add_subcommand(
        "tree", "Scan DATADIR and print the catalogue tree and the log list");
    command->add_option("DATADIR", args->dataDir, "MySQL data directory")->required();
    AddTreeOptions(command, args->answer, args->ibdata);
    command->callback([args, &context] { RunTree(*args, context); });
}

void AddViewCommand(CLI::App& program, CliContext& context) {
    auto args = std::make_shared<NodeArgs>();
    CLI::App* command =
        program.add_subcommand("view", "Print the CREATE VIEW statement of view NAME of DB");
    AddNodeOptions(command, *args, "view name");
    command->callback([args, &context] { RunTextNode(*args, "Views", "view", context); });
}

void AddTriggerCommand(CLI::App& program, CliContext& context) {
    auto args = std::make_shared<NodeArgs>();
    CLI::App* command = program.add_subcommand(
        "trigger", "Print the triggers of trigger file NAME.TRG of DB as a script");
    AddNodeOptions(command, *args, "trigger file name without .TRG (the table's name)");
    command->callback([args, &context] { RunTextNode(*args, "Trigger", "trigger file", context); });
}

}  // namespace brix
