#include "catalogue/catalogue_maintenance.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue_test_util.h"
#include "platform/posix_platform.h"
#include "platform/text_file.h"
#include "tables/components/db_datetime_text.h"
#include "tables/cursor/multiprocess_test_util.h"
#include "text/date_time.h"

namespace quoldex::catalogue {
namespace {

class CatalogueMaintenanceTest : public test::CatalogueFixture {
 protected:
  // How many status texts began with `prefix`.
  int StatusCount(const std::string& prefix) const {
    const std::vector<std::string>& texts = ui_.status_texts();
    return static_cast<int>(std::count_if(
        texts.begin(), texts.end(), [&](const std::string& t) { return t.starts_with(prefix); }));
  }

  // Scans `folder` through the Scan Directories command.
  void Scan(const std::string& folder) {
    ui_.QueueFolder(folder);
    maintenance_.actScanDirectoriesExecute();
  }

  ui::FolderPicker picker_;
  ui::OpenDialog dialog_;
  int rebuilds_ = 0;
  CatalogueMaintenance maintenance_{
      data_.dtblObjects, prefs_, picker_, dialog_, ui_, platform_, [this] { ++rebuilds_; }};
};

TEST_F(CatalogueMaintenanceTest, ScanCataloguesEveryScriptWithItsParentAndPackage) {
  const std::string long_parent = "ThisParentNameIsFortyCharactersLongXXXXX";
  ASSERT_EQ(long_parent.size(), 40u);
  WriteScript("UT/Core/Classes/Object.uc", "class Object\n  native;\n");
  WriteScript("UT/Engine/Classes/Actor.UC", "//====\nClass Actor Expands Object\n  native;\n");
  WriteScript("UT/Engine/Classes/Pawn.uc", "class Pawn\n    extends Actor;\n");
  WriteScript("UT/MyMod/Classes/Deep.uc", "class Deep extends " + long_parent + ";\n\n");
  WriteScript("UT/MyMod/Classes/Bare.uc", "class Bare extends Object;");  // one line, no break
  WriteScript("UT/MyMod/Classes/Notes.txt", "class Notes extends Object;\n\n");
  WriteScript("UT/Loose.uc", "class Loose extends Actor;\n\n");

  Scan(root_.Path("UT"));

  EXPECT_EQ(ObjectCount(), 6);
  EXPECT_EQ(ObjectField("Object", "InheritsFrom"), "<none>");
  EXPECT_EQ(ObjectField("Actor", "ObjectName"), "Actor");  // the file name's case, before ".UC"
  EXPECT_EQ(ObjectField("Actor", "InheritsFrom"), "object");
  EXPECT_EQ(ObjectField("Actor", "Package"), "engine");
  EXPECT_EQ(ObjectField("Actor", "Filename"), root_.Path("UT/Engine/Classes/Actor.UC"));
  EXPECT_EQ(ObjectField("Pawn", "InheritsFrom"), "actor");
  EXPECT_EQ(ObjectField("Deep", "InheritsFrom"), "thisparentnameisfortycharacterslong");
  EXPECT_EQ(ObjectField("Bare", "InheritsFrom"), "object");
  EXPECT_EQ(ObjectField("Loose", "Package"), "Unknown");
  EXPECT_FALSE(data_.dtblObjects.Locate("ObjectName", "Notes", {.case_insensitive = true}));

  const search::TFileSearch& search = maintenance_.FileSearch1();
  EXPECT_EQ(search.FileMask(), "*.uc");
  EXPECT_EQ(search.FirstTime(), 29221);
  EXPECT_EQ(search.LastTime(), 73050);
  EXPECT_EQ(ui_.folder_requests().at(0).title, "Find Unreal Base Directory");
  EXPECT_EQ(ui_.folder_requests().at(0).caption, "Quoldex");
  const std::vector<std::string>& texts = ui_.status_texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Searching " + root_.Path("UT/")), 1);
  EXPECT_EQ(StatusCount("Searching Pawn.uc"), 1);  // each file found
  EXPECT_EQ(StatusCount("Examining "), 6);         // each new class read
  EXPECT_EQ(platform_.beeps(), 1);
  EXPECT_EQ(rebuilds_, 1);
  EXPECT_EQ(ui_.StatusText(), "Done.");
  EXPECT_EQ(ui_.status_texts().back(), "Done.");
}

TEST_F(CatalogueMaintenanceTest, ScanningAgainAddsNothingChangesNothingAndOpensNoFile) {
  WriteScript("UT/Core/Classes/Object.uc", "class Object;\n\n");
  WriteScript("UT/Engine/Classes/Actor.uc", "class Actor extends Object;\n\n");
  Scan(root_.Path("UT"));
  const auto before = Rows(data_.dtblObjects);
  ASSERT_EQ(before.size(), 2u);
  // The files change on disk; the catalogue keeps what it read first.
  WriteScript("UT/Engine/Classes/Actor.uc", "class Actor extends Thing;\n\n");
  const size_t statuses = ui_.status_texts().size();

  Scan(root_.Path("UT/"));

  EXPECT_EQ(Rows(data_.dtblObjects), before);
  const std::vector<std::string> second(ui_.status_texts().begin() + statuses,
                                        ui_.status_texts().end());
  EXPECT_TRUE(std::none_of(second.begin(), second.end(),
                           [](const std::string& t) { return t.starts_with("Examining "); }));
  EXPECT_EQ(rebuilds_, 2);
  EXPECT_EQ(ui_.StatusText(), "Done.");
}

TEST_F(CatalogueMaintenanceTest, TheFirstOfTwoSameNamedClassesWins) {
  const std::string first = WriteScript("UT/Botpack/Classes/Foo.uc", "class Foo extends A;\n\n");
  WriteScript("UT/MyMod/Classes/FOO.uc", "class FOO extends B;\n\n");
  WriteScript("UT/MyMod/Classes/foo.Uc", "class foo extends C;\n\n");

  Scan(root_.Path("UT/Botpack"));
  Scan(root_.Path("UT/MyMod"));

  EXPECT_EQ(ObjectCount(), 1);
  EXPECT_EQ(ObjectField("FOO", "ObjectName"), "Foo");
  EXPECT_EQ(ObjectField("Foo", "Filename"), first);
  EXPECT_EQ(ObjectField("Foo", "Package"), "botpack");
  EXPECT_EQ(ObjectField("Foo", "InheritsFrom"), "a");
  EXPECT_EQ(StatusCount("Examining "), 1);
}

TEST_F(CatalogueMaintenanceTest, LongClassNamesAreCutAndTheirTwinsSkipped) {
  const std::string name = "AVeryLongClassNameOfExactlyFortyLettersX";
  const std::string twin = name.substr(0, 35) + "Other";
  ASSERT_EQ(name.size(), 40u);
  const std::string file = WriteScript("UT/Mod/Classes/" + name + ".uc", "class X extends Y;\n\n");
  WriteScript("UT/Twin/Classes/" + twin + ".uc", "class X extends Z;\n\n");

  maintenance_.AddChosenFiles({file});
  maintenance_.AddChosenFiles({root_.Path("UT/Twin/Classes/" + twin + ".uc")});

  ASSERT_EQ(ObjectCount(), 1);
  EXPECT_EQ(ObjectField(name.substr(0, 35), "ObjectName"), name.substr(0, 35));
  EXPECT_EQ(ObjectField(name.substr(0, 35), "Filename"), file);
  EXPECT_EQ(ObjectField(name.substr(0, 35), "InheritsFrom"), "y");
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(CatalogueMaintenanceTest, AddFilesTakesOneFileWithoutTimeStamp) {
  SetSystemDir(root_.Path("UT/System"));
  const std::string file = WriteScript("UT/Engine/Classes/Actor.uc", "class Actor extends O;\n\n");
  ui_.QueueFiles(std::vector<std::string>{file});

  maintenance_.actAddFileExecute();

  ASSERT_EQ(ui_.open_dialogs().size(), 1u);
  const ui::OpenDialog& shown = ui_.open_dialogs()[0];
  EXPECT_EQ(shown.title, "Add Unrealscript file");
  EXPECT_EQ(shown.filter, "Unrealscript File (*.uc)|*.uc|All Files (*.*)|*.*");
  EXPECT_EQ(shown.default_extension, "uc");
  EXPECT_FALSE(shown.multi_select);
  EXPECT_EQ(shown.initial_dir, root_.Path("UT/"));  // SystemDir up to its last separator
  EXPECT_EQ(dialog_.initial_dir, root_.Path("UT/Engine/Classes/"));  // next run starts there

  EXPECT_EQ(ObjectField("Actor", "FileTimeStamp"), "");
  EXPECT_EQ(ObjectField("Actor", "InheritsFrom"), "o");
  EXPECT_EQ(ObjectField("Actor", "Package"), "engine");
  EXPECT_EQ(rebuilds_, 1);
  EXPECT_EQ(platform_.beeps(), 0);
  EXPECT_NE(ui_.StatusText(), "Done.");
}

TEST_F(CatalogueMaintenanceTest, ScanStoresTheFileTimeAsRegionalText) {
  const std::string file = WriteScript("UT/Engine/Classes/Actor.uc", "class Actor extends O;\n\n");
  const text::TDateTime when = text::EncodeDateTime({2026, 12, 8, 13, 45, 10, 0});
  const std::optional<int64_t> unix_time = platform::PosixPlatform().DateTimeToUnixTime(when);
  ASSERT_TRUE(unix_time);
  const timespec times[2] = {{*unix_time, 0}, {*unix_time, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

  Scan(root_.Path("UT"));

  const std::string expected = tables::RegionalDateTimeText(when).value().substr(0, 10);
  EXPECT_EQ(ObjectField("Actor", "FileTimeStamp"), expected);
  EXPECT_FALSE(expected.empty());
}

TEST_F(CatalogueMaintenanceTest, AFileWithoutUcExtensionAddsNothing) {
  const std::string readme = WriteScript("UT/readme.txt", "class Readme extends Object;\n\n");
  ui_.QueueFiles(std::vector<std::string>{readme});

  maintenance_.actAddFileExecute();

  EXPECT_EQ(ObjectCount(), 0);
  EXPECT_EQ(data_.dtblObjects.State(), tables::DataSetState::kBrowse);
  EXPECT_TRUE(ui_.messages().empty());
  EXPECT_EQ(StatusCount("Examining "), 0);
  EXPECT_EQ(rebuilds_, 1);
  // The refused row used no record number: the next class is the first.
  maintenance_.AddChosenFiles({WriteScript("UT/A.uc", "class A;\n\n")});
  EXPECT_EQ(ObjectField("A", "ObjectId"), "1");
}

TEST_F(CatalogueMaintenanceTest, EscapeEndsTheScanButTheTreeIsStillRebuilt) {
  for (const char* name : {"A.uc", "B.uc", "C.uc", "D.uc", "E.uc"}) {
    WriteScript(std::string("UT/Mod/Classes/") + name, "class X extends Y;\n\n");
  }
  WriteScript("UT/Mod/Classes/Sub/F.uc", "class F extends Y;\n\n");
  // Query 1 is the start folder's, 2 the first file's; from 3 on Escape is down.
  platform_.PressKeyAfterQueries(platform::Key::kEscape, 3);

  Scan(root_.Path("UT/Mod/Classes"));

  EXPECT_EQ(ObjectCount(), 1);
  EXPECT_EQ(platform_.key_queries(platform::Key::kEscape), 3);
  EXPECT_EQ(StatusCount("Searching " + root_.Path("UT/Mod/Classes/Sub/")), 0);
  EXPECT_EQ(platform_.beeps(), 1);
  EXPECT_EQ(rebuilds_, 1);
  EXPECT_EQ(ui_.StatusText(), "Done.");
}

TEST_F(CatalogueMaintenanceTest, EscapeOnEnteringTheFirstFolderAddsNothing) {
  WriteScript("UT/Mod/Classes/A.uc", "class A extends Y;\n\n");
  platform_.SetKeyDown(platform::Key::kEscape, true);

  Scan(root_.Path("UT"));

  EXPECT_EQ(ObjectCount(), 0);
  EXPECT_EQ(StatusCount("Searching "), 1);
  EXPECT_EQ(rebuilds_, 1);
  EXPECT_EQ(ui_.StatusText(), "Done.");
}

TEST_F(CatalogueMaintenanceTest, CancelledDialogsDoNothing) {
  WriteScript("UT/Mod/Classes/A.uc", "class A extends Y;\n\n");
  picker_.SetSelection(root_.Path("UT"));
  ui_.QueueFolder(std::nullopt);
  ui_.QueueFiles(std::nullopt);

  maintenance_.actScanDirectoriesExecute();
  maintenance_.actAddFileExecute();

  EXPECT_TRUE(ui_.ScriptUsedUp());
  EXPECT_EQ(ObjectCount(), 0);
  EXPECT_EQ(rebuilds_, 0);
  EXPECT_EQ(platform_.beeps(), 0);
  EXPECT_TRUE(ui_.status_texts().empty());
  EXPECT_EQ(picker_.Selection(), "");  // a cancel clears the picker's selection
}

TEST_F(CatalogueMaintenanceTest, TheFirstFolderOfferedIsTheSystemFoldersParent) {
  // No System folder known: the picker and the dialog start at their own top.
  ui_.QueueFolder(std::nullopt);
  ui_.QueueFiles(std::nullopt);
  maintenance_.actScanDirectoriesExecute();
  maintenance_.actAddFileExecute();
  EXPECT_EQ(ui_.folder_requests().at(0).selection, "");
  EXPECT_EQ(ui_.open_dialogs().at(0).initial_dir, "");

  SetSystemDir("/games/UT/System");
  ui_.QueueFolder(root_.Path("Data"));  // an OK leaves the chosen folder selected
  ui_.QueueFolder(std::nullopt);
  maintenance_.actScanDirectoriesExecute();
  maintenance_.actScanDirectoriesExecute();
  EXPECT_EQ(ui_.folder_requests().at(1).selection, "/games/UT/");
  EXPECT_EQ(ui_.folder_requests().at(2).selection, root_.Path("Data"));

  // The System folder given with a trailing separator is offered itself.
  SetSystemDir("/games/UT/System/");
  ui_.QueueFolder(std::nullopt);
  maintenance_.actScanDirectoriesExecute();
  EXPECT_EQ(ui_.folder_requests().at(3).selection, "/games/UT/System/");

  // The open dialog keeps an initial folder it has.
  dialog_.initial_dir = "/elsewhere/";
  ui_.QueueFiles(std::nullopt);
  maintenance_.actAddFileExecute();
  EXPECT_EQ(ui_.open_dialogs().at(1).initial_dir, "/elsewhere/");
}

TEST_F(CatalogueMaintenanceTest, AScriptThatCannotBeReadStopsTheScanAndLeavesNoRow) {
  const std::string gone = WriteScript("UT/Mod/Classes/Gone.uc", "class Gone extends Y;\n\n");
  WriteScript("UT/Mod/Classes/Sub/Later.uc", "class Later extends Y;\n\n");
  // The file disappears between being found and being read.
  ui_.OnStatus([&](const std::string& text) {
    if (text == "Searching Gone.uc") std::filesystem::remove(gone);
  });

  ui_.QueueFolder(root_.Path("UT"));
  try {
    maintenance_.actScanDirectoriesExecute();
    ADD_FAILURE() << "the scan went on";
  } catch (const platform::EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + gone);
  }
  EXPECT_EQ(ObjectCount(), 0);
  EXPECT_EQ(rebuilds_, 0);
  EXPECT_NE(ui_.StatusText(), "Done.");

  // Once the script is back, the next scan catalogues it.
  ui_.OnStatus(nullptr);
  WriteScript("UT/Mod/Classes/Gone.uc", "class Gone extends Y;\n\n");
  Scan(root_.Path("UT"));
  EXPECT_EQ(ObjectCount(), 2);
  EXPECT_EQ(ObjectField("Gone", "InheritsFrom"), "y");
}

// Runs `work` in a child process, which has its own handles on the tables;
// fails the test when the child fails or is still running after 60 s.
void ExpectChildSucceeds(const std::function<void()>& work) {
  const pid_t child = tables::test::ForkChild(work);
  bool timed_out = false;
  const std::vector<int> status =
      tables::test::WaitForChildren({child}, std::chrono::seconds(60), &timed_out);
  EXPECT_FALSE(timed_out);
  EXPECT_TRUE(WIFEXITED(status[0]) && WEXITSTATUS(status[0]) == 0)
      << tables::test::DescribeStatus(status[0]);
}

TEST_F(CatalogueMaintenanceTest, AScriptItsUserMayNotReadLeavesNoRowUntilItMay) {
  const std::string locked =
      WriteScript("UT/Mod/Classes/Locked.uc", "class Locked extends Actor;\n");
  const uid_t nobody = 65534;
  const bool as_root = geteuid() == 0;
  // Tests run as root in CI: the scan then runs as a user the file shuts out.
  if (as_root) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_.path())) {
      ASSERT_EQ(chown(entry.path().c_str(), nobody, nobody), 0);
    }
    ASSERT_EQ(chown(root_.path().c_str(), nobody, nobody), 0);
  }
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);

