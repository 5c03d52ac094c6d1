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
void AddSaveCommand(CLI::App& program, CliContext& context);
void AddTestConnectionCommand(CLI::App& program);

}  // namespace brix
