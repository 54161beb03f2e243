// TfrmQuoldexBrowser: the main window as a presentation model. It owns the
// catalogue's data sets, the class tree, the catalogue maintenance, the
// shared folder picker and open dialogs, the actions with their toolbar and
// menus, and the window's bounds; it wires them together and runs the
// window's events and commands. Front ends (the desktop window, the
// command-line program) show it and forward the user's input to it; it
// talks to the screen only through Ui and to the system only through
// Platform.
//
// Life: construct (nothing is opened), FormCreate (tables built on the
// first run, data sets opened, tree built), FormShow (Preferences while no
// System folder is known, commands enabled, window position restored),
// commands, FormClose (window position saved, data sets closed). The
// events and commands entered through the Run-style members below go
// through the top-level error handler (command_handler.h): an error is
// shown in a message box and ends that event or command only.
//
// One user-interface thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/actions.h"
#include "app/command_handler.h"
#include "app/window_placement.h"
#include "catalogue/catalogue_maintenance.h"
#include "catalogue/class_export.h"
#include "data/browser_data.h"
#include "data/pref_record.h"
#include "grep/grep_dialog.h"
#include "platform/platform.h"
#include "tools/map_commands.h"
#include "tools/package_compiler.h"
#include "tree/class_finder.h"
#include "tree/class_tree.h"
#include "ui/folder_picker.h"
#include "ui/open_dialog.h"
#include "ui/ui.h"

namespace quoldex::app {

class PreferencesDialog;

class TfrmQuoldexBrowser {
 public:
  static constexpr const char* kCaption = "Quoldex";
  static constexpr const char* kVersionLine = "Quoldex.1.11";

  // `data_folder`, when given, is used instead of the folder beside the
  // executable (ChooseDataFolder, data_folder.h); it need not exist yet.
  TfrmQuoldexBrowser(ui::Ui& ui, platform::Platform& platform,
                     std::optional<std::string> data_folder = std::nullopt);
  ~TfrmQuoldexBrowser();
  TfrmQuoldexBrowser(const TfrmQuoldexBrowser&) = delete;
  TfrmQuoldexBrowser& operator=(const TfrmQuoldexBrowser&) = delete;

  // ---- Window events (under the top-level handler) ----
  // CheckDataTables(DataFolder()), OpenDataSets, BuildTree (unless turned
  // off below); an error skips the remaining steps.
  CommandOutcome FormCreate();
  // Whether FormCreate builds the tree (it does unless told otherwise). A
  // front end whose one command never looks at the tree (the command
  // line's grep) turns it off to spare the queries that fill the tree's
  // first level; the tree then stays empty until a scan or an export
  // rebuilds it. Call before FormCreate.
  void SetBuildTreeAtCreate(bool build) { build_tree_at_create_ = build; }
  // ShowPreferences while SystemDir is null, EnableCommands,
  // RestoreWindowPosition; an error skips the remaining steps.
  CommandOutcome FormShow();
  // Releases the header reader's line buffer, saves the window position
  // (an error is shown, closing goes on) and closes dtblObjects, dsqlBase,
  // dsqlPackages, dsqlPackageLevel, dtblPref, dtblSystemU and dsqlBaseKids
  // in that order, ignoring their errors. dtblMaps closes with the object.
  // Runs once; later calls do nothing.
  void FormClose();
  bool Closed() const { return closed_; }
  // Called after FormClose when the Close command closed the window, so
  // that the front end can end the program.
  void SetOnClosed(std::function<void()> on_closed) { on_closed_ = std::move(on_closed); }

  // ---- Start-up steps (raising) ----
  // The data folder, ending in the separator; fixed for the object's life.
  const std::string& DataFolder() const { return data_folder_; }
  // Creates `directory` and its missing parents (CreateDataFolder raises
  // when it cannot). Then, under the folder's TableCreationLock, when it
  // holds no objects.dat (any letter case): shows "Building data tables.",
  // CreateDataTables, shows "Built data tables.". Otherwise nothing, even
  // when another table is missing.
  void CheckDataTables(const std::string& directory);
  // PrepareDataSet on the eight data sets in their order, opening
  // dtblObjects, dtblPref, dtblSystemU and dtblMaps (the tree opens
  // dsqlPackages when it lists the packages).
  void OpenDataSets();
  // Closes `data_set`, points it at the data folder and, when `open`,
  // opens it. Also used for the grep dialog's own table.
  void PrepareDataSet(tables::TDataSet& data_set, bool open);
  // Closes `data_set` when it is open, swallowing any error of the close.
  static void CloseDataSet(tables::TDataSet& data_set);
  // Sets the status text and handles pending messages.
  void ShowStatus(std::string_view text);
  // What the last OpenDataSets had to say about the catalogue's files, one
  // line each, also shown as status texts: a table recovered at open (a
  // writer had died in the middle of a change), and that the catalogue is
  // read-only (its files cannot be written). Empty when all is well.
  const std::vector<std::string>& CatalogueNotices() const { return notices_; }
  // True when the catalogue was opened read-only because its files cannot
  // be written; saving the window position is then skipped.
  bool CatalogueReadOnly() const { return read_only_; }

  // ---- Preferences ----
  // Runs the Preferences dialog; when it ends with OK, EnableCommands.
  // True for OK.
  bool ShowPreferences();
  void SaveWindowPosition();
  void RestoreWindowPosition();
  WindowPlacement& Placement() { return placement_; }
  const WindowPlacement& Placement() const { return placement_; }

