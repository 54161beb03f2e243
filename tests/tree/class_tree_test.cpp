#include "tree/class_tree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tables/base/engine_error.h"
#include "tables/data_file/data_file.h"
#include "tree/tree_errors.h"
#include "tree_test_env.h"

namespace quoldex::tree {
namespace {

using Texts = std::vector<std::string>;

class ClassTreeTest : public test::TreeTestEnv {
 protected:
  // Object <- Actor <- {Pawn, Brush}; Pawn <- Scout; ammo is a second root;
  // Ghost's parent is not catalogued; Decal was found outside any Classes
  // folder.
  void AddHierarchy() {
    AddClass("Object", "<none>", "core");
    AddClass("Actor", "object");
    AddClass("Pawn", "actor");
    AddClass("Brush", "actor");
    AddClass("Scout", "pawn", "botpack");
    AddClass("ammo", "<none>", "botpack");
    AddClass("Ghost", "phantom", "botpack");
    AddClass("Decal", "actor", "Unknown");
  }
};

TEST_F(ClassTreeTest, AnEmptyCatalogueShowsThreeRootsWithoutExpandButtons) {
  tree_.BuildTree();
  ASSERT_EQ(View().TopLevelCount(), 3u);
  const Texts roots{"Classes", "Maps", "Packages"};
  for (size_t i = 0; i < 3; ++i) {
    const TreeNode& root = View().TopLevel(i);
    EXPECT_EQ(root.Text(), roots[i]);
    EXPECT_EQ(root.ImageIndex(), 0);
    EXPECT_EQ(root.SelectedIndex(), 12);
    EXPECT_EQ(root.NodeKind(), "");
    EXPECT_EQ(root.NodeData(), "");
    EXPECT_EQ(root.Count(), 0u);
    EXPECT_FALSE(root.HasChildren());
  }
  EXPECT_EQ(&View().TopLevel(0), tree_.ClassesRoot());
  EXPECT_EQ(&View().TopLevel(1), tree_.MapsRoot());
  EXPECT_EQ(&View().TopLevel(2), tree_.PackagesRoot());
}

TEST_F(ClassTreeTest, FirstLevelOfEachRoot) {
  AddHierarchy();
  AddMap("Zeta", "/maps/Zeta.unr");
  AddMap("DM-Deck16", "/maps/DM-Deck16.unr");
  tree_.BuildTree();

  // Root classes in the language order: letters first, case only breaks ties.
  EXPECT_EQ(ChildTexts(Classes()), (Texts{"ammo", "Object"}));
  const TreeNode& object = ChildOf(Classes(), "Object");
  EXPECT_EQ(object.ImageIndex(), 10);
  EXPECT_EQ(object.SelectedIndex(), 9);
  EXPECT_EQ(object.NodeKind(), "C");
  EXPECT_EQ(object.NodeData(), "---");
  EXPECT_EQ(object.Count(), 0u);  // loaded only when expanded

  EXPECT_EQ(ChildTexts(Maps()), (Texts{"DM-Deck16", "Zeta"}));
  const TreeNode& map = ChildOf(Maps(), "Zeta");
  EXPECT_EQ(map.NodeKind(), "M");
  EXPECT_EQ(map.NodeData(), "/maps/Zeta.unr");
  EXPECT_EQ(map.ImageIndex(), 18);
  EXPECT_EQ(map.SelectedIndex(), 18);
  EXPECT_FALSE(map.HasChildren());

  EXPECT_EQ(ChildTexts(Packages()), (Texts{"botpack", "core", "engine", "Unknown"}));
  const TreeNode& core = ChildOf(Packages(), "core");
  EXPECT_EQ(core.NodeKind(), "P");
  EXPECT_EQ(core.NodeData(), "---");
  EXPECT_EQ(core.ImageIndex(), 11);
  EXPECT_EQ(core.SelectedIndex(), 8);
  ASSERT_EQ(core.Count(), 1u);  // the placeholder gives the expand button
  EXPECT_TRUE(core.HasChildren());
  EXPECT_EQ(core.Child(0).Text(), "");
  EXPECT_EQ(core.Child(0).NodeKind(), "");
  EXPECT_EQ(core.Child(0).ImageIndex(), kNoImage);

  EXPECT_FALSE(data_.dsqlBase.Active());
  EXPECT_TRUE(data_.dsqlPackages.Active());
}

TEST_F(ClassTreeTest, WithoutCheckChildrenEveryClassHasAButtonUntilItsFirstExpansion) {
  AddHierarchy();
  SetCheckChildren(false);
  tree_.BuildTree();
  TreeNode& object = ChildOf(Classes(), "Object");
  EXPECT_TRUE(object.HasChildren());
  EXPECT_TRUE(ChildOf(Classes(), "ammo").HasChildren());
  EXPECT_FALSE(data_.dsqlBaseKids.Active());  // not needed, not run

  ASSERT_TRUE(View().Expand(object));
  EXPECT_EQ(object.NodeData(), "");
  EXPECT_EQ(ChildTexts(object), (Texts{"Actor"}));
  TreeNode& actor = ChildOf(object, "Actor");
  View().Expand(actor);
  EXPECT_EQ(ChildTexts(actor), (Texts{"Brush", "Decal", "Pawn"}));

  // A class without subclasses loses its button when expanded.
  TreeNode& brush = ChildOf(actor, "Brush");
  EXPECT_TRUE(brush.HasChildren());
  EXPECT_FALSE(View().Expand(brush));
  EXPECT_FALSE(brush.HasChildren());
  EXPECT_EQ(brush.NodeData(), "");
}

TEST_F(ClassTreeTest, WithCheckChildrenOnlyClassesWithSubclassesHaveAButton) {
  AddHierarchy();
  AddClass("Keypoint", "<none>");
  AddClass("Light", "KEYPOINT");  // a parent named in another case still counts
  SetCheckChildren(true);
  tree_.BuildTree();
  EXPECT_TRUE(ChildOf(Classes(), "Object").HasChildren());
  EXPECT_TRUE(ChildOf(Classes(), "Keypoint").HasChildren());
  EXPECT_FALSE(ChildOf(Classes(), "ammo").HasChildren());
  TreeNode& object = ChildOf(Classes(), "Object");
  View().Expand(object);
  TreeNode& actor = ChildOf(object, "Actor");
  EXPECT_TRUE(actor.HasChildren());
  View().Expand(actor);
  EXPECT_TRUE(ChildOf(actor, "Pawn").HasChildren());
  EXPECT_FALSE(ChildOf(actor, "Brush").HasChildren());

  // The distinct-ancestor list was read once: a subclass of Brush
  // catalogued later gives Brush no button, even after a rebuild.
  AddClass("Mover", "brush");
  tree_.ClearTree();
  tree_.BuildTree();
  TreeNode& object2 = ChildOf(Classes(), "Object");
  View().Expand(object2);
  TreeNode& actor2 = ChildOf(object2, "Actor");
  View().Expand(actor2);
  EXPECT_FALSE(ChildOf(actor2, "Brush").HasChildren());
  // Until its owner closes it: then it is read afresh.
  data_.dsqlBaseKids.Close();
  tree_.ClearTree();
  tree_.BuildTree();
  View().Expand(ChildOf(Classes(), "Object"));
  TreeNode& actor3 = ChildOf(ChildOf(Classes(), "Object"), "Actor");
  View().Expand(actor3);
  EXPECT_TRUE(ChildOf(actor3, "Brush").HasChildren());
}

TEST_F(ClassTreeTest, AClassNamedClassesListsTheRootClasses) {
  AddClass("Object", "<none>", "core");
  AddClass("Classes", "object", "core");
  SetCheckChildren(false);
  tree_.BuildTree();
  TreeNode& object = ChildOf(Classes(), "Object");
  View().Expand(object);
  TreeNode& named_classes = ChildOf(object, "Classes");
  View().Expand(named_classes);
  EXPECT_EQ(ChildTexts(named_classes), (Texts{"Object"}));
}

TEST_F(ClassTreeTest, NamesAreLoweredAsParentNamesAreStored) {
  // Parent names are stored with only A-Z lowered, so an accented capital
  // stays as it is in the looked-up name too.
  const std::string eclair =
      "\xC9"
      "clair";
  AddClass(eclair, "<none>", "Desserts");
  AddClass("Tart",
           "\xC9"
           "clair",
           "desserts");
  SetCheckChildren(true);
  tree_.BuildTree();
  TreeNode& node = ChildOf(Classes(), eclair);
  EXPECT_TRUE(node.HasChildren());
  View().Expand(node);
  EXPECT_EQ(ChildTexts(node), (Texts{"Tart"}));
  TreeNode& package = ChildOf(Packages(), "Desserts");
  View().Expand(package);
  EXPECT_EQ(ChildTexts(package), (Texts{"Tart"}));  // looked up as "desserts"

  tree_.ClearTree();
  tree_.BuildTree();
  finder_.LocateClass("TART");
  EXPECT_EQ(View().Selected()->Path(), "Classes/" + eclair + "/Tart");
}

TEST_F(ClassTreeTest, PackagesListTheirClassesExactlyByLowerCaseName) {
  AddHierarchy();
  SetCheckChildren(false);
  tree_.BuildTree();
  TreeNode& botpack = ChildOf(Packages(), "botpack");
  ASSERT_TRUE(View().Expand(botpack));
  EXPECT_EQ(botpack.NodeData(), "");
  // Ghost's parent is missing: listed here, nowhere under "Classes".
  EXPECT_EQ(ChildTexts(botpack), (Texts{"ammo", "Ghost", "Scout"}));
  EXPECT_EQ(ChildOf(botpack, "Scout").NodeData(), "---");

  // "Unknown" is looked up as "unknown", which no row holds.
  TreeNode& unknown = ChildOf(Packages(), "Unknown");
  EXPECT_FALSE(View().Expand(unknown));
  EXPECT_EQ(unknown.Count(), 0u);
  EXPECT_FALSE(unknown.HasChildren());
  EXPECT_EQ(unknown.NodeData(), "");

  // A class expanded under its package lists all its subclasses, whatever
  // their packages.
  TreeNode& engine = ChildOf(Packages(), "engine");
  View().Expand(engine);
  TreeNode& actor = ChildOf(engine, "Actor");
  View().Expand(actor);
  EXPECT_EQ(ChildTexts(actor), (Texts{"Brush", "Decal", "Pawn"}));

  // Walk the whole "Classes" branch: Ghost is not in it.
  std::vector<TreeNode*> pending{&Classes()};
  while (!pending.empty()) {
    TreeNode* node = pending.back();
    pending.pop_back();
    EXPECT_NE(node->Text(), "Ghost");
    View().Expand(*node);
    for (size_t i = 0; i < node->Count(); ++i) pending.push_back(&node->Child(i));
  }
}

TEST_F(ClassTreeTest, ANodeIsLoadedOnlyOnce) {
  AddHierarchy();
  SetCheckChildren(false);
  tree_.BuildTree();
  TreeNode& object = ChildOf(Classes(), "Object");
  View().Expand(object);
  const TreeNode* actor = &object.Child(0);
  AddClass("Texture", "object");
  View().Collapse(object);
  View().Expand(object);
  tree_.ExpandNode(object);
  EXPECT_EQ(ChildTexts(object), (Texts{"Actor"}));  // the new class is not seen
  EXPECT_EQ(&object.Child(0), actor);               // nor the nodes replaced

  // Roots and maps are never loaded.
  AddClass("Zone", "<none>");
  tree_.ExpandNode(Classes());
  EXPECT_EQ(ChildTexts(Classes()), (Texts{"ammo", "Object"}));
}

TEST_F(ClassTreeTest, AFailedExpansionLeavesTheNodeToBeLoadedAgain) {
  AddHierarchy();
  SetCheckChildren(false);
  tree_.BuildTree();
  TreeNode& object = ChildOf(Classes(), "Object");
  // The catalogue's files disappear while the tree is shown.
  const std::string table = tables::TDataFile::FileNameFor(dir_.path(), "objects.dat");
  const std::string moved = dir_.Path("objects.bak");
  ASSERT_EQ(std::rename(table.c_str(), moved.c_str()), 0);
  EXPECT_THROW(View().Expand(object), tables::EDbEngineError);
  EXPECT_EQ(object.NodeData(), "---");
  EXPECT_FALSE(object.Expanded());
  EXPECT_TRUE(object.HasChildren());  // the user can try again
  ASSERT_EQ(std::rename(moved.c_str(), table.c_str()), 0);
  EXPECT_TRUE(View().Expand(object));
  EXPECT_EQ(ChildTexts(object), (Texts{"Actor"}));
  EXPECT_EQ(object.NodeData(), "");
}

TEST_F(ClassTreeTest, DefaultPackageAndMapAreBoldByExactText) {
  AddClass("Object", "<none>", "core");
  AddClass("Nowhere", "<none>", std::nullopt);  // a package without a name
  AddMap("Deck", "/maps/Deck.unr");
  AddMap("Face", "/maps/Face.unr");
  tree_.BuildTree();
  const TreeNode& core = ChildOf(Packages(), "core");
  const TreeNode& unnamed = ChildOf(Packages(), "");
  const TreeNode& deck = ChildOf(Maps(), "Deck");
  const TreeNode& face = ChildOf(Maps(), "Face");
  // Unset preferences mark nothing, not even a package without a name.
  EXPECT_FALSE(tree_.TreeView1CalcNodeAttributes(unnamed));
  EXPECT_FALSE(tree_.TreeView1CalcNodeAttributes(core));

  SetPref("DefaultCompilePackage", "Core");
  EXPECT_FALSE(tree_.TreeView1CalcNodeAttributes(core));
  SetPref("DefaultCompilePackage", "core");
  EXPECT_TRUE(tree_.TreeView1CalcNodeAttributes(core));
  EXPECT_FALSE(tree_.TreeView1CalcNodeAttributes(Classes()));
  EXPECT_FALSE(tree_.TreeView1CalcNodeAttributes(ChildOf(Classes(), "Object")));

  SetPref("TestMap", "/maps/face.unr");
  EXPECT_FALSE(tree_.TreeView1CalcNodeAttributes(face));
  SetPref("TestMap", "/maps/Face.unr");
  EXPECT_TRUE(tree_.TreeView1CalcNodeAttributes(face));
  EXPECT_FALSE(tree_.TreeView1CalcNodeAttributes(deck));
}

TEST_F(ClassTreeTest, AClickEnablesCommandsThenShowsTheClassFile) {
  AddHierarchy();
  AddClass("core", "<none>", "core");  // a class named like a package
  tree_.BuildTree();
  View().Select(&ChildOf(Classes(), "Object"));
  tree_.TreeView1Click();
  EXPECT_EQ(enable_commands_runs_, 1);
  EXPECT_EQ(ui_.StatusText(), FileOf("Object"));

  // The look-up goes by the text whatever the kind of node.
  View().Select(&ChildOf(Packages(), "core"));
  tree_.TreeView1Click();
  EXPECT_EQ(ui_.StatusText(), FileOf("core"));

  // No class of that name: commands enabled, status kept, silent abort.
  View().Select(&ChildOf(Packages(), "botpack"));
  EXPECT_THROW(tree_.TreeView1Click(), ESilentAbort);
  EXPECT_EQ(enable_commands_runs_, 3);
  EXPECT_EQ(ui_.StatusText(), FileOf("core"));
  View().Select(nullptr);
  EXPECT_THROW(tree_.TreeView1Click(), ESilentAbort);

  // GetClassFileName makes the class the current record.
  View().Select(&ChildOf(Classes(), "ammo"));
  EXPECT_EQ(tree_.GetClassFileName(View().Selected()), FileOf("ammo"));
  EXPECT_EQ(data_.dtblObjectsObjectName->AsString(), "ammo");
}

TEST_F(ClassTreeTest, OnlyALeftDoubleClickOnTheSelectedClassOrMapActs) {
  AddHierarchy();
  AddMap("Deck", "/maps/Deck.unr");
  tree_.BuildTree();
  TreeNode& object = ChildOf(Classes(), "Object");
  TreeNode& deck = ChildOf(Maps(), "Deck");
  View().Select(&object);
  tree_.TreeView1DblClick(&object, MouseButton::kRight);
  tree_.TreeView1DblClick(nullptr, MouseButton::kLeft);
  tree_.TreeView1DblClick(&deck, MouseButton::kLeft);  // not the selected node
  EXPECT_TRUE(platform_.shell_calls().empty());
  EXPECT_EQ(play_map_runs_, 0);

  tree_.TreeView1DblClick(&object, MouseButton::kLeft);
  ASSERT_EQ(platform_.shell_calls().size(), 1u);
  EXPECT_EQ(platform_.shell_calls()[0].verb, "open");
  EXPECT_EQ(platform_.shell_calls()[0].file, FileOf("Object"));
  EXPECT_TRUE(platform_.shell_calls()[0].parameters.empty());

  View().Select(&deck);
  tree_.TreeView1DblClick(&deck, MouseButton::kLeft);
  EXPECT_EQ(play_map_runs_, 1);

  for (TreeNode* node : {&Classes(), &ChildOf(Packages(), "core")}) {
    View().Select(node);
    tree_.TreeView1DblClick(node, MouseButton::kLeft);
  }
  EXPECT_EQ(platform_.shell_calls().size(), 1u);
  EXPECT_EQ(play_map_runs_, 1);
}

TEST_F(ClassTreeTest, ClearAndRebuildStartsOverUnloaded) {
  AddHierarchy();
  SetCheckChildren(false);
  tree_.BuildTree();
  TreeNode& object = ChildOf(Classes(), "Object");
  View().Expand(object);
  View().Select(&object);
  test::RecordingObserver observer;
  View().AddObserver(&observer);
  tree_.ClearTree();
  View().RemoveObserver(&observer);
  EXPECT_EQ(View().TopLevelCount(), 0u);
  EXPECT_EQ(View().Selected(), nullptr);
  EXPECT_EQ(tree_.ClassesRoot(), nullptr);
  EXPECT_EQ(tree_.MapsRoot(), nullptr);
  EXPECT_EQ(tree_.PackagesRoot(), nullptr);
  EXPECT_EQ(observer.events.front(), "removing Classes/ammo");
  EXPECT_EQ(observer.events.back(), "removing Packages");

  AddClass("Zone", "<none>", "core");
  tree_.BuildTree();
  EXPECT_EQ(ChildTexts(Classes()), (Texts{"ammo", "Object", "Zone"}));
  EXPECT_EQ(ChildOf(Classes(), "Object").NodeData(), "---");
  EXPECT_EQ(ChildOf(Classes(), "Object").Count(), 0u);
}

}  // namespace
}  // namespace quoldex::tree
