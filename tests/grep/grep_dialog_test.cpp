// The grep dialog's life: showing, enabling, Cancel and Close during a run,
// Edit, Browse and the folder picker.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "grep_test_env.h"

namespace quoldex::grep::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The enabled states of the inputs and buttons, in one comparable text:
// search text, scope, ancestor, directory, mask, package, Go, Cancel (1 or
// 0 each).
std::string Enabling(const TdlgGrep& d) {
  std::string s;
  for (bool on : {d.edtSearchFor().enabled, d.SearchInEnabled(), d.dlcmbAncestorOf().enabled,
                  d.wdcdDirectory().enabled, d.wcmbMask().enabled, d.dlcmbPackage().enabled,
                  d.StartSearchEnabled(), d.CancelEnabled()}) {
    s += on ? '1' : '0';
  }
  return s;
}

class GrepDialogTest : public GrepTest {
 protected:
  GrepDialogTest() {
    for (int i = 0; i < 5; ++i) {
      const std::string name = "C" + std::to_string(i);
      files_.push_back(AddScript(name, "object", "pack", "class " + name + ";\n// needle\n"));
    }
  }

  std::vector<std::string> files_;
};

TEST_F(GrepDialogTest, IdleEnablingFollowsTheScopeAndTheSearchText) {
  EXPECT_EQ(dialog_.SearchIn(), kScopeAllClasses);
  EXPECT_EQ(dialog_.wcmbMask().text, "*.uc");
  EXPECT_THAT(TdlgGrep::MaskItems(), ElementsAre("*.*", "*.uc"));
  EXPECT_THAT(TdlgGrep::SearchInItems(),
              ElementsAre("All Classes", "Ancestors", "Directory", "Package"));
  // Idle, no search text: Go is off.
  const std::vector<std::pair<int, std::string>> idle = {
      {kScopeAllClasses, "11000000"},
      {kScopeAncestors, "11100000"},
      {kScopeDirectory, "11011000"},
      {kScopePackage, "11000100"},
  };
  for (const auto& [scope, expected] : idle) {
    dialog_.rgrpSearchInClick(scope);
    EXPECT_EQ(Enabling(dialog_), expected) << "scope " << scope;
  }
  dialog_.edtSearchForChange("x");
  EXPECT_EQ(Enabling(dialog_), "11000110");
  dialog_.edtSearchForChange("");
  EXPECT_EQ(Enabling(dialog_), "11000100");
  // Go without a search text does nothing.
  dialog_.actStartSearchExecute();
  EXPECT_EQ(dialog_.StatusText(), "");
}

TEST_F(GrepDialogTest, RunningDisablesEveryInputAndGoAndEnablesCancel) {
  std::vector<std::string> during;
  ui_.OnProcessMessages([&] { during.push_back(Enabling(dialog_)); });
  for (int scope : {kScopeAllClasses, kScopePackage}) {
    during.clear();
    dialog_.SetPackage("pack");
    Grep("needle", scope);
    ASSERT_FALSE(during.empty());
    for (const std::string& state : during) EXPECT_EQ(state, "00000001");
  }
  EXPECT_EQ(Enabling(dialog_), "11000110");
}

TEST_F(GrepDialogTest, RowSelectionDrivesEditAndBrowse) {
  Grep("needle", kScopeAllClasses);
  ASSERT_EQ(dialog_.Results().size(), 5u);
  EXPECT_EQ(dialog_.SelectedRow(), 0u);
  dialog_.ListView1Click(std::nullopt);
  EXPECT_FALSE(dialog_.EditEnabled());
  EXPECT_FALSE(dialog_.BrowseEnabled());
  dialog_.actEditExecute();
  dialog_.actBrowseExecute();
  EXPECT_THAT(edited_, IsEmpty());
  EXPECT_THAT(located_, IsEmpty());

  dialog_.ListView1Click(2);
  EXPECT_TRUE(dialog_.EditEnabled());
  EXPECT_TRUE(dialog_.BrowseEnabled());
  dialog_.actEditExecute();
  EXPECT_THAT(edited_, ElementsAre(files_[2]));
  dialog_.actBrowseExecute();
  EXPECT_THAT(located_, ElementsAre("C2"));
  dialog_.ListView1Click(99);  // no such row
  EXPECT_EQ(dialog_.SelectedRow(), std::nullopt);
}

