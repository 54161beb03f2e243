#include "tree/tree_view.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tree_test_env.h"

namespace quoldex::tree {
namespace {

using test::RecordingObserver;
using Events = std::vector<std::string>;

class TreeViewTest : public ::testing::Test {
 protected:
  TreeViewTest() { view_.AddObserver(&observer_); }
  ~TreeViewTest() override { view_.RemoveObserver(&observer_); }

  TreeView view_;
  RecordingObserver observer_;
};

TEST_F(TreeViewTest, ChildrenKeepTheirOrderAndGiveTheParentAnExpandButton) {
  TreeNode& root = view_.AddChild(nullptr, {.text = "Classes", .image_index = 0});
  EXPECT_FALSE(root.HasChildren());
  TreeNode& b = view_.AddChild(&root, {.text = "b", .node_kind = "C", .node_data = "---"});
  TreeNode& a = view_.AddChild(&root, {.text = "a"});
  view_.AddChild(&a, {.text = "x"});
  EXPECT_TRUE(root.HasChildren());
  ASSERT_EQ(root.Count(), 2u);
  EXPECT_EQ(&root.Child(0), &b);
  EXPECT_EQ(&root.Child(1), &a);
  EXPECT_EQ(b.NodeKind(), "C");
  EXPECT_EQ(b.NodeData(), "---");
  EXPECT_EQ(a.Child(0).Path(), "Classes/a/x");
  EXPECT_EQ(a.Child(0).Level(), 2);
  EXPECT_EQ(root.Level(), 0);
  EXPECT_EQ(a.Child(0).ImageIndex(), kNoImage);
  EXPECT_EQ(observer_.events,
            (Events{"added Classes", "added Classes/b", "changed Classes", "added Classes/a",
                    "added Classes/a/x", "changed Classes/a"}));
}

TEST_F(TreeViewTest, RemovingASubtreeTellsBeforeAndDropsTheSelectionInside) {
  TreeNode& root = view_.AddChild(nullptr, {.text = "R"});
  TreeNode& a = view_.AddChild(&root, {.text = "a"});
  TreeNode& x = view_.AddChild(&a, {.text = "x"});
  view_.Expand(root);
  view_.Select(&x);
  observer_.events.clear();

  view_.Delete(a);
  EXPECT_EQ(view_.Selected(), nullptr);
  EXPECT_EQ(root.Count(), 0u);
  // The last child gone: no expand button, not expanded.
  EXPECT_FALSE(root.HasChildren());
  EXPECT_FALSE(root.Expanded());
  EXPECT_EQ(observer_.events, (Events{"removing R/a", "selected -", "changed R"}));

  // A selection outside the removed subtree stays.
  TreeNode& b = view_.AddChild(&root, {.text = "b"});
  TreeNode& c = view_.AddChild(&root, {.text = "c"});
  view_.Select(&b);
  view_.DeleteChildren(c);
  view_.Delete(c);
  EXPECT_EQ(view_.Selected(), &b);
}

TEST_F(TreeViewTest, ExpandingAsksTheHandlerOnlyForANodeWithAnExpandButton) {
  std::vector<std::string> asked;
  bool allow = true;
  view_.SetOnExpanding([&](TreeNode& node) {
    asked.push_back(node.Text());
    if (node.Text() == "lazy") view_.AddChild(&node, {.text = "loaded"});
    if (node.Text() == "bad") throw std::runtime_error("locked");
    return allow;
  });
  TreeNode& plain = view_.AddChild(nullptr, {.text = "plain"});
  EXPECT_FALSE(view_.Expand(plain));  // no button: not even asked

  TreeNode& lazy = view_.AddChild(nullptr, {.text = "lazy"});
  view_.SetHasChildren(lazy, true);
  EXPECT_TRUE(view_.Expand(lazy));
  EXPECT_TRUE(lazy.Expanded());
  EXPECT_EQ(lazy.Child(0).Text(), "loaded");
  EXPECT_TRUE(view_.Expand(lazy));  // expanded already: not asked again

  TreeNode& empty = view_.AddChild(nullptr, {.text = "empty"});
  view_.SetHasChildren(empty, true);
  EXPECT_FALSE(view_.Expand(empty));  // asked, but nothing to show
  EXPECT_FALSE(empty.Expanded());

  TreeNode& refused = view_.AddChild(nullptr, {.text = "refused"});
  view_.AddChild(&refused, {.text = "kid"});
  allow = false;
  EXPECT_FALSE(view_.Expand(refused));
  EXPECT_FALSE(refused.Expanded());

  TreeNode& bad = view_.AddChild(nullptr, {.text = "bad"});
  view_.AddChild(&bad, {.text = "kid"});
  EXPECT_THROW(view_.Expand(bad), std::runtime_error);
  EXPECT_FALSE(bad.Expanded());
  EXPECT_EQ(asked, (Events{"lazy", "empty", "refused", "bad"}));

  view_.Collapse(lazy);
  EXPECT_FALSE(lazy.Expanded());
}

TEST_F(TreeViewTest, MakeVisibleExpandsTheAncestorsFromTheTopDown) {
  std::vector<std::string> asked;
  view_.SetOnExpanding([&](TreeNode& node) {
    asked.push_back(node.Text());
    return true;
  });
  TreeNode& r = view_.AddChild(nullptr, {.text = "R"});
  TreeNode& a = view_.AddChild(&r, {.text = "a"});
  TreeNode& b = view_.AddChild(&a, {.text = "b"});
  TreeNode& c = view_.AddChild(&b, {.text = "c"});
  observer_.events.clear();
  view_.MakeVisible(c);
  EXPECT_EQ(asked, (Events{"R", "a", "b"}));
  EXPECT_TRUE(r.Expanded() && a.Expanded() && b.Expanded());
  EXPECT_FALSE(c.Expanded());
  EXPECT_EQ(observer_.events.back(), "visible R/a/b/c");

  view_.Invalidate();
  EXPECT_EQ(observer_.events.back(), "repaint");
  view_.SetFocused(true);
  EXPECT_TRUE(view_.Focused());
}

}  // namespace
}  // namespace quoldex::tree
