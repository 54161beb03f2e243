// TreeNode: one node of the class tree: its text, its two image numbers,
// the two per-node texts NodeKind and NodeData, the has-children flag that
// decides whether an expand button is drawn before any child exists, the
// expanded state, its parent and its children in the order they were added.
//
// Nodes are created, changed and removed only through their TreeView
// (tree_view.h), which owns them and tells its observers; a node's address
// stays valid until the node is removed.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quoldex::tree {

// Image number of a node whose image was never set (the placeholder child
// of a package node).
inline constexpr int kNoImage = -1;

class TreeNode {
 public:
  TreeNode(const TreeNode&) = delete;
  TreeNode& operator=(const TreeNode&) = delete;

  const std::string& Text() const { return text_; }
  int ImageIndex() const { return image_index_; }
  int SelectedIndex() const { return selected_index_; }
  // "C" class, "P" package, "M" map; empty for the roots and placeholders.
  const std::string& NodeKind() const { return node_kind_; }
  // "---" while a class or package node is not loaded, a map's file path,
  // else empty.
  const std::string& NodeData() const { return node_data_; }
  // Whether the node shows an expand button. Adding a child sets it;
  // removing the last child clears it.
  bool HasChildren() const { return has_children_; }
  bool Expanded() const { return expanded_; }

  // Null for a top-level node.
  TreeNode* Parent() const { return parent_; }
  // 0 for a top-level node, 1 for its children, and so on.
  int Level() const;
  size_t Count() const { return children_.size(); }
  // The child at `index` (< Count()), in the order children were added.
  TreeNode& Child(size_t index) const { return *children_.at(index); }
  // The texts from the top-level node down to this one, joined by
  // `separator` ("Classes/Object/Actor/Pawn").
  std::string Path(std::string_view separator = "/") const;

 private:
  friend class TreeView;
  TreeNode(TreeNode* parent, std::string text) : text_(std::move(text)), parent_(parent) {}

  std::string text_;
  int image_index_ = kNoImage;
  int selected_index_ = kNoImage;
  std::string node_kind_;
  std::string node_data_;
  bool has_children_ = false;
  bool expanded_ = false;
  TreeNode* parent_;
  std::vector<std::unique_ptr<TreeNode>> children_;
};

}  // namespace quoldex::tree
