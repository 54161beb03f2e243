#include "tree/class_finder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/shell_document.h"
#include "tree/object_search_source.h"
#include "tree/tree_errors.h"
#include "tree_test_env.h"

namespace quoldex::tree {
namespace {

using testing::FakeUi;
using testing::SearchScript;
using Texts = std::vector<std::string>;

class ClassFinderTest : public test::TreeTestEnv {
 protected:
  ClassFinderTest() {
    AddClass("Object", "<none>", "core");
    AddClass("Actor", "object");
    AddClass("Pawn", "actor");
    AddClass("Brush", "actor");
    AddClass("Scout", "pawn", "botpack");
    AddClass("Ghost", "phantom", "botpack");
    SetCheckChildren(true);
    tree_.BuildTree();
  }

  // The message of the ELocateError that LocateClass(name) raises.
  std::string LocateError(const std::string& name) {
    try {
      finder_.LocateClass(name);
    } catch (const ELocateError& e) {
      return e.what();
    }
    return "(no error)";
  }
};

TEST_F(ClassFinderTest, LocatingARootClassSelectsItUnderClasses) {
  finder_.LocateClass("Object");
  EXPECT_EQ(ui_.StatusText(), "Inheritance is Object");
  ASSERT_NE(View().Selected(), nullptr);
  EXPECT_EQ(View().Selected()->Path(), "Classes/Object");
  EXPECT_EQ(enable_commands_runs_, 1);
}

TEST_F(ClassFinderTest, LocatingPawnLoadsEachLevelOfItsPathOnce) {
  test::RecordingObserver observer;
  View().AddObserver(&observer);
  finder_.LocateClass("Pawn");
  View().RemoveObserver(&observer);
  EXPECT_EQ(ui_.StatusText(), "Inheritance is object,actor,Pawn");
  EXPECT_EQ(ui_.process_messages_count(), 1);
  TreeNode* pawn = View().Selected();
  ASSERT_NE(pawn, nullptr);
  EXPECT_EQ(pawn->Path(), "Classes/Object/Actor/Pawn");
  EXPECT_EQ(pawn->NodeData(), "---");  // the class itself is not loaded
  EXPECT_TRUE(pawn->Parent()->Expanded());
  EXPECT_TRUE(pawn->Parent()->Parent()->Expanded());
  EXPECT_EQ(ChildTexts(*pawn->Parent()), (Texts{"Brush", "Pawn"}));
  EXPECT_EQ(observer.events.back(), "selected Classes/Object/Actor/Pawn");
  EXPECT_EQ(observer.events[observer.events.size() - 2], "visible Classes/Object/Actor/Pawn");

  // Again, in another letter case: nothing is loaded a second time.
  AddClass("Mover", "actor");
  View().Select(nullptr);
  finder_.LocateClass("PAWN");
  EXPECT_EQ(ui_.StatusText(), "Inheritance is object,actor,PAWN");
  EXPECT_EQ(View().Selected(), pawn);
  EXPECT_EQ(ChildTexts(*pawn->Parent()), (Texts{"Brush", "Pawn"}));
}

TEST_F(ClassFinderTest, AMissingClassOrAncestorChangesNothing) {
  TreeNode& object = ChildOf(Classes(), "Object");
  View().Select(&object);
  ui_.SetStatusText("before");
  EXPECT_EQ(LocateError("Nope"), "Unable to locate object \"Nope\".");
  // The parent as stored, lower case.
  EXPECT_EQ(LocateError("Ghost"), "Unable to locate object \"phantom\".");
  EXPECT_EQ(ui_.StatusText(), "before");
  EXPECT_EQ(View().Selected(), &object);
  EXPECT_EQ(object.NodeData(), "---");
  EXPECT_EQ(object.Count(), 0u);
  EXPECT_EQ(enable_commands_runs_, 0);
}

TEST_F(ClassFinderTest, ATreeThatDisagreesWithTheCatalogueNamesTheMissingLevel) {
  // Catalogued after the tree was built, and the tree not rebuilt.
  AddClass("Alpha", "<none>");
  AddClass("Beta", "alpha");
  EXPECT_EQ(LocateError("Beta"), "Unable to locate object \"alpha\" at \"beta\".");
  EXPECT_EQ(LocateError("Alpha"), "Unable to locate object \"alpha\" at \"\".");
  EXPECT_EQ(ui_.StatusText(), "Inheritance is Alpha");
  EXPECT_EQ(View().Selected(), nullptr);

  // A level already loaded is not loaded again to find a newcomer.
  finder_.LocateClass("Pawn");
  AddClass("Light", "actor");
  EXPECT_EQ(LocateError("Light"), "Unable to locate object \"light\" at \"\".");
  EXPECT_EQ(View().Selected()->Path(), "Classes/Object/Actor/Pawn");
}

TEST_F(ClassFinderTest, AnInheritanceLoopEndsWithAnErrorNamingTheClass) {
  AddClass("Ying", "yang");
  AddClass("Yang", "ying");
  AddClass("Taiji", "ying");
  AddClass("Ouroboros", "ouroboros");
  EXPECT_EQ(LocateError("Ying"), "Inheritance of \"Ying\" loops back to \"Ying\".");
  EXPECT_EQ(LocateError("taiji"), "Inheritance of \"taiji\" loops back to \"Ying\".");
  EXPECT_EQ(LocateError("Ouroboros"), "Inheritance of \"Ouroboros\" loops back to \"Ouroboros\".");
  EXPECT_EQ(View().Selected(), nullptr);
}

TEST_F(ClassFinderTest, TheSearchSourceFollowsTheByNameOrder) {
  ObjectSearchSource source(data_.dtblObjects);
  EXPECT_EQ(source.ColumnTitles(), (Texts{"Name", "Inherits From", "Package", "Filename"}));
  ASSERT_EQ(source.RowCount(), 6u);
  EXPECT_EQ(source.RowCells(0), (Texts{"Actor", "object", "engine", FileOf("Actor")}));
  EXPECT_EQ(source.RowCells(5)[0], "Scout");
  EXPECT_EQ(source.RowCells(2)[0], "Ghost");
  EXPECT_EQ(source.NearestRow("pa"), 4u);  // Pawn
  EXPECT_EQ(source.NearestRow("PAWN"), 4u);
  EXPECT_EQ(source.NearestRow("c"), 2u);  // Ghost: nothing starts with c, d, e or f
  EXPECT_EQ(source.NearestRow(""), 0u);
  EXPECT_EQ(source.NearestRow("zz"), 5u);  // past the end: the last row
  source.MoveTo(1);
  EXPECT_EQ(data_.dtblObjectsObjectName->AsString(), "Brush");
  EXPECT_EQ(source.CurrentRow(), 1u);
}

TEST_F(ClassFinderTest, FindClassLocatesWhatOkChose) {
  ui_.QueueSearch(SearchScript().Type("pa").Ok());
  finder_.actFindExecute();
  ASSERT_EQ(ui_.search_dialogs().size(), 1u);
  const FakeUi::ShownSearch& shown = ui_.search_dialogs()[0];
  EXPECT_EQ(shown.caption, "Search");
  EXPECT_EQ(shown.search_label, "&Search Characters");
  EXPECT_EQ(shown.search_hint, "Enter characters for incremental search");
  EXPECT_EQ(shown.user_button_caption, "View");
  EXPECT_EQ(shown.column_titles, (Texts{"Name", "Inherits From", "Package", "Filename"}));
  ASSERT_NE(View().Selected(), nullptr);
  EXPECT_EQ(View().Selected()->Path(), "Classes/Object/Actor/Pawn");
  EXPECT_EQ(ui_.StatusText(), "Inheritance is object,actor,Pawn");
}

TEST_F(ClassFinderTest, ViewOpensTheHighlightedFileAndCancelDoesNothingElse) {
  ui_.QueueSearch(SearchScript().Type("Sc").PressUserButton().Select(0).PressUserButton().Cancel());
  finder_.actFindExecute();
  ASSERT_EQ(platform_.shell_calls().size(), 2u);
  EXPECT_EQ(platform_.shell_calls()[0].verb, "open");
  EXPECT_EQ(platform_.shell_calls()[0].file, FileOf("Scout"));
  EXPECT_TRUE(platform_.shell_calls()[0].parameters.empty());
  EXPECT_EQ(platform_.shell_calls()[1].file, FileOf("Actor"));
  EXPECT_EQ(ui_.search_dialogs()[0].user_button_rows, (std::vector<size_t>{5, 0}));
  EXPECT_EQ(View().Selected(), nullptr);
  EXPECT_EQ(enable_commands_runs_, 0);
  EXPECT_TRUE(ui_.status_texts().empty());
}

TEST_F(ClassFinderTest, ShowPropertiesShowsTheClassReadOnly) {
  finder_.LocateClass("Pawn");
  finder_.actShwPropertiesExecute();
  ASSERT_EQ(ui_.record_views().size(), 1u);
  const FakeUi::ShownRecordView& shown = ui_.record_views()[0];
  EXPECT_EQ(shown.caption, "Class Properties");
  EXPECT_FALSE(shown.ok_cancel_buttons);
  const std::vector<std::vector<std::string>> expected{
      {"ObjectName", "Name", "35", "Pawn"},
      {"InheritsFrom", "Inherits From", "35", "actor"},
      {"Filename", "Filename", "60", FileOf("Pawn")},
      {"FileTimeStamp", "Last updated", "10", "01/02/2003"},
      {"Package", "Package", "20", "engine"}};
  ASSERT_EQ(shown.rows_at_open.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const FakeUi::RowSnapshot& row = shown.rows_at_open[i];
    EXPECT_EQ(row.field_name, expected[i][0]);
    EXPECT_EQ(row.label, expected[i][1]);
    EXPECT_EQ(std::to_string(row.edit_width), expected[i][2]);
    EXPECT_EQ(row.value, expected[i][3]);
    EXPECT_TRUE(row.read_only) << row.field_name;
    EXPECT_EQ(row.control, ui::RowControl::kTextBox);
  }
  EXPECT_EQ(data_.dtblObjects.State(), tables::DataSetState::kBrowse);

  // A node that is not a catalogued class ends the command silently.
  View().Select(&ChildOf(Packages(), "core"));
  EXPECT_THROW(finder_.actShwPropertiesExecute(), ESilentAbort);
  EXPECT_EQ(ui_.record_views().size(), 1u);
}

TEST_F(ClassFinderTest, EditFileOpensTheSelectedClassFile) {
  finder_.LocateClass("Scout");
  finder_.actEditExecute();
  ASSERT_EQ(platform_.shell_calls().size(), 1u);
  EXPECT_EQ(platform_.shell_calls()[0].file, FileOf("Scout"));
  EXPECT_TRUE(platform_.shell_calls()[0].parameters.empty());

  // No program to open it: an error naming the file.
  platform_.SetShellResult(false);
  try {
    finder_.actEditExecute();
    ADD_FAILURE() << "no error";
  } catch (const platform::EShellError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open \"" + FileOf("Scout") + "\": no program to open it could be started.");
  }

  View().Select(&Classes());
  EXPECT_THROW(finder_.actEditExecute(), ESilentAbort);
  View().Select(nullptr);
  EXPECT_THROW(finder_.actEditExecute(), ESilentAbort);
  EXPECT_EQ(platform_.shell_calls().size(), 2u);
}

TEST_F(ClassFinderTest, SelectedClassNameOnlyForClassNodes) {
  EXPECT_EQ(finder_.GetSelectedClassName(), "");
  finder_.LocateClass("Actor");
  EXPECT_EQ(finder_.GetSelectedClassName(), "Actor");
  View().Select(&ChildOf(Packages(), "engine"));
  EXPECT_EQ(finder_.GetSelectedClassName(), "");
  View().Select(&Classes());
  EXPECT_EQ(finder_.GetSelectedClassName(), "");
}

}  // namespace
}  // namespace quoldex::tree
