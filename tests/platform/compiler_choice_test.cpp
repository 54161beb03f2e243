// Finding the game's compiler in a System folder, and file names matched
// without regard to letter case.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "fakes/fake_compiler.h"
#include "fakes/temp_dir.h"
#include "platform/posix_platform.h"
#include "platform/shell_document.h"

namespace quoldex::platform {
namespace {

using testing::TempDir;

const std::string kWindowsProgram("MZ\x90\0\3\0", 6);

PosixPlatform WithWine(const std::string& wine) {
  PosixShellCommands commands;
  commands.wine = {wine};
  return PosixPlatform(commands);
}

TEST(CompilerChoice, TheNativeCompilerFirstThenUccExeDirectlyOrUnderWine) {
  TempDir system;
  PosixPlatform with_wine = WithWine("/bin/true");
  PosixPlatform without_wine = WithWine("no-such-wine-quoldex");

  Platform::CompilerChoice none = with_wine.FindCompiler(system.path());
  EXPECT_EQ(none.program, system.Path("ucc.exe"));
  EXPECT_EQ(none.problem, "neither ucc-bin nor ucc.exe is in the folder");

  // A Windows ucc.exe: runs only where wine is installed.
  system.Write("UCC.EXE", kWindowsProgram);
  EXPECT_EQ(with_wine.FindCompiler(system.path()).program, system.Path("UCC.EXE"));
  EXPECT_EQ(with_wine.FindCompiler(system.path()).problem, "");
  EXPECT_EQ(without_wine.FindCompiler(system.path()).problem,
            "it is a Windows program and wine is not installed");

  // A native ucc.exe (how tests give a fake compiler) runs directly.
  testing::InstallFakeUcc(system.path(), "UCC.EXE");
  EXPECT_EQ(without_wine.FindCompiler(system.path()).problem, "");
  chmod(system.Path("UCC.EXE").c_str(), 0644);
  EXPECT_EQ(without_wine.FindCompiler(system.path()).problem, "it is not executable");
  system.Write("UCC.EXE", "plain text");
  chmod(system.Path("UCC.EXE").c_str(), 0755);
  EXPECT_EQ(without_wine.FindCompiler(system.path()).problem,
            "it is not a program this system can run");

  // ucc-bin, the Linux releases' own, wins over any ucc.exe; one that cannot
  // run is passed over.
  system.Write("ucc-bin", "not a program");
  EXPECT_EQ(with_wine.FindCompiler(system.path()).program, system.Path("UCC.EXE"));
  const std::string native = testing::InstallFakeUcc(system.path(), "UCC-Bin");
  std::filesystem::remove(system.Path("ucc-bin"));
  Platform::CompilerChoice chosen = without_wine.FindCompiler(system.path());
  EXPECT_EQ(chosen.program, native);
  EXPECT_EQ(chosen.problem, "");
}

TEST(CompilerChoice, WineIsLookedForInThePath) {
  EXPECT_TRUE(CommandAvailable("sh"));
  EXPECT_TRUE(CommandAvailable("/bin/sh"));
  EXPECT_FALSE(CommandAvailable("no-such-command-quoldex"));
  EXPECT_FALSE(CommandAvailable(""));
  EXPECT_FALSE(CommandAvailable("/etc/passwd"));
}

TEST(MatchFileName, AnExactNameStaysOtherwiseTheFoldersSpellingIsFound) {
  TempDir dir;
  PosixPlatform platform;
  dir.Write("MyMod.u", "x");
  dir.Write("ucc.log", "x");
  EXPECT_EQ(platform.MatchFileName(dir.Path("MyMod.u")), dir.Path("MyMod.u"));
  EXPECT_EQ(platform.MatchFileName(dir.Path("mymod.U")), dir.Path("MyMod.u"));
  EXPECT_EQ(platform.MatchFileName(dir.Path("UCC.LOG")), dir.Path("ucc.log"));
  // Nothing of that name in any case, or no such folder: unchanged.
  EXPECT_EQ(platform.MatchFileName(dir.Path("other.u")), dir.Path("other.u"));
  EXPECT_EQ(platform.MatchFileName(dir.Path("none/MyMod.u")), dir.Path("none/MyMod.u"));
  EXPECT_EQ(platform.MatchFileName(""), "");
  // Only A-Z fold: an accented letter must match exactly.
  dir.Write("\xC9t\xE9.u", "x");
  EXPECT_EQ(platform.MatchFileName(dir.Path("\xE9t\xE9.u")), dir.Path("\xE9t\xE9.u"));
}

TEST(ShellDocument, OpenAndPrintSayWhenNothingCouldTakeTheFile) {
  TempDir dir;
  PosixShellCommands working;
  const std::string recorder = dir.Write("recorder", "#!/bin/sh\nexit 0\n");
  chmod(recorder.c_str(), 0755);
  working.open = {recorder};
  working.print = {{dir.Path("no-lp")}, {recorder}};
  PosixPlatform desktop(working);
  EXPECT_NO_THROW(OpenDocument(desktop, "/maps/DM-Deck16.unr"));
  EXPECT_NO_THROW(PrintDocument(desktop, "/game/Classes/Actor.uc"));

  PosixShellCommands missing;
  missing.open = {dir.Path("no-opener")};
  missing.print = {{dir.Path("no-lp")}, {"no-such-lpr-quoldex"}};
  PosixPlatform bare(missing);
  try {
    OpenDocument(bare, "/maps/DM-Deck16.unr");
    ADD_FAILURE() << "no error";
  } catch (const EShellError& e) {
    EXPECT_STREQ(e.what(),
                 "Cannot open \"/maps/DM-Deck16.unr\": no program to open it could be started.");
  }
  try {
    PrintDocument(bare, "/game/Classes/Actor.uc");
    ADD_FAILURE() << "no error";
  } catch (const EShellError& e) {
    EXPECT_STREQ(e.what(),
                 "Cannot print \"/game/Classes/Actor.uc\": no print command could be started.");
  }
}

}  // namespace
}  // namespace quoldex::platform
