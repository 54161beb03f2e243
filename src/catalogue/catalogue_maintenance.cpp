#include "catalogue/catalogue_maintenance.h"

#include <optional>
#include <span>
#include <utility>

#include "text/ascii.h"
#include "catalogue/package_path.h"
#include "tables/engine_error.h"

namespace quoldex::catalogue {
namespace {

// `path` up to and including its last separator; "" when it has none.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
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
      header_reader_(ui, [this](int32_t object_id, const std::string& parent_name) {
        WriteParent(object_id, parent_name);
      }) {
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
                                        search::TDateTime time) {
  ui::ShowStatus(ui_, "Searching " + file_name);
  const std::string class_name = ClassNameOf(file_name);
  if (objects_.Locate("ObjectName", class_name, {.case_insensitive = true})) return;
  objects_.Insert();
  try {
    objects_.FieldByName("ObjectName").SetAsString(class_name);
    objects_.FieldByName("InheritsFrom").SetAsString(".");
    objects_.FieldByName("Filename").SetAsString(folder + file_name);
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
    // An empty name, a name taken in its first 35 characters, or any other
    // refusal of the table: the file is skipped without a message.
    objects_.Cancel();
    return;
  }
  const auto object_id = static_cast<int32_t>(objects_.FieldByName("ObjectId").AsInteger());
  header_reader_.ReadClassHeader(folder + file_name, object_id);
}

void CatalogueMaintenance::WriteParent(int32_t object_id, const std::string& parent_name) {
  tables::TField& id = objects_.FieldByName("ObjectId");
  // Just after AddClassFile's post the row is the current one; a look-up
  // by key is needed only when the reader runs on its own.
  if (objects_.IsEmpty() || id.AsInteger() != object_id) {
    const tables::FieldValue key = tables::FieldValue::Integer(object_id);
    if (!objects_.Locate("ObjectId", std::span<const tables::FieldValue>(&key, 1), {})) return;
  }
  objects_.Edit();
  try {
    objects_.FieldByName("InheritsFrom").SetAsString(parent_name);
    objects_.Post();
  } catch (...) {
    objects_.Cancel();
    throw;
  }
}

std::string CatalogueMaintenance::SystemBaseFolder() const { return FolderOf(prefs_.SystemDir()); }

}  // namespace quoldex::catalogue
