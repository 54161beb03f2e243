#include "tree/tree_view.h"

#include <algorithm>
#include <utility>

namespace quoldex::tree {
namespace {

// True when `node` is `ancestor` or lies below it.
bool Contains(const TreeNode& ancestor, const TreeNode* node) {
  for (; node != nullptr; node = node->Parent()) {
    if (node == &ancestor) return true;
  }
  return false;
}

}  // namespace

TreeNode& TreeView::AddChild(TreeNode* parent, NodeSpec init) {
  std::unique_ptr<TreeNode> owned(new TreeNode(parent, std::move(init.text)));
  TreeNode& node = *owned;
  node.image_index_ = init.image_index;
  node.selected_index_ = init.selected_index;
  node.node_kind_ = std::move(init.node_kind);
  node.node_data_ = std::move(init.node_data);
  (parent ? parent->children_ : top_level_).push_back(std::move(owned));
  Notify([&](TreeViewObserver& o) { o.NodeAdded(node); });
  if (parent && !parent->has_children_) SetHasChildren(*parent, true);
  return node;
}

void TreeView::Delete(TreeNode& node) {
  Notify([&](TreeViewObserver& o) { o.NodeRemoving(node); });
  if (Contains(node, selected_)) Select(nullptr);
  TreeNode* parent = node.parent_;
  auto& siblings = parent ? parent->children_ : top_level_;
  auto it = std::find_if(siblings.begin(), siblings.end(),
                         [&](const std::unique_ptr<TreeNode>& p) { return p.get() == &node; });
  if (it != siblings.end()) siblings.erase(it);
  if (parent && parent->children_.empty() && (parent->has_children_ || parent->expanded_)) {
    parent->has_children_ = false;
    parent->expanded_ = false;
    Notify([&](TreeViewObserver& o) { o.NodeChanged(*parent); });
  }
}

void TreeView::DeleteChildren(TreeNode& node) {
  while (!node.children_.empty()) Delete(*node.children_.front());
}

void TreeView::SetNodeData(TreeNode& node, std::string data) {
  node.node_data_ = std::move(data);
  Notify([&](TreeViewObserver& o) { o.NodeChanged(node); });
}

void TreeView::SetHasChildren(TreeNode& node, bool has_children) {
  node.has_children_ = has_children;
  Notify([&](TreeViewObserver& o) { o.NodeChanged(node); });
}

bool TreeView::Expand(TreeNode& node) {
  if (node.expanded_) return true;
  if (!node.has_children_ && node.children_.empty()) return false;
  if (on_expanding_ && !on_expanding_(node)) return false;
  if (node.children_.empty()) return false;
  node.expanded_ = true;
  Notify([&](TreeViewObserver& o) { o.NodeChanged(node); });
  return true;
}

void TreeView::Collapse(TreeNode& node) {
  if (!node.expanded_) return;
  node.expanded_ = false;
  Notify([&](TreeViewObserver& o) { o.NodeChanged(node); });
}

void TreeView::MakeVisible(TreeNode& node) {
  std::vector<TreeNode*> ancestors;
  for (TreeNode* p = node.parent_; p != nullptr; p = p->parent_) ancestors.push_back(p);
  for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) Expand(**it);
  Notify([&](TreeViewObserver& o) { o.MadeVisible(node); });
}

void TreeView::Select(TreeNode* node) {
  if (node == selected_) return;
  selected_ = node;
  Notify([&](TreeViewObserver& o) { o.SelectionChanged(node); });
}

void TreeView::Invalidate() {
  Notify([](TreeViewObserver& o) { o.RepaintNeeded(); });
}

void TreeView::AddObserver(TreeViewObserver* observer) { observers_.push_back(observer); }

void TreeView::RemoveObserver(TreeViewObserver* observer) { std::erase(observers_, observer); }

}  // namespace quoldex::tree
