#include "catalogue/catalogue_maintenance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "catalogue_test_util.h"
#include "platform/date_time.h"
#include "platform/posix_platform.h"
#include "platform/text_file.h"
#include "tables/db_datetime_text.h"

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
  WriteScript("UT/MyMod/Classes/Bare.uc", "class Bare extends Object;");  // one line: not examined
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
  EXPECT_EQ(ObjectField("Bare", "InheritsFrom"), ".");
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
  const platform::TDateTime when = platform::EncodeDateTime({2026, 12, 8, 13, 45, 10, 0});
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

TEST_F(CatalogueMaintenanceTest, AnUnreadableScriptStopsTheScanAndKeepsItsRow) {
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

  EXPECT_EQ(ObjectCount(), 1);
  EXPECT_EQ(ObjectField("Gone", "InheritsFrom"), ".");
  EXPECT_EQ(rebuilds_, 0);
  EXPECT_EQ(platform_.beeps(), 0);
  EXPECT_NE(ui_.StatusText(), "Done.");
}

TEST_F(CatalogueMaintenanceTest, TheParentWriterFindsItsRowByKey) {
  maintenance_.AddChosenFiles({WriteScript("UT/A.uc", "class A;\n\n")});
  maintenance_.AddChosenFiles({WriteScript("UT/B.uc", "class B;\n\n")});
  const std::string a_id = ObjectField("A", "ObjectId");
  data_.dtblObjects.Last();  // stands on B

  const std::string reread = WriteScript("UT/A2.uc", "class A extends Base;\n\n");
  maintenance_.HeaderReader().ReadClassHeader(reread, std::stoi(a_id));
  // No row has this key: nothing is written anywhere.
  maintenance_.HeaderReader().ReadClassHeader(reread, 99);

  EXPECT_EQ(ObjectField("A", "InheritsFrom"), "base");
  EXPECT_EQ(ObjectField("B", "InheritsFrom"), "<none>");
}

}  // namespace
}  // namespace quoldex::catalogue
