// quoldex-cli run as a process from a fresh copy of the built program, over
// script trees written for each test.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "cli/cli_process.h"
#include "fakes/temp_dir.h"
#include "platform/posix_platform.h"
#include "tables/components/db_datetime_text.h"
#include "text/ascii.h"

namespace quoldex::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// A small game: a root, "extends", "expands", a declaration over two
// lines, and a script outside any Classes folder.
const std::vector<std::pair<std::string, std::string>> kGame = {
    {"Core/Classes/Object.uc", "class Object\n\tnative;\n"},
    {"Engine/Classes/Actor.uc", "class Actor extends Object\n\tnative;\n"},
    {"Engine/Classes/Pawn.uc", "class Pawn\n\textends Actor;\n"},
    {"Engine/Classes/Info.uc", "Class Info Expands Actor;\n\n"},
    {"MyMod/Classes/MyPawn.uc", "class MyPawn extends Pawn;\n\n"},
    {"Loose/Helper.uc", "class Helper extends Object;\n\n"},
};

const char* const kCatalogue =
    "select ObjectName, InheritsFrom, Package, FileTimeStamp from objects order by ObjectName";

// 2024-03-05 00:00 local time: a midnight, so its text is the date alone.
time_t LocalMidnight() {
  std::tm when{};
  when.tm_year = 124;
  when.tm_mon = 2;
  when.tm_mday = 5;
  when.tm_isdst = -1;
  return std::mktime(&when);
}

void SetModified(const std::string& path, time_t when) {
  const timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

class CliTest : public ::testing::Test {
 protected:
  CliResult Cli(const std::vector<std::string>& args, const std::string& cwd = "") {
    return cli_.Run(args, cwd);
  }
  // Runs a command that must succeed; its output.
  std::string Ok(const std::vector<std::string>& args, const std::string& cwd = "") {
    CliResult result = Cli(args, cwd);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.err, IsEmpty());
    return result.out;
  }
  // Writes kGame (files dated LocalMidnight) and scans it.
  void ScanGame() {
    WriteTree(scripts_.path(), kGame);
    for (const auto& [name, content] : kGame) SetModified(scripts_.Path(name), LocalMidnight());
    ASSERT_EQ(Ok({"scan", scripts_.path()}), "Done.\n");
  }
  // The time stamp a scan stores for files dated LocalMidnight.
  std::string LocalMidnightText() {
    platform::PosixPlatform platform;
    return tables::RegionalDateTimeText(platform.UnixTimeToDateTime(LocalMidnight()))
        .value()
        .substr(0, 10);
  }

  CliCopy cli_;
  testing::TempDir scripts_;
};

TEST_F(CliTest, FirstRunBuildsTheDataFolderBesideTheProgramWhateverTheWorkingFolder) {
  testing::TempDir elsewhere;
  CliResult first = Cli({"--verbose", "sql", "select * from systemu"}, elsewhere.path());
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_THAT(Lines(first.out),
              ElementsAre("Package", "botpack", "core", "editor", "engine", "fire", "ipdrv",
                          "ipserver", "ubrowser", "umenu", "unreali", "unrealshare", "utbrowser",
                          "utmenu", "utserveradmin", "uweb", "uwindow"));
  EXPECT_THAT(first.err, HasSubstr("Built data tables.\n"));
  EXPECT_THAT(first.err, HasSubstr("Preferences: cancelled"));
  std::vector<std::string> data_files;
  for (const fs::directory_entry& entry : fs::directory_iterator(cli_.DataFolder())) {
    data_files.push_back(text::AsciiLowerCase(entry.path().filename().string()));
  }
  EXPECT_THAT(data_files, ::testing::UnorderedElementsAre(
                              "objects.dat", "objects.idx", "pref.dat", "pref.idx", "systemu.dat",
                              "systemu.idx", "maps.dat", "maps.idx", "items.dat", "items.idx"));
  EXPECT_FALSE(fs::exists(elsewhere.Path("Data")));

  // The cancelled Preferences dialog stored nothing, so it opens again.
  EXPECT_EQ(Ok({"sql", "select PrefId from pref"}), "PrefId\n");
  CliResult second = Cli({"--verbose", "packages"});
  EXPECT_EQ(second.status, 0);
  EXPECT_THAT(second.err, HasSubstr("Preferences: cancelled"));
  EXPECT_THAT(second.err, Not(HasSubstr("Building data tables.")));

  // --data puts the tables elsewhere.
  EXPECT_EQ(Ok({"--data", elsewhere.Path("Other"), "packages"}), "");
  EXPECT_TRUE(fs::exists(elsewhere.Path("Other/objects.DAT")));
}

