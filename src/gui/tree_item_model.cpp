#include "gui/tree_item_model.h"

#include <QFont>
#include <QString>

#include "gui/image_list.h"

namespace quoldex::gui {

TreeItemModel::TreeItemModel(tree::ClassTree& tree, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree) {
  tree_.TreeView1().AddObserver(this);
}

TreeItemModel::~TreeItemModel() { tree_.TreeView1().RemoveObserver(this); }

tree::TreeNode* TreeItemModel::Node(const QModelIndex& index) {
  return index.isValid() ? static_cast<tree::TreeNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TreeItemModel::IndexOf(const tree::TreeNode* node) const {
  if (node == nullptr) return {};
  return createIndex(RowOf(*node), 0, const_cast<tree::TreeNode*>(node));
}

int TreeItemModel::ActualRows(const tree::TreeNode* node) const {
  if (node == nullptr) return static_cast<int>(tree_.TreeView1().TopLevelCount());
  if (node->NodeData() == tree::kNotLoaded) return 0;
  return static_cast<int>(node->Count());
}

int TreeItemModel::ReportedRows(const tree::TreeNode* node) const {
  auto found = reported_rows_.find(node);
  if (found == reported_rows_.end()) found = reported_rows_.emplace(node, ActualRows(node)).first;
  return found->second;
}

tree::TreeNode* TreeItemModel::ChildAt(const tree::TreeNode* parent, int row) const {
  const tree::TreeView& view = tree_.TreeView1();
  const size_t count = parent ? parent->Count() : view.TopLevelCount();
  auto at = [&](size_t i) -> tree::TreeNode& {
    return parent ? parent->Child(i) : view.TopLevel(i);
  };
  size_t actual = static_cast<size_t>(row);
  // A node announced as removed but not yet gone is skipped.
  if (removing_node_ && parent == removing_parent_ && row >= removing_row_ &&
      static_cast<size_t>(removing_row_) < count &&
      &at(static_cast<size_t>(removing_row_)) == removing_node_) {
    ++actual;
  }
  return actual < count ? &at(actual) : nullptr;
}

int TreeItemModel::RowOf(const tree::TreeNode& node) const {
  const tree::TreeNode* parent = node.Parent();
  const tree::TreeView& view = tree_.TreeView1();
  const size_t count = parent ? parent->Count() : view.TopLevelCount();
  auto at = [&](size_t i) -> const tree::TreeNode* {
    return parent ? &parent->Child(i) : &view.TopLevel(i);
  };
  int row = -1;
  auto hint = row_hints_.find(&node);
  if (hint != row_hints_.end() && static_cast<size_t>(hint->second) < count &&
      at(static_cast<size_t>(hint->second)) == &node) {
    row = hint->second;
  } else {
    for (size_t i = 0; i < count; ++i) {
      if (at(i) == &node) {
        row = static_cast<int>(i);
        row_hints_[&node] = row;
        break;
      }
    }
  }
  if (removing_node_ && parent == removing_parent_ && row > removing_row_ &&
      static_cast<size_t>(removing_row_) < count &&
      at(static_cast<size_t>(removing_row_)) == removing_node_) {
    --row;
  }
  return row;
}

QModelIndex TreeItemModel::index(int row, int column, const QModelIndex& parent) const {
  const tree::TreeNode* parent_node = Node(parent);
  if (row < 0 || column != 0 || row >= ReportedRows(parent_node)) return {};
  tree::TreeNode* child = ChildAt(parent_node, row);
  return child ? createIndex(row, 0, child) : QModelIndex();
}

QModelIndex TreeItemModel::parent(const QModelIndex& child) const {
  const tree::TreeNode* node = Node(child);
  return node ? IndexOf(node->Parent()) : QModelIndex();
}

int TreeItemModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() && parent.column() != 0) return 0;
  return ReportedRows(Node(parent));
}

int TreeItemModel::columnCount(const QModelIndex&) const { return 1; }

bool TreeItemModel::hasChildren(const QModelIndex& parent) const {
  const tree::TreeNode* node = Node(parent);
  if (node == nullptr) return tree_.TreeView1().TopLevelCount() > 0;
  return node->HasChildren() || ReportedRows(node) > 0;
}

