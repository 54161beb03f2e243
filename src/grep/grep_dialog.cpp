#include "grep/grep_dialog.h"

#include <set>
#include <utility>

#include "text/path_separator.h"
#include "text/western.h"

namespace quoldex::grep {
namespace {

constexpr int kLockRetryCount = 15;
constexpr int kLockWaitTime = 100;

std::string Summary(int32_t searched, int32_t found) {
  return "Search Complete, (" + std::to_string(searched) + " files searched, " +
         std::to_string(found) + " files found.)";
}

}  // namespace

std::string PackageFilter(const std::string& package) {
  std::string quoted;
  for (char c : package) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return "Package = '" + quoted + "'";
}

std::string ResultCaption(const std::string& name) {
  const size_t at = text::LowerCase(name).find(".uc");
  return at == std::string::npos ? name : name.substr(0, at);
}

std::string FolderPart(const std::string& path) {
  const size_t last = path.find_last_of(text::kPathSeparators);
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

TdlgGrep::TdlgGrep(ui::Ui& ui, data::BrowserData& data, data::PrefRecord& prefs,
                   ui::FolderPicker& folder_picker, Callbacks callbacks)
    : ui_(ui),
      data_(data),
      prefs_(prefs),
      folder_picker_(folder_picker),
      callbacks_(std::move(callbacks)) {
  fsGrep_.SetFileMask("*");
  fsGrep_.SetFirstTime(29221);
  fsGrep_.SetLastTime(73050);
  fsGrep_.SetAttributes(63);
  fsGrep_.SetRecurseDirs(true);
  fsGrep_.SetOnAddFile([this](const std::string& path, const search::FindData& found,
                              bool& cancel) { fsGrepAddFile(path, found, cancel); });
  fsGrep_.SetOnScanFile(
      [this](const std::string& name, bool& cancel) { fsGrepChDir(name, cancel); });

  tables::TDbTable& table = dtblGrep_table_;
  table.SetTableName(data::kObjectsTable);
  table.SetEngineVersion("1.21");
  table.SetLockRetryCount(kLockRetryCount);
  table.SetLockWaitTime(kLockWaitTime);
  table.SetIndexName("ByName");
  table.SetFilterOptions({.case_insensitive = true, .no_partial_compare = true});
  dtblGrep_ObjectName = &table.AddField<tables::TStringField>("ObjectName", 35);
  dtblGrep_InheritsFrom = &table.AddField<tables::TStringField>("InheritsFrom", 35);
  dtblGrep_Package = &table.AddField<tables::TStringField>("Package", 20);
  dtblGrep_Filename = &table.AddField<tables::TStringField>("Filename", 250);
  SetSearching(false);
}

const std::vector<std::string>& TdlgGrep::SearchInItems() {
  static const std::vector<std::string> items = {"All Classes", "Ancestors", "Directory",
                                                 "Package"};
  return items;
}

const std::vector<std::string>& TdlgGrep::MaskItems() {
  static const std::vector<std::string> items = {"*.*", "*.uc"};
  return items;
}

std::vector<std::string> TdlgGrep::AncestorOfItems() {
  std::vector<std::string> items;
  tables::TDbTable& table = data_.dtblObjects;
  if (!table.Active()) return items;
  for (table.First(); !table.Eof(); table.Next())
    items.push_back(data_.dtblObjectsObjectName->AsString());
  return items;
}

std::vector<std::string> TdlgGrep::PackageItems() {
  std::vector<std::string> items;
  tables::TDbQuery& query = data_.dsqlPackages;
  if (!query.Active()) query.Open();
  for (query.First(); !query.Eof(); query.Next())
    items.push_back(data_.dsqlPackagespackage->AsString());
  return items;
}

// ---- Showing ----

void TdlgGrep::ShowGrep(const std::string& ancestor, const std::string& package, int scope,
                        TGrepOptions options) {
  if (!ancestor.empty()) dlcmbAncestorOf_.text = ancestor;
  if (!package.empty()) dlcmbPackage_.text = package;
  if (wdcdDirectory_.text.empty()) wdcdDirectory_.text = FolderPart(prefs_.SystemDir());
  search_in_ = scope >= kScopeAllClasses && scope <= kScopePackage ? scope : -1;
  focus_ = GrepFocus::kSearchFor;
  SetSearching(false);
  UpdateButtons();
  grep_options_ = options;
  style_ = options.goStayOnTop ? WindowStyle::kStayOnTop : WindowStyle::kNormal;
  Changed(kGrepInputs | kGrepEnabling | kGrepWindow);
  if (options.goModeless) {
    visible_ = true;
    modal_ = false;
    Changed(kGrepWindow);
    return;
  }
  visible_ = false;
  Changed(kGrepWindow);
  visible_ = true;
  modal_ = true;
  Changed(kGrepWindow);
  if (window_) window_->RunModal();
}

void TdlgGrep::SetStyle(WindowStyle style) {
  style_ = style;
  Changed(kGrepWindow);
}

// ---- Enabling ----

void TdlgGrep::SetSearching(bool busy) {
  searching_ = busy;
  edtSearchFor_.enabled = !busy;
  search_in_enabled_ = !busy;
  dlcmbAncestorOf_.enabled = !busy && search_in_ == kScopeAncestors;
  wdcdDirectory_.enabled = !busy && search_in_ == kScopeDirectory;
  wcmbMask_.enabled = !busy && search_in_ == kScopeDirectory;
  dlcmbPackage_.enabled = !busy && search_in_ == kScopePackage;
  start_search_enabled_ = StartSearchRule();
  cancel_enabled_ = busy;
  Changed(kGrepEnabling);
}

void TdlgGrep::UpdateButtons() {
  edit_enabled_ = selected_.has_value();
  browse_enabled_ = selected_.has_value();
  Changed(kGrepEnabling);
}

// ---- The user's input ----

void TdlgGrep::edtSearchForChange(const std::string& text) {
  edtSearchFor_.text = text;
  start_search_enabled_ = StartSearchRule();
  Changed(kGrepInputs | kGrepEnabling);
}

void TdlgGrep::SetAncestorOf(const std::string& text) {
  dlcmbAncestorOf_.text = text;
  Changed(kGrepInputs);
}

void TdlgGrep::SetDirectory(const std::string& text) {
  wdcdDirectory_.text = text;
  Changed(kGrepInputs);
}

void TdlgGrep::SetMask(const std::string& text) {
  wcmbMask_.text = text;
  Changed(kGrepInputs);
}

void TdlgGrep::SetPackage(const std::string& text) {
  dlcmbPackage_.text = text;
  Changed(kGrepInputs);
}

void TdlgGrep::rgrpSearchInClick(int scope) {
  search_in_ = scope >= kScopeAllClasses && scope <= kScopePackage ? scope : -1;
  Changed(kGrepInputs);
  SetSearching(searching_);
}

void TdlgGrep::ListView1Click(std::optional<size_t> row) {
  selected_ = row && *row < results_.size() ? row : std::nullopt;
  Changed(kGrepResults);
  UpdateButtons();
}

void TdlgGrep::actStartSearchExecute() {
  if (start_search_enabled_) RunSearch();
}

void TdlgGrep::bbtnCancelClick() { CancelSearch(); }

void TdlgGrep::BitBtn2Click() {
  CancelSearch();
  FormClose();
}

void TdlgGrep::FormClose() {
  visible_ = false;
  modal_ = false;
  Changed(kGrepWindow);
}

void TdlgGrep::actEditExecute() {
  if (!selected_ || results_[*selected_].file.empty()) return;
  if (callbacks_.edit_file) callbacks_.edit_file(results_[*selected_].file);
}

void TdlgGrep::actBrowseExecute() {
  if (!selected_) return;
  if (callbacks_.locate_class) callbacks_.locate_class(results_[*selected_].name);
  if (grep_options_.goModeless && window_) window_->BringMainWindowToFront();
}

void TdlgGrep::wdcdDirectoryCustomDlg() {
  if (grep_options_.goStayOnTop) SetStyle(WindowStyle::kNormal);
  folder_picker_.SetTitle(kFindDirectoryTitle);
  if (folder_picker_.Selection().empty() && !prefs_.IsNull("SystemDir")) {
    std::string system_dir = prefs_.SystemDir();
    if (!system_dir.empty() && text::IsPathSeparator(system_dir.back())) system_dir.pop_back();
    folder_picker_.SetSelection(FolderPart(system_dir));
  }
  // The style comes back even when the picker fails.
  struct RestoreStyle {
    TdlgGrep& dialog;
    ~RestoreStyle() {
      if (dialog.grep_options_.goStayOnTop) dialog.SetStyle(WindowStyle::kStayOnTop);
    }
  } restore{*this};
  if (folder_picker_.Execute(ui_)) SetDirectory(folder_picker_.Selection());
}

// ---- Searching ----

void TdlgGrep::RunSearch() {
  results_.clear();
  selected_.reset();
  Changed(kGrepResults);
  const uint64_t outer_run = current_run_;
  current_run_ = ++active_run_;
  SetSearching(true);
  files_found_ = 0;
  files_searched_ = 0;
  cancelled_ = false;

  // Runs whether or not the search raised; a run that a newer one replaced
  // leaves the newer one's state alone.
  struct Finish {
    TdlgGrep& dialog;
    uint64_t outer_run;
    ~Finish() {
      if (!dialog.Superseded()) {
        dialog.SetStatus(dialog.cancelled_ ? "Search Canceled"
                                           : Summary(dialog.files_searched_, dialog.files_found_));
        dialog.SetSearching(false);
        if (!dialog.results_.empty()) {
          dialog.selected_ = 0;
          dialog.Changed(kGrepResults);
        }
        dialog.UpdateButtons();
      }
      dialog.current_run_ = outer_run;
    }
  } finish{*this, outer_run};

  const std::string text = edtSearchFor_.text;
  switch (search_in_) {
    case kScopeAllClasses:
      SearchAllClasses(text);
      break;
    case kScopeAncestors:
      SearchAncestors(dlcmbAncestorOf_.text, text);
      break;
    case kScopeDirectory:
      SearchDirectory(text);
      break;
    case kScopePackage:
      SearchPackage(dlcmbPackage_.text, text);
      break;
    default:
      break;
  }
}

void TdlgGrep::CancelSearch() {
  cancelled_ = true;
  SetSearching(false);
}

void TdlgGrep::OpenGrepTable() {
  if (!dtblGrep_table_.Active() && callbacks_.prepare_data_set)
    callbacks_.prepare_data_set(dtblGrep_table_, true);
}

void TdlgGrep::SearchRecords(const std::string& text) {
  tables::TDbTable& table = dtblGrep_table_;
  table.First();
  while (!table.Eof() && !StopRequested()) {
    SearchFile(dtblGrep_ObjectName->AsString(), dtblGrep_Filename->AsString(), text);
    if (Superseded()) return;
    table.Next();
  }
}

void TdlgGrep::SearchAllClasses(const std::string& text) {
  if (text.empty()) return;
  OpenGrepTable();
  dtblGrep_table_.SetFiltered(false);
  SearchRecords(text);
}

void TdlgGrep::SearchAncestors(const std::string& class_name, const std::string& text) {
  if (text.empty()) return;
  OpenGrepTable();
  tables::TDbTable& table = dtblGrep_table_;
  table.SetFiltered(false);
  if (!table.Locate("ObjectName", class_name, {.case_insensitive = true})) return;
  // A chain that comes back to a class already met (the class itself
  // included) ends there instead of going round for ever.
  std::set<std::string> met = {text::LowerCase(dtblGrep_ObjectName->AsString())};
  std::string current = dtblGrep_InheritsFrom->AsString();
  while (!StopRequested()) {
    if (!table.Locate("ObjectName", current, {.case_insensitive = true})) return;
    const std::string name = dtblGrep_ObjectName->AsString();
    if (!met.insert(text::LowerCase(name)).second) return;
    const std::string parent = dtblGrep_InheritsFrom->AsString();
    SearchFile(name, dtblGrep_Filename->AsString(), text);
    current = parent;
  }
}

void TdlgGrep::SearchPackage(const std::string& package, const std::string& text) {
  if (text.empty() || package.empty()) return;
  OpenGrepTable();
  tables::TDbTable& table = dtblGrep_table_;
  table.SetFilter(PackageFilter(package));
  table.SetFiltered(true);
  SearchRecords(text);
}

void TdlgGrep::SearchDirectory(const std::string& text) {
  if (text.empty()) return;
  fsGrep_.SetFileMask(wcmbMask_.text);
  fsGrep_.SetFindString(text);
  fsGrep_.Execute(wdcdDirectory_.text);
}

void TdlgGrep::SearchFile(const std::string& name, const std::string& file,
                          const std::string& text) {
  SetStatus("Searching " + file);
  ProcessMessages();
  if (Superseded()) return;
  ++files_searched_;
  const int64_t position = fsGrep_.PosInFile(file, text);
  if (position > 0) {
    ++files_found_;
    AddResult(file, name, position);
  }
}

void TdlgGrep::fsGrepChDir(const std::string& name, bool& cancel) {
  SetStatus("Searching " + name);
  ProcessMessages();
  if (!Superseded()) ++files_searched_;
  cancel = StopRequested();
}

void TdlgGrep::fsGrepAddFile(const std::string& path, const search::FindData& found, bool& cancel) {
  cancel = StopRequested();
  if (cancel) return;
  ++files_found_;
  AddResult(path + found.name, found.name, 0);
}

void TdlgGrep::AddResult(const std::string& file, const std::string& name, int64_t position) {
  SetStatus("Found in " + name);
  results_.push_back(
      {ResultCaption(name), file, position != 0 ? std::to_string(position) : std::string()});
  Changed(kGrepResults);
  ProcessMessages();
}

void TdlgGrep::SetStatus(std::string text) {
  status_text_ = std::move(text);
  Changed(kGrepStatus);
}

void TdlgGrep::Changed(uint32_t what) {
  if (window_) window_->GrepChanged(what);
  if (on_change_) on_change_(what);
}

}  // namespace quoldex::grep