TEST_F(CliTest, ATableMissingBesideObjectsFailsWithTheEngineMessage) {
  Ok({"packages"});
  ASSERT_TRUE(fs::remove(cli_.DataFolder() + "maps.DAT"));
  CliResult result = Cli({"packages"});
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(result.err, HasSubstr("Table Engine Error # "));
  EXPECT_THAT(result.err, HasSubstr("Data/Maps.DAT"));
  EXPECT_THAT(result.out, IsEmpty());
  EXPECT_FALSE(fs::exists(cli_.DataFolder() + "maps.DAT"));
}

TEST_F(CliTest, ScanCataloguesFullPathsAndASecondScanChangesNothing) {
  WriteTree(scripts_.path(), kGame);
  for (const auto& [name, content] : kGame) SetModified(scripts_.Path(name), LocalMidnight());
  // A relative folder is taken from the working folder, as the picker's
  // full path.
  ASSERT_EQ(Ok({"scan", "Engine/../Engine", "."}, scripts_.path()), "Done.\nDone.\n");
  const std::string date = LocalMidnightText();
  const std::string catalogue = Ok({"sql", kCatalogue});
  EXPECT_THAT(Lines(catalogue),
              ElementsAre("ObjectName\tInheritsFrom\tPackage\tFileTimeStamp",
                          "Actor\tobject\tengine\t" + date, "Helper\tobject\tUnknown\t" + date,
                          "Info\tactor\tengine\t" + date, "MyPawn\tpawn\tmymod\t" + date,
                          "Object\t<none>\tcore\t" + date, "Pawn\tactor\tengine\t" + date));
  EXPECT_EQ(Ok({"sql", "select Filename from objects where ObjectName = 'Pawn'"}),
            "Filename\n" + scripts_.path() + "Engine/Classes/Pawn.uc\n");

  const std::string ids = Ok({"sql", "select ObjectId, ObjectName from objects"});
  ASSERT_EQ(Ok({"scan", scripts_.path()}), "Done.\n");
  EXPECT_EQ(Ok({"sql", kCatalogue}), catalogue);
  EXPECT_EQ(Ok({"sql", "select ObjectId, ObjectName from objects"}), ids);
}

TEST_F(CliTest, TheFirstOfTwoSameNamedFilesWinsAndLongNamesAreCut) {
  const std::string long_name = "A123456789B123456789C123456789D1234";  // 35 characters
  testing::TempDir second;
  WriteTree(scripts_.path(), {{"Botpack/Classes/Foo.uc", "class Foo extends Actor;\n\n"},
                              {"Botpack/Classes/" + long_name + "ABCDE.uc", "class X;\n\n"}});
  WriteTree(second.path(), {{"MyMod/Classes/FOO.uc", "class FOO extends Object;\n\n"},
                            {"MyMod/Classes/" + long_name + "VWXYZ.uc", "class Y;\n\n"}});
  ASSERT_EQ(Ok({"scan", scripts_.path(), second.path()}), "Done.\nDone.\n");
  EXPECT_THAT(Lines(Ok({"sql",
                        "select ObjectName, InheritsFrom, Package from objects "
                        "order by ObjectName"})),
              ElementsAre("ObjectName\tInheritsFrom\tPackage", long_name + "\t<none>\tbotpack",
                          "Foo\tactor\tbotpack"));
}

