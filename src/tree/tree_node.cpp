#include "tree/tree_node.h"

namespace quoldex::tree {

int TreeNode::Level() const {
  int level = 0;
  for (const TreeNode* node = parent_; node != nullptr; node = node->parent_) ++level;
  return level;
}

std::string TreeNode::Path(std::string_view separator) const {
  std::string path = text_;
  for (const TreeNode* node = parent_; node != nullptr; node = node->parent_) {
    path.insert(0, separator);
    path.insert(0, node->text_);
  }
  return path;
}

}  // namespace quoldex::tree
