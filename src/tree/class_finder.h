// ClassFinder: finding a class and showing it in the tree, and the
// commands that act on the selected class (Find Class, Show Properties,
// Edit File).
//
// LocateClass walks the class's inheritance chain up through dtblObjects
// (the inheritance path "<none>,object,actor,Pawn": root first, the class
// itself last, ancestors as their lower-case InheritsFrom values), shows
// "Inheritance is object,actor,Pawn" in the status bar, and then walks the
// "Classes" branch down that path, loading each level on the way, and
// selects the class's node. A class, ancestor or tree level that is
// missing, and a chain that comes back to a class already on it, end the
// command with ELocateError (tree_errors.h); the tree keeps what was
// loaded, and the selection does not change.
#pragma once

#include <functional>
#include <string>

#include "data/browser_data.h"
#include "platform/platform.h"
#include "tree/class_tree.h"
#include "ui/record_view.h"
#include "ui/ui.h"

namespace quoldex::tree {

class ClassFinder {
 public:
  // The references must outlive the finder. `enable_commands` recomputes
  // the commands' enabled states for the selected node.
  ClassFinder(ClassTree& tree, data::BrowserData& data, ui::Ui& ui, platform::Platform& platform,
              std::function<void()> enable_commands);
  ClassFinder(const ClassFinder&) = delete;
  ClassFinder& operator=(const ClassFinder&) = delete;

  // Selects the node of class `name` (any letter case) in the "Classes"
  // branch, makes it visible and runs enable_commands. Errors, as
  // ELocateError:
  //   "Unable to locate object "<name>"."            the class or an
  //       ancestor is not catalogued (an ancestor named as stored);
  //   "Unable to locate object "<item>" at "<rest>"." a level of the tree
  //       has no node for the next name of the path;
  //   "Inheritance of "<name>" loops back to "<class>"." the chain reaches
  //       a class (named as catalogued) a second time;
  //   "Unable to locate object "Classes"." the tree has no "Classes" root
  //       (BuildTree failed or was not run).
  void LocateClass(const std::string& name);

  // Find Class: the search dialog over dtblObjects ("ByName" order) with a
  // "View" button that opens the highlighted class's file and keeps the
  // dialog open; OK locates the highlighted class, Cancel does nothing.
  void actFindExecute();
  // Show Properties: the selected node's class (ESilentAbort when it is
  // not catalogued) in the read-only "Class Properties" record view.
  void actShwPropertiesExecute();
  // Edit File: opens the selected node's class file (ESilentAbort when it
  // is not catalogued).
  void actEditExecute();
  // Asks the shell to open `path` (ClassTree::EditFile).
  void EditFile(const std::string& path) { tree_.EditFile(path); }
  // The text of the selected node when it is a class node, else "".
  std::string GetSelectedClassName() const;

 private:
  // Walks the chain up from `name`; the inheritance path.
  std::string InheritancePath(const std::string& name);
  // Walks `path` (lower case, without "<none>") down from the "Classes"
  // root, loading each node passed; the node of the last name.
  TreeNode& WalkDown(std::string path);

  ClassTree& tree_;
  data::BrowserData& data_;
  ui::Ui& ui_;
  platform::Platform& platform_;
  std::function<void()> enable_commands_;
};

// The "Class Properties" record view (rvObjects) of the current record of
// dtblObjects: Name, Inherits From, Filename, Last updated and Package, all
// read-only, without OK and Cancel buttons.
ui::RecordView ClassPropertiesView(const data::BrowserData& data);

}  // namespace quoldex::tree