TEST_F(CliTest, AddFilesTakesEachFileAloneWithoutATimeStamp) {
  WriteTree(scripts_.path(), {{"Engine/Classes/Actor.uc", "class Actor extends Object;\n\n"},
                              {"Engine/Classes/readme.txt", "Read me.\nAnd me.\n"},
                              {"Engine/Classes/Tab\tName.uc", "class TabName extends Actor;\n\n"}});
  EXPECT_EQ(Ok({"add", scripts_.Path("Engine/Classes/Actor.uc"),
                scripts_.Path("Engine/Classes/readme.txt"),
                scripts_.Path("Engine/Classes/Tab\tName.uc")}),
            "");
  EXPECT_THAT(Lines(Ok({"sql", kCatalogue})),
              ElementsAre("ObjectName\tInheritsFrom\tPackage\tFileTimeStamp",
                          "Actor\tobject\tengine\t", "Tab\\tName\tactor\tengine\t"));
  EXPECT_EQ(Ok({"children", "Actor"}), "Tab\\tName\n");

  CliResult missing = Cli({"add", scripts_.Path("Engine/Classes/Gone.uc")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, scripts_.Path("Engine/Classes/Gone.uc") + ": No such file or directory\n");
  CliResult folder = Cli({"add", scripts_.path() + "Engine"});
  EXPECT_EQ(folder.status, 1);
  EXPECT_THAT(folder.err, HasSubstr("Is a directory"));
  // Every folder is checked before the first scan.
  CliResult scan = Cli({"scan", scripts_.path(), scripts_.Path("Nowhere")});
  EXPECT_EQ(scan.status, 1);
  EXPECT_EQ(scan.err, scripts_.Path("Nowhere") + ": No such file or directory\n");
  EXPECT_THAT(scan.out, IsEmpty());
  EXPECT_EQ(Lines(Ok({"sql", "select ObjectName from objects"})).size(), 3u);
}

TEST_F(CliTest, AnUnreadableScriptStopsTheScanWithItsMessage) {
  if (::geteuid() == 0) GTEST_SKIP() << "every file is readable to root";
  WriteTree(scripts_.path(), {{"P/Classes/Locked.uc", "class Locked extends Object;\n\n"}});
  ASSERT_EQ(::chmod(scripts_.Path("P/Classes/Locked.uc").c_str(), 0), 0);
  CliResult scan = Cli({"scan", scripts_.path()});
  EXPECT_EQ(scan.status, 1);
  EXPECT_EQ(scan.err, "Cannot open file " + scripts_.path() + "P/Classes/Locked.uc\n");
  EXPECT_THAT(scan.out, IsEmpty());  // no "Done.": the scan stopped there
  // No row is left behind: the class is catalogued once its file is readable.
  EXPECT_EQ(Ok({"sql", "select ObjectName, InheritsFrom from objects"}),
            "ObjectName\tInheritsFrom\n");
  ASSERT_EQ(::chmod(scripts_.Path("P/Classes/Locked.uc").c_str(), 0644), 0);
  EXPECT_EQ(Ok({"scan", scripts_.path()}), "Done.\n");
  EXPECT_EQ(Ok({"sql", "select ObjectName, InheritsFrom from objects"}),
            "ObjectName\tInheritsFrom\nLocked\tobject\n");
}

TEST_F(CliTest, AScriptWhosePathIsTooLongIsNamedOnStderrAndTheScanGoesOn) {
  const std::string deep = "P/" + std::string(250, 'd') + "/Classes/";
  WriteTree(scripts_.path(), {{deep + "Deep.uc", "class Deep extends Object;\n"},
                              {"P/Classes/Near.uc", "class Near extends Object;\n"}});
  CliResult scan = Cli({"scan", scripts_.path()});
  EXPECT_EQ(scan.status, 0);
  EXPECT_EQ(scan.out, "Done.\n");
  EXPECT_EQ(scan.err, "Skipped " + scripts_.path() + deep +
                          "Deep.uc: the path is longer than 250 characters.\n");
  EXPECT_EQ(Ok({"sql", "select ObjectName from objects"}), "ObjectName\nNear\n");
}

TEST_F(CliTest, TheTreeListsWhatIsLoadedOrExpandsOnRequest) {
  ScanGame();
  EXPECT_THAT(Lines(Ok({"tree"})), ElementsAre("Classes", "  Object", "Maps", "Packages", "  core",
                                               "  engine", "  mymod", "  Unknown"));
  EXPECT_THAT(Lines(Ok({"tree", "--depth", "0"})), ElementsAre("Classes", "Maps", "Packages"));
  EXPECT_THAT(Lines(Ok({"tree", "--depth", "2"})),
              ElementsAre("Classes", "  Object", "    Actor", "    Helper", "Maps", "Packages",
                          "  core", "    Object", "  engine", "    Actor", "    Info", "    Pawn",
                          "  mymod", "    MyPawn", "  Unknown"));
  EXPECT_THAT(
      Lines(Ok({"tree", "--expand-all"})),
      ElementsAreArray<std::string>(
          {"Classes",        "  Object",    "    Actor",    "      Info",   "      Pawn",
           "        MyPawn", "    Helper",  "Maps",         "Packages",     "  core",
           "    Object",     "      Actor", "        Info", "        Pawn", "          MyPawn",
           "      Helper",   "  engine",    "    Actor",    "      Info",   "      Pawn",
           "        MyPawn", "    Info",    "    Pawn",     "      MyPawn", "  mymod",
           "    MyPawn",     "  Unknown"}));

  EXPECT_EQ(Ok({"children", "<none>"}), "Object\n");
  EXPECT_EQ(Ok({"children", "OBJECT"}), "Actor\nHelper\n");
  EXPECT_EQ(Ok({"packages"}), "core\nengine\nmymod\nUnknown\n");
  EXPECT_EQ(Ok({"package", "ENGINE"}), "Actor\nInfo\nPawn\n");
  // The package query compares exactly, and the parameter is lower-cased.
  EXPECT_EQ(Ok({"package", "Unknown"}), "");
}

TEST_F(CliTest, TheDefaultPackageIsBoldOnlyInItsExactCase) {
  ScanGame();
  Ok({"prefs", "DefaultCompilePackage=engine"});
  EXPECT_THAT(Lines(Ok({"tree", "--depth", "1"})),
              ElementsAre("Classes", "  Object", "Maps", "Packages", "  core", "  engine *",
                          "  mymod", "  Unknown"));
  Ok({"prefs", "DefaultCompilePackage=Engine"});
  EXPECT_THAT(Ok({"tree"}), Not(HasSubstr("*")));
}

TEST_F(CliTest, FindLocatesAClassOrSaysWhatIsMissing) {
  ScanGame();
  // The path ends in the name as it was asked for; the node has its own.
  EXPECT_EQ(Ok({"find", "pawn"}), "Inheritance is object,actor,pawn\nClasses/Object/Actor/Pawn\n");
  EXPECT_EQ(Ok({"find", "Object"}), "Inheritance is Object\nClasses/Object\n");

  WriteTree(scripts_.path(), {{"Odd/Classes/Orphan.uc", "class Orphan extends Missing;\n\n"},
                              {"Odd/Classes/Classes.uc", "class Classes;\n\n"},
                              {"Odd/Classes/UnderClasses.uc", "class U extends Classes;\n\n"}});
  ASSERT_EQ(Ok({"scan", scripts_.Path("Odd")}), "Done.\n");
  CliResult not_catalogued = Cli({"find", "Nope"});
  EXPECT_EQ(not_catalogued.status, 1);
  EXPECT_EQ(not_catalogued.err, "Unable to locate object \"Nope\".\n");
  EXPECT_THAT(not_catalogued.out, IsEmpty());
  CliResult no_parent = Cli({"find", "Orphan"});
  EXPECT_EQ(no_parent.status, 1);
  EXPECT_EQ(no_parent.err, "Unable to locate object \"missing\".\n");
  // A class named "Classes" lists the root classes, not its own children,
  // so the tree has no node for UnderClasses below it.
  CliResult not_in_tree = Cli({"find", "UnderClasses"});
  EXPECT_EQ(not_in_tree.status, 1);
  EXPECT_EQ(not_in_tree.err, "Unable to locate object \"underclasses\" at \"\".\n");
}

TEST_F(CliTest, AnInheritanceLoopEndsFindWithAnErrorAndTheListingStillEnds) {
  WriteTree(scripts_.path(), {{"Loop/Classes/A.uc", "class A extends B;\n\n"},
                              {"Loop/Classes/B.uc", "class B extends A;\n\n"}});
  ASSERT_EQ(Ok({"scan", scripts_.path()}), "Done.\n");
  CliResult find = Cli({"find", "A"});
  EXPECT_EQ(find.status, 1);
  EXPECT_THAT(find.err, HasSubstr("loops back"));
  EXPECT_THAT(Lines(Ok({"tree", "--expand-all"})),
              ElementsAre("Classes", "Maps", "Packages", "  loop", "    A", "      B", "        A",
                          "    B", "      A", "        B"));
}

TEST_F(CliTest, ShowWritesTheClassRecordView) {
  ScanGame();
  EXPECT_THAT(Lines(Ok({"show", "PAWN"})),
              ElementsAre("Name\tPawn", "Inherits From\tactor",
                          "Filename\t" + scripts_.path() + "Engine/Classes/Pawn.uc",
                          "Last updated\t" + LocalMidnightText(), "Package\tengine"));
  CliResult missing = Cli({"show", "Nope"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Unable to locate object \"Nope\".\n");
}

TEST_F(CliTest, PreferencesAreSetThroughOneEditAndReadBack) {
  const std::vector<std::string> names = {"PrefId",
                                          "SystemDir",
                                          "CanEditSystemU",
                                          "WarnBeforeCompiling",
                                          "DefaultCompilePackage",
                                          "SaveWindowPos",
                                          "WindowLeft",
                                          "WindowWidth",
                                          "WindowTop",
                                          "WindowHeight",
                                          "TestMap",
                                          "CheckChildren",
                                          "GrepModal",
                                          "GrepStayOnTop",
                                          "AddExportedClasses"};
  std::vector<std::string> empty;
  for (const std::string& name : names) empty.push_back(name + "\t");
  EXPECT_THAT(Lines(Ok({"prefs"})), ElementsAreArray(empty));

  EXPECT_EQ(Ok({"prefs", "SystemDir=/games/UT/System", "grepmodal=True"}),
            "SystemDir\t/games/UT/System\nGrepModal\tTrue\n");
  // A fresh record: the table's defaults, then the new-record step.
  EXPECT_THAT(Lines(Ok({"prefs"})),
              ElementsAreArray<std::string>(
                  {"PrefId\t1", "SystemDir\t/games/UT/System", "CanEditSystemU\tFalse",
                   "WarnBeforeCompiling\tFalse", "DefaultCompilePackage\t", "SaveWindowPos\tFalse",
                   "WindowLeft\t", "WindowWidth\t", "WindowTop\t", "WindowHeight\t", "TestMap\t",
                   "CheckChildren\tTrue", "GrepModal\tTrue", "GrepStayOnTop\tFalse",
                   "AddExportedClasses\tTrue"}));
  // With a System folder known, the Preferences dialog no longer opens.
  CliResult verbose = Cli({"--verbose", "prefs", "SystemDir"});
  EXPECT_EQ(verbose.out, "SystemDir\t/games/UT/System\n");
  EXPECT_THAT(verbose.err, Not(HasSubstr("Preferences")));

  // A failing assignment cancels the whole edit.
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"prefs", "TestMap=/maps/a.unr", "Bogus=1"},
        std::vector<std::string>{"prefs", "TestMap=/maps/a.unr", "PrefId=2"},
        std::vector<std::string>{"prefs", "TestMap=/maps/a.unr", "WindowLeft=left"}}) {
    CliResult result = Cli(bad);
    EXPECT_EQ(result.status, 1) << bad.back();
    EXPECT_THAT(result.err, Not(IsEmpty()));
  }
  EXPECT_EQ(Cli({"prefs", "Bogus"}).err, "Field 'Bogus' not found\n");
  EXPECT_EQ(Ok({"prefs", "TestMap", "PrefId"}), "TestMap\t\nPrefId\t1\n");
  EXPECT_EQ(Ok({"prefs", "SystemDir="}), "SystemDir\t\n");
}

