#include "cli/command_line.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "cli/commands.h"
#include "cli/damage_output.h"

namespace brix {

namespace {

constexpr char kVersionText[] = "brixtallow-cli 22.0 (Karvo MySQL Database Repair v22.0)";

int Fail(const char* message, int status) {
    std::fprintf(stderr, "brixtallow-cli: %s\n", message);
    return status;
}

}  // namespace

int RunCommandLine(int argc, const char* const* argv) {
    try {
        CliContext context;
        CLI::App program("Reads the files of a MySQL or MariaDB data directory without a server.",
                         "brixtallow-cli");
        program.set_version_flag("--version", kVersionText);
        program.footer(kExitStatusHelp);
        program
            .add_option("--codepage", context.codepage,
                        "ANSI code page for text without a known character set (iconv name)")
            ->capture_default_str();
        program.add_option("--log-dir", context.logDir,
                           "folder for the log file of each scan (default: no log file)");
        program.require_subcommand(1);
        AddColumnsCommand(program, context);
        AddRowsCommand(program, context);
        AddTreeCommand(program, context);
        AddViewCommand(program, context);
        AddTriggerCommand(program, context);
        AddBrowseCommand(program, context);
        AddSaveCommand(program, context);
        AddTestConnectionCommand(program);
        try {
            program.parse(argc, argv);
        } catch (const CLI::ParseError& e) {
            // --help and --version end well; every other parse error is
            // wrong usage, whatever code the parser gives it.
            return program.exit(e) == 0 ? ExitStatus::kAllRead : ExitStatus::kWrongUsage;
        }
        return context.exitStatus;
    } catch (const CommandFailed& e) {
        return Fail(e.what(), ExitStatus::kNothingRead);
    } catch (const std::invalid_argument& e) {
        return Fail(e.what(), ExitStatus::kWrongUsage);
    } catch (const std::filesystem::filesystem_error& e) {
        // A path the system refused where no check of ours came first.
        return Fail(e.what(), 1);
    } catch (const std::bad_alloc&) {
        return Fail("out of memory", 1);
    } catch (const std::exception& e) {
        return Fail(e.what(), 1);
    } catch (...) {
        return Fail("the command failed", 1);
    }
    return 0;
}

}  // namespace brix
