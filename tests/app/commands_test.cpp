#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "browser_fixture.h"

namespace quoldex::app {
namespace {

using enum ActionId;
using testing::SearchScript;

// The actions enabled now.
std::set<ActionId> Enabled(const TfrmQuoldexBrowser& browser) {
  std::set<ActionId> enabled;
  for (size_t i = 0; i < kActionCount; ++i) {
    if (browser.Actions().All()[i].enabled) enabled.insert(static_cast<ActionId>(i));
  }
  return enabled;
}

// The actions of the pop-up items visible now, in menu order.
std::vector<ActionId> PopupShown(const TfrmQuoldexBrowser& browser) {
  std::vector<ActionId> shown;
  for (const MenuItem& item : browser.PopupMenu1()) {
    if (item.action && item.visible) shown.push_back(*item.action);
  }
  return shown;
}

const std::set<ActionId> kAlwaysEnabled = {actScanDirectories, actAddFile, actFind, actPrefs,
                                           actAbout,           actClose,   actHelp, actGrep,
                                           actExportClass,     actAddMap};

std::set<ActionId> AlwaysAnd(std::initializer_list<ActionId> more) {
  std::set<ActionId> s = kAlwaysEnabled;
  s.insert(more);
  return s;
}

class CommandsTest : public BrowserTest {
 protected:
  CommandsTest() : browser_(Create()) {
    AddClass(*browser_, "Object", "<none>", "core");
    AddClass(*browser_, "Actor", "object", "engine");
    AddClass(*browser_, "Pawn", "actor", "engine");
    AddMap(*browser_, "DM-Deck16.unr", "/ut/Maps/DM-Deck16.unr");
  }
  void Select(tree::TreeNode* node) {
    browser_->Tree().TreeView1().Select(node);
    browser_->EnableCommands();
  }
  tree::TreeNode& Classes() { return *browser_->Tree().ClassesRoot(); }
  tree::TreeNode& Packages() { return *browser_->Tree().PackagesRoot(); }
  tree::TreeNode& Maps() { return *browser_->Tree().MapsRoot(); }