TEST_F(CliTest, SqlRunsSelectsWithParametersAndRefusesChanges) {
  ScanGame();
  EXPECT_EQ(Ok({"sql", "select ObjectName from objects where Package = :P order by ObjectName",
                "--param", "P=engine"}),
            "ObjectName\nActor\nInfo\nPawn\n");
  CliResult change = Cli({"sql", "delete from objects"});
  EXPECT_EQ(change.status, 1);
  EXPECT_THAT(change.err, HasSubstr("Table Engine Error"));
  CliResult no_value = Cli({"sql", "select * from objects where Package = :P"});
  EXPECT_EQ(no_value.status, 1);
  EXPECT_THAT(no_value.err, HasSubstr("'P'"));
  EXPECT_EQ(Lines(Ok({"sql", "select ObjectName from objects"})).size(), 7u);
}

TEST_F(CliTest, UsageErrorsExitTwoAndHelpDescribesEveryCommand) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"bogus"},
                                               {"find"},
                                               {"scan"},
                                               {"tree", "--depth", "x"},
                                               {"tree", "--depth", "-1"},
                                               {"sql", "select * from objects", "--param", "P"},
                                               {"--nope", "packages"},
                                               {"--data", "", "packages"},
                                               {"packages", "extra"}}) {
    CliResult result = Cli(args);
    EXPECT_EQ(result.status, 2) << ::testing::PrintToString(args);
    EXPECT_THAT(result.err, Not(IsEmpty()));
    EXPECT_THAT(result.out, IsEmpty());
  }
  EXPECT_FALSE(fs::exists(cli_.DataFolder()));

  const std::string help = Ok({"--help"});
  for (const char* command :
       {"scan", "add", "tree", "children", "packages", "package", "find", "show", "sql", "prefs"}) {
    EXPECT_THAT(help, HasSubstr(command));
    EXPECT_THAT(Ok({command, "--help"}), HasSubstr(std::string("Usage: quoldex-cli ") + command));
  }
  EXPECT_FALSE(fs::exists(cli_.DataFolder()));
}

