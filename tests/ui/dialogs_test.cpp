#include <gtest/gtest.h>

#include "fakes/fake_ui.h"
#include "ui/folder_picker.h"
#include "ui/ui.h"

namespace quoldex::ui {
namespace {

using testing::FakeUi;

TEST(ShowStatus, ShowsTheTextBeforeTheUserGetsATurn) {
  FakeUi ui;
  std::vector<std::string> seen_at_turn;
  ui.OnProcessMessages([&] { seen_at_turn.push_back(ui.StatusText()); });
  ShowStatus(ui, "Searching /games/UT/");
  ShowStatus(ui, "Done.");
  EXPECT_EQ(ui.status_texts(), (std::vector<std::string>{"Searching /games/UT/", "Done."}));
  EXPECT_EQ(seen_at_turn, ui.status_texts());
}

TEST(Ask, IsAConfirmationBoxReturningTheAnswer) {
  FakeUi ui;
  ui.QueueAnswer(Answer::kNo);
  EXPECT_EQ(Ask(ui, "Compile package 'mymod.u'?"), Answer::kNo);
  ASSERT_EQ(ui.messages().size(), 1u);
  const Message& m = ui.messages()[0].message;
  EXPECT_EQ(m.caption, "Confirm");
  EXPECT_EQ(m.kind, MessageKind::kConfirmation);
  EXPECT_EQ(m.buttons, MessageButtons::kYesNo);
  // An answer the box does not offer is a broken script, not a pass.
  ui.QueueAnswer(Answer::kCancel);
  EXPECT_THROW(Ask(ui, "Compile package 'mymod.u'?"), std::logic_error);
  EXPECT_THROW(Ask(ui, "unscripted?"), std::logic_error);
}

TEST(FolderPicker, RemembersAChosenFolderAndForgetsOnCancel) {
  FakeUi ui;
  FolderPicker picker;
  picker.SetTitle("Find Unreal Base Directory");
  ui.QueueFolder("/games/UT");
  ui.QueueFolder(std::nullopt);
  ui.QueueFolder("/games/Unreal");

  EXPECT_TRUE(picker.Execute(ui));
  EXPECT_EQ(picker.Selection(), "/games/UT");
  picker.SetTitle("Find Unreal System Directory");
  EXPECT_FALSE(picker.Execute(ui));
  EXPECT_EQ(picker.Selection(), "");
  EXPECT_TRUE(picker.Execute(ui));

  const std::vector<FolderRequest>& shown = ui.folder_requests();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].caption, "Quoldex");
  EXPECT_EQ(shown[0].title, "Find Unreal Base Directory");
  EXPECT_EQ(shown[0].selection, "");
  EXPECT_EQ(shown[1].title, "Find Unreal System Directory");
  EXPECT_EQ(shown[1].selection, "/games/UT");  // starts where the last OK left it
  EXPECT_EQ(shown[2].selection, "");           // a cancel cleared it
}

}  // namespace
}  // namespace quoldex::ui
