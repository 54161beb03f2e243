// TreeView: the tree control as a model (TreeView1 of the main window). It
// owns the nodes, keeps the selection, the expanded state and the focus
// flag, and tells its observers (a view on screen, a test) of every change
// so that they can follow it without polling.
//
// Children stay in the order in which they were added; nothing is ever
// sorted. Expanding a node first asks the expanding handler, which may load
// the node's children and may refuse the expansion. Removing a node removes
// its whole subtree; if the selection was inside it, nothing is selected
// afterwards.
//
// Observers are told after the change, except NodeRemoving, which comes
// while the subtree still exists. An observer must not change the tree
// while it is being told. Not thread-safe: one user-interface thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tree/tree_node.h"

namespace quoldex::tree {

// What a new node starts with.
struct NodeSpec {
  std::string text{};
  int image_index = kNoImage;
  int selected_index = kNoImage;
  std::string node_kind{};
  std::string node_data{};
};

class TreeViewObserver {
 public:
  virtual ~TreeViewObserver() = default;
  // `node` was added at the end of its parent's children (or the top level).
  virtual void NodeAdded(const TreeNode& /*node*/) {}
  // `node` and its subtree are about to be removed.
  virtual void NodeRemoving(const TreeNode& /*node*/) {}
  // NodeData, the has-children flag or the expanded state of `node` changed.
  virtual void NodeChanged(const TreeNode& /*node*/) {}
  // The selection moved; `node` is the new one, or null.
  virtual void SelectionChanged(const TreeNode* /*node*/) {}
  // `node` should be scrolled into view (its ancestors are expanded).
  virtual void MadeVisible(const TreeNode& /*node*/) {}
  // Every node should be drawn again (its attributes, such as bold, may
  // have changed).
  virtual void RepaintNeeded() {}
};

class TreeView {
 public:
  // Runs before a node expands; false refuses the expansion. It may add and
  // remove children of the node. Errors propagate out of Expand and leave
  // the node collapsed.
  using ExpandingHandler = std::function<bool(TreeNode& node)>;

  TreeView() = default;
  TreeView(const TreeView&) = delete;
  TreeView& operator=(const TreeView&) = delete;

  // ---- Nodes ----
  size_t TopLevelCount() const { return top_level_.size(); }
  TreeNode& TopLevel(size_t index) const { return *top_level_.at(index); }
  // The first top-level node, or null when the tree is empty.
  TreeNode* FirstNode() const { return top_level_.empty() ? nullptr : top_level_.front().get(); }
  // Adds a node at the end of `parent`'s children (of the top level when
  // `parent` is null) and sets the parent's has-children flag.
  TreeNode& AddChild(TreeNode* parent, NodeSpec init);
  // Removes `node` with its subtree. Removing a parent's last child clears
  // the parent's has-children flag and expanded state.
  void Delete(TreeNode& node);
  // Removes every child of `node`, first to last.
  void DeleteChildren(TreeNode& node);
  void SetNodeData(TreeNode& node, std::string data);
  void SetHasChildren(TreeNode& node, bool has_children);

  // ---- Expansion ----
  void SetOnExpanding(ExpandingHandler handler) { on_expanding_ = std::move(handler); }
  // Expands `node`: nothing for a node without an expand button or one
  // that is expanded already; otherwise runs the expanding handler and, if
  // it allows and the node then has children, marks it expanded. True when
  // the node ends expanded.
  bool Expand(TreeNode& node);
  void Collapse(TreeNode& node);
  // Expands every ancestor of `node` from the top down, then asks the
  // observers to scroll it into view.
  void MakeVisible(TreeNode& node);

  // ---- Selection and focus ----
  TreeNode* Selected() const { return selected_; }
  // Selects `node` (null: nothing).
  void Select(TreeNode* node);
  bool Focused() const { return focused_; }
  void SetFocused(bool focused) { focused_ = focused; }

  // ---- Drawing ----
  // Asks the observers to draw every node again.
  void Invalidate();

  // ---- Observers (not owned; remove one before it goes) ----
  void AddObserver(TreeViewObserver* observer);
  void RemoveObserver(TreeViewObserver* observer);

 private:
  template <typename F>
  void Notify(F notify) {
    for (TreeViewObserver* observer : observers_) notify(*observer);
  }

  std::vector<std::unique_ptr<TreeNode>> top_level_;
  TreeNode* selected_ = nullptr;
  bool focused_ = false;
  ExpandingHandler on_expanding_;
  std::vector<TreeViewObserver*> observers_;
};

}  // namespace quoldex::tree