  // ---- Commands ----
  const ActionList& Actions() const { return actions_; }
  const TAction& Action(ActionId id) const { return actions_[id]; }
  const std::vector<MenuItem>& MainMenu1() const { return main_menu_; }
  const std::vector<MenuItem>& PopupMenu1() const { return popup_menu_; }
  const std::vector<std::optional<ActionId>>& ToolBar1() const { return tool_bar_; }

  // Runs the action's command under the top-level handler; a disabled
  // action does nothing (kDisabled).
  CommandOutcome Execute(ActionId id);
  // The action a shortcut key runs now: the first menu item bound to the
  // key (the pop-up menu first while the tree has the focus, then the main
  // menu), provided its action is enabled; nothing otherwise. Ctrl+P is
  // therefore always Print File.
  std::optional<ActionId> ResolveShortcut(std::string_view key) const;
  // Executes what ResolveShortcut gives; kDisabled when nothing.
  CommandOutcome PressShortcut(std::string_view key);

  // Recomputes the actions' enabled states and the pop-up items'
  // visibility from the selected tree node and the preferences:
  //   class selected    a node with level >= 2 or NodeKind "C"
  //   package selected  NodeKind "P";  map selected  NodeKind "M"
  //   root selected     level 0
  //   Show Properties, Edit File, Print File, Grep Ancestors: class
  //   Compile: (class or package or DefaultCompilePackage set) and
  //            SystemDir set
  //   Make Default Package: package or class
  //   Delete Map, Make Default Map: map;  Play Map: map or TestMap set
  //   Grep All: root;  Grep Package: package
  //   every other action: always enabled.
  // A pop-up item is visible exactly when its action is enabled.
  void EnableCommands();
  // The pop-up menu is about to open: EnableCommands.
  CommandOutcome PopupMenu1Popup();

  // About: an information box captioned "Information", three lines:
  // "Quoldex.1.11" and two of credits.
  void actAboutExecute();
  // Close: FormClose, then the on-closed callback.
  void actCloseExecute();
  // Grep, Grep All, Grep Ancestors, Grep Package: ShowGrep with the
  // selected class, SelectedPackage and the action's tag as the scope,
  // modeless unless GrepModal, on top when GrepStayOnTop.
  void actGrepAncestorExecute(ActionId id);
  // The package the selected node stands for, as Compile takes it
  // (tools::PackageCompiler::SelectedPackage).
  std::string SelectedPackage();

  // ---- Tree events (under the top-level handler) ----
  CommandOutcome TreeView1Click();
  CommandOutcome TreeView1DblClick(tree::TreeNode* node, tree::MouseButton button);
  // The user expands `node` (its children are loaded on the way).
  CommandOutcome TreeView1Expand(tree::TreeNode& node);
  // Runs `command` under the top-level handler.
  CommandOutcome Run(const std::function<void()>& command);

  // ---- Parts ----
  ui::Ui& GetUi() const { return ui_; }
  platform::Platform& GetPlatform() const { return platform_; }
  data::BrowserData& Data() { return *data_; }
  data::PrefRecord& Prefs() { return prefs_; }
  tree::ClassTree& Tree() { return *tree_; }
  tree::ClassFinder& Finder() { return *finder_; }
  catalogue::CatalogueMaintenance& Catalogue() { return *catalogue_; }
  catalogue::ClassExport& Export() { return *export_; }
  tools::PackageCompiler& Compiler() { return *compiler_; }
  tools::MapCommands& Maps() { return *maps_; }
  ui::FolderPicker& BrowseDirectoryDlg1() { return BrowseDirectoryDlg1_; }
  ui::OpenDialog& odlgUnrealScript() { return odlgUnrealScript_; }
  ui::OpenDialog& odlgUnrealmap() { return odlgUnrealmap_; }
  // The grep dialog, made with the window and living as long as it.
  grep::TdlgGrep& dlgGrep() { return *dlgGrep_; }

 private:
  // Collects CatalogueNotices from the open tables.
  void NoteCatalogueState();

  // Binds every action to its command.
  void BindCommands();

  ui::Ui& ui_;
  platform::Platform& platform_;
  const std::string data_folder_;
  std::unique_ptr<data::BrowserData> data_;
  data::PrefRecord prefs_;
  ui::FolderPicker BrowseDirectoryDlg1_;
  ui::OpenDialog odlgUnrealScript_;
  ui::OpenDialog odlgUnrealmap_;
  WindowPlacement placement_;
  std::unique_ptr<tree::ClassTree> tree_;
  std::unique_ptr<tree::ClassFinder> finder_;
  std::unique_ptr<catalogue::CatalogueMaintenance> catalogue_;
  std::unique_ptr<catalogue::ClassExport> export_;
  std::unique_ptr<tools::PackageCompiler> compiler_;
  std::unique_ptr<tools::MapCommands> maps_;
  std::unique_ptr<PreferencesDialog> preferences_;
  std::unique_ptr<grep::TdlgGrep> dlgGrep_;
  ActionList actions_;
  std::vector<std::function<void()>> commands_;  // by ActionId
  std::vector<MenuItem> main_menu_;
  std::vector<MenuItem> popup_menu_;
  std::vector<std::optional<ActionId>> tool_bar_;
  bool closed_ = false;
  bool build_tree_at_create_ = true;
  std::vector<std::string> notices_;
  bool read_only_ = false;
  std::function<void()> on_closed_;
};

}  // namespace quoldex::app
