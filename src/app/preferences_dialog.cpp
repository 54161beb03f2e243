#include "app/preferences_dialog.h"

#include <exception>
#include <optional>
#include <vector>

#include "app/command_handler.h"
#include "text/path_separator.h"

namespace quoldex::app {
namespace {

using ui::DialogResult;
using ui::RecordRow;
using ui::RecordView;
using ui::RowControl;

constexpr int kTextWidth = 50;
constexpr int kCheckWidth = 5;

RecordRow Row(const char* field, const char* label, RowControl control, const char* hint = "") {
  RecordRow row;
  row.field_name = field;
  row.label = label;
  row.edit_width = control == RowControl::kCheckBox ? kCheckWidth : kTextWidth;
  row.control = control;
  row.hint = hint;
  return row;
}

// `path` up to and including its last separator; "" when it has none.
std::string FolderPart(const std::string& path) {
  const size_t slash = path.find_last_of(text::kPathSeparators);
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

PreferencesDialog::PreferencesDialog(data::PrefRecord& prefs, ui::Ui& ui,
                                     ui::FolderPicker& BrowseDirectoryDlg1,
                                     ui::OpenDialog& odlgUnrealmap)
    : prefs_(prefs), ui_(ui), folder_picker_(BrowseDirectoryDlg1), map_dialog_(odlgUnrealmap) {}

RecordView PreferencesDialog::MakeView() {
  RecordView view;
  view.caption = "Preferences";
  view.ok_cancel_buttons = true;
  view.rows = {
      Row("SystemDir", "Unreal System Directory", RowControl::kTextWithButton,
          "Unreal System Directory"),
      Row("DefaultCompilePackage", "Default Compile Package", RowControl::kTextBox),
      Row("TestMap", "Default Map", RowControl::kTextWithButton, "Test map run from toolbar"),
      Row("CanEditSystemU", "Can Compile System U", RowControl::kCheckBox),
      Row("WarnBeforeCompiling", "Warn Before Compiling", RowControl::kCheckBox),
      Row("SaveWindowPos", "Save Window Position", RowControl::kCheckBox),
      Row("CheckChildren", "Check for children when expanding", RowControl::kCheckBox),
      Row("GrepModal", "Make Grep Window Modal", RowControl::kCheckBox),
      Row("GrepStayOnTop", "Make Grep Window Stay On Top", RowControl::kCheckBox),
      Row("AddExportedClasses", "Add Exported Classes To Browser", RowControl::kCheckBox),
  };
  view.rows[0].on_button = [this](RecordView& v, size_t row) { wdcmbSysDirCustomDlg(v, row); };
  view.rows[2].on_button = [this](RecordView& v, size_t row) { wdcmbTestMapCustomDlg(v, row); };
  for (RecordRow& row : view.rows) row.value = RowValue(row);
  view.on_change = [this](RecordView& v, size_t row) {
    BeginEdit(v, row);
    Store(v.rows[row]);
  };
  view.on_close = [this](RecordView&, DialogResult requested) { return OnClose(requested); };
  return view;
}

bool PreferencesDialog::Execute() {
  RecordView view = MakeView();
  const DialogResult result = ui_.ShowRecordView(view);
  // The view ends through OnClose, which leaves no edit pending; a view
  // that ended otherwise is settled the same way.
  if (prefs_.Editing()) {
    if (result == DialogResult::kOk) {
      prefs_.Post();
    } else {
      prefs_.Cancel();
    }
  }
  return result == DialogResult::kOk;
}

std::string PreferencesDialog::RowValue(const RecordRow& row) const {
  if (row.control == RowControl::kCheckBox) {
    return std::string(prefs_.Boolean(row.field_name) ? ui::kCheckedText : ui::kClearedText);
  }
  return prefs_.Text(row.field_name);
}

void PreferencesDialog::Refresh(RecordView& view, size_t except) const {
  for (size_t i = 0; i < view.rows.size(); ++i) {
    if (i != except) view.rows[i].value = RowValue(view.rows[i]);
  }
}

void PreferencesDialog::BeginEdit(RecordView& view, size_t changed_row) {
  if (prefs_.Editing()) return;
  prefs_.Edit();
  Refresh(view, changed_row);
}

void PreferencesDialog::Store(const RecordRow& row) {
  if (row.control == RowControl::kCheckBox) {
    prefs_.SetBoolean(row.field_name, row.value == ui::kCheckedText);
  } else {
    prefs_.SetText(row.field_name, row.value);
  }
}

void PreferencesDialog::wdcmbSysDirCustomDlg(RecordView& view, size_t row) {
  folder_picker_.SetTitle("Find Unreal System Directory");
  if (!folder_picker_.Execute(ui_)) return;
  BeginEdit(view, row);
  prefs_.SetText("SystemDir", folder_picker_.Selection());
  view.rows[row].value = prefs_.SystemDir();
}

void PreferencesDialog::wdcmbTestMapCustomDlg(RecordView& view, size_t row) {
  if (map_dialog_.initial_dir.empty()) map_dialog_.initial_dir = FolderPart(prefs_.SystemDir());
  std::optional<std::vector<std::string>> files = ui_.ShowOpenDialog(map_dialog_);
  if (!files || files->empty()) return;
  map_dialog_.initial_dir = FolderPart(files->front());
  BeginEdit(view, row);
  prefs_.SetText("TestMap", files->front());
  view.rows[row].value = prefs_.TestMap();
}

bool PreferencesDialog::Save() {
  if (!prefs_.Editing()) return true;
  try {
    prefs_.Post();
    return true;
  } catch (const std::exception& error) {
    ShowException(ui_, error);
    return false;
  }
}

std::optional<DialogResult> PreferencesDialog::OnClose(DialogResult requested) {
  if (requested == DialogResult::kOk) {
    if (!Save()) return std::nullopt;
    return DialogResult::kOk;
  }
  if (prefs_.Editing() && prefs_.Modified()) {
    switch (ui::Ask(ui_, kSaveQuestion, ui::MessageButtons::kYesNoCancel)) {
      case ui::Answer::kYes:
        if (!Save()) return std::nullopt;
        return DialogResult::kOk;
      case ui::Answer::kNo:
        break;
      default:
        return std::nullopt;
    }
  }
  if (prefs_.Editing()) prefs_.Cancel();
  return DialogResult::kCancel;
}

}  // namespace quoldex::app
