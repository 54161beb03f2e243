// ClassTree: the main window's class tree. Three roots, "Classes" (every
// catalogued class by inheritance), "Maps" (the user's maps) and
// "Packages" (every package with its classes), filled from the catalogue
// one level at a time: a class or package node loads its children the
// first time it expands, and never again while it exists.
//
// Node kinds, as (text, image, selected image, NodeKind, NodeData):
//   root         "Classes" / "Maps" / "Packages", 0, 12, "", ""
//   class        ObjectName as stored, 10, 9, "C", "---" until loaded
//   package      package as the package query gives it, 11, 8, "P", "---"
//                until loaded, with one empty placeholder child so that it
//                shows an expand button
//   map          MapName as stored, 18, 18, "M", the map's Filename
// A class node shows an expand button always when the preference
// CheckChildren is false; when it is true, only when the distinct-ancestor
// query (dsqlBaseKids) lists its name, ignoring case. That query is opened
// on first need and then kept, with its first result, until its owner
// closes it: classes catalogued later do not change the expand buttons.
//
// Errors of the tables and queries propagate to the caller (the
// application's error handler shows them). A failed expansion leaves the
// node not loaded ("---") with the children added before the error and an
// expand button; the next expansion removes them and loads it again. GetClassFileName and the
// commands built on it end with ESilentAbort (tree_errors.h) when the node
// names no catalogued class.
//
// The model reads the preferences afresh each time it needs one, and
// talks to the screen only through Ui and to the system only through
// Platform. One user-interface thread.
#pragma once

#include <functional>
#include <string>
#include <unordered_set>

#include "data/browser_data.h"
#include "data/pref_record.h"
#include "platform/platform.h"
#include "tree/tree_view.h"
#include "ui/ui.h"

namespace quoldex::tree {

// Image numbers of the main window's image list used by the tree.
inline constexpr int kRootImage = 0;
inline constexpr int kRootSelectedImage = 12;
inline constexpr int kClassImage = 10;
inline constexpr int kClassSelectedImage = 9;
inline constexpr int kPackageImage = 11;
inline constexpr int kPackageSelectedImage = 8;
inline constexpr int kMapImage = 18;

// NodeData of a class or package node whose children are not loaded yet.
inline constexpr const char* kNotLoaded = "---";

enum class MouseButton { kLeft, kRight, kMiddle };

class ClassTree {
 public:
  // What the tree needs from the main window.
  struct Callbacks {
    // Recomputes the commands' enabled states for the selected node.
    std::function<void()> enable_commands;
    // Plays the selected map (the Play Map command).
    std::function<void()> play_map;
  };

  // The references must outlive the tree. The data sets are opened by
  // their owner; the tree opens and closes dsqlBase, dsqlPackages,
  // dsqlPackageLevel and dsqlBaseKids itself, and dtblMaps when closed.
  ClassTree(data::BrowserData& data, const data::PrefRecord& prefs, ui::Ui& ui,
            platform::Platform& platform, Callbacks callbacks);
  ClassTree(const ClassTree&) = delete;
  ClassTree& operator=(const ClassTree&) = delete;

  // The tree control's model, for views to follow and drive.
  TreeView& TreeView1() { return tree_view_; }
  const TreeView& TreeView1() const { return tree_view_; }
  // The three roots; null before BuildTree added them and after ClearTree.
  TreeNode* ClassesRoot() const { return classes_root_; }
  TreeNode* MapsRoot() const { return maps_root_; }
  TreeNode* PackagesRoot() const { return packages_root_; }

  // Adds the roots "Classes", "Maps" and "Packages" at the end of the top
  // level, each followed by its first level (AddClassChildren,
  // AddMapNodes, AddPackageNodes).
  void BuildTree();
  // Removes every node: while there is a first top-level node, its
  // children and then the node.
  void ClearTree();

  // Adds the classes whose parent is the class of `node`, ordered by name,
  // as its children: the root classes for the "Classes" root (recognised by
  // its exact text) or a null node (then at the top level). The name is
  // looked up lower-cased (A-Z only, as parent names are stored).
  void AddClassChildren(TreeNode* node);
  // Adds one package node, with its placeholder, per package under `node`.
  // dsqlPackages stays open afterwards.
  void AddPackageNodes(TreeNode& node);
  // Adds the classes of the package of `node` (its text lower-cased; the
  // comparison is exact, so "Unknown" lists nothing). dsqlPackageLevel
  // stays open afterwards.
  void AddPackageClasses(TreeNode& node);
  // Adds one map node per record of dtblMaps, in the order of its primary
  // index, opening the table when it is closed.
  void AddMapNodes(TreeNode& node);

  // Loads the children of a class or package node that is not loaded yet
  // (NodeData "---"): removes its children and its expand button, adds its
  // classes, and marks it loaded. On an error the node keeps "---" and gets
  // its expand button back. Any other node is left alone.
  void ExpandNode(TreeNode& node);
  // The tree's expanding notification: ExpandNode, then allows it.
  bool TreeView1Expanding(TreeNode& node);

  // True when `node` is drawn in bold: a package node whose text equals the
  // preference DefaultCompilePackage exactly (letter case counts), or a map
  // node whose NodeData equals the preference TestMap exactly. An unset
  // preference marks no node.
  bool TreeView1CalcNodeAttributes(const TreeNode& node) const;
  // A click on the tree (after the view selected the node under the mouse):
  // enable_commands, then the catalogued path of the selected node's text
  // in the status bar. Ends with ESilentAbort (status text unchanged) when
  // nothing is selected or no class has that name.
  void TreeView1Click();
  // A double click on `node` (null when none was hit) with `button`. Only a
  // left double click on the selected node acts: a class node opens its
  // file like Edit File (ESilentAbort when not catalogued), a map node
  // plays the map. Roots, packages and placeholders do nothing.
  void TreeView1DblClick(TreeNode* node, MouseButton button);

  // Makes the class named by `node`'s text (ignoring case, whatever the
  // node's kind) the current record of dtblObjects and returns its
  // Filename. ESilentAbort when `node` is null or no class has that name.
  std::string GetClassFileName(const TreeNode* node);
  // Asks the shell to open `path` with its associated program, without
  // parameters. Raises platform::EShellError naming the file when no
  // program could be started; what that program does is not reported.
  void EditFile(const std::string& path);

 private:
  // Adds a class node named `name` under `parent` with its expand button
  // decided by the CheckChildren rule.
  void AddClassNode(TreeNode* parent, const std::string& name, bool check_children);
  // True when dsqlBaseKids (opened on first need) lists `name`, ignoring
  // case.
  bool HasSubclasses(const std::string& name);

  data::BrowserData& data_;
  const data::PrefRecord& prefs_;
  ui::Ui& ui_;
  platform::Platform& platform_;
  Callbacks callbacks_;
  TreeView tree_view_;
  TreeNode* classes_root_ = nullptr;
  TreeNode* maps_root_ = nullptr;
  TreeNode* packages_root_ = nullptr;
  // The names dsqlBaseKids returned when it was opened, case-folded; kept
  // while the query stays open.
  std::unordered_set<std::string> base_kids_;
  bool base_kids_read_ = false;
};

}  // namespace quoldex::tree