QVariant TreeItemModel::data(const QModelIndex& index, int role) const {
  const tree::TreeNode* node = Node(index);
  if (node == nullptr) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return QString::fromStdString(node->Text());
    case Qt::DecorationRole:
      return NodeIcon(node->ImageIndex(), node->SelectedIndex());
    case Qt::FontRole:
      if (tree_.TreeView1CalcNodeAttributes(*node)) {
        QFont bold;
        bold.setBold(true);
        return bold;
      }
      return {};
    default:
      return {};
  }
}

bool TreeItemModel::canFetchMore(const QModelIndex& parent) const {
  const tree::TreeNode* node = Node(parent);
  return !FollowingTree() && node != nullptr && node->NodeData() == tree::kNotLoaded &&
         node->HasChildren();
}

void TreeItemModel::fetchMore(const QModelIndex& parent) {
  if (canFetchMore(parent)) emit FetchRequested(parent);
}

// ---- Following the tree model ----

void TreeItemModel::NodeAdded(const tree::TreeNode& node) {
  const Following telling(following_);
  removing_node_ = nullptr;
  const tree::TreeNode* parent = node.Parent();
  row_hints_[&node] =
      static_cast<int>((parent ? parent->Count() : tree_.TreeView1().TopLevelCount()) - 1);
  auto reported = reported_rows_.find(parent);
  if (reported == reported_rows_.end()) return;  // the view never asked: nothing to tell
  const int actual = ActualRows(parent);
  if (actual > reported->second) {
    beginInsertRows(IndexOf(parent), reported->second, actual - 1);
    reported_rows_[parent] = actual;
    endInsertRows();
  }
}

void TreeItemModel::NodeRemoving(const tree::TreeNode& node) {
  const Following telling(following_);
  removing_node_ = nullptr;
  const tree::TreeNode* parent = node.Parent();
  auto reported = reported_rows_.find(parent);
  if (reported != reported_rows_.end()) {
    const int row = RowOf(node);
    if (row >= 0 && row < reported->second) {
      beginRemoveRows(IndexOf(parent), row, row);
      reported_rows_[parent] -= 1;
      removing_node_ = &node;
      removing_parent_ = parent;
      removing_row_ = row;
      endRemoveRows();
    }
  }
  Forget(node);
}

void TreeItemModel::Forget(const tree::TreeNode& node) {
  reported_rows_.erase(&node);
  row_hints_.erase(&node);
  for (size_t i = 0; i < node.Count(); ++i) Forget(node.Child(i));
}

void TreeItemModel::NodeChanged(const tree::TreeNode& node) {
  const Following telling(following_);
  removing_node_ = nullptr;
  const QModelIndex index = IndexOf(&node);
  auto reported = reported_rows_.find(&node);
  if (reported != reported_rows_.end()) {
    const int was = reported->second;
    const int actual = ActualRows(&node);
    if (actual > was) {
      beginInsertRows(index, was, actual - 1);
      reported_rows_[&node] = actual;
      endInsertRows();
    } else if (actual < was) {
      beginRemoveRows(index, actual, was - 1);
      reported_rows_[&node] = actual;
      endRemoveRows();
    }
  }
  // A node the view does not know yet (its parent's rows not announced,
  // or it is one of a level still loading) has nothing to redraw.
  auto siblings = reported_rows_.find(node.Parent());
  if (siblings == reported_rows_.end() || index.row() >= siblings->second) return;
  emit dataChanged(index, index);
  emit ExpansionChanged(index, node.Expanded());
}

void TreeItemModel::SelectionChanged(const tree::TreeNode* node) {
  const Following telling(following_);
  emit SelectRequested(IndexOf(node));
}

void TreeItemModel::MadeVisible(const tree::TreeNode& node) {
  const Following telling(following_);
  emit ScrollRequested(IndexOf(&node));
}

void TreeItemModel::RepaintNeeded() {
  const Following telling(following_);
  emit RepaintRequested();
}

}  // namespace quoldex::gui