TEST_F(CliTest, CtrlCDuringAScanEndsItEarlyAsEscapeDoes) {
  constexpr int kFiles = 3000;
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < kFiles; ++i) {
    files.push_back({"Big/Classes/C" + std::to_string(i) + ".uc", "class C extends Object;\n\n"});
  }
  WriteTree(scripts_.path(), files);

  int err_fd = -1;
  const std::string out_file = scripts_.Path("out.txt");
  const pid_t pid = cli_.Start({"--verbose", "scan", scripts_.path()}, out_file, err_fd);
  const std::string err = InterruptWhenSeen(pid, err_fd, "Examining");
  ASSERT_FALSE(err.empty()) << "the run ended before it showed \"Examining\"";
  EXPECT_EQ(WaitFor(pid), 0);
  EXPECT_THAT(err, Not(HasSubstr("Error")));

  std::ifstream out(out_file);
  std::string line;
  ASSERT_TRUE(std::getline(out, line));
  EXPECT_EQ(line, "Done.");
  const size_t rows = Lines(Ok({"sql", "select ObjectName from objects"})).size() - 1;
  EXPECT_GT(rows, 0u);
  EXPECT_LT(rows, static_cast<size_t>(kFiles));
  // The tree was rebuilt with what was added.
  EXPECT_EQ(Ok({"tree", "--depth", "1"}), "Classes\nMaps\nPackages\n  big\n");
}

}  // namespace
}  // namespace quoldex::cli
