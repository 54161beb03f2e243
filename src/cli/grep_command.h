// The grep command of quoldex-cli: the grep dialog's Go on one scope.
//
//   quoldex-cli grep TEXT [--ancestors CLASS | --directory DIR [--mask MASK]
//                          | --package NAME]
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>

#include "app/quoldex_browser.h"
#include "cli/arguments.h"

namespace quoldex::cli {

// What to search for and where; the scope is All Classes unless one of
// ancestors, directory or package is given.
struct GrepRequest {
  std::string text;
  std::string ancestors;
  std::string directory;
  std::string mask = "*.uc";
  std::string package;
  bool by_ancestors = false;
  bool by_directory = false;
  bool by_package = false;
};

// Shows the grep dialog as the Grep command would (non-modal) with the
// scope and inputs of `request`, presses Go, then writes each result row as
// Name, File, Location (empty where none) in the dialog's order, and the
// dialog's status line (the summary) as the last line of the error stream.
// A relative DIR is taken from the current folder. Ctrl+C during the search
// is the dialog's Cancel: the search stops, the rows found so far are
// written and the status line reads "Search Canceled". With --verbose the
// dialog's progress texts go to the error stream too.
void GrepCommand(app::TfrmQuoldexBrowser& browser, const GrepRequest& request, std::ostream& out);

// Adds the "grep" subcommand to `app`; when it is chosen, it becomes the
// invocation's command.
void AddGrepCommand(CLI::App& app, Invocation& invocation);

}  // namespace quoldex::cli