TEST_F(GrepDialogTest, CancelKeepsTheRowsFoundSoFarAndIdlesAtOnce) {
  int turns = 0;
  std::string at_cancel;
  ui_.OnProcessMessages([&] {
    // Turn 1: before C0; 2: after its row; 3: before C1; 4: after its row.
    if (++turns == 4) {
      dialog_.bbtnCancelClick();
      at_cancel = Enabling(dialog_);
    }
  });
  Grep("needle", kScopeAllClasses);
  EXPECT_EQ(at_cancel, "11000010");
  EXPECT_EQ(dialog_.StatusText(), "Search Canceled");
  EXPECT_THAT(Rows(), ElementsAre("C0|" + files_[0] + "|14", "C1|" + files_[1] + "|14"));
  EXPECT_EQ(dialog_.FilesSearched(), 2);
  EXPECT_EQ(dialog_.SelectedRow(), 0u);
  EXPECT_TRUE(dialog_.Cancelled());

  // The next run starts afresh.
  ui_.OnProcessMessages(nullptr);
  Grep("needle", kScopeAllClasses);
  EXPECT_EQ(dialog_.StatusText(), Summary(5, 5));
  EXPECT_FALSE(dialog_.Cancelled());
}

TEST_F(GrepDialogTest, CancelStopsAnAncestorWalkAndADirectoryWalk) {
  AddScript("D1", "c0", "pack", "needle");
  AddScript("D2", "d1", "pack", "needle");
  int turns = 0;
  ui_.OnProcessMessages([&] {
    if (++turns == 1) dialog_.bbtnCancelClick();
  });
  dialog_.SetAncestorOf("D2");
  Grep("needle", kScopeAncestors);
  EXPECT_EQ(dialog_.StatusText(), "Search Canceled");
  EXPECT_EQ(dialog_.FilesSearched(), 1);  // D1 was under way

  turns = 0;
  dialog_.SetDirectory(scripts_.Path("pack/"));
  Grep("needle", kScopeDirectory);
  EXPECT_EQ(dialog_.StatusText(), "Search Canceled");
  // The file under way is still read, but a hit after Cancel is not listed.
  EXPECT_EQ(dialog_.FilesSearched(), 1);
  EXPECT_THAT(dialog_.Results(), IsEmpty());
}

TEST_F(GrepDialogTest, GoPressedAfterCancelDuringARunReplacesThatRunCleanly) {
  AddScript("Other", "object", "pack", "a haystack\n");
  int turns = 0;
  ui_.OnProcessMessages([&] {
    if (++turns == 2) {
      dialog_.bbtnCancelClick();
      dialog_.edtSearchForChange("haystack");
      dialog_.actStartSearchExecute();  // runs to its end inside this turn
    }
  });
  Grep("needle", kScopeAllClasses);
  // Only the second run's rows and summary; the first stopped quietly.
  EXPECT_THAT(
      Rows(),
      ElementsAre("Other|" + scripts_.Path(quoldex::testing::NativePath("pack/Classes/Other.uc")) +
                  "|3"));
  EXPECT_EQ(dialog_.StatusText(), Summary(6, 1));
  EXPECT_EQ(dialog_.FilesSearched(), 6);
  EXPECT_FALSE(dialog_.Searching());
  EXPECT_EQ(Enabling(dialog_), "11000010");
}

TEST_F(GrepDialogTest, CloseCancelsTheRunAndEndsTheModalShowing) {
  window_.during_modal = [&] {
    ui_.OnProcessMessages([&] { dialog_.BitBtn2Click(); });
    Grep("needle", kScopeAllClasses);
  };
  dialog_.ShowGrep("", "", kScopeAllClasses, {});
  EXPECT_EQ(window_.modal_runs, 1);
  EXPECT_FALSE(dialog_.Visible());
  EXPECT_EQ(dialog_.StatusText(), "Search Canceled");
  EXPECT_EQ(dialog_.FilesSearched(), 1);
}

TEST_F(GrepDialogTest, ShowGrepPresetsTheInputsAndKeepsEarlierTexts) {
  SetPref("SystemDir", "/games/UT/System");
  dialog_.ShowGrep("Pawn", "Engine", kScopeAncestors, {.goModeless = true});
  EXPECT_EQ(dialog_.dlcmbAncestorOf().text, "Pawn");
  EXPECT_EQ(dialog_.dlcmbPackage().text, "Engine");
  EXPECT_EQ(dialog_.wdcdDirectory().text, "/games/UT/");
  EXPECT_EQ(dialog_.SearchIn(), kScopeAncestors);
  EXPECT_EQ(dialog_.Focus(), GrepFocus::kSearchFor);
  EXPECT_EQ(Enabling(dialog_), "11100000");

  // A non-class node selected: empty names keep the earlier texts; a
  // directory once filled stays.
  SetPref("SystemDir", "/other/System/");
  dialog_.SetDirectory("/mine");
  dialog_.ShowGrep("", "", kScopeAllClasses, {.goModeless = true});
  EXPECT_EQ(dialog_.dlcmbAncestorOf().text, "Pawn");
  EXPECT_EQ(dialog_.dlcmbPackage().text, "Engine");
  EXPECT_EQ(dialog_.wdcdDirectory().text, "/mine");
  EXPECT_EQ(dialog_.SearchIn(), kScopeAllClasses);

  dialog_.SetDirectory("");
  dialog_.ShowGrep("", "", kScopeDirectory, {.goModeless = true});
  EXPECT_EQ(dialog_.wdcdDirectory().text, "/other/System/");
}

