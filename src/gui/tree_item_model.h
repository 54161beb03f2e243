// TreeItemModel: the class tree as Qt's item model, for a QTreeView. It
// follows the tree control's model (tree::TreeView) as an observer and
// never reads the catalogue itself: a level appears when the tree model
// has loaded it, which happens only when the user (or a command) expands
// its node.
//
// Rows of a node are its children, except that a class or package node not
// loaded yet ("---") shows none: its expand button comes from the
// has-children flag, and the placeholder under a package is never seen.
// When a node turns loaded its children appear in one insertion.
//
// Each index points at its TreeNode. The number of rows reported for a
// node is remembered from the first time the view asks, so every change
// is announced against what the view was told; nodes the view never asked
// about cost nothing.
//
// While the tree model tells it of a change, the tree must not be changed
// (its loading queries are not re-entrant, and a removal is half done):
// nothing can be fetched then, and a view's reactions to the signals sent
// meanwhile (a current row moved off a removed one, a checker walking the
// rows) are not the user's input (FollowingTree).
//
// Roles: the text, the node's two pictures (the second drawn while
// selected), bold where the tree says so. One user-interface thread.
#pragma once

#include <QAbstractItemModel>
#include <unordered_map>

#include "tree/class_tree.h"

namespace quoldex::gui {

class TreeItemModel : public QAbstractItemModel, private tree::TreeViewObserver {
  Q_OBJECT
 public:
  // Observes `tree`'s control until destroyed; `tree` must outlive it.
  explicit TreeItemModel(tree::ClassTree& tree, QObject* parent = nullptr);
  ~TreeItemModel() override;

  // The node behind `index`; null for the invisible top.
  static tree::TreeNode* Node(const QModelIndex& index);
  // The index of `node`; invalid for null.
  QModelIndex IndexOf(const tree::TreeNode* node) const;
  // True while the tree model is telling this model of a change: whatever
  // a view does in answer to the signals sent then must not go back to the
  // tree model.
  bool FollowingTree() const { return following_ > 0; }

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // A class or package node that is not loaded yet can fetch its rows: the
  // view asks while it opens the node, before it lays out its rows, so a
  // large level is added in one piece to a node not yet drawn open. Never
  // while FollowingTree.
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

 signals:
  // The view is opening the node of `index`, which is not loaded yet: the
  // receiver has the tree model expand it (which loads its level).
  void FetchRequested(const QModelIndex& index);
  // The tree model expanded or collapsed `index`'s node: the view follows.
  void ExpansionChanged(const QModelIndex& index, bool expanded);
  // The tree model selected a node (an invalid index: none).
  void SelectRequested(const QModelIndex& index);
  // The node should be scrolled into view.
  void ScrollRequested(const QModelIndex& index);
  // Every node should be drawn again.
  void RepaintRequested();

 private:
  // tree::TreeViewObserver
  void NodeAdded(const tree::TreeNode& node) override;
  void NodeRemoving(const tree::TreeNode& node) override;
  void NodeChanged(const tree::TreeNode& node) override;
  void SelectionChanged(const tree::TreeNode* node) override;
  void MadeVisible(const tree::TreeNode& node) override;
  void RepaintNeeded() override;

  // The rows `node` (null: the top level) has in the tree model now.
  int ActualRows(const tree::TreeNode* node) const;
  // The rows the view was told of; remembered at the first question.
  int ReportedRows(const tree::TreeNode* node) const;
  // The position of `node` among its parent's children as the view sees
  // it (a node being removed still counts until its removal is over).
  int RowOf(const tree::TreeNode& node) const;
  tree::TreeNode* ChildAt(const tree::TreeNode* parent, int row) const;
  // Forgets what was remembered of `node` and its subtree.
  void Forget(const tree::TreeNode& node);

  // Marks one observer call as running (FollowingTree) for its lifetime.
  class Following {
   public:
    explicit Following(int& depth) : depth_(++depth) {}
    ~Following() { --depth_; }
    Following(const Following&) = delete;
    Following& operator=(const Following&) = delete;

   private:
    int& depth_;
  };

  tree::ClassTree& tree_;
  mutable std::unordered_map<const tree::TreeNode*, int> reported_rows_;
  mutable std::unordered_map<const tree::TreeNode*, int> row_hints_;
  // While a removal is announced but not done: the parent and row going.
  // Cleared by the next change, and ignored once the node is really gone.
  const tree::TreeNode* removing_node_ = nullptr;
  const tree::TreeNode* removing_parent_ = nullptr;
  int removing_row_ = -1;
  int following_ = 0;
};

}  // namespace quoldex::gui
