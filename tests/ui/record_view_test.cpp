// The record-view contract as a model uses it, played through the fake:
// data-aware changes, a button that fills a row, and a close hook that asks
// before throwing changes away.
#include "ui/record_view.h"

#include <gtest/gtest.h>

#include "fakes/fake_ui.h"
#include "ui/folder_picker.h"
#include "ui/ui.h"

namespace quoldex::ui {
namespace {

using testing::FakeUi;
using testing::RecordViewScript;

struct Editor {
  RecordView view;
  int changes = 0;

  explicit Editor(Ui& ui) {
    view.caption = "Preferences";
    view.rows = {
        {"SystemDir", "Unreal System Directory", 50, RowControl::kTextWithButton,
         "Unreal System Directory", false, "", nullptr},
        {"CheckChildren", "Check for children when expanding", 5, RowControl::kCheckBox, "", false,
         std::string(kClearedText), nullptr},
    };
    view.rows[0].on_button = [&ui, this](RecordView& v, size_t row) {
      FolderPicker picker;
      if (!picker.Execute(ui)) return;
      v.rows[row].value = picker.Selection();
      ++changes;
    };
    view.on_change = [this](RecordView&, size_t) { ++changes; };
    view.on_close = [&ui, this](RecordView&,
                                DialogResult requested) -> std::optional<DialogResult> {
      if (requested == DialogResult::kOk || changes == 0) return requested;
      switch (Ask(ui, "Changes have been made!  Do you wish to save your changes?",
                  MessageButtons::kYesNoCancel)) {
        case Answer::kYes:
          return DialogResult::kOk;
        case Answer::kNo:
          return DialogResult::kCancel;
        default:
          return std::nullopt;
      }
    };
  }
};

TEST(RecordView, ButtonAndEditsReachTheRowsAndOk) {
  FakeUi ui;
  Editor editor(ui);
  ui.QueueFolder("/games/UT/System");
  ui.QueueRecordView(RecordViewScript().Press("SystemDir").Set("CheckChildren", "True").Ok());
  EXPECT_EQ(ui.ShowRecordView(editor.view), DialogResult::kOk);
  EXPECT_EQ(editor.view.FindRow("SystemDir")->value, "/games/UT/System");
  EXPECT_EQ(editor.view.FindRow("CheckChildren")->value, "True");
  ASSERT_EQ(ui.record_views().size(), 1u);
  EXPECT_EQ(ui.record_views()[0].rows_at_open[0].value, "");
  EXPECT_EQ(ui.record_views()[0].rows_at_end[0].value, "/games/UT/System");
  EXPECT_EQ(ui.record_views()[0].rows_at_open[1].label, "Check for children when expanding");
}

TEST(RecordView, CancelAfterChangesAsksAndCanStayOpen) {
  FakeUi ui;
  Editor editor(ui);
  ui.QueueAnswer(Answer::kCancel);  // back to the dialog
  ui.QueueAnswer(Answer::kNo);      // throw the changes away
  ui.QueueRecordView(RecordViewScript().Set("SystemDir", "/x").Cancel().Cancel());
  EXPECT_EQ(ui.ShowRecordView(editor.view), DialogResult::kCancel);
  EXPECT_EQ(ui.messages().size(), 2u);
  EXPECT_TRUE(ui.ScriptUsedUp());
}

TEST(RecordView, UnscriptedDialogsCancelAndBrokenScriptsThrow) {
  FakeUi ui;
  Editor editor(ui);
  EXPECT_EQ(ui.ShowRecordView(editor.view), DialogResult::kCancel);
  EXPECT_TRUE(ui.messages().empty());  // nothing changed: no question

  RecordView properties;
  properties.caption = "Class Properties";
  properties.ok_cancel_buttons = false;
  properties.rows.push_back({"ObjectName", "Name", 35, RowControl::kTextBox, "", true, "Pawn", {}});
  ui.QueueRecordView(RecordViewScript().Set("ObjectName", "Other").Cancel());
  EXPECT_THROW(ui.ShowRecordView(properties), std::logic_error);  // read-only row
  ui.QueueRecordView(RecordViewScript().Ok());
  EXPECT_THROW(ui.ShowRecordView(properties), std::logic_error);  // no OK button
  ui.QueueAnswer(Answer::kCancel);
  ui.QueueRecordView(RecordViewScript().Set("SystemDir", "/x").Cancel());
  EXPECT_THROW(ui.ShowRecordView(editor.view), std::logic_error);  // left open
}

}  // namespace
}  // namespace quoldex::ui