TEST_F(GrepDialogTest, ModelessShowsAndReturnsModalHidesFirstAndWaits) {
  dialog_.ShowGrep("", "", kScopeAllClasses, {.goModeless = true, .goStayOnTop = true});
  EXPECT_TRUE(dialog_.Visible());
  EXPECT_FALSE(dialog_.Modal());
  EXPECT_EQ(dialog_.Style(), WindowStyle::kStayOnTop);
  EXPECT_EQ(window_.modal_runs, 0);
  EXPECT_TRUE(dialog_.GrepOptions().goModeless);

  window_.window_states.clear();
  bool visible_while_modal = false;
  window_.during_modal = [&] {
    visible_while_modal = dialog_.Visible() && dialog_.Modal();
    dialog_.BitBtn2Click();
  };
  dialog_.ShowGrep("", "", kScopeAllClasses, {});
  EXPECT_EQ(window_.modal_runs, 1);
  EXPECT_TRUE(visible_while_modal);
  EXPECT_EQ(dialog_.Style(), WindowStyle::kNormal);
  // Hidden (it was showing non-modally), then shown modally, then closed.
  std::vector<bool> visible;
  for (const auto& state : window_.window_states) visible.push_back(state.visible);
  EXPECT_THAT(visible, ElementsAre(true, false, true, false));
}

TEST_F(GrepDialogTest, BrowseBringsTheMainWindowForwardOnlyWhenModeless) {
  Grep("needle", kScopeAllClasses);
  dialog_.ShowGrep("", "", kScopeAllClasses, {.goModeless = true});
  dialog_.actBrowseExecute();
  EXPECT_EQ(window_.brought_to_front, 1);

  window_.during_modal = [&] {
    dialog_.actBrowseExecute();
    dialog_.BitBtn2Click();
  };
  dialog_.ShowGrep("", "", kScopeAllClasses, {});
  EXPECT_THAT(located_, ElementsAre("C0", "C0"));
  EXPECT_EQ(window_.brought_to_front, 1);
}

TEST_F(GrepDialogTest, FolderPickerDropsStayOnTopWhileOpenAndStartsAtTheGameFolder) {
  SetPref("SystemDir", "/games/UT/System/");
  dialog_.ShowGrep("", "", kScopeDirectory, {.goModeless = true, .goStayOnTop = true});
  window_.window_states.clear();
  ui_.QueueFolder("/games/UT/Botpack");
  dialog_.wdcdDirectoryCustomDlg();
  ASSERT_EQ(ui_.folder_requests().size(), 1u);
  EXPECT_EQ(ui_.folder_requests()[0].title, "Find Directory");
  EXPECT_EQ(ui_.folder_requests()[0].caption, "Quoldex");
  EXPECT_EQ(ui_.folder_requests()[0].selection, "/games/UT/");
  EXPECT_EQ(dialog_.wdcdDirectory().text, "/games/UT/Botpack");
  // Normal before the picker ran, on top again after it.
  ASSERT_EQ(window_.window_states.size(), 2u);
  EXPECT_EQ(window_.window_states[0].style, WindowStyle::kNormal);
  EXPECT_EQ(window_.window_states[0].folder_requests, 0u);
  EXPECT_EQ(window_.window_states[1].style, WindowStyle::kStayOnTop);
  EXPECT_EQ(window_.window_states[1].folder_requests, 1u);

  // The picker remembers its choice; a cancel keeps the directory text.
  ui_.QueueFolder(std::nullopt);
  dialog_.wdcdDirectoryCustomDlg();
  EXPECT_EQ(ui_.folder_requests()[1].selection, "/games/UT/Botpack");
  EXPECT_EQ(dialog_.wdcdDirectory().text, "/games/UT/Botpack");

  // Without stay-on-top the style never changes.
  dialog_.ShowGrep("", "", kScopeDirectory, {.goModeless = true});
  window_.window_states.clear();
  ui_.QueueFolder(std::nullopt);
  dialog_.wdcdDirectoryCustomDlg();
  EXPECT_THAT(window_.window_states, IsEmpty());
  EXPECT_EQ(ui_.folder_requests()[2].selection, "/games/UT/");
}

TEST_F(GrepDialogTest, LookUpListsShowTheCataloguesClassesAndPackages) {
  AddScript("Zed", "object", "other", "");
  EXPECT_THAT(dialog_.AncestorOfItems(), ElementsAre("C0", "C1", "C2", "C3", "C4", "Zed"));
  EXPECT_THAT(dialog_.PackageItems(), ElementsAre("other", "pack"));
}

}  // namespace
}  // namespace quoldex::grep::test
