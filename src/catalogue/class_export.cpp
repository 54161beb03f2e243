#include "catalogue/class_export.h"

#include "tools/tool_paths.h"

namespace quoldex::catalogue {

std::string ExportFolder(const std::string& system_dir, const std::string& package_file) {
  const std::string file_name = tools::FileNameOf(package_file);
  const std::string base_name = file_name.substr(0, file_name.find('.'));
  return tools::AddBackslash(tools::FolderOf(system_dir)) + base_name;
}

ClassExport::ClassExport(CatalogueMaintenance& maintenance, const data::PrefRecord& prefs,
                         ui::Ui& ui, platform::Platform& platform,
                         std::function<void()> rebuild_tree)
    : maintenance_(maintenance),
      prefs_(prefs),
      ui_(ui),
      platform_(platform),
      rebuild_tree_(std::move(rebuild_tree)) {
  odlgPackage_.title = "Locate Package(s)";
  odlgPackage_.filter = "Unreal Class Package (*.u)|*.u|All Files (*.*)|*.*";
  odlgPackage_.default_extension = "unr";
  odlgPackage_.multi_select = true;
}

void ClassExport::actExportClassExecute() {
  if (odlgPackage_.initial_dir.empty()) odlgPackage_.initial_dir = prefs_.SystemDir();
  std::optional<std::vector<std::string>> files = ui_.ShowOpenDialog(odlgPackage_);
  if (!files) return;
  ExportPackages(*files);
}

void ClassExport::ExportPackages(const std::vector<std::string>& package_files) {
  const std::string system_dir = prefs_.SystemDir();
  tools::CheckUcc(platform_, system_dir);
  const bool add_classes = prefs_.AddExportedClasses();
  for (const std::string& package_file : package_files) {
    const std::string folder = ExportFolder(system_dir, package_file);
    ui::ShowStatus(ui_, "Exporting classes to " + folder);
    const platform::ProgramHandle ucc = tools::StartUcc(
        platform_, system_dir, {"batchexport", package_file, "mesh", "uc", folder + "/meshes/"});
    tools::WaitForUcc(ui_, platform_, ucc, wait_seconds_);
    if (add_classes) maintenance_.FileSearch1().Execute(folder);
  }
  if (add_classes) rebuild_tree_();
  ui_.SetStatusText("Done.");
}

}  // namespace quoldex::catalogue
