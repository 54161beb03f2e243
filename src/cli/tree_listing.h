// The "tree" command: the class tree as text.
//
// Every node on a line of its own, in tree order, indented by two blanks
// per level below the roots ("Classes", "Maps", "Packages" at the left);
// a node drawn in bold (the default package, the default map) ends with
// " *". The empty placeholder under a package that was not loaded is never
// listed.
//
// Without options the tree is listed as it stands after start-up: the
// roots and the first level that building the tree loaded. `depth` N
// expands every node down to N levels below the roots and lists nothing
// deeper (0: the roots alone); `expand_all` expands every node, as deep as
// `depth` allows when it is given. Expanding goes through the tree as a
// user's click would, loading each node once. A class node listed under a
// class node of the same name (ignoring case), which a catalogue whose
// inheritance loops back on itself produces, is listed but not expanded,
// so the listing ends.
#pragma once

#include <optional>
#include <ostream>

#include "tree/class_tree.h"

namespace quoldex::cli {

struct TreeListingOptions {
  bool expand_all = false;
  std::optional<int> depth;  // levels below the roots, >= 0
};

// Expands as `options` ask and writes the listing to `out`. Errors of the
// tables while expanding propagate; what was written stays written.
void ListTree(tree::ClassTree& tree, const TreeListingOptions& options, std::ostream& out);

}  // namespace quoldex::cli
