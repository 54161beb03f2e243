// A main window over a fresh folder that plays the executable's folder,
// driven through the scripted fakes, with helpers that put classes, maps
// and preferences straight into its tables.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/quoldex_browser.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_ui.h"
#include "fakes/temp_dir.h"

namespace quoldex::app {

class BrowserTest : public ::testing::Test {
 protected:
  BrowserTest();

  // A new main window (constructed only).
  std::unique_ptr<TfrmQuoldexBrowser> Make();
  // A new main window after FormCreate, which must complete.
  std::unique_ptr<TfrmQuoldexBrowser> Create();

  // Rows of the open class table, then the tree is built anew.
  static void AddClass(TfrmQuoldexBrowser& browser, const std::string& name,
                       const std::string& parent, const std::string& package);
  static void AddMap(TfrmQuoldexBrowser& browser, const std::string& name, const std::string& file);
  static void Rebuild(TfrmQuoldexBrowser& browser);
  // Sets text preferences ("" clears) through an edit and post.
  static void SetPref(TfrmQuoldexBrowser& browser, const std::string& field,
                      const std::string& value);
  // The child of `node` whose text is `text`; fails the test when none.
  static tree::TreeNode& Child(tree::TreeNode& node, const std::string& text);

  // The texts of the messages shown so far.
  std::vector<std::string> MessageTexts() const;

  testing::TempDir exe_;
  testing::FakeUi ui_;
  testing::FakePlatform platform_;
};

}  // namespace quoldex::app