  ExpectChildSucceeds([&] {
    if (as_root && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0))
      throw std::runtime_error("cannot become nobody");
    data::BrowserData data;
    data.dtblObjects.SetDatabaseName(DataDir());
    data.dtblObjects.Open();
    CatalogueMaintenance maintenance(data.dtblObjects, prefs_, picker_, dialog_, ui_, platform_,
                                     [] {});
    try {
      maintenance.ScanFolder(root_.Path("UT"));
    } catch (const platform::EFOpenError& e) {
      if (e.Path() == locked) return;
    }
    throw std::runtime_error("the scan did not stop at the locked script");
  });

  data_.dtblObjects.Close();
  data_.dtblObjects.Open();
  EXPECT_EQ(ObjectCount(), 0);
  ASSERT_EQ(chmod(locked.c_str(), 0644), 0);
  Scan(root_.Path("UT"));
  EXPECT_EQ(ObjectField("Locked", "InheritsFrom"), "actor");
}

TEST_F(CatalogueMaintenanceTest, AScanKilledWhileReadingLeavesNoRowOfThatScript) {
  WriteScript("UT/Mod/Classes/A.uc", "class A extends Actor;\n");
  const std::string b = WriteScript("UT/Mod/Classes/B.uc", "class B extends Actor;\n");
  ExpectChildSucceeds([&] {
    data::BrowserData data;
    data.dtblObjects.SetDatabaseName(DataDir());
    data.dtblObjects.Open();
    testing::FakeUi ui;
    ui.OnStatus([&](const std::string& text) {
      if (text == "Examining " + b) _exit(0);  // dies as a killed scan would
    });
    CatalogueMaintenance maintenance(data.dtblObjects, prefs_, picker_, dialog_, ui, platform_,
                                     [] {});
    maintenance.ScanFolder(root_.Path("UT"));
    _exit(1);  // B was never read
  });

  data_.dtblObjects.Close();
  data_.dtblObjects.Open();
  EXPECT_FALSE(data_.dtblObjects.Locate("ObjectName", "B", {.case_insensitive = true}));
  Scan(root_.Path("UT"));
  EXPECT_EQ(ObjectField("B", "InheritsFrom"), "actor");
  EXPECT_EQ(ObjectCount(), 2);
}

