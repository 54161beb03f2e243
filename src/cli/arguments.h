// The command line of quoldex-cli:
//
//   quoldex-cli [--data DIR] [--verbose] [--yes] COMMAND [ARGS...]
//
// COMMAND is one of scan, add, tree, children, packages, package, find,
// show, sql and prefs (commands.h, tree_listing.h), grep (grep_command.h), or
// one of the game-tool commands compile, default-package, export, maps,
// add-map, delete-map, default-map, play, readme and print
// (tool_commands.h); --help after the program or after a command describes
// it. The global options may also follow the command.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <variant>

#include "app/quoldex_browser.h"

namespace quoldex::cli {

// What one run is asked to do.
struct Invocation {
  // --data DIR: the data folder; otherwise the one beside the executable.
  std::optional<std::string> data_folder;
  bool verbose = false;  // status texts to standard error
  bool yes = false;      // questions answer Yes
  // The command, run over the created and shown main window; it writes its
  // results to the stream.
  std::function<void(app::TfrmQuoldexBrowser& browser, std::ostream& out)> command;
  // False for a command that never looks at the class tree: the browser
  // then starts without building it.
  bool uses_tree = true;
  // Instead of `command`: work on the data folder's tables without the
  // browser (check, repair); returns the exit status.
  std::function<int(const std::string& folder, std::ostream& out, std::ostream& err)> maintenance;
};

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // an error was shown
inline constexpr int kExitUsage = 2;   // the command line was not understood

// Parses the arguments (argv[0] is the program). Returns the invocation, or
// the status to exit with at once: kExitOk after help or the version was
// written to `out`, kExitUsage after a usage error was written to `err`.
std::variant<Invocation, int> ParseArguments(int argc, const char* const* argv, std::ostream& out,
                                             std::ostream& err);

}  // namespace quoldex::cli
