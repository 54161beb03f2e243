#include "tools/map_commands.h"

#include "platform/shell_document.h"
#include "tables/base/engine_error.h"
#include "tools/store_preference.h"
#include "tools/tool_error.h"
#include "tools/tool_paths.h"

namespace quoldex::tools {

void OpenWithHandler(platform::Platform& platform, const std::string& file) {
  if (!platform.FileExists(file)) {
    throw EToolError("Cannot open \"" + file + "\": the file does not exist.");
  }
  platform::OpenDocument(platform, file);
}

MapCommands::MapCommands(tree::ClassTree& tree, data::BrowserData& data, data::PrefRecord& prefs,
                         ui::OpenDialog& odlgUnrealmap, ui::Ui& ui, platform::Platform& platform)
    : tree_(tree),
      data_(data),
      prefs_(prefs),
      dialog_(odlgUnrealmap),
      ui_(ui),
      platform_(platform) {}

void MapCommands::actAddMapExecute() {
  dialog_.multi_select = true;
  if (dialog_.initial_dir.empty()) dialog_.initial_dir = FolderOf(prefs_.SystemDir());
  std::optional<std::vector<std::string>> files = ui_.ShowOpenDialog(dialog_);
  if (!files) return;
  AddMapFiles(*files);
}

std::vector<std::string> MapCommands::AddMapFiles(const std::vector<std::string>& files) {
  if (!files.empty()) dialog_.initial_dir = FolderOf(files.front());
  std::vector<std::string> refused;
  for (const std::string& file : files) {
    if (!AddMapFile(file)) refused.push_back(file);
  }
  RebuildMapNodes();
  return refused;
}

bool MapCommands::AddMapFile(const std::string& path) {
  tables::TDbTable& maps = data_.dtblMaps;
  maps.Insert();
  try {
    data_.dtblMapsMapName->SetAsString(FileNameOf(path));
    data_.dtblMapsFilename->SetAsString(path);
    maps.Post();
  } catch (const tables::EDatabaseError&) {
    maps.Cancel();
    platform_.Beep();
    return false;
  }
  return true;
}

void MapCommands::actDeleteMapExecute() {
  const tree::TreeNode* node = tree_.TreeView1().Selected();
  if (node == nullptr) return;
  tables::TDbTable& maps = data_.dtblMaps;
  if (!maps.Locate("MapName", node->Text(), {.case_insensitive = true})) return;
  maps.Delete();
  RebuildMapNodes();
}

void MapCommands::actDefaultMapExecute() {
  const std::string file = SelectedMapFile();
  if (file.empty()) return;
  StorePreference(prefs_, "TestMap", file);
  tree_.TreeView1().Invalidate();
}

std::string MapCommands::SelectedMapFile() {
  const tree::TreeNode* node = tree_.TreeView1().Selected();
  if (node != nullptr && node->NodeKind() == "M" &&
      data_.dtblMaps.Locate("MapName", node->Text(), {.case_insensitive = true})) {
    return data_.dtblMapsFilename->AsString();
  }
  return prefs_.TestMap();
}

void MapCommands::PlayMap() {
  const std::string file = SelectedMapFile();
  if (!file.empty()) OpenWithHandler(platform_, file);
}

void MapCommands::RebuildMapNodes() {
  tree::TreeNode* root = tree_.MapsRoot();
  if (root == nullptr) return;
  tree_.TreeView1().DeleteChildren(*root);
  tree_.AddMapNodes(*root);
}

}  // namespace quoldex::tools