TEST_F(CatalogueMaintenanceTest, PipesAndDevicesAreSkippedWithoutBlockingAndCounted) {
  const std::string dir = root_.Path("UT/Mod/Classes/");
  WriteScript("UT/Mod/Classes/Sub/After.uc", "class After extends Actor;\n");
  ASSERT_EQ(mkfifo((dir + "Pipe.uc").c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", (dir + "Zero.uc").c_str()), 0);
  std::vector<std::string> notices;
  maintenance_.SetOnNotice([&](const std::string& text) { notices.push_back(text); });

  alarm(30);  // a scan that blocks or reads without end fails the test program
  Scan(root_.Path("UT"));
  maintenance_.AddChosenFiles({dir + "Pipe.uc"});  // picked on its own
  alarm(0);

  EXPECT_EQ(ObjectCount(), 1);
  EXPECT_EQ(ObjectField("After", "InheritsFrom"), "actor");
  EXPECT_EQ(notices, (std::vector<std::string>{"Skipped 2 files that are not regular files.",
                                               "Skipped " + dir + "Pipe.uc: not a regular file."}));
  EXPECT_EQ(StatusCount("Skipped 2 files"), 1);
}

TEST_F(CatalogueMaintenanceTest, AScriptWhosePathDoesNotFitIsNotCatalogued) {
  // Folders that bring the full path of Fits.uc to 250 characters exactly
  // and that of TooLong.uc to 260.
  const std::string base = root_.Path("UT/");
  const size_t fill = 250 - base.size() - std::string("/Classes/Fits.uc").size();
  const std::string folder = "UT/" + std::string(fill / 2, 'a') + "/" +
                             std::string(fill - fill / 2 - 1, 'b') + "/Classes/";
  const std::string fits = WriteScript(folder + "Fits.uc", "class Fits extends Actor;\n");
  const std::string too_long =
      WriteScript(folder + "TooLong" + std::string(7, 'x') + ".uc", "class T extends Actor;\n");
  ASSERT_EQ(fits.size(), 250u);
  ASSERT_EQ(too_long.size(), 260u);
  std::vector<std::string> notices;
  maintenance_.SetOnNotice([&](const std::string& text) { notices.push_back(text); });

  Scan(root_.Path("UT"));

  EXPECT_EQ(ObjectCount(), 1);
  EXPECT_EQ(ObjectField("Fits", "Filename"), fits);
  EXPECT_EQ(notices, std::vector<std::string>{"Skipped " + too_long +
                                              ": the path is longer than 250 characters."});
  EXPECT_EQ(StatusCount("Skipped " + too_long), 1);
  EXPECT_EQ(ui_.StatusText(), "Done.");
}

}  // namespace
}  // namespace quoldex::catalogue
