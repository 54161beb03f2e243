// The game-tool commands of quoldex-cli: compiling, the default package,
// class export, the maps, the read-me and printing. Each acts as the main
// window's command would with the named node selected (the node must be in
// the tree: a package under "Packages", a map under "Maps", a class found
// as Find Class finds it), and is refused, as a disabled command is, when
// the command does not apply.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/quoldex_browser.h"

namespace CLI {
class App;
}

namespace quoldex::cli {

struct Invocation;

// Adds the commands below to `app`; the one chosen sets
// invocation.command.
void AddToolCommands(CLI::App& app, Invocation& invocation);

// Compile with the package node `package` selected (any letter case), or
// with nothing selected (the default package) when `package` is empty. The
// compiler's log, when one is shown, is written to `out`.
void CompileCommand(app::TfrmQuoldexBrowser& browser, const std::string& package,
                    std::ostream& out);
// Make Default Package with the package node `package` selected.
void DefaultPackageCommand(app::TfrmQuoldexBrowser& browser, const std::string& package);
// Export Classes with `files` (checked to exist first) as the dialog's
// choice, in order; writes the final status ("Done.").
void ExportCommand(app::TfrmQuoldexBrowser& browser, const std::vector<std::string>& files,
                   std::ostream& out);
// The maps, in the tree's order: name, file, and "*" for the default map.
void MapsCommand(app::TfrmQuoldexBrowser& browser, std::ostream& out);
// Add Map(s) with `files` (checked to exist first); a file refused for its
// name raises an error naming it after the others were added.
void AddMapCommand(app::TfrmQuoldexBrowser& browser, const std::vector<std::string>& files);
// Delete Map, Make Default Map and Play Map with the map node `name`
// selected; Play Map with nothing selected (the default map) when `name`
// is empty.
void DeleteMapCommand(app::TfrmQuoldexBrowser& browser, const std::string& name);
void DefaultMapCommand(app::TfrmQuoldexBrowser& browser, const std::string& name);
void PlayCommand(app::TfrmQuoldexBrowser& browser, const std::string& name);
// Help: the read-me's text to `out`. Raises an error naming the file when
// there is no read-me beside the executable.
void ReadmeCommand(app::TfrmQuoldexBrowser& browser, std::ostream& out);
// Print File with the class `name` located and selected.
void PrintCommand(app::TfrmQuoldexBrowser& browser, const std::string& name);

}  // namespace quoldex::cli
