// A catalogue in a temporary Data folder with the main window's data sets
// open over it, the class tree and finder built on them, scripted Ui and
// Platform fakes, and an observer that records what a view would be told.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "data/browser_data.h"
#include "data/createobject.h"
#include "data/pref_record.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_ui.h"
#include "fakes/temp_dir.h"
#include "tree/class_finder.h"
#include "tree/class_tree.h"
#include "tree/tree_view.h"

namespace quoldex::tree::test {

// Records the notifications of a TreeView as short texts ("added X",
// "removing X", "changed X", "selected X", "visible X", "repaint").
class RecordingObserver : public TreeViewObserver {
 public:
  void NodeAdded(const TreeNode& node) override { events.push_back("added " + node.Path()); }
  void NodeRemoving(const TreeNode& node) override { events.push_back("removing " + node.Path()); }
  void NodeChanged(const TreeNode& node) override { events.push_back("changed " + node.Path()); }
  void SelectionChanged(const TreeNode* node) override {
    events.push_back("selected " + (node ? node->Path() : std::string("-")));
  }
  void MadeVisible(const TreeNode& node) override { events.push_back("visible " + node.Path()); }
  void RepaintNeeded() override { events.push_back("repaint"); }

  std::vector<std::string> events;
};

class TreeTestEnv : public ::testing::Test {
 protected:
  TreeTestEnv()
      : prefs_(data_.dtblPref),
        tree_(data_, prefs_, ui_, platform_,
              {.enable_commands = [this] { ++enable_commands_runs_; },
               .play_map = [this] { ++play_map_runs_; }}),
        finder_(tree_, data_, ui_, platform_, [this] { ++enable_commands_runs_; }) {
    data::CreateDataTables(dir_.path());
    for (tables::TDbTable* table : {&data_.dtblObjects, &data_.dtblPref, &data_.dtblMaps}) {
      table->SetDatabaseName(dir_.path());
      table->Open();
    }
    for (tables::TDbQuery* query :
         {&data_.dsqlBase, &data_.dsqlPackages, &data_.dsqlBaseKids, &data_.dsqlPackageLevel}) {
      query->SetDatabaseName(dir_.path());
    }
  }

  // A catalogue row as cataloguing stores it: parent and package lower case.
  void AddClass(const std::string& name, const std::string& parent,
                std::optional<std::string> package = "engine") {
    tables::TDbTable& t = data_.dtblObjects;
    t.Append();
    data_.dtblObjectsObjectName->SetAsString(name);
    data_.dtblObjectsInheritsFrom->SetAsString(parent);
    data_.dtblObjectsFilename->SetAsString(FileOf(name));
    data_.dtblObjectsFileTimeStamp->SetAsString("01/02/2003");
    if (package) data_.dtblObjectsPackage->SetAsString(*package);
    t.Post();
  }
  std::string FileOf(const std::string& name) const {
    return "/game/Engine/Classes/" + name + ".uc";
  }
  void AddMap(const std::string& name, const std::string& file) {
    data_.dtblMaps.Append();
    data_.dtblMapsMapName->SetAsString(name);
    data_.dtblMapsFilename->SetAsString(file);
    data_.dtblMaps.Post();
  }
  // Creates the preference record on first use, as the program does.
  void SetPref(const std::string& field, const std::string& value) {
    prefs_.Edit();
    prefs_.SetText(field, value);
    prefs_.Post();
  }
  void SetCheckChildren(bool on) { SetPref("CheckChildren", on ? "True" : "False"); }

  // The child of `parent` with `text`; fails the test when there is none.
  TreeNode& ChildOf(const TreeNode& parent, const std::string& text) {
    for (size_t i = 0; i < parent.Count(); ++i) {
      if (parent.Child(i).Text() == text) return parent.Child(i);
    }
    ADD_FAILURE() << "no child \"" << text << "\" under " << parent.Path();
    throw std::logic_error("missing node");
  }
  static std::vector<std::string> ChildTexts(const TreeNode& parent) {
    std::vector<std::string> texts;
    for (size_t i = 0; i < parent.Count(); ++i) texts.push_back(parent.Child(i).Text());
    return texts;
  }
  TreeNode& Classes() { return *tree_.ClassesRoot(); }
  TreeNode& Maps() { return *tree_.MapsRoot(); }
  TreeNode& Packages() { return *tree_.PackagesRoot(); }
  TreeView& View() { return tree_.TreeView1(); }

  testing::TempDir dir_;
  testing::FakeUi ui_;
  testing::FakePlatform platform_;
  data::BrowserData data_;
  data::PrefRecord prefs_;
  int enable_commands_runs_ = 0;
  int play_map_runs_ = 0;
  ClassTree tree_;
  ClassFinder finder_;
};

}  // namespace quoldex::tree::test
