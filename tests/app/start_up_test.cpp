#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "browser_fixture.h"
#include "catalogue/system_packages.h"
#include "tables/components/db_datasource.h"
#include "tables/cursor/multiprocess_test_util.h"

namespace quoldex::app {
namespace {

namespace fs = std::filesystem;
using testing::RecordViewScript;
using testing::TempDir;

std::vector<std::string> DataFiles(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(BrowserTest, FirstRunBuildsTheTablesAndAsksForThePreferencesUntilSomethingIsStored) {
  auto browser = Create();
  EXPECT_EQ(browser->DataFolder(), exe_.Path("Data/"));
  EXPECT_EQ(DataFiles(exe_.Path("Data")),
            (std::vector<std::string>{"items.DAT", "items.IDX", "maps.DAT", "maps.IDX",
                                      "objects.DAT", "objects.IDX", "pref.DAT", "pref.IDX",
                                      "systemu.DAT", "systemu.IDX"}));
  EXPECT_EQ(ui_.status_texts(),
            (std::vector<std::string>{"Building data tables.", "Built data tables."}));
  EXPECT_GE(ui_.process_messages_count(), 2);

  // The system packages were filled in when their table opened.
  std::vector<std::string> packages;
  data::BrowserData& d = browser->Data();
  for (d.dtblSystemU.First(); !d.dtblSystemU.Eof(); d.dtblSystemU.Next()) {
    packages.push_back(d.dtblSystemUPackage->AsString());
  }
  EXPECT_EQ(packages.size(), catalogue::kDefaultSystemPackages.size());
  EXPECT_TRUE(std::is_sorted(packages.begin(), packages.end()));

  // The tree has its three roots.
  tree::TreeView& view = browser->Tree().TreeView1();
  ASSERT_EQ(view.TopLevelCount(), 3u);
  EXPECT_EQ(view.TopLevel(0).Text(), "Classes");
  EXPECT_EQ(view.TopLevel(1).Text(), "Maps");
  EXPECT_EQ(view.TopLevel(2).Text(), "Packages");

  // Showing the window opens the Preferences; cancelling stores nothing.
  EXPECT_EQ(browser->FormShow(), CommandOutcome::kCompleted);
  ASSERT_EQ(ui_.record_views().size(), 1u);
  EXPECT_EQ(ui_.record_views()[0].caption, "Preferences");
  EXPECT_EQ(ui_.StatusText(), "Built data tables.");
  browser->FormClose();
  browser.reset();

  // The next start builds nothing and asks again.
  auto again = Create();
  EXPECT_EQ(again->Data().dtblPref.RecordCount(), 0);
  EXPECT_EQ(ui_.status_texts().size(), 2u);
  again->FormShow();
  EXPECT_EQ(ui_.record_views().size(), 2u);

  // Once a System folder is stored, the dialog no longer opens by itself.
  ui_.QueueFolder("/games/ut/System");
  ui_.QueueRecordView(RecordViewScript().Press("SystemDir").Ok());
  again->Execute(ActionId::actPrefs);
  again->FormClose();
  again.reset();
  auto third = Create();
  third->FormShow();
  EXPECT_EQ(ui_.record_views().size(), 3u);
  EXPECT_EQ(third->Prefs().SystemDir(), "/games/ut/System");
}

TEST_F(BrowserTest, TheDataFolderIsBesideTheExecutableWhateverTheWorkingFolder) {
  TempDir elsewhere;
  const fs::path before = fs::current_path();
  fs::current_path(elsewhere.path());
  auto browser = Create();
  fs::current_path(before);
  EXPECT_TRUE(fs::exists(exe_.Path("Data/objects.DAT")));
  EXPECT_TRUE(fs::is_empty(elsewhere.path()));
}

TEST_F(BrowserTest, AnUnwritableInstallFolderUsesThePerUserFolderUnlessItHoldsData) {
  platform_.SetDirectoryUnwritable(exe_.path());
  auto browser = Create();
  EXPECT_EQ(browser->DataFolder(), exe_.Path("home/.local/share/quoldex/Data/"));
  EXPECT_TRUE(fs::exists(exe_.Path("home/.local/share/quoldex/Data/objects.DAT")));
  EXPECT_FALSE(fs::exists(exe_.Path("Data")));
  browser.reset();

  // A Data folder already beside the executable is used even so.
  fs::create_directory(exe_.Path("Data"));
  EXPECT_EQ(Make()->DataFolder(), exe_.Path("Data/"));
}

TEST_F(BrowserTest, AGivenDataFolderIsUsedWithASeparatorAdded) {
  TempDir other;
  TfrmQuoldexBrowser browser(ui_, platform_, other.Path("Data"));
  EXPECT_EQ(browser.DataFolder(), other.Path("Data/"));
  EXPECT_EQ(browser.FormCreate(), CommandOutcome::kCompleted);
  EXPECT_TRUE(fs::exists(other.Path("Data/objects.DAT")));
  EXPECT_FALSE(fs::exists(exe_.Path("Data")));
}

TEST_F(BrowserTest, AGivenDataFolderIsCreatedWithItsMissingParentsOrNamedWhenItCannotBe) {
  TempDir other;
  TfrmQuoldexBrowser deep(ui_, platform_, other.Path("a/b/Data"));
  EXPECT_EQ(deep.FormCreate(), CommandOutcome::kCompleted);
  EXPECT_TRUE(fs::exists(other.Path("a/b/Data/objects.DAT")));

  other.Write("file", "");
  TfrmQuoldexBrowser below_a_file(ui_, platform_, other.Path("file/Data/"));
  EXPECT_EQ(below_a_file.FormCreate(), CommandOutcome::kFailed);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Cannot create the data folder " +
                                                     other.Path("file/Data") + "."});
}

// Instances started together on a new data folder: one builds the tables,
// every one opens them.
TEST_F(BrowserTest, FourFirstStartsTogetherBuildTheTablesOnceAndAllOpenThem) {
  constexpr int kBuilt = 5;  // exit status of the child that built the tables
  for (int trial = 0; trial < 5; ++trial) {
    TempDir other;
    const std::string folder = other.Path("Data");
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < 4; ++i) {
      children.push_back(tables::test::ForkChild([&] {
        close(gate[1]);
        char byte;
        if (read(gate[0], &byte, 1) != 0) throw std::runtime_error("gate");  // opens at EOF
        testing::FakeUi ui;
        testing::FakePlatform platform;
        TfrmQuoldexBrowser browser(ui, platform, folder);
        if (browser.FormCreate() != CommandOutcome::kCompleted || !ui.messages().empty())
          throw std::runtime_error(ui.messages().empty() ? "failed"
                                                         : ui.messages()[0].message.text);
        const std::vector<std::string>& texts = ui.status_texts();
        const bool built =
            std::find(texts.begin(), texts.end(), "Built data tables.") != texts.end();
        browser.FormClose();
        std::fflush(nullptr);
        _exit(built ? kBuilt : 0);
      }));
    }
    close(gate[0]);
    close(gate[1]);  // all four start now
    bool timed_out = false;
    const std::vector<int> status =
        tables::test::WaitForChildren(children, std::chrono::seconds(120), &timed_out);
    ASSERT_FALSE(timed_out);
    int builders = 0;
    for (int st : status) {
      ASSERT_TRUE(WIFEXITED(st)) << tables::test::DescribeStatus(st);
      ASSERT_TRUE(WEXITSTATUS(st) == 0 || WEXITSTATUS(st) == kBuilt)
          << "trial " << trial << ": " << tables::test::DescribeStatus(st);
      builders += WEXITSTATUS(st) == kBuilt ? 1 : 0;
    }
    EXPECT_EQ(builders, 1) << "trial " << trial;
    EXPECT_EQ(DataFiles(folder).size(), 10u);
    // An instance may open the system packages while another still fills
    // them; once all have started, each default name is there once.
    testing::FakeUi ui;
    testing::FakePlatform platform;
    TfrmQuoldexBrowser browser(ui, platform, folder);
    ASSERT_EQ(browser.FormCreate(), CommandOutcome::kCompleted);
    EXPECT_EQ(browser.Data().dtblSystemU.RecordCount(),
              static_cast<int64_t>(catalogue::kDefaultSystemPackages.size()))
        << "trial " << trial;
    browser.FormClose();
  }
}

