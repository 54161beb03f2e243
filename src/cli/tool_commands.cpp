#include "cli/tool_commands.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>

#include "cli/arguments.h"
#include "cli/output.h"
#include "cli/utf8_path.h"
#include "text/ascii.h"
#include "tools/help.h"
#include "tools/tool_paths.h"

namespace quoldex::cli {
namespace {

namespace fs = std::filesystem;
using app::ActionId;

// Full paths of `files`, each checked to be an existing file.
std::vector<std::string> ExistingFiles(const std::vector<std::string>& files) {
  std::vector<std::string> paths;
  for (const std::string& file : files) {
    std::error_code error;
    const fs::file_status status = fs::status(Utf8Path(file), error);
    if (!error && fs::is_directory(status)) error = std::make_error_code(std::errc::is_a_directory);
    if (error) throw app::ECommandError(file + ": " + error.message());
    paths.push_back(PathText(fs::absolute(Utf8Path(file)).lexically_normal()));
  }
  return paths;
}

// Selects the child of `root` whose text equals `text` ignoring case;
// raises `missing` when there is none.
void SelectChild(app::TfrmQuoldexBrowser& browser, tree::TreeNode* root, const std::string& text,
                 const std::string& missing) {
  for (size_t i = 0; root != nullptr && i < root->Count(); ++i) {
    if (text::AsciiLowerCase(root->Child(i).Text()) == text::AsciiLowerCase(text)) {
      browser.Tree().TreeView1().Select(&root->Child(i));
      return;
    }
  }
  throw app::ECommandError(missing);
}

void SelectPackage(app::TfrmQuoldexBrowser& browser, const std::string& package) {
  SelectChild(browser, browser.Tree().PackagesRoot(), package,
              "No package \"" + package + "\" in the catalogue.");
}

void SelectMap(app::TfrmQuoldexBrowser& browser, const std::string& name) {
  SelectChild(browser, browser.Tree().MapsRoot(), name, "No map \"" + name + "\" in the list.");
}

// Runs the action as the window would for the selected node; a command
// that does not apply there is an error.
void Perform(app::TfrmQuoldexBrowser& browser, ActionId id) {
  browser.EnableCommands();
  if (browser.Execute(id) == app::CommandOutcome::kDisabled) {
    throw app::ECommandError("The \"" + browser.Action(id).caption +
                             "\" command does not apply here.");
  }
}

}  // namespace

void CompileCommand(app::TfrmQuoldexBrowser& browser, const std::string& package,
                    std::ostream& /*out: the log comes through the console's log viewer*/) {
  if (!package.empty()) SelectPackage(browser, package);
  Perform(browser, ActionId::actCompile);
}

void DefaultPackageCommand(app::TfrmQuoldexBrowser& browser, const std::string& package) {
  SelectPackage(browser, package);
  Perform(browser, ActionId::actDefaultPackage);
}

void ExportCommand(app::TfrmQuoldexBrowser& browser, const std::vector<std::string>& files,
                   std::ostream& out) {
  browser.Export().ExportPackages(ExistingFiles(files));
  WriteLine(out, {browser.GetUi().StatusText()});
}

void MapsCommand(app::TfrmQuoldexBrowser& browser, std::ostream& out) {
  data::BrowserData& data = browser.Data();
  const std::string default_map = browser.Prefs().TestMap();
  for (data.dtblMaps.First(); !data.dtblMaps.Eof(); data.dtblMaps.Next()) {
    const std::string file = data.dtblMapsFilename->AsString();
    WriteLine(out, {data.dtblMapsMapName->AsString(), file,
                    !default_map.empty() && file == default_map ? "*" : ""});
  }
}

void AddMapCommand(app::TfrmQuoldexBrowser& browser, const std::vector<std::string>& files) {
  const std::vector<std::string> refused = browser.Maps().AddMapFiles(ExistingFiles(files));
  if (refused.empty()) return;
  std::string names;
  for (const std::string& file : refused) names += (names.empty() ? "" : ", ") + file;
  throw app::ECommandError("A map of the same name is listed already, not added: " + names);
}

void DeleteMapCommand(app::TfrmQuoldexBrowser& browser, const std::string& name) {
  SelectMap(browser, name);
  Perform(browser, ActionId::actDeleteMap);
}

void DefaultMapCommand(app::TfrmQuoldexBrowser& browser, const std::string& name) {
  SelectMap(browser, name);
  Perform(browser, ActionId::actDefaultMap);
}

void PlayCommand(app::TfrmQuoldexBrowser& browser, const std::string& name) {
  if (!name.empty()) SelectMap(browser, name);
  Perform(browser, ActionId::actUnreal);
}

void ReadmeCommand(app::TfrmQuoldexBrowser& browser, std::ostream& /*out: through the viewer*/) {
  platform::Platform& platform = browser.GetPlatform();
  const std::string readme =
      platform.MatchFileName(tools::AddBackslash(platform.ExecutableDir()) + tools::kReadmeFile);
  if (!platform.FileExists(readme)) {
    throw app::ECommandError("No read-me beside the program: " + readme);
  }
  Perform(browser, ActionId::actHelp);
}

void PrintCommand(app::TfrmQuoldexBrowser& browser, const std::string& name) {
  browser.Finder().LocateClass(name);
  Perform(browser, ActionId::actPrint);
}

namespace {

// Adds the subcommand `command` whose one positional option `label` takes
// a name (required or not); the invocation then runs `run` with that name.
void AddNameCommand(
    CLI::App& app, Invocation& invocation, const std::string& command, const std::string& help,
    const std::string& label, const std::string& label_help, bool required,
    std::function<void(app::TfrmQuoldexBrowser&, const std::string&, std::ostream&)> run) {
  // The parser fills this while it runs; the callback keeps it alive.
  auto name = std::make_shared<std::string>();
  CLI::App* subcommand = app.add_subcommand(command, help);
  CLI::Option* option = subcommand->add_option(label, *name, label_help);
  if (required) option->required();
  subcommand->callback([name, run = std::move(run), &invocation] {
    invocation.command = [value = *name, run](app::TfrmQuoldexBrowser& b, std::ostream& out) {
      run(b, value, out);
    };
  });
}

}  // namespace

void AddToolCommands(CLI::App& app, Invocation& invocation) {
  using Browser = app::TfrmQuoldexBrowser;
  // The parser fills these while it runs; the callbacks keep them alive.
  auto files = std::make_shared<std::vector<std::string>>();

  AddNameCommand(
      app, invocation, "compile",
      "Compile as if the node of package PACKAGE were selected (none: nothing selected, so\n"
      "the default package). The compiler's log is written to standard output; the status\n"
      "texts go to standard error with --verbose. \"Compile package '...'?\" is answered No\n"
      "unless --yes, and then written to standard error.",
      "PACKAGE", "Package name (any letter case)", false,
      [](Browser& b, const std::string& name, std::ostream& out) { CompileCommand(b, name, out); });

  AddNameCommand(
      app, invocation, "default-package",
      "Make Default Package with the node of package PACKAGE selected.", "PACKAGE",
      "Package name (any letter case)", true,
      [](Browser& b, const std::string& name, std::ostream&) { DefaultPackageCommand(b, name); });

  CLI::App* export_classes = app.add_subcommand(
      "export",
      "Export Classes with the package files FILE.u as chosen, in that order: the compiler's\n"
      "batchexport writes each package's scripts below <game folder>/<package>/meshes/, and\n"
      "with AddExportedClasses on the new classes are catalogued. Writes \"Done.\".");
  export_classes->add_option("FILE", *files, "Compiled package files (*.u)")->required();
  export_classes->callback([files, &invocation] {
    invocation.command = [chosen = *files](Browser& b, std::ostream& out) {
      ExportCommand(b, chosen, out);
    };
  });

  CLI::App* maps = app.add_subcommand(
      "maps", "The maps: name<TAB>file<TAB>\"*\" for the default map, a line each.");
  maps->callback([&invocation] {
    invocation.command = [](Browser& b, std::ostream& out) { MapsCommand(b, out); };
  });

  CLI::App* add_map = app.add_subcommand(
      "add-map",
      "Add Map(s) with the map files FILE as chosen. A map whose name (cut to 25\n"
      "characters) is listed already is not added, and the command then fails naming it.");
  add_map->add_option("FILE", *files, "Map files (*.unr)")->required();
  add_map->callback([files, &invocation] {
    invocation.command = [chosen = *files](Browser& b, std::ostream&) { AddMapCommand(b, chosen); };
  });

  AddNameCommand(
      app, invocation, "delete-map", "Delete Map with the map node NAME selected.", "NAME",
      "Map name as listed (any letter case)", true,
      [](Browser& b, const std::string& name, std::ostream&) { DeleteMapCommand(b, name); });

  AddNameCommand(
      app, invocation, "default-map", "Make Default Map with the map node NAME selected.", "NAME",
      "Map name as listed (any letter case)", true,
      [](Browser& b, const std::string& name, std::ostream&) { DefaultMapCommand(b, name); });

  AddNameCommand(
      app, invocation, "play",
      "Play Map: opens the map NAME (none: the default map) with the desktop's handler for\n"
      "map files.",
      "NAME", "Map name as listed (any letter case)", false,
      [](Browser& b, const std::string& name, std::ostream&) { PlayCommand(b, name); });

  CLI::App* readme = app.add_subcommand(
      "readme", "Help: the read-me (readme.txt beside the program) on standard output.");
  readme->callback([&invocation] {
    invocation.command = [](Browser& b, std::ostream& out) { ReadmeCommand(b, out); };
  });

  AddNameCommand(app, invocation, "print",
                 "Print File: hands the script file of class NAME to the system's print command.",
                 "NAME", "Class name (any letter case)", true,
                 [](Browser& b, const std::string& name, std::ostream&) { PrintCommand(b, name); });
}

}  // namespace quoldex::cli