  std::unique_ptr<TfrmQuoldexBrowser> browser_;
};

TEST_F(CommandsTest, TheActionListHasItsTwentyOneActionsInOrder) {
  const ActionList& a = browser_->Actions();
  std::vector<std::string> names;
  for (const TAction& action : a.All()) names.push_back(action.name);
  EXPECT_EQ(names, (std::vector<std::string>{
                       "actShwProperties", "actEdit",      "actPrint",       "actPrefs",
                       "actAbout",         "actClose",     "actCompile",     "actScanDirectories",
                       "actAddFile",       "actUnreal",    "actFind",        "actDefaultPackage",
                       "actAddMap",        "actDeleteMap", "actDefaultMap",  "actHelp",
                       "actGrepAncestor",  "actGrepAll",   "actGrepPackage", "actGrep",
                       "actExportClass"}));
  // A sample of the settings, and what the grep scopes hang on.
  EXPECT_EQ(a[actShwProperties].shortcut, "F12");
  EXPECT_EQ(a[actCompile].hint, "Compile Selected (or default) package.");
  EXPECT_EQ(a[actAddMap].hint, "Add Maps(s0 to browser");
  EXPECT_EQ(a[actUnreal].shortcut, "Ctrl+P");
  EXPECT_EQ(a[actDefaultPackage].image_index, 29);
  EXPECT_EQ(a[actGrepAncestor].tag, 1);
  EXPECT_EQ(a[actGrepPackage].tag, 3);
  EXPECT_EQ(a[actGrepAll].tag, 0);
  EXPECT_EQ(a[actGrep].tag, 0);
  EXPECT_EQ(a.Find("actFind"), actFind);
  EXPECT_EQ(a.Find("actNothing"), std::nullopt);

  // Toolbar and menus as placed.
  std::vector<std::string> bar;
  for (const auto& button : browser_->ToolBar1()) bar.push_back(button ? a[*button].caption : "|");
  EXPECT_EQ(bar, (std::vector<std::string>{"Scan Directories", "Add Files", "|", "Find Class",
                                           "Show Properties", "Edit File", "|", "Compile", "Grep",
                                           "Play Map", "|", "About", "Show Prefs", "|", "Close"}));
  std::vector<std::string> menu;
  for (const MenuItem& heading : browser_->MainMenu1()) {
    menu.push_back(heading.caption + ":");
    for (const MenuItem& item : heading.items) {
      menu.push_back(item.separator ? "-" : ItemCaption(item, a));
    }
  }
  EXPECT_EQ(menu, (std::vector<std::string>{"File:",      "Add Files",  "Scan Directories",
                                            "-",          "Edit File",  "Show Properties",
                                            "Print File", "-",          "Export Classes",
                                            "-",          "Add Map(s)", "Delete Map",
                                            "-",          "Close",      "Tools:",
                                            "Find Class", "Compile",    "Play Map",
                                            "Grep",       "-",          "Preferences",
                                            "Help:",      "Help",       "-",
                                            "About"}));
  EXPECT_EQ(browser_->MainMenu1()[0].image_index, 17);
  EXPECT_EQ(browser_->MainMenu1()[1].image_index, 6);
}

TEST_F(CommandsTest, WithNothingSelectedOnlyTheAlwaysEnabledCommandsAndThePreferenceRulesApply) {
  Select(nullptr);
  EXPECT_EQ(Enabled(*browser_), kAlwaysEnabled);
  EXPECT_EQ(PopupShown(*browser_), (std::vector<ActionId>{actFind, actAddMap}));

  // Compile wants both a default package and a System folder.
  SetPref(*browser_, "DefaultCompilePackage", "mymod");
  browser_->EnableCommands();
  EXPECT_EQ(Enabled(*browser_), kAlwaysEnabled);
  SetPref(*browser_, "SystemDir", "/ut/System");
  browser_->EnableCommands();
  EXPECT_EQ(Enabled(*browser_), AlwaysAnd({actCompile}));
  SetPref(*browser_, "DefaultCompilePackage", "");
  SetPref(*browser_, "TestMap", "/ut/Maps/DM-Deck16.unr");
  browser_->EnableCommands();
  EXPECT_EQ(Enabled(*browser_), AlwaysAnd({actUnreal}));
  EXPECT_EQ(PopupShown(*browser_), (std::vector<ActionId>{actFind, actAddMap, actUnreal}));
}

TEST_F(CommandsTest, AClassUnderPackagesOffersTheClassCommands) {
  tree::TreeNode& engine = Child(Packages(), "engine");
  ASSERT_EQ(browser_->TreeView1Expand(engine), CommandOutcome::kCompleted);
  Select(&Child(engine, "Pawn"));
  EXPECT_EQ(Enabled(*browser_),
            AlwaysAnd({actShwProperties, actEdit, actPrint, actDefaultPackage, actGrepAncestor}));
  EXPECT_EQ(PopupShown(*browser_),
            (std::vector<ActionId>{actEdit, actFind, actPrint, actShwProperties, actDefaultPackage,
                                   actAddMap, actGrepAncestor}));
  SetPref(*browser_, "SystemDir", "/ut/System");
  SetPref(*browser_, "TestMap", "/ut/Maps/DM-Deck16.unr");
  browser_->PopupMenu1Popup();
  EXPECT_EQ(PopupShown(*browser_),
            (std::vector<ActionId>{actCompile, actEdit, actFind, actPrint, actShwProperties,
                                   actDefaultPackage, actAddMap, actUnreal, actGrepAncestor}));

  // The package node itself.
  Select(&engine);
  EXPECT_EQ(Enabled(*browser_),
            AlwaysAnd({actCompile, actDefaultPackage, actGrepPackage, actUnreal}));
  // A class directly under "Classes" (depth 1) counts by its kind, one
  // deeper by its depth.
  Select(&Child(Classes(), "Object"));
  EXPECT_TRUE(browser_->Action(actShwProperties).enabled);
}

TEST_F(CommandsTest, ARootOffersGrepAllAndAMapItsMapCommands) {
  Select(&Classes());
  EXPECT_EQ(Enabled(*browser_), AlwaysAnd({actGrepAll}));
  EXPECT_EQ(PopupShown(*browser_), (std::vector<ActionId>{actFind, actAddMap, actGrepAll}));
  SetPref(*browser_, "SystemDir", "/ut/System");
  SetPref(*browser_, "DefaultCompilePackage", "mymod");
  browser_->EnableCommands();
  EXPECT_EQ(PopupShown(*browser_),
            (std::vector<ActionId>{actCompile, actFind, actAddMap, actGrepAll}));

  Select(&Child(Maps(), "DM-Deck16.unr"));
  EXPECT_EQ(Enabled(*browser_), AlwaysAnd({actCompile, actDeleteMap, actDefaultMap, actUnreal}));
  EXPECT_EQ(PopupShown(*browser_), (std::vector<ActionId>{actCompile, actFind, actAddMap,
                                                          actDeleteMap, actDefaultMap, actUnreal}));
  // Without a System folder Compile stays off whatever is selected.
  SetPref(*browser_, "SystemDir", "");
  browser_->EnableCommands();
  EXPECT_FALSE(browser_->Action(actCompile).enabled);
  Select(&Child(Classes(), "Object"));
  EXPECT_FALSE(browser_->Action(actCompile).enabled);
}

TEST_F(CommandsTest, ShortcutsLookInThePopUpMenuFirstWhileTheTreeHasTheFocus) {
  tree::TreeView& view = browser_->Tree().TreeView1();
  Select(&Child(Maps(), "DM-Deck16.unr"));
  // Ctrl+P is Print File, disabled on a map: it does nothing, although
  // Play Map is enabled and bound to the same key.
  EXPECT_TRUE(browser_->Action(actUnreal).enabled);
  view.SetFocused(true);
  EXPECT_EQ(browser_->ResolveShortcut("Ctrl+P"), std::nullopt);
  view.SetFocused(false);
  EXPECT_EQ(browser_->ResolveShortcut("Ctrl+P"), std::nullopt);
  EXPECT_EQ(browser_->PressShortcut("Ctrl+P"), CommandOutcome::kDisabled);

  Select(&Child(Classes(), "Object"));
  EXPECT_EQ(browser_->ResolveShortcut("Ctrl+P"), actPrint);
  EXPECT_EQ(browser_->ResolveShortcut("F12"), actShwProperties);
  EXPECT_EQ(browser_->ResolveShortcut("F10"), actEdit);
  EXPECT_EQ(browser_->ResolveShortcut("Ctrl+F"), actFind);
  EXPECT_EQ(browser_->ResolveShortcut("F5"), std::nullopt);
  EXPECT_EQ(browser_->ResolveShortcut(""), std::nullopt);

  // Ctrl+G: Grep from the main menu, Grep All from the focused tree's
  // pop-up, which works only on a root.
  EXPECT_EQ(browser_->ResolveShortcut("Ctrl+G"), actGrep);
  view.SetFocused(true);
  EXPECT_EQ(browser_->ResolveShortcut("Ctrl+G"), std::nullopt);
  Select(&Classes());
  EXPECT_EQ(browser_->ResolveShortcut("Ctrl+G"), actGrepAll);
  // A hidden pop-up item still decides: F12 on a root finds Show
  // Properties there, disabled.
  EXPECT_EQ(browser_->ResolveShortcut("F12"), std::nullopt);
}

TEST_F(CommandsTest, ToolCommandsRunFromTheirActions) {
  Select(&Child(Classes(), "Object"));
  EXPECT_EQ(browser_->Execute(actPrint), CommandOutcome::kCompleted);
  ASSERT_EQ(platform_.shell_calls().size(), 1u);
  EXPECT_EQ(platform_.shell_calls()[0].verb, "print");
  EXPECT_EQ(platform_.shell_calls()[0].file,
            browser_->Tree().GetClassFileName(&Child(Classes(), "Object")));
  EXPECT_EQ(browser_->Execute(actHelp), CommandOutcome::kCompleted);  // no read-me: nothing
  EXPECT_TRUE(MessageTexts().empty());
  // A disabled action does not run at all.
  EXPECT_EQ(browser_->Execute(actDeleteMap), CommandOutcome::kDisabled);
  // A double click on a map plays it; this map's file is not there.
  tree::TreeNode& map = Child(Maps(), "DM-Deck16.unr");
  Select(&map);
  EXPECT_EQ(browser_->TreeView1DblClick(&map, tree::MouseButton::kLeft), CommandOutcome::kFailed);
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{
                "Cannot open \"/ut/Maps/DM-Deck16.unr\": the file does not exist."}));
  EXPECT_EQ(ui_.messages()[0].message.kind, ui::MessageKind::kError);
}