TEST_F(BrowserTest, AMissingTableBesideTheClassTableFailsWithTheEnginesMessage) {
  Create()->FormClose();
  fs::remove(exe_.Path("Data/pref.DAT"));
  fs::remove(exe_.Path("Data/pref.IDX"));
  ui_ = testing::FakeUi();

  auto browser = Make();
  EXPECT_EQ(browser->FormCreate(), CommandOutcome::kFailed);
  ASSERT_EQ(ui_.messages().size(), 1u);
  const ui::Message& shown = ui_.messages()[0].message;
  EXPECT_EQ(shown.kind, ui::MessageKind::kError);
  EXPECT_EQ(shown.caption, "Quoldex");
  EXPECT_EQ(shown.text.rfind("Table Engine Error # 11010 ", 0), 0u) << shown.text;
  // Nothing was rebuilt, the steps after the failure were skipped, and the
  // tables opened before it stay open.
  EXPECT_FALSE(fs::exists(exe_.Path("Data/pref.DAT")));
  EXPECT_TRUE(ui_.status_texts().empty());
  EXPECT_EQ(browser->Tree().TreeView1().TopLevelCount(), 0u);
  EXPECT_TRUE(browser->Data().dtblObjects.Active());
  EXPECT_FALSE(browser->Data().dtblPref.Active());
  EXPECT_FALSE(browser->Data().dtblMaps.Active());

  // The window is still shown (the Preferences over a closed table read as
  // empty) and closes without an error.
  EXPECT_EQ(browser->FormShow(), CommandOutcome::kCompleted);
  browser->FormClose();
  EXPECT_EQ(ui_.messages().size(), 1u);
  EXPECT_FALSE(browser->Data().dtblObjects.Active());
}

