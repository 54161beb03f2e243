#include "browser_fixture.h"

namespace quoldex::app {

BrowserTest::BrowserTest() {
  platform_.SetExecutableDir(exe_.path());
  platform_.SetUserDataDir(exe_.Path("home/.local/share/quoldex/"));
}

std::unique_ptr<TfrmQuoldexBrowser> BrowserTest::Make() {
  return std::make_unique<TfrmQuoldexBrowser>(ui_, platform_);
}

std::unique_ptr<TfrmQuoldexBrowser> BrowserTest::Create() {
  auto browser = Make();
  EXPECT_EQ(browser->FormCreate(), CommandOutcome::kCompleted);
  return browser;
}

void BrowserTest::AddClass(TfrmQuoldexBrowser& browser, const std::string& name,
                           const std::string& parent, const std::string& package) {
  data::BrowserData& d = browser.Data();
  d.dtblObjects.Append();
  d.dtblObjectsObjectName->SetAsString(name);
  d.dtblObjectsInheritsFrom->SetAsString(parent);
  d.dtblObjectsFilename->SetAsString("/ut/" + package + "/Classes/" + name + ".uc");
  d.dtblObjectsPackage->SetAsString(package);
  d.dtblObjects.Post();
  Rebuild(browser);
}

void BrowserTest::AddMap(TfrmQuoldexBrowser& browser, const std::string& name,
                         const std::string& file) {
  data::BrowserData& d = browser.Data();
  d.dtblMaps.Append();
  d.dtblMapsMapName->SetAsString(name);
  d.dtblMapsFilename->SetAsString(file);
  d.dtblMaps.Post();
  Rebuild(browser);
}

void BrowserTest::Rebuild(TfrmQuoldexBrowser& browser) {
  browser.Tree().ClearTree();
  browser.Tree().BuildTree();
}

void BrowserTest::SetPref(TfrmQuoldexBrowser& browser, const std::string& field,
                          const std::string& value) {
  data::PrefRecord& prefs = browser.Prefs();
  prefs.Edit();
  if (value.empty()) {
    prefs.Clear(field);
  } else {
    prefs.SetText(field, value);
  }
  prefs.Post();
}

tree::TreeNode& BrowserTest::Child(tree::TreeNode& node, const std::string& text) {
  for (size_t i = 0; i < node.Count(); ++i) {
    if (node.Child(i).Text() == text) return node.Child(i);
  }
  ADD_FAILURE() << node.Text() << " has no child " << text;
  return node;
}

std::vector<std::string> BrowserTest::MessageTexts() const {
  std::vector<std::string> texts;
  for (const auto& shown : ui_.messages()) texts.push_back(shown.message.text);
  return texts;
}

}  // namespace quoldex::app
