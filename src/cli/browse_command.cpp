// brixtallow-cli browse: the desktop session driven from standard input.

#include <cstdio>
#include <iostream>
#include <string>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console_session.h"

namespace brix {

namespace {

struct BrowseArgs {
    std::string dataDir;
    std::string answer = "no";
    std::string ibdata;
};

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// Runs one command line; false for quit.
bool RunBrowseLine(std::string_view line, CConsoleSession& session) {
    if (line == "stop") {
        session.scanner.StopCommand();
        return true;
    }
    // Everything but Stop waits for the scan, as the window's commands are
    // refused until it has ended; a script then always sees its end.
    session.scanner.Wait();
    if (line == "quit") return false;
    if (line.starts_with("select ")) {
        const std::string_view path = Trim(line.substr(7));
        const TreeItem item = session.FindNode(path);
        if (item == kNoTreeItem) {
            std::fprintf(stderr, "brixtallow-cli: no node %.*s\n", static_cast<int>(path.size()),
                         path.data());
            return true;
        }
        session.Select(item);
    } else if (line == "next" || line == "previous") {
        const bool next = line == "next";
        // A disabled button cannot be pressed.
        const bool enabled = session.ui.pagingButtonsShown() &&
                             (next ? session.ui.nextEnabled() : session.ui.previousEnabled());
        if (!enabled) {
            session.ui.PrintLine(next ? "[disabled] Next Records" : "[disabled] Previous Records");
            return true;
        }
        if (next) {
            session.browser.ShowNextRecords();
        } else {
            session.browser.ShowPreviousRecords();
        }
    } else {
        std::fprintf(stderr, "brixtallow-cli: unknown browse command: %.*s\n",
                     static_cast<int>(line.size()), line.data());
        return true;
    }
    session.ui.PrintPanelIfChanged();
    return true;
}

// Reads the next line of in into line, keeping at most kMaxBrowseLine bytes
// of it; tooLong says the rest was thrown away. False at the end of input.
bool ReadBoundedLine(std::istream& in, std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    bool any = false;
    for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
        any = true;
        if (c == '\n') return true;
        if (line.size() < kMaxBrowseLine) {
            line.push_back(static_cast<char>(c));
        } else {
            tooLong = true;
        }
    }
    return any;
}

void RunBrowse(const BrowseArgs& args, CliContext& context) {
    CheckDataDirectory(args.dataDir);
    if (!args.ibdata.empty()) CheckPathText(args.ibdata, "the --ibdata path");
    ConsoleUiOptions options;
    options.showCaptions = true;
    options.showMessages = true;
    options.showLog = true;
    options.answerYes = args.answer == "yes";
    options.chosenFile = args.ibdata;
    CConsoleSession session(context.App(), stdout, options);
    session.Scan(args.dataDir, true);
    std::string line;
    bool tooLong = false;
    while (ReadBoundedLine(std::cin, line, tooLong)) {
        if (tooLong) {
            std::fprintf(stderr,
                         "brixtallow-cli: a browse command line longer than %zu bytes "
                         "was skipped\n",
                         kMaxBrowseLine);
            continue;
        }
        const std::string_view command = Trim(line);
        if (command.empty()) continue;
        if (!RunBrowseLine(command, session)) break;
    }
    session.scanner.Wait();
    if (!session.ui.ok()) throw CommandFailed("cannot write the output");
}

}  // namespace

void AddBrowseCommand(CLI::App& program, CliContext& context) {
    auto args = std::make_shared<BrowseArgs>();
    CLI::App* command = program.add_subcommand(
        "browse",
        "Scan DATADIR, then read commands from standard input, one a line: select PATH "
        "(node texts from the database down, joined by /), next, previous, stop, quit");
    command->add_option("DATADIR", args->dataDir, "MySQL data directory")->required();
    AddTreeOptions(command, args->answer, args->ibdata);
    command->callback([args, &context] { RunBrowse(*args, context); });
}

}  // namespace brix
