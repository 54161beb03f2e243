#include "app/quoldex_browser.h"

#include <stdexcept>
#include <utility>

#include "app/data_folder.h"
#include "app/preferences_dialog.h"
#include "catalogue/system_packages.h"
#include "data/createobject.h"
#include "data/table_creation_lock.h"
#include "platform/shell_document.h"
#include "tables/components/db_query.h"
#include "tables/components/db_table.h"
#include "tools/help.h"

namespace quoldex::app {

using enum ActionId;

TfrmQuoldexBrowser::TfrmQuoldexBrowser(ui::Ui& ui, platform::Platform& platform,
                                       std::optional<std::string> data_folder)
    : ui_(ui),
      platform_(platform),
      data_folder_(data_folder ? WithSeparator(std::move(*data_folder))
                               : ChooseDataFolder(platform)),
      data_(std::make_unique<data::BrowserData>()),
      prefs_(data_->dtblPref),
      main_menu_(MakeMainMenu()),
      popup_menu_(MakePopupMenu()),
      tool_bar_(MakeToolBar()) {
  odlgUnrealmap_.title = "Locate test map";
  odlgUnrealmap_.filter = "Unreal Map (*.unr)|*.unr|All Files (*.*)|*.*";
  odlgUnrealmap_.default_extension = "unr";
  data_->dtblSystemU.SetAfterOpen(catalogue::dtblSystemUAfterOpen);
  tree_ = std::make_unique<tree::ClassTree>(
      *data_, prefs_, ui_, platform_,
      tree::ClassTree::Callbacks{.enable_commands = [this] { EnableCommands(); },
                                 .play_map = [this] { maps_->PlayMap(); }});
  finder_ = std::make_unique<tree::ClassFinder>(*tree_, *data_, ui_, platform_,
                                                [this] { EnableCommands(); });
  catalogue_ = std::make_unique<catalogue::CatalogueMaintenance>(
      data_->dtblObjects, prefs_, BrowseDirectoryDlg1_, odlgUnrealScript_, ui_, platform_, [this] {
        tree_->ClearTree();
        tree_->BuildTree();
      });
  export_ = std::make_unique<catalogue::ClassExport>(*catalogue_, prefs_, ui_, platform_, [this] {
    tree_->ClearTree();
    tree_->BuildTree();
  });
  compiler_ = std::make_unique<tools::PackageCompiler>(
      *tree_, *data_, prefs_, ui_, platform_, [this](std::string_view package) {
        return catalogue::IsSystemPackage(data_->dtblSystemU, package);
      });
  maps_ =
      std::make_unique<tools::MapCommands>(*tree_, *data_, prefs_, odlgUnrealmap_, ui_, platform_);
  preferences_ =
      std::make_unique<PreferencesDialog>(prefs_, ui_, BrowseDirectoryDlg1_, odlgUnrealmap_);
  dlgGrep_ = std::make_unique<grep::TdlgGrep>(
      ui_, *data_, prefs_, BrowseDirectoryDlg1_,
      grep::TdlgGrep::Callbacks{
          .prepare_data_set = [this](tables::TDataSet& data_set,
                                     bool open) { PrepareDataSet(data_set, open); },
          .locate_class = [this](const std::string& name) { finder_->LocateClass(name); },
          .edit_file = [this](const std::string& file) { finder_->EditFile(file); }});
  BindCommands();
}

TfrmQuoldexBrowser::~TfrmQuoldexBrowser() = default;

void TfrmQuoldexBrowser::BindCommands() {
  commands_.resize(kActionCount);
  auto bind = [this](ActionId id, std::function<void()> command) {
    commands_[static_cast<size_t>(id)] = std::move(command);
  };
  for (ActionId id : {actGrepAncestor, actGrepAll, actGrepPackage, actGrep}) {
    bind(id, [this, id] { actGrepAncestorExecute(id); });
  }
  bind(actShwProperties, [this] { finder_->actShwPropertiesExecute(); });
  bind(actEdit, [this] { finder_->actEditExecute(); });
  bind(actPrefs, [this] { ShowPreferences(); });
  bind(actAbout, [this] { actAboutExecute(); });
  bind(actClose, [this] { actCloseExecute(); });
  bind(actScanDirectories, [this] { catalogue_->actScanDirectoriesExecute(); });
  bind(actAddFile, [this] { catalogue_->actAddFileExecute(); });
  bind(actFind, [this] { finder_->actFindExecute(); });
  bind(actPrint, [this] {
    platform::PrintDocument(platform_, tree_->GetClassFileName(tree_->TreeView1().Selected()));
  });
  bind(actCompile, [this] { compiler_->actCompileExecute(); });
  bind(actDefaultPackage, [this] { compiler_->actDefaultPackageExecute(); });
  bind(actUnreal, [this] { maps_->actUnrealExecute(); });
  bind(actAddMap, [this] { maps_->actAddMapExecute(); });
  bind(actDeleteMap, [this] { maps_->actDeleteMapExecute(); });
  bind(actDefaultMap, [this] { maps_->actDefaultMapExecute(); });
  bind(actHelp, [this] { tools::actHelpExecute(ui_, platform_); });
  bind(actExportClass, [this] { export_->actExportClassExecute(); });
}

// ---- Window events ----

CommandOutcome TfrmQuoldexBrowser::Run(const std::function<void()>& command) {
  return HandleCommand(ui_, command);
}

CommandOutcome TfrmQuoldexBrowser::FormCreate() {
  return Run([this] {
    CheckDataTables(data_folder_);
    OpenDataSets();
    if (build_tree_at_create_) tree_->BuildTree();
  });
}

CommandOutcome TfrmQuoldexBrowser::FormShow() {
  return Run([this] {
    if (prefs_.IsNull("SystemDir")) ShowPreferences();
    EnableCommands();
    RestoreWindowPosition();
  });
}

void TfrmQuoldexBrowser::FormClose() {
  if (closed_) return;
  closed_ = true;
  catalogue_->HeaderReader().ReleaseLineBuffer();
  if (!read_only_) Run([this] { SaveWindowPosition(); });
  for (tables::TDataSet* data_set : {static_cast<tables::TDataSet*>(&data_->dtblObjects),
                                     static_cast<tables::TDataSet*>(&data_->dsqlBase),
                                     static_cast<tables::TDataSet*>(&data_->dsqlPackages),
                                     static_cast<tables::TDataSet*>(&data_->dsqlPackageLevel),
                                     static_cast<tables::TDataSet*>(&data_->dtblPref),
                                     static_cast<tables::TDataSet*>(&data_->dtblSystemU),
                                     static_cast<tables::TDataSet*>(&data_->dsqlBaseKids)}) {
    CloseDataSet(*data_set);
  }
}

// ---- Start-up steps ----

void TfrmQuoldexBrowser::CheckDataTables(const std::string& directory) {
  CreateDataFolder(platform_, directory);
  // Instances starting together on a new folder take turns here: the first
  // builds the tables, the others then find them complete.
  const data::TableCreationLock creation_lock(directory);
  tables::TDbTable probe;
  probe.SetDatabaseName(directory);
  probe.SetTableName(data::kObjectsTable);
  if (probe.Exists()) return;
  ShowStatus("Building data tables.");
  data::CreateDataTables(directory);
  ShowStatus("Built data tables.");
}

void TfrmQuoldexBrowser::OpenDataSets() {
  PrepareDataSet(data_->dtblObjects, true);
  PrepareDataSet(data_->dsqlBase, false);
  // Left closed: building the tree runs it (grouping every row), and a
  // second run here would only repeat that work.
  PrepareDataSet(data_->dsqlPackages, false);
  PrepareDataSet(data_->dsqlBaseKids, false);
  PrepareDataSet(data_->dtblPref, true);
  PrepareDataSet(data_->dtblSystemU, true);
  PrepareDataSet(data_->dsqlPackageLevel, false);
  PrepareDataSet(data_->dtblMaps, true);
  NoteCatalogueState();
}

void TfrmQuoldexBrowser::NoteCatalogueState() {
  notices_.clear();
  read_only_ = false;
  for (const tables::TDbTable* table :
       {&data_->dtblObjects, &data_->dtblPref, &data_->dtblSystemU, &data_->dtblMaps}) {
    if (!table->Recovered().empty()) {
      notices_.push_back("Recovered " + table->TableName() +
                         " (which a change had left unfinished): " +
                         table->Recovered().back() + ".");
    }
    read_only_ = read_only_ || table->ReadOnlyByAccess();
  }
  if (read_only_) {
    notices_.push_back("The catalogue in " + data_folder_ +
                       " cannot be written: it is open read-only.");
  }
  for (const std::string& notice : notices_) ShowStatus(notice);
}

void TfrmQuoldexBrowser::PrepareDataSet(tables::TDataSet& data_set, bool open) {
  data_set.Close();
  if (auto* table = dynamic_cast<tables::TDbTable*>(&data_set)) {
    table->SetDatabaseName(data_folder_);
  } else if (auto* query = dynamic_cast<tables::TDbQuery*>(&data_set)) {
    query->SetDatabaseName(data_folder_);
  } else {
    throw std::invalid_argument("PrepareDataSet: neither a table nor a query");
  }
  if (open && !data_set.Active()) data_set.Open();
}

void TfrmQuoldexBrowser::CloseDataSet(tables::TDataSet& data_set) {
  try {
    if (data_set.Active()) data_set.Close();
  } catch (...) {  // errors of closing are of no use to anyone at that point
  }
}

void TfrmQuoldexBrowser::ShowStatus(std::string_view text) { ui::ShowStatus(ui_, text); }

// ---- Preferences ----

bool TfrmQuoldexBrowser::ShowPreferences() {
  if (!preferences_->Execute()) return false;
  EnableCommands();
  return true;
}

void TfrmQuoldexBrowser::SaveWindowPosition() { placement_.SaveWindowPosition(prefs_); }

void TfrmQuoldexBrowser::RestoreWindowPosition() { placement_.RestoreWindowPosition(prefs_); }

// ---- Commands ----

CommandOutcome TfrmQuoldexBrowser::Execute(ActionId id) {
  if (!actions_[id].enabled) return CommandOutcome::kDisabled;
  return Run(commands_[static_cast<size_t>(id)]);
}

std::optional<ActionId> TfrmQuoldexBrowser::ResolveShortcut(std::string_view key) const {
  const MenuItem* item =
      ItemForShortcut(key, tree_->TreeView1().Focused(), popup_menu_, main_menu_, actions_);
  if (!item || !actions_[*item->action].enabled) return std::nullopt;
  return item->action;
}

CommandOutcome TfrmQuoldexBrowser::PressShortcut(std::string_view key) {
  std::optional<ActionId> id = ResolveShortcut(key);
  return id ? Execute(*id) : CommandOutcome::kDisabled;
}

void TfrmQuoldexBrowser::EnableCommands() {
  const tree::TreeNode* node = tree_->TreeView1().Selected();
  const bool class_selected = node && (node->Level() >= 2 || node->NodeKind() == "C");
  const bool package_selected = node && node->NodeKind() == "P";
  const bool map_selected = node && node->NodeKind() == "M";
  const bool root_selected = node && node->Level() == 0;

  auto set = [this](ActionId id, bool enabled) { actions_[id].enabled = enabled; };
  set(actShwProperties, class_selected);
  set(actEdit, class_selected);
  set(actPrint, class_selected);
  set(actCompile, (class_selected || !prefs_.IsNull("DefaultCompilePackage") || package_selected) &&
                      !prefs_.IsNull("SystemDir"));
  set(actDefaultPackage, package_selected || class_selected);
  set(actDeleteMap, map_selected);
  set(actDefaultMap, map_selected);
  set(actUnreal, map_selected || !prefs_.IsNull("TestMap"));
  set(actGrepAncestor, class_selected);
  set(actGrepAll, root_selected);
  set(actGrepPackage, package_selected);

  for (MenuItem& item : popup_menu_) {
    if (item.action) item.visible = actions_[*item.action].enabled;
  }
}

CommandOutcome TfrmQuoldexBrowser::PopupMenu1Popup() {
  return Run([this] { EnableCommands(); });
}

void TfrmQuoldexBrowser::actAboutExecute() {
  ui_.ShowMessage({.text = std::string(kVersionLine) + "\nA class browser for UnrealScript."
                                                       "\nWritten by the Quoldex developers.",
                   .caption = "Information",
                   .kind = ui::MessageKind::kInformation,
                   .buttons = ui::MessageButtons::kOk});
}

void TfrmQuoldexBrowser::actCloseExecute() {
  FormClose();
  if (on_closed_) on_closed_();
}

void TfrmQuoldexBrowser::actGrepAncestorExecute(ActionId id) {
  const grep::TGrepOptions options{.goModeless = !prefs_.GrepModal(),
                                   .goStayOnTop = prefs_.GrepStayOnTop()};
  dlgGrep_->ShowGrep(finder_->GetSelectedClassName(), SelectedPackage(), actions_[id].tag, options);
}

std::string TfrmQuoldexBrowser::SelectedPackage() { return compiler_->SelectedPackage(); }

// ---- Tree events ----

CommandOutcome TfrmQuoldexBrowser::TreeView1Click() {
  return Run([this] { tree_->TreeView1Click(); });
}

CommandOutcome TfrmQuoldexBrowser::TreeView1DblClick(tree::TreeNode* node,
                                                     tree::MouseButton button) {
  return Run([this, node, button] { tree_->TreeView1DblClick(node, button); });
}

CommandOutcome TfrmQuoldexBrowser::TreeView1Expand(tree::TreeNode& node) {
  return Run([this, &node] { tree_->TreeView1().Expand(node); });
}

}  // namespace quoldex::app
