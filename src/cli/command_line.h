#pragma once

namespace brix {

// Parses the command line of brixtallow-cli and runs its command. Returns the
// process's exit status: 0 when the command did its work, 1 when it failed
// (with a message on standard error), 2 for an unknown code page, and CLI11's
// own status for a command line it cannot parse. Never throws.
int RunCommandLine(int argc, const char* const* argv);

}  // namespace brix
