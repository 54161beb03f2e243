// PreferencesDialog: the Preferences dialog (rvPrefs), a modal record view
// over the preference record with OK and Cancel.
//
// Rows, in order (label, edit width in characters, control):
//   SystemDir             "Unreal System Directory"            50  text with a button
//                         (wdcmbSysDirCustomDlg; hint "Unreal System Directory")
//   DefaultCompilePackage "Default Compile Package"            50  text
//   TestMap               "Default Map"                        50  text with a button
//                         (wdcmbTestMapCustomDlg; hint "Test map run from toolbar")
//   CanEditSystemU        "Can Compile System U"               5   check box
//   WarnBeforeCompiling   "Warn Before Compiling"              5   check box
//   SaveWindowPos         "Save Window Position"               5   check box
//   CheckChildren         "Check for children when expanding"  5   check box
//   GrepModal             "Make Grep Window Modal"             5   check box
//   GrepStayOnTop         "Make Grep Window Stay On Top"       5   check box
//   AddExportedClasses    "Add Exported Classes To Browser"    5   check box
// The rows show the record as it is (nothing while there is none). The
// first change starts editing the record; on an empty table that creates
// it, and the rows then show the new record's values with the change in
// place. Each change is written into the record at once.
//
// Ending: OK posts the record (a value the table refuses is reported and
// the dialog stays open). Cancel or the close box with nothing changed
// discards a record the dialog began and leaves the stored one as it was;
// with changes it asks "Changes have been made!  Do you wish to save your
// changes?" (Yes, No, Cancel): Yes saves as OK, No discards, Cancel goes
// back to the dialog.
#pragma once

#include <string>

#include "data/pref_record.h"
#include "ui/folder_picker.h"
#include "ui/open_dialog.h"
#include "ui/record_view.h"
#include "ui/ui.h"

namespace quoldex::app {

class PreferencesDialog {
 public:
  static constexpr const char* kSaveQuestion =
      "Changes have been made!  Do you wish to save your changes?";

  // The references must outlive the dialog model. The folder picker is the
  // main window's shared BrowseDirectoryDlg1; odlgUnrealmap the map file
  // dialog it shares with Add Map(s).
  PreferencesDialog(data::PrefRecord& prefs, ui::Ui& ui, ui::FolderPicker& BrowseDirectoryDlg1,
                    ui::OpenDialog& odlgUnrealmap);

  // Runs the dialog; true when it ended with OK (the record is posted).
  bool Execute();

  // The SystemDir button: titles the folder picker "Find Unreal System
  // Directory" and runs it; on OK, starts editing the record and sets
  // SystemDir to the chosen folder (posted when the dialog ends with OK).
  void wdcmbSysDirCustomDlg(ui::RecordView& view, size_t row);
  // The TestMap button: runs odlgUnrealmap, first starting it in the
  // SystemDir's parent folder when it has no initial folder yet; on OK,
  // remembers the chosen file's folder, starts editing the record and sets
  // TestMap to the (first) chosen file.
  void wdcmbTestMapCustomDlg(ui::RecordView& view, size_t row);

 private:
  ui::RecordView MakeView();
  // Starts editing the record if not yet; a record created by that shows
  // its values in every row but `changed_row`.
  void BeginEdit(ui::RecordView& view, size_t changed_row);
  // Writes the value of `row` into the record being edited.
  void Store(const ui::RecordRow& row);
  // Shows the record's value of every row but `except`.
  void Refresh(ui::RecordView& view, size_t except) const;
  std::string RowValue(const ui::RecordRow& row) const;
  // Posts a pending edit; false (the error shown) when the table refuses it.
  bool Save();
  std::optional<ui::DialogResult> OnClose(ui::DialogResult requested);

  data::PrefRecord& prefs_;
  ui::Ui& ui_;
  ui::FolderPicker& folder_picker_;
  ui::OpenDialog& map_dialog_;
};

}  // namespace quoldex::app
