// One run of quoldex-cli: the main window over the data folder, as the
// desktop program would run it, with the console Ui and the POSIX platform.
//
// FormCreate (the tables are created on the first run and opened, the tree
// is built unless the command does not use it), FormShow (the Preferences dialog, opened while no System
// folder is known, is cancelled by the console), the command, FormClose.
// Every error is shown by the main window's top-level handler, that is,
// written to standard error; an error in FormCreate or FormShow skips the
// command. Closing always runs.
#pragma once

#include <ostream>

#include "cli/arguments.h"

namespace quoldex::cli {

// Runs `invocation`, writing results to `out` and messages to `err`.
// kExitFailed when any error was shown, else kExitOk.
int RunInvocation(const Invocation& invocation, std::ostream& out, std::ostream& err);

}  // namespace quoldex::cli
