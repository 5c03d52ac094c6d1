#include <cstdio>
#include <stdexcept>

#include "cli/commands.h"

namespace {

constexpr char kVersionText[] = "brixtallow-cli 22.0 (Karvo MySQL Database Repair v22.0)";

}  // namespace

int main(int argc, char** argv) {
    brix::CliContext context;
    CLI::App program("Reads the files of a MySQL or MariaDB data directory without a server.",
                     "brixtallow-cli");
    program.set_version_flag("--version", kVersionText);
    program
        .add_option("--codepage", context.codepage,
                    "ANSI code page for text without a known character set (iconv name)")
        ->capture_default_str();
    program.add_option("--log-dir", context.logDir,
                       "folder for the log file of each scan (default: no log file)");
    program.require_subcommand(1);
    brix::AddColumnsCommand(program, context);
    brix::AddRowsCommand(program, context);
    brix::AddTreeCommand(program, context);
    brix::AddViewCommand(program, context);
    brix::AddTriggerCommand(program, context);
    brix::AddBrowseCommand(program, context);
    brix::AddSaveCommand(program, context);
    brix::AddTestConnectionCommand(program);
    try {
        program.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return program.exit(e);
    } catch (const brix::CommandFailed& e) {
        std::fprintf(stderr, "brixtallow-cli: %s\n", e.what());
        return 1;
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "brixtallow-cli: %s\n", e.what());
        return 2;
    }
    return 0;
}