// Records the order in which data sets close.
class CloseRecorder : public tables::TDataLink {
 public:
  CloseRecorder(tables::TDataSet& data_set, std::string name, std::vector<std::string>& log)
      : source_(&data_set), name_(std::move(name)), log_(log), was_active_(data_set.Active()) {
    SetDataSource(&source_);
  }
  ~CloseRecorder() override { SetDataSource(nullptr); }

 protected:
  void StateChanged() override {
    const bool active = DataSet()->Active();
    if (was_active_ && !active) log_.push_back(name_);
    was_active_ = active;
  }

 private:
  tables::TDataSource source_;
  std::string name_;
  std::vector<std::string>& log_;
  bool was_active_;
};

TEST_F(BrowserTest, ClosingSavesThePositionAndClosesTheDataSetsInOrderLeavingTheMaps) {
  auto browser = Create();
  data::BrowserData& d = browser->Data();
  SetPref(*browser, "SaveWindowPos", "True");
  SetPref(*browser, "CheckChildren", "True");
  AddClass(*browser, "Object", "<none>", "core");
  // Every query open, as after some use: package classes, base kids, and a
  // children query left open by hand.
  browser->TreeView1Expand(Child(*browser->Tree().PackagesRoot(), "core"));
  d.dsqlBase.ParamByName("Ancestor").SetAsString("<none>");
  d.dsqlBase.Open();
  ASSERT_TRUE(d.dsqlBaseKids.Active());
  ASSERT_TRUE(d.dsqlPackageLevel.Active());

  std::vector<std::string> closed;
  std::vector<std::unique_ptr<CloseRecorder>> recorders;
  auto watch = [&](tables::TDataSet& ds, const char* name) {
    recorders.push_back(std::make_unique<CloseRecorder>(ds, name, closed));
  };
  watch(d.dtblObjects, "dtblObjects");
  watch(d.dsqlBase, "dsqlBase");
  watch(d.dsqlPackages, "dsqlPackages");
  watch(d.dsqlBaseKids, "dsqlBaseKids");
  watch(d.dtblPref, "dtblPref");
  watch(d.dtblSystemU, "dtblSystemU");
  watch(d.dsqlPackageLevel, "dsqlPackageLevel");
  watch(d.dtblMaps, "dtblMaps");

  browser->Placement().SetBounds({.left = 10, .top = 20, .width = 640, .height = 50});
  browser->FormClose();
  EXPECT_EQ(closed,
            (std::vector<std::string>{"dtblObjects", "dsqlBase", "dsqlPackages", "dsqlPackageLevel",
                                      "dtblPref", "dtblSystemU", "dsqlBaseKids"}));
  EXPECT_TRUE(d.dtblMaps.Active());
  recorders.clear();
  browser.reset();

  // The saved bounds come back at the next start, the height raised to the
  // minimum when it was set below it.
  auto again = Create();
  EXPECT_FALSE(again->Placement().OwnPlacement());
  again->FormShow();
  EXPECT_TRUE(again->Placement().OwnPlacement());
  EXPECT_EQ(again->Placement().Bounds(),
            (WindowBounds{.left = 10, .top = 20, .width = 640, .height = 100}));
}

TEST_F(BrowserTest, RestoringTakesOnlyTheStoredBoundsAndNothingWithoutSaveWindowPos) {
  auto browser = Create();
  SetPref(*browser, "SystemDir", "/ut/System");
  SetPref(*browser, "WindowLeft", "5");
  browser->FormShow();  // SaveWindowPos false (the new record's value)
  EXPECT_EQ(browser->Placement().Bounds(), WindowBounds{});
  EXPECT_EQ(browser->Placement().Bounds(),
            (WindowBounds{.left = 370, .top = 151, .width = 300, .height = 480}));
  EXPECT_FALSE(browser->Placement().OwnPlacement());
  browser->FormClose();
  EXPECT_EQ(browser->Prefs().Integer("WindowWidth"), std::nullopt);

  auto again = Create();
  SetPref(*again, "SaveWindowPos", "True");
  again->FormShow();
  EXPECT_EQ(again->Placement().Bounds(),
            (WindowBounds{.left = 5, .top = 151, .width = 300, .height = 480}));
}

}  // namespace
}  // namespace quoldex::app
