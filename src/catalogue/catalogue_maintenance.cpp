#include "catalogue/catalogue_maintenance.h"

#include <optional>
#include <string>
#include <utility>

#include "catalogue/package_path.h"
#include "tables/base/engine_error.h"
#include "text/ascii.h"
#include "text/path_separator.h"

namespace quoldex::catalogue {
namespace {

// `path` up to and including its last separator; "" when it has none.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of(text::kPathSeparators);
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The class a script file declares by its name: the name up to its first
// ".uc", found ignoring case; "" when the name holds no ".uc".
std::string ClassNameOf(const std::string& file_name) {
  const size_t at = text::AsciiLowerCase(file_name).find(".uc");
  return at == std::string::npos ? std::string() : file_name.substr(0, at);
}

}  // namespace

CatalogueMaintenance::CatalogueMaintenance(tables::TDbTable& dtblObjects,
                                           const data::PrefRecord& prefs,
                                           ui::FolderPicker& BrowseDirectoryDlg1,
                                           ui::OpenDialog& odlgUnrealScript, ui::Ui& ui,
                                           platform::Platform& platform, RebuildTree rebuild_tree)
    : objects_(dtblObjects),
      prefs_(prefs),
      folder_picker_(BrowseDirectoryDlg1),
      open_dialog_(odlgUnrealScript),
      ui_(ui),
      platform_(platform),
      rebuild_tree_(std::move(rebuild_tree)),
      header_reader_(ui) {
  file_search1_.SetFileMask("*.uc");
  file_search1_.SetRecurseDirs(true);
  file_search1_.SetAttributes(63);
  file_search1_.SetFirstTime(29221);
  file_search1_.SetLastTime(73050);
  file_search1_.SetOnChDir(
      [this](const std::string& folder, bool& cancel) { FileSearch1ChDir(folder, cancel); });
  file_search1_.SetOnAddFile([this](const std::string& folder, const search::FindData& data,
                                    bool& cancel) { FileSearch1AddFile(folder, data, cancel); });
}

void CatalogueMaintenance::actScanDirectoriesExecute() {
  folder_picker_.SetTitle("Find Unreal Base Directory");
  if (folder_picker_.Selection().empty() && !prefs_.SystemDir().empty()) {
    folder_picker_.SetSelection(SystemBaseFolder());
  }
  if (!folder_picker_.Execute(ui_)) return;
  ScanFolder(folder_picker_.Selection());
}

void CatalogueMaintenance::ScanFolder(const std::string& folder) {
  file_search1_.Execute(folder);
  if (const int skipped = file_search1_.NonRegularFiles(); skipped > 0) {
    Notice("Skipped " + std::to_string(skipped) +
           (skipped == 1 ? " file that is not a regular file."
                         : " files that are not regular files."));
  }
  platform_.Beep();
  rebuild_tree_();
  ui_.SetStatusText("Done.");
}

void CatalogueMaintenance::actAddFileExecute() {
  open_dialog_.multi_select = false;
  open_dialog_.title = "Add Unrealscript file";
  open_dialog_.filter = "Unrealscript File (*.uc)|*.uc|All Files (*.*)|*.*";
  open_dialog_.default_extension = "uc";
  if (open_dialog_.initial_dir.empty()) open_dialog_.initial_dir = SystemBaseFolder();
  std::optional<std::vector<std::string>> files = ui_.ShowOpenDialog(open_dialog_);
  if (!files) return;
  AddChosenFiles(*files);
}

void CatalogueMaintenance::AddChosenFiles(const std::vector<std::string>& files) {
  if (!files.empty()) open_dialog_.initial_dir = FolderOf(files.front());
  for (const std::string& file : files) {
    const std::string folder = FolderOf(file);
    AddClassFile(folder, file.substr(folder.size()), 0);
  }
  rebuild_tree_();
}

void CatalogueMaintenance::FileSearch1ChDir(const std::string& folder, bool& cancel) {
  ui::ShowStatus(ui_, "Searching " + folder);
  if (platform_.IsKeyDown(platform::Key::kEscape)) cancel = true;
}

void CatalogueMaintenance::FileSearch1AddFile(const std::string& folder,
                                              const search::FindData& data, bool& cancel) {
  if (platform_.IsKeyDown(platform::Key::kEscape)) {
    cancel = true;
    return;
  }
  AddClassFile(folder, data.name, search::FileTimeToDateTime(data.last_write_time));
}

void CatalogueMaintenance::AddClassFile(const std::string& folder, const std::string& file_name,
                                        text::TDateTime time) {
  ui::ShowStatus(ui_, "Searching " + file_name);
  const std::string class_name = ClassNameOf(file_name);
  if (class_name.empty()) return;  // the required name would refuse the row
  // The column keeps a name's first characters and the ByName index admits
  // them once, ignoring case: a class catalogued under them is skipped.
  const auto name_width = static_cast<size_t>(objects_.FieldByName("ObjectName").Size());
  if (objects_.Locate("ObjectName", class_name.substr(0, name_width), {.case_insensitive = true}))
    return;
  const std::string path = folder + file_name;
  const int path_width = objects_.FieldByName("Filename").Size();
  if (path.size() > static_cast<size_t>(path_width)) {
    // A cut path would name a file that does not exist.
    Notice("Skipped " + path + ": the path is longer than " + std::to_string(path_width) +
           " characters.");
    return;
  }
  std::optional<std::string> parent;
  try {
    parent = header_reader_.ReadClassHeader(path);
  } catch (const ENotRegularFile&) {
    Notice("Skipped " + path + ": not a regular file.");
    return;
  }
  objects_.Insert();
  try {
    objects_.FieldByName("ObjectName").SetAsString(class_name);
    objects_.FieldByName("InheritsFrom").SetAsString(parent.value_or("."));
    objects_.FieldByName("Filename").SetAsString(path);
    if (time != 0) objects_.FieldByName("FileTimeStamp").SetAsDateTime(time);
    objects_.FieldByName("Package").SetAsString(PackageFromPath(folder));
    objects_.Post();
  } catch (const tables::EDbEngineError& error) {
    // A table that cannot be written (a full disk, a read-only catalogue)
    // would refuse every later row too: the scan stops with the message.
    objects_.Cancel();
    if (tables::IsStorageFailure(error.ErrorCode())) throw;
    return;
  } catch (const tables::EDatabaseError&) {
    // Another instance catalogued the class meanwhile, or any other refusal
    // of the table: the file is skipped without a message.
    objects_.Cancel();
  }
}

void CatalogueMaintenance::Notice(const std::string& text) {
  ui::ShowStatus(ui_, text);
  if (on_notice_) on_notice_(text);
}

std::string CatalogueMaintenance::SystemBaseFolder() const { return FolderOf(prefs_.SystemDir()); }

}  // namespace quoldex::catalogue
