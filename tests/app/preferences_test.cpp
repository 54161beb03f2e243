#include <string>
#include <vector>

#include "app/preferences_dialog.h"
#include "browser_fixture.h"

namespace quoldex::app {
namespace {

using testing::FakeUi;
using testing::RecordViewScript;
using ui::Answer;
using ui::DialogResult;
using ui::RowControl;

// The value each row showed, by field.
std::string Shown(const std::vector<FakeUi::RowSnapshot>& rows, const std::string& field) {
  for (const auto& row : rows) {
    if (row.field_name == field) return row.value;
  }
  ADD_FAILURE() << "no row " << field;
  return {};
}

class PreferencesTest : public BrowserTest {
 protected:
  PreferencesTest() : browser_(Create()) {}
  data::PrefRecord& prefs() { return browser_->Prefs(); }
  const FakeUi::ShownRecordView& LastView() const { return ui_.record_views().back(); }

  std::unique_ptr<TfrmQuoldexBrowser> browser_;
};

TEST_F(PreferencesTest, TheDialogListsItsRowsInOrderWithTheirControls) {
  browser_->ShowPreferences();
  const FakeUi::ShownRecordView& view = LastView();
  EXPECT_EQ(view.caption, "Preferences");
  EXPECT_TRUE(view.ok_cancel_buttons);
  struct Expected {
    const char* field;
    const char* label;
    int width;
    RowControl control;
    const char* hint;
  };
  const std::vector<Expected> expected = {
      {"SystemDir", "Unreal System Directory", 50, RowControl::kTextWithButton,
       "Unreal System Directory"},
      {"DefaultCompilePackage", "Default Compile Package", 50, RowControl::kTextBox, ""},
      {"TestMap", "Default Map", 50, RowControl::kTextWithButton, "Test map run from toolbar"},
      {"CanEditSystemU", "Can Compile System U", 5, RowControl::kCheckBox, ""},
      {"WarnBeforeCompiling", "Warn Before Compiling", 5, RowControl::kCheckBox, ""},
      {"SaveWindowPos", "Save Window Position", 5, RowControl::kCheckBox, ""},
      {"CheckChildren", "Check for children when expanding", 5, RowControl::kCheckBox, ""},
      {"GrepModal", "Make Grep Window Modal", 5, RowControl::kCheckBox, ""},
      {"GrepStayOnTop", "Make Grep Window Stay On Top", 5, RowControl::kCheckBox, ""},
      {"AddExportedClasses", "Add Exported Classes To Browser", 5, RowControl::kCheckBox, ""},
  };
  ASSERT_EQ(view.rows_at_open.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const FakeUi::RowSnapshot& row = view.rows_at_open[i];
    SCOPED_TRACE(expected[i].field);
    EXPECT_EQ(row.field_name, expected[i].field);
    EXPECT_EQ(row.label, expected[i].label);
    EXPECT_EQ(row.edit_width, expected[i].width);
    EXPECT_EQ(row.control, expected[i].control);
    EXPECT_EQ(row.hint, expected[i].hint);
    EXPECT_FALSE(row.read_only);
    // No record yet: empty texts, cleared boxes.
    EXPECT_EQ(row.value, row.control == RowControl::kCheckBox ? "False" : "");
  }
}

TEST_F(PreferencesTest, TheFirstChangeCreatesTheRecordWhichOkStores) {
  ui_.QueueRecordView(RecordViewScript().Set("DefaultCompilePackage", "mymod").Ok());
  EXPECT_TRUE(browser_->ShowPreferences());
  // The new record's values appeared in the dialog with the change.
  const auto& end = LastView().rows_at_end;
  EXPECT_EQ(Shown(end, "DefaultCompilePackage"), "mymod");
  EXPECT_EQ(Shown(end, "CheckChildren"), "True");
  EXPECT_EQ(Shown(end, "AddExportedClasses"), "True");
  EXPECT_EQ(Shown(end, "SaveWindowPos"), "False");

  EXPECT_EQ(browser_->Data().dtblPref.RecordCount(), 1);
  EXPECT_EQ(prefs().Integer("PrefId"), 1);
  EXPECT_EQ(prefs().DefaultCompilePackage(), "mymod");
  EXPECT_TRUE(prefs().CheckChildren());
  EXPECT_TRUE(prefs().AddExportedClasses());
  EXPECT_FALSE(prefs().IsNull("SaveWindowPos"));
  EXPECT_FALSE(prefs().SaveWindowPos());
  EXPECT_FALSE(prefs().CanEditSystemU());
  EXPECT_FALSE(prefs().WarnBeforeCompiling());
  EXPECT_FALSE(prefs().GrepModal());
  EXPECT_TRUE(prefs().IsNull("SystemDir"));
  EXPECT_TRUE(prefs().IsNull("WindowLeft"));
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(PreferencesTest, ACheckedBoxIsStoredAndShownCheckedNextTime) {
  ui_.QueueRecordView(RecordViewScript().Set("GrepStayOnTop", "True").Ok());
  browser_->Execute(ActionId::actPrefs);
  EXPECT_TRUE(prefs().GrepStayOnTop());
  browser_->ShowPreferences();  // cancelled, unchanged
  EXPECT_EQ(Shown(LastView().rows_at_open, "GrepStayOnTop"), "True");
  EXPECT_TRUE(ui_.messages().empty());

  ui_.QueueRecordView(RecordViewScript().Set("GrepStayOnTop", "False").Ok());
  browser_->ShowPreferences();
  EXPECT_FALSE(prefs().GrepStayOnTop());
  EXPECT_FALSE(prefs().IsNull("GrepStayOnTop"));
}

TEST_F(PreferencesTest, CancellingAChangeAsksWhetherToSaveIt) {
  SetPref(*browser_, "SystemDir", "/ut/System");

  // No: the change is dropped.
  ui_.QueueAnswer(Answer::kNo);
  ui_.QueueRecordView(RecordViewScript().Set("DefaultCompilePackage", "mymod").Cancel());
  EXPECT_FALSE(browser_->ShowPreferences());
  ASSERT_EQ(ui_.messages().size(), 1u);
  const ui::Message& question = ui_.messages()[0].message;
  EXPECT_EQ(question.text, "Changes have been made!  Do you wish to save your changes?");
  EXPECT_EQ(question.buttons, ui::MessageButtons::kYesNoCancel);
  EXPECT_EQ(question.kind, ui::MessageKind::kConfirmation);
  EXPECT_EQ(LastView().result, DialogResult::kCancel);
  EXPECT_TRUE(prefs().IsNull("DefaultCompilePackage"));
  EXPECT_FALSE(prefs().Editing());

  // Cancel: back to the dialog, which then ends with OK.
  ui_.QueueAnswer(Answer::kCancel);
  ui_.QueueRecordView(RecordViewScript()
                          .Set("DefaultCompilePackage", "first")
                          .Cancel()
                          .Set("TestMap", "/m.unr")
                          .Ok());
  EXPECT_TRUE(browser_->ShowPreferences());
  EXPECT_EQ(prefs().DefaultCompilePackage(), "first");
  EXPECT_EQ(prefs().TestMap(), "/m.unr");

  // Yes: saved as by OK, and the commands follow the new values.
  browser_->EnableCommands();
  EXPECT_TRUE(browser_->Action(ActionId::actCompile).enabled);
  ui_.QueueAnswer(Answer::kYes);
  ui_.QueueRecordView(RecordViewScript().Set("DefaultCompilePackage", "").Cancel());
  EXPECT_TRUE(browser_->ShowPreferences());
  EXPECT_EQ(LastView().result, DialogResult::kOk);
  EXPECT_TRUE(prefs().IsNull("DefaultCompilePackage"));
  EXPECT_FALSE(browser_->Action(ActionId::actCompile).enabled);

  // Nothing changed: no question.
  browser_->ShowPreferences();
  EXPECT_EQ(ui_.messages().size(), 3u);
  EXPECT_TRUE(ui_.ScriptUsedUp());
}

TEST_F(PreferencesTest, TheSystemFolderButtonUsesTheSharedPickerAndItsRememberedFolder) {
  ui_.QueueFolder("/games/ut/System");
  ui_.QueueRecordView(RecordViewScript().Press("SystemDir").Ok());
  browser_->ShowPreferences();
  ASSERT_EQ(ui_.folder_requests().size(), 1u);
  EXPECT_EQ(ui_.folder_requests()[0].caption, "Quoldex");
  EXPECT_EQ(ui_.folder_requests()[0].title, "Find Unreal System Directory");
  EXPECT_EQ(ui_.folder_requests()[0].selection, "");
  EXPECT_EQ(Shown(LastView().rows_at_end, "SystemDir"), "/games/ut/System");
  EXPECT_EQ(prefs().SystemDir(), "/games/ut/System");
  EXPECT_EQ(browser_->BrowseDirectoryDlg1().Selection(), "/games/ut/System");

  // A folder picked and then discarded with No: SystemDir unchanged, yet
  // the picker remembers the folder for its next use.
  ui_.QueueFolder("/other/System");
  ui_.QueueAnswer(Answer::kNo);
  ui_.QueueRecordView(RecordViewScript().Press("SystemDir").Cancel());
  browser_->ShowPreferences();
  EXPECT_EQ(ui_.folder_requests()[1].selection, "/games/ut/System");
  EXPECT_EQ(prefs().SystemDir(), "/games/ut/System");

  // A cancelled picker changes nothing and clears the selection.
  ui_.QueueFolder(std::nullopt);
  ui_.QueueRecordView(RecordViewScript().Press("SystemDir").Cancel());
  browser_->ShowPreferences();
  EXPECT_EQ(ui_.folder_requests()[2].selection, "/other/System");
  EXPECT_EQ(browser_->BrowseDirectoryDlg1().Selection(), "");
  EXPECT_EQ(ui_.messages().size(), 1u);  // only the No above
}

TEST_F(PreferencesTest, TheDefaultMapButtonStartsBesideTheSystemFolderThenWhereItLastEnded) {
  SetPref(*browser_, "SystemDir", "/ut/System");
  ui_.QueueFiles(std::vector<std::string>{"/ut/Maps/DM-Deck16.unr"});
  ui_.QueueRecordView(RecordViewScript().Press("TestMap").Ok());
  browser_->ShowPreferences();
  ASSERT_EQ(ui_.open_dialogs().size(), 1u);
  const ui::OpenDialog& dialog = ui_.open_dialogs()[0];
  EXPECT_EQ(dialog.title, "Locate test map");
  EXPECT_EQ(dialog.filter, "Unreal Map (*.unr)|*.unr|All Files (*.*)|*.*");
  EXPECT_EQ(dialog.default_extension, "unr");
  EXPECT_EQ(dialog.initial_dir, "/ut/");
  EXPECT_EQ(prefs().TestMap(), "/ut/Maps/DM-Deck16.unr");

  ui_.QueueFiles(std::nullopt);
  ui_.QueueRecordView(RecordViewScript().Press("TestMap").Cancel());
  browser_->ShowPreferences();
  EXPECT_EQ(ui_.open_dialogs()[1].initial_dir, "/ut/Maps/");
  EXPECT_EQ(prefs().TestMap(), "/ut/Maps/DM-Deck16.unr");
}

TEST_F(PreferencesTest, AValueTheTableRefusesIsReportedAndTheDialogStaysOpen) {
  ui_.QueueRecordView(RecordViewScript().Set("DefaultCompilePackage", "x").Ok().Cancel());
  // A second handle stores the record meanwhile, so this one's new record
  // collides with it on PrefId.
  data::BrowserData other;
  other.dtblPref.SetDatabaseName(browser_->DataFolder());
  other.dtblPref.Open();
  data::PrefRecord other_prefs(other.dtblPref);
  other_prefs.Edit();
  other_prefs.Post();
  // The dialog's OK fails and reports it; the user then cancels, answering
  // No to the question.
  ui_.QueueAnswer(Answer::kOk);
  ui_.QueueAnswer(Answer::kNo);
  EXPECT_FALSE(browser_->ShowPreferences());
  std::vector<std::string> texts = MessageTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].rfind("Table Engine Error # 9729 ", 0), 0u) << texts[0];
  EXPECT_EQ(texts[1], PreferencesDialog::kSaveQuestion);
  EXPECT_FALSE(prefs().Editing());
}

}  // namespace
}  // namespace quoldex::app
