#pragma once

#include <CLI/CLI.hpp>

#include "cli/cli_context.h"

namespace brix {

// Each command registers itself on the program and runs from its callback;
// a callback that fails throws CommandFailed with the message for stderr.
struct CommandFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void AddColumnsCommand(CLI::App& program, CliContext& context);
void AddRowsCommand(CLI::App& program, CliContext& context);
void AddTreeCommand(CLI::App& program, CliContext& context);
void AddViewCommand(CLI::App& program, CliContext& context);
void AddTriggerCommand(CLI::App& program, CliContext& context);
void AddBrowseCommand(CLI::App& program, CliContext& context);

// The options of the commands that scan and may ask about the system
// tablespace: --answer yes|no and --ibdata PATH.
void AddTreeOptions(CLI::App* command, std::string& answer, std::string& ibdata);
void AddSaveCommand(CLI::App& program, CliContext& context);
void AddTestConnectionCommand(CLI::App& program);

}  // namespace brix
