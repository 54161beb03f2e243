#include "cli/arguments.h"

#include <CLI/CLI.hpp>
#include <limits>
#include <vector>

#include "cli/commands.h"
#include "cli/grep_command.h"
#include "cli/tool_commands.h"
#include "cli/tree_listing.h"

namespace quoldex::cli {
namespace {

constexpr const char* kDescription =
    "quoldex-cli: the Quoldex class browser without a window. It catalogues UnrealScript\n"
    "classes (*.uc) into the tables of a data folder and lists them by inheritance and by\n"
    "package.\n";

constexpr const char* kFooter =
    "Data folder: \"Data/\" beside the executable whatever the current folder (when that\n"
    "folder cannot be written and holds no Data/ yet, the per-user data folder), or --data\n"
    "DIR. The first run creates the folder (and its missing parents) and the tables in\n"
    "it.\n"
    "Output: one item a line on standard output, fields separated by a tab (a tab, line\n"
    "feed or carriage return inside a value is written \\t, \\n or \\r). An error writes its\n"
    "message to standard error and exits 1; a usage error exits 2. No dialog is ever\n"
    "shown: one that would open is cancelled, and a question answers No unless --yes.";

// Accepts NAME=VALUE with a non-empty name (no description: the option shows
// NAME=VALUE as its type).
const CLI::Validator kAssignment(
    [](std::string& value) {
      return SplitAssignment(value) ? std::string() : "expected NAME=VALUE, got \"" + value + "\"";
    },
    "");

const CLI::Validator kNotEmpty(
    [](std::string& value) { return value.empty() ? "a folder is needed, not \"\"" : ""; }, "");

// Values the parser fills; the chosen command's callback turns them into
// the invocation's command.
struct Values {
  std::vector<std::string> paths;
  std::vector<std::string> items;
  std::string name;
  std::string statement;
  TreeListingOptions tree;
  int depth = -1;
};

void AddCommands(CLI::App& app, Values& v, Invocation& invocation) {
  using Browser = app::TfrmQuoldexBrowser;

  CLI::App* scan = app.add_subcommand(
      "scan",
      "Scan Directories on each folder as if picked: every *.uc file below it not yet\n"
      "catalogued becomes a class. Writes \"Done.\" after each folder. Ctrl+C ends the\n"
      "scan early, as Escape does.");
  scan->add_option("DIR", v.paths, "Folders to scan")->required();
  scan->callback([&] {
    invocation.command = [paths = v.paths](Browser& b, std::ostream& out) {
      ScanCommand(b, paths, out);
    };
  });

  CLI::App* add = app.add_subcommand(
      "add", "Add Files with each file in turn, as if picked in the open dialog (no time stamp).");
  add->add_option("FILE", v.paths, "Script files to add")->required();
  add->callback([&] {
    invocation.command = [paths = v.paths](Browser& b, std::ostream& out) {
      AddCommand(b, paths, out);
    };
  });

  CLI::App* tree = app.add_subcommand(
      "tree",
      "The class tree: \"Classes\", \"Maps\" and \"Packages\" with their loaded children,\n"
      "two blanks of indent per level; a bold node (default package or map) ends with \" *\".");
  tree->add_flag("--expand-all", v.tree.expand_all, "Expand every node");
  tree->add_option("--depth", v.depth, "Expand and list N levels below the roots (0: roots only)")
      ->check(CLI::Range(0, std::numeric_limits<int>::max()));
  tree->callback([&] {
    if (v.depth >= 0) v.tree.depth = v.depth;
    invocation.command = [options = v.tree](Browser& b, std::ostream& out) {
      ListTree(b.Tree(), options, out);
    };
  });

  CLI::App* children = app.add_subcommand(
      "children", "The classes whose parent is NAME (\"<none>\": the root classes), a line each.");
  children->add_option("NAME", v.name, "Class name (any letter case)")->required();
  children->callback([&] {
    invocation.command = [name = v.name](Browser& b, std::ostream& out) {
      ChildrenCommand(b, name, out);
    };
  });

  CLI::App* packages = app.add_subcommand("packages", "The packages, a line each.");
  packages->callback(
      [&] { invocation.command = [](Browser& b, std::ostream& out) { PackagesCommand(b, out); }; });

  CLI::App* package = app.add_subcommand("package", "The classes of package NAME, a line each.");
  package->add_option("NAME", v.name, "Package name (any letter case)")->required();
  package->callback([&] {
    invocation.command = [name = v.name](Browser& b, std::ostream& out) {
      PackageCommand(b, name, out);
    };
  });

  CLI::App* find = app.add_subcommand(
      "find",
      "Locate class NAME in the tree: writes \"Inheritance is ...\", then the path of its\n"
      "node, e.g. Classes/Object/Actor/Pawn.");
  find->add_option("NAME", v.name, "Class name (any letter case)")->required();
  find->callback([&] {
    invocation.command = [name = v.name](Browser& b, std::ostream& out) {
      FindCommand(b, name, out);
    };
  });

  CLI::App* show = app.add_subcommand(
      "show",
      "The class properties of NAME: Name, Inherits From, Filename, Last updated and\n"
      "Package, each as label<TAB>value.");
  show->add_option("NAME", v.name, "Class name (any letter case)")->required();
  show->callback([&] {
    invocation.command = [name = v.name](Browser& b, std::ostream& out) {
      ShowCommand(b, name, out);
    };
  });

  CLI::App* sql = app.add_subcommand(
      "sql",
      "Run a SELECT over the data folder's tables (objects, pref, systemu, maps, items):\n"
      "a line of column names, then the rows. Statements that change a table are refused.");
  sql->add_option("STATEMENT", v.statement, "e.g. \"select * from objects where Package = :P\"")
      ->required();
  sql->add_option("--param", v.items, "A value for the parameter NAME (repeatable)")
      ->type_name("NAME=VALUE")
      ->check(kAssignment)
      ->allow_extra_args(false);
  sql->callback([&] {
    invocation.command = [statement = v.statement, params = v.items](Browser& b,
                                                                     std::ostream& out) {
      SqlCommand(b, statement, params, out);
    };
  });

  CLI::App* prefs = app.add_subcommand(
      "prefs",
      "Without arguments, every preference field as name<TAB>value. FIELD writes that\n"
      "field; FIELD=VALUE sets it (FIELD= clears it) through one edit of the record.");
  prefs->add_option("FIELD", v.items, "FIELD or FIELD=VALUE, e.g. SystemDir=/games/UT/System");
  prefs->callback([&] {
    invocation.command = [items = v.items](Browser& b, std::ostream& out) {
      PrefsCommand(b, items, out);
    };
  });
}

}  // namespace

std::variant<Invocation, int> ParseArguments(int argc, const char* const* argv, std::ostream& out,
                                             std::ostream& err) {
  Invocation invocation;
  Values values;
  std::string data_folder;
  CLI::App app(kDescription, "quoldex-cli");
  app.footer(kFooter);
  app.set_version_flag("--version", app::TfrmQuoldexBrowser::kVersionLine);
  app.add_option("--data", data_folder,
                 "The data folder to use instead of the one beside the executable")
      ->type_name("DIR")
      ->check(kNotEmpty);
  app.add_flag("-v,--verbose", invocation.verbose, "Write status texts to standard error");
  app.add_flag("-y,--yes", invocation.yes, "Answer Yes to every question");
  app.require_subcommand(1, 1);
  app.fallthrough();
  AddCommands(app, values, invocation);
  AddGrepCommand(app, invocation);
  AddToolCommands(app, invocation);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error, out, err);
    return status == 0 ? kExitOk : kExitUsage;
  }
  if (app.count("--data") > 0) invocation.data_folder = data_folder;
  return invocation;
}

}  // namespace quoldex::cli