TEST_F(CommandsTest, AboutShowsTheVersionAndCloseEndsTheWindowOnce) {
  browser_->Execute(actAbout);
  ASSERT_EQ(ui_.messages().size(), 1u);
  const ui::Message& about = ui_.messages()[0].message;
  EXPECT_EQ(about.caption, "Information");
  EXPECT_EQ(about.kind, ui::MessageKind::kInformation);
  EXPECT_EQ(about.buttons, ui::MessageButtons::kOk);
  EXPECT_EQ(about.text.substr(0, about.text.find('\n')), "Quoldex.1.11");
  EXPECT_EQ(std::count(about.text.begin(), about.text.end(), '\n'), 2);

  int closed = 0;
  browser_->SetOnClosed([&] { ++closed; });
  EXPECT_EQ(browser_->Execute(actClose), CommandOutcome::kCompleted);
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(browser_->Closed());
  EXPECT_FALSE(browser_->Data().dtblObjects.Active());
  browser_->FormClose();  // the window's own close after the command
  EXPECT_EQ(closed, 1);
}

TEST_F(CommandsTest, TheTreeAndTheCatalogueAreWiredToTheWindow) {
  // A click runs EnableCommands and shows the class's file; a click on a
  // node that names no class ends silently.
  Select(nullptr);
  browser_->Tree().TreeView1().Select(&Child(Classes(), "Object"));
  EXPECT_EQ(browser_->TreeView1Click(), CommandOutcome::kCompleted);
  EXPECT_TRUE(browser_->Action(actShwProperties).enabled);
  EXPECT_EQ(ui_.StatusText(), "/ut/core/Classes/Object.uc");
  browser_->Tree().TreeView1().Select(&Maps());
  EXPECT_EQ(browser_->TreeView1Click(), CommandOutcome::kAborted);
  EXPECT_TRUE(browser_->Action(actGrepAll).enabled);
  EXPECT_TRUE(ui_.messages().empty());

  // Find Class locates the class and enables the commands for it.
  ui_.QueueSearch(SearchScript().Type("pawn").Ok());
  EXPECT_EQ(browser_->Execute(actFind), CommandOutcome::kCompleted);
  const tree::TreeNode* selected = browser_->Tree().TreeView1().Selected();
  ASSERT_NE(selected, nullptr);
  EXPECT_EQ(selected->Path(), "Classes/Object/Actor/Pawn");
  EXPECT_TRUE(browser_->Action(actGrepAncestor).enabled);
  EXPECT_FALSE(browser_->Action(actGrepAll).enabled);

  // A scan adds the classes and rebuilds the tree.
  testing::TempDir scripts;
  std::filesystem::create_directories(scripts.Path("MyMod/Classes"));
  scripts.Write("MyMod/Classes/MyPawn.uc", "class MyPawn extends Pawn;\n\n");
  ui_.QueueFolder(scripts.path());
  EXPECT_EQ(browser_->Execute(actScanDirectories), CommandOutcome::kCompleted);
  EXPECT_EQ(ui_.StatusText(), "Done.");
  EXPECT_EQ(Child(Packages(), "mymod").Text(), "mymod");
  EXPECT_EQ(browser_->Tree().TreeView1().Selected(), nullptr);

  // Closing releases the header reader's line buffer the scan created.
  EXPECT_TRUE(browser_->Catalogue().HeaderReader().HasLineBuffer());
  browser_->FormClose();
  EXPECT_FALSE(browser_->Catalogue().HeaderReader().HasLineBuffer());
}

}  // namespace
}  // namespace quoldex::app
