#include "cli/tree_listing.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "cli/output.h"
#include "text/ascii.h"

namespace quoldex::cli {
namespace {

bool IsPlaceholder(const tree::TreeNode& node) {
  return node.Level() > 0 && node.NodeKind().empty();
}

bool IsClassNode(const tree::TreeNode& node) { return node.NodeKind() == "C"; }

// The lower-cased texts of the class nodes on the path from a root down to
// the node being listed, so that a class repeating one of them is seen at
// once however deep the tree goes.
class ClassPath {
 public:
  // Forgets the entries of levels at or below `level`.
  void TruncateTo(int level) {
    while (!entries_.empty() && entries_.back().level >= level) {
      auto it = counts_.find(entries_.back().name);
      if (--it->second == 0) counts_.erase(it);
      entries_.pop_back();
    }
  }
  bool Contains(const std::string& name) const { return counts_.contains(name); }
  void Push(int level, std::string name) {
    ++counts_[name];
    entries_.push_back({level, std::move(name)});
  }

 private:
  struct Entry {
    int level;
    std::string name;
  };
  std::vector<Entry> entries_;
  std::unordered_map<std::string, int> counts_;
};

}  // namespace

void ListTree(tree::ClassTree& tree, const TreeListingOptions& options, std::ostream& out) {
  const bool expand = options.expand_all || options.depth.has_value();
  const int expand_below = options.expand_all && !options.depth ? -1 : options.depth.value_or(0);
  auto within_depth = [&](int level) { return !options.depth || level <= *options.depth; };

  tree::TreeView& view = tree.TreeView1();
  std::vector<tree::TreeNode*> pending;  // depth first, next node last
  for (size_t i = view.TopLevelCount(); i-- > 0;) pending.push_back(&view.TopLevel(i));
  ClassPath path;
  while (!pending.empty()) {
    tree::TreeNode& node = *pending.back();
    pending.pop_back();
    const int level = node.Level();
    if (IsPlaceholder(node) || !within_depth(level)) continue;

    out << std::string(2 * static_cast<size_t>(level), ' ') << OutputField(node.Text())
        << (tree.TreeView1CalcNodeAttributes(node) ? " *" : "") << '\n';

    path.TruncateTo(level);
    const std::string lower = text::AsciiLowerCase(node.Text());
    const bool repeats = IsClassNode(node) && path.Contains(lower);
    if (IsClassNode(node)) path.Push(level, lower);
    if (expand && !repeats && (expand_below < 0 || level < expand_below)) view.Expand(node);
    for (size_t i = node.Count(); i-- > 0;) pending.push_back(&node.Child(i));
  }
}

}  // namespace quoldex::cli
