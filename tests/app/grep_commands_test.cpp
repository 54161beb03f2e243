// The four grep commands of the main window and the grep dialog they show.
#include <gmock/gmock.h>

#include <string>

#include "browser_fixture.h"
#include "fakes/native_path.h"
#include "search/temp_tree.h"

namespace quoldex::app {
namespace {

using enum ActionId;
using ::testing::ElementsAre;

class GrepCommandsTest : public BrowserTest {
 protected:
  GrepCommandsTest() : browser_(Create()) {
    AddClass(*browser_, "Object", "<none>", "core");
    AddClass(*browser_, "Actor", "object", "engine");
    AddClass(*browser_, "Pawn", "actor", "engine");
  }
  void Select(tree::TreeNode* node) {
    browser_->Tree().TreeView1().Select(node);
    browser_->EnableCommands();
  }
  tree::TreeNode& Classes() { return *browser_->Tree().ClassesRoot(); }
  tree::TreeNode& Packages() { return *browser_->Tree().PackagesRoot(); }
  tree::TreeNode& PawnNode() {
    tree::TreeNode& object = Child(Classes(), "Object");
    browser_->Tree().TreeView1().Expand(object);
    tree::TreeNode& actor = Child(object, "Actor");
    browser_->Tree().TreeView1().Expand(actor);
    return Child(actor, "Pawn");
  }
  grep::TdlgGrep& Dialog() { return browser_->dlgGrep(); }

  std::unique_ptr<TfrmQuoldexBrowser> browser_;
};

TEST_F(GrepCommandsTest, GrepAncestorsPresetsTheSelectedClassItsPackageAndTheScope) {
  Select(&PawnNode());
  EXPECT_EQ(browser_->Execute(actGrepAncestor), CommandOutcome::kCompleted);
  EXPECT_EQ(Dialog().dlcmbAncestorOf().text, "Pawn");
  EXPECT_EQ(Dialog().dlcmbPackage().text, "engine");
  EXPECT_EQ(Dialog().SearchIn(), grep::kScopeAncestors);
  // GrepModal and GrepStayOnTop are off: shown non-modally, normal style.
  EXPECT_TRUE(Dialog().Visible());
  EXPECT_FALSE(Dialog().Modal());
  EXPECT_EQ(Dialog().Style(), grep::WindowStyle::kNormal);
}

TEST_F(GrepCommandsTest, GrepPackageAndGrepAllFollowTheNodeAndThePreferences) {
  SetPref(*browser_, "GrepModal", "True");
  SetPref(*browser_, "GrepStayOnTop", "True");
  Select(&Child(Packages(), "core"));
  EXPECT_EQ(browser_->Execute(actGrepPackage), CommandOutcome::kCompleted);
  EXPECT_EQ(Dialog().dlcmbPackage().text, "core");
  EXPECT_EQ(Dialog().dlcmbAncestorOf().text, "");  // not a class node
  EXPECT_EQ(Dialog().SearchIn(), grep::kScopePackage);
  EXPECT_FALSE(Dialog().GrepOptions().goModeless);
  EXPECT_TRUE(Dialog().GrepOptions().goStayOnTop);
  EXPECT_EQ(Dialog().Style(), grep::WindowStyle::kStayOnTop);

  // A root: Grep All; its caption is no class, so the package falls back
  // to the default package.
  SetPref(*browser_, "DefaultCompilePackage", "MyMod");
  Select(&Classes());
  EXPECT_EQ(browser_->Execute(actGrepAll), CommandOutcome::kCompleted);
  EXPECT_EQ(Dialog().SearchIn(), grep::kScopeAllClasses);
  EXPECT_EQ(Dialog().dlcmbPackage().text, "MyMod");
  EXPECT_EQ(browser_->PressShortcut("Ctrl+G"), CommandOutcome::kCompleted);
}

TEST_F(GrepCommandsTest, TheDialogSearchesTheWindowsCatalogueThroughItsOwnTable) {
  Select(nullptr);
  EXPECT_EQ(browser_->Execute(actGrep), CommandOutcome::kCompleted);
  Dialog().edtSearchForChange("class");
  Dialog().actStartSearchExecute();
  EXPECT_EQ(Dialog().dtblGrep_().DatabaseName(), browser_->DataFolder());
  // The catalogued files are not there: counted, not listed.
  EXPECT_EQ(Dialog().StatusText(), "Search Complete, (3 files searched, 0 files found.)");
  EXPECT_TRUE(Dialog().Results().empty());
}

TEST_F(GrepCommandsTest, AWindowStartedWithoutItsTreeSearchesEveryScopeAlike) {
  auto bare = Make();
  bare->SetBuildTreeAtCreate(false);
  ASSERT_EQ(bare->FormCreate(), CommandOutcome::kCompleted);
  EXPECT_EQ(bare->Tree().TreeView1().TopLevelCount(), 0u);
  EXPECT_FALSE(bare->Data().dsqlPackages.Active());  // no grouping ran
  EXPECT_EQ(bare->FormShow(), CommandOutcome::kCompleted);

  grep::TdlgGrep& dialog = bare->dlgGrep();
  auto searched = [&](const std::string& ancestor, const std::string& package, int scope) {
    dialog.ShowGrep(ancestor, package, scope, {.goModeless = true});
    dialog.edtSearchForChange("class");
    dialog.actStartSearchExecute();
    return dialog.StatusText();
  };
  EXPECT_EQ(searched("", "", grep::kScopeAllClasses),
            "Search Complete, (3 files searched, 0 files found.)");
  EXPECT_EQ(searched("", "engine", grep::kScopePackage),
            "Search Complete, (2 files searched, 0 files found.)");
  EXPECT_EQ(searched("Pawn", "", grep::kScopeAncestors),
            "Search Complete, (2 files searched, 0 files found.)");
  // Its package list comes from the catalogue all the same.
  EXPECT_THAT(dialog.PackageItems(), ElementsAre("core", "engine"));
  bare->FormClose();
}

TEST_F(GrepCommandsTest, EditOpensTheRowsFileAndBrowseSelectsItsClassInTheTree) {
  const std::string pawn = exe_.Path("scripts/Pawn.uc");
  search::testing::WriteFile(pawn, "class Pawn extends Actor;\n");
  Select(nullptr);
  browser_->Execute(actGrep);
  Dialog().rgrpSearchInClick(grep::kScopeDirectory);
  Dialog().SetDirectory(exe_.Path("scripts"));
  Dialog().edtSearchForChange("extends actor");
  Dialog().actStartSearchExecute();
  ASSERT_EQ(Dialog().Results().size(), 1u);

  Dialog().actEditExecute();
  ASSERT_EQ(platform_.shell_calls().size(), 1u);
  EXPECT_EQ(platform_.shell_calls()[0].verb, "open");
  EXPECT_EQ(platform_.shell_calls()[0].file, quoldex::testing::NativePath(pawn));

  Dialog().actBrowseExecute();
  const tree::TreeNode* selected = browser_->Tree().TreeView1().Selected();
  ASSERT_NE(selected, nullptr);
  EXPECT_EQ(selected->Path("/"), "Classes/Object/Actor/Pawn");
  EXPECT_TRUE(browser_->Action(actGrepAncestor).enabled);  // the commands followed
}

}  // namespace
}  // namespace quoldex::app
