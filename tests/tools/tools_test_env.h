// The game tools over a catalogue in a temporary Data folder: the main
// window's data sets open, the class tree built on them, a System folder of
// its own, the scripted Ui, and either the real POSIX platform (so that the
// project's fake compiler runs as a real process) or the scripted one.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/browser_data.h"
#include "data/createobject.h"
#include "data/pref_record.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_ui.h"
#include "fakes/temp_dir.h"
#include "platform/native_platform.h"
#include "tree/class_tree.h"

namespace quoldex::tools::test {

template <typename PlatformT>
class ToolsEnv : public ::testing::Test {
 protected:
  ToolsEnv() : prefs_(data_.dtblPref), tree_(data_, prefs_, ui_, platform_, {}) {
    data::CreateDataTables(data_dir_.path());
    for (tables::TDbTable* table :
         {&data_.dtblObjects, &data_.dtblPref, &data_.dtblMaps, &data_.dtblSystemU}) {
      table->SetDatabaseName(data_dir_.path());
      table->Open();
    }
    for (tables::TDbQuery* query :
         {&data_.dsqlBase, &data_.dsqlPackages, &data_.dsqlBaseKids, &data_.dsqlPackageLevel}) {
      query->SetDatabaseName(data_dir_.path());
    }
  }

  // A catalogue row: parent and package lower case, as cataloguing stores
  // them; the file below the game's folder.
  void AddClass(const std::string& name, const std::string& parent, const std::string& package) {
    tables::TDbTable& t = data_.dtblObjects;
    t.Append();
    data_.dtblObjectsObjectName->SetAsString(name);
    data_.dtblObjectsInheritsFrom->SetAsString(parent);
    data_.dtblObjectsFilename->SetAsString(game_.Path(package + "/Classes/" + name + ".uc"));
    data_.dtblObjectsPackage->SetAsString(package);
    t.Post();
  }
  void SetPref(const std::string& field, const std::string& value) {
    prefs_.Edit();
    prefs_.SetText(field, value);
    prefs_.Post();
  }
  void BuildTree() {
    tree_.ClearTree();
    tree_.BuildTree();
  }
  // Selects the child `text` of the root `root` (loaded by BuildTree).
  void Select(tree::TreeNode* root, const std::string& text) {
    ASSERT_NE(root, nullptr);
    for (size_t i = 0; i < root->Count(); ++i) {
      if (root->Child(i).Text() == text) {
        tree_.TreeView1().Select(&root->Child(i));
        return;
      }
    }
    FAIL() << "no node " << text << " under " << root->Text();
  }
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& shown : ui_.messages()) texts.push_back(shown.message.text);
    return texts;
  }
  // The texts of the map nodes, in order.
  std::vector<std::string> MapNodes() const {
    std::vector<std::string> texts;
    const tree::TreeNode* root = tree_.MapsRoot();
    for (size_t i = 0; root != nullptr && i < root->Count(); ++i) {
      texts.push_back(root->Child(i).Text());
    }
    return texts;
  }

  testing::TempDir data_dir_;
  testing::TempDir game_;    // the game's folder
  testing::TempDir system_;  // its System folder
  testing::FakeUi ui_;
  PlatformT platform_;
  data::BrowserData data_;
  data::PrefRecord prefs_;
  tree::ClassTree tree_;
};

}  // namespace quoldex::tools::test
