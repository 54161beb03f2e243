// Compile and Make Default Package. The compiler is the project's fake,
// run as a real process from the test's System folder, except where a
// failure has to be scripted through the platform seam.
#include "tools/package_compiler.h"

#include <gmock/gmock.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>

#include "fakes/fake_compiler.h"
#include "tools/tool_paths.h"
#include "tools/ucc.h"
#include "tools_test_env.h"

namespace quoldex::tools::test {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

// True while the process `pid` runs; ends it then, so nothing outlives the
// test.
bool StillRunsThenEnd(int64_t pid) {
#ifdef _WIN32
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                                     static_cast<DWORD>(pid));
  if (process == nullptr) return false;
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  TerminateProcess(process, 1);
  CloseHandle(process);
  return running;
#else
  const bool running = ::kill(static_cast<pid_t>(pid), 0) == 0;
  ::kill(static_cast<pid_t>(pid), SIGKILL);
  return running;
#endif
}

bool IsSystem(std::string_view package) {
  std::string lower(package);
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  return lower == "botpack" || lower == "engine";
}

template <typename PlatformT>
class CompileEnv : public ToolsEnv<PlatformT> {
 protected:
  CompileEnv()
      : compiler_(this->tree_, this->data_, this->prefs_, this->ui_, this->platform_, IsSystem) {
    this->SetPref("SystemDir", this->system_.path());
    this->AddClass("MyPawn", "pawn", "mymod");
    this->AddClass("Bot", "pawn", "botpack");
    this->BuildTree();
  }
  // Expands the package node `package` and selects its class `name`.
  void ExpandAndSelect(const std::string& package, const std::string& name) {
    this->Select(this->tree_.PackagesRoot(), package);
    tree::TreeNode* node = this->tree_.TreeView1().Selected();
    ASSERT_NE(node, nullptr);
    this->tree_.TreeView1().Expand(*node);
    this->Select(node, name);
  }
  PackageCompiler compiler_;
};

class CompileTest : public CompileEnv<platform::NativePlatform> {
 protected:
  CompileTest() {
    testing::InstallFakeUcc(system_.path());
    system_.Write("mymod.u", "old build");
    system_.Write("botpack.u", "the game's own");
  }
  // The arguments of each run of the fake compiler.
  std::vector<std::string> Runs() const {
    std::vector<std::string> runs;
    std::string calls = testing::FakeUccCalls(system_.path());
    for (size_t start = 0; start < calls.size();) {
      const size_t end = calls.find('\n', start);
      const std::string line = calls.substr(start, end - start);
      runs.push_back(line.substr(line.find('\t') + 1));
      start = end + 1;
    }
    return runs;
  }
  void ExpectCompiledMyMod() {
    EXPECT_EQ(system_.Read("mymod.u"), "compiled mymod.u\n");
    EXPECT_EQ(system_.Read("mymod.u.old"), "old build");
    EXPECT_EQ(system_.Read("botpack.u"), "the game's own");
  }
};

TEST_F(CompileTest, ASystemPackageGivesWayToTheDefaultPackageWithoutAWord) {
  SetPref("DefaultCompilePackage", "mymod");
  Select(tree_.PackagesRoot(), "botpack");
  EXPECT_EQ(compiler_.SelectedPackage(), "botpack");

  compiler_.actCompileExecute();

  EXPECT_THAT(Runs(), ElementsAre("make"));
  ExpectCompiledMyMod();
  EXPECT_THAT(MessageTexts(), IsEmpty());
  EXPECT_EQ(ui_.status_texts().front(), "Compiling 'mymod.u'.");
  EXPECT_EQ(ui_.StatusText(), "Compiled 'mymod.u'.");
  ASSERT_EQ(ui_.log_viewers().size(), 1u);
  EXPECT_EQ(ui_.log_viewers()[0]->Caption(), "UCC Log");
  EXPECT_EQ(ui_.log_viewers()[0]->Text(),
            "Analyzing...\r\nCompiling mymod.u\r\nSuccess - 0 error(s), 0 warning(s)\r\n");
}

TEST_F(CompileTest, ASystemPackageWithoutADefaultIsRefusedAndNothingChanges) {
  Select(tree_.PackagesRoot(), "botpack");
  EXPECT_THROW(
      {
        try {
          compiler_.actCompileExecute();
        } catch (const std::exception& e) {
          EXPECT_STREQ(e.what(),
                       "Cannot compile system package (botpack) unless enabled in options");
          throw;
        }
      },
      std::runtime_error);
  EXPECT_THAT(Runs(), IsEmpty());
  EXPECT_EQ(system_.Read("botpack.u"), "the game's own");
  EXPECT_FALSE(platform_.FileExists(system_.Path("botpack.u.old")));

  // Allowed in the options, the game's package itself is compiled.
  SetPref("CanEditSystemU", "True");
  compiler_.actCompileExecute();
  EXPECT_EQ(system_.Read("botpack.u"), "compiled botpack.u\n");
}

TEST_F(CompileTest, NamesWithAndWithoutExtensionInAnyCaseCompileTheOneFile) {
  for (const std::string name : {"mymod", "mymod.u", "MyMod.U"}) {
    SCOPED_TRACE(name);
    system_.Write("mymod.u", "old build");
    compiler_.CompilePackage(name);
    ExpectCompiledMyMod();
    const std::string shown = name == "mymod" ? "mymod.u" : name;
    EXPECT_THAT(ui_.status_texts(), Contains("Compiling '" + shown + "'."));
    EXPECT_EQ(ui_.StatusText(), "Compiled '" + shown + "'.");
  }
  EXPECT_THAT(Runs(), ElementsAre("make", "make", "make"));
}

TEST_F(CompileTest, TheSelectedNodeNamesThePackageOrLeavesItToTheDefault) {
  SetPref("DefaultCompilePackage", "other");
  EXPECT_EQ(compiler_.SelectedPackage(), "other");  // nothing selected
  Select(tree_.PackagesRoot(), "botpack");
  EXPECT_EQ(compiler_.SelectedPackage(), "botpack");
  ExpandAndSelect("mymod", "MyPawn");
  EXPECT_EQ(compiler_.SelectedPackage(), "mymod");
  tree_.TreeView1().Select(tree_.MapsRoot());
  EXPECT_EQ(compiler_.SelectedPackage(), "other");
}

TEST_F(CompileTest, TheWarningAsksAndNoStopsEverything) {
  SetPref("WarnBeforeCompiling", "True");
  ui_.QueueAnswer(ui::Answer::kNo);
  compiler_.CompilePackage("mymod");
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].message.text, "Compile package 'mymod'?");
  EXPECT_EQ(ui_.messages()[0].message.buttons, ui::MessageButtons::kYesNo);
  EXPECT_THAT(Runs(), IsEmpty());
  EXPECT_EQ(system_.Read("mymod.u"), "old build");
  EXPECT_THAT(ui_.status_texts(), IsEmpty());

  ui_.QueueAnswer(ui::Answer::kYes);
  compiler_.CompilePackage("mymod");
  ExpectCompiledMyMod();

  // Off: no question (an unscripted one would throw).
  SetPref("WarnBeforeCompiling", "False");
  compiler_.CompilePackage("mymod");
  EXPECT_EQ(ui_.messages().size(), 2u);
  EXPECT_THAT(Runs(), ElementsAre("make", "make"));
}

TEST_F(CompileTest, AnEmptyNameIsRefused) {
  EXPECT_THROW(compiler_.CompilePackage(""), std::runtime_error);
  EXPECT_THAT(Runs(), IsEmpty());
}

TEST_F(CompileTest, TheCompilerStartsInTheProgramsCurrentFolderWithMakeAlone) {
  compiler_.CompilePackage("mymod");
  EXPECT_EQ(testing::FakeUccCalls(system_.path()),
            std::filesystem::current_path().string() + "\tmake\n");
}

TEST_F(CompileTest, SystemDirWithOrWithoutItsSeparatorGivesTheSamePaths) {
  for (const std::string& dir :
       {system_.path(), system_.path().substr(0, system_.path().size() - 1),
        system_.path() + "/"}) {
    SCOPED_TRACE(dir);
    SetPref("SystemDir", dir);
    system_.Write("mymod.u", "old build");
    compiler_.CompilePackage("mymod");
    ExpectCompiledMyMod();
    EXPECT_FALSE(platform_.FileExists(system_.Path("mymod.u.old.old")));
  }
}

TEST_F(CompileTest, ACompilerThatFinishesAtOnceIsNotWaitedForAndItsLogIsShown) {
  testing::ConfigureFakeUcc(system_.path(), "errors=1\n");
  compiler_.CompilePackage("mymod");
  EXPECT_THAT(ui_.status_texts(), ElementsAre("Compiling 'mymod.u'.", "Compiled 'mymod.u'."));
  ASSERT_EQ(ui_.log_viewers().size(), 1u);
  EXPECT_THAT(ui_.log_viewers()[0]->Text(),
              HasSubstr("Error: mymod.u(3) : Error, Unexpected 'end of file'\r\n"));
  // The failed build left no package: the previous one waits under .old.
  EXPECT_FALSE(platform_.FileExists(system_.Path("mymod.u")));
  EXPECT_EQ(system_.Read("mymod.u.old"), "old build");
}

TEST_F(CompileTest, ASlowCompilerGetsOneDotPerSecond) {
  testing::ConfigureFakeUcc(system_.path(), "delay_ms=3000\n");
  compiler_.CompilePackage("mymod");
  const std::vector<std::string>& texts = ui_.status_texts();
  EXPECT_THAT(texts, Contains("Compiling 'mymod.u'.."));
  EXPECT_THAT(texts, Contains("Compiling 'mymod.u'..."));
  EXPECT_THAT(texts, Contains("Compiling 'mymod.u'...."));
  EXPECT_THAT(texts, Not(Contains("Compiling 'mymod.u'......")));
  EXPECT_EQ(ui_.StatusText(), "Compiled 'mymod.u'.");
  EXPECT_GT(ui_.process_messages_count(), 20);  // the window kept its turns
  ExpectCompiledMyMod();
}

TEST_F(CompileTest, AHangingCompilerIsLeftRunningAfterTheDeadlineAndTheStatusSaysSo) {
  testing::ConfigureFakeUcc(system_.path(), "hang=1\n");
  compiler_.SetUccWaitSeconds(0);
  compiler_.CompilePackage("mymod");
  EXPECT_EQ(ui_.StatusText(), std::string("Compiling 'mymod.u'...") + kStillRunningNote);
  EXPECT_THAT(ui_.status_texts(), Not(Contains("Compiled 'mymod.u'.")));
  const pid_t pid = testing::FakeUccPid(system_.path());
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(StillRunsThenEnd(pid)) << "the compiler should still run";
}

TEST_F(CompileTest, ACompilerThatCannotStartIsAnErrorAndNoFileIsTouched) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::string message;
  };
  const std::string exe = system_.Path("ucc.exe");
#ifdef _WIN32
  const std::vector<Case> cases = {
      {"missing", [&] { std::filesystem::remove(exe); },
       "Cannot start the compiler \"" + exe + "\": ucc.exe is not in the folder."},
      {"not a program", [&] { system_.Write("ucc.exe", "@echo off\r\n"); },
       "Cannot start the compiler \"" + exe + "\": it is not a program this system can run."},
  };
#else
  const std::vector<Case> cases = {
      {"missing", [&] { std::filesystem::remove(exe); },
       "Cannot start the compiler \"" + exe + "\": neither ucc-bin nor ucc.exe is in the folder."},
      {"not executable",
       [&] {
         system_.Write("ucc.exe", "#!/bin/sh\nexit 0\n");
         ::chmod(exe.c_str(), 0644);
       },
       "Cannot start the compiler \"" + exe + "\": it is not executable."},
  };
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.arrange();
    try {
      compiler_.CompilePackage("mymod");
      ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
    EXPECT_EQ(system_.Read("mymod.u"), "old build");
    EXPECT_FALSE(platform_.FileExists(system_.Path("mymod.u.old")));
    EXPECT_THAT(ui_.status_texts(), Not(Contains("Compiled 'mymod.u'.")));
  }
}

// The Linux releases' native ucc-bin exists on Linux only.
#ifndef _WIN32
TEST_F(CompileTest, TheNativeCompilerComesBeforeUccExe) {
  const std::string native = testing::InstallFakeUcc(system_.path(), "ucc-bin");
  system_.Write("ucc.exe", "MZ a Windows program");
  compiler_.CompilePackage("mymod");
  ExpectCompiledMyMod();
}
#endif  // !_WIN32

TEST_F(CompileTest, TwoCompilesLeaveTwoLogWindowsEachWithItsOwnText) {
  compiler_.CompilePackage("mymod");
  testing::ConfigureFakeUcc(system_.path(), "fail=1\n");
  system_.Write("mymod.u", "old build");
  compiler_.CompilePackage("mymod");
  ASSERT_EQ(ui_.log_viewers().size(), 2u);
  EXPECT_THAT(ui_.log_viewers()[0]->Text(), HasSubstr("Success"));
  EXPECT_THAT(ui_.log_viewers()[1]->Text(), HasSubstr("Failure - cannot write packages"));
  EXPECT_NE(ui_.log_viewers()[0], ui_.log_viewers()[1]);
}

// A package file held open by the game cannot be renamed: scripted through
// the platform seam.
class CompileLockedTest : public CompileEnv<testing::FakePlatform> {};

TEST_F(CompileLockedTest, APackageThatCannotBeMovedAsideStopsBeforeTheCompilerStarts) {
  system_.Write("mymod.u", "in use");
  system_.Write("mymod.u.old", "older build");
  system_.Write("ucc.log", "last log");
  platform_.FailRename(system_.Path("mymod.u"));
  try {
    compiler_.CompilePackage("mymod");
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), "Could not delete file \"" + system_.Path("mymod.u") +
                                         "\".  Try quitting Unreal/UT/UnrealEd.");
  }
  EXPECT_THAT(platform_.program_starts(), IsEmpty());
  EXPECT_EQ(system_.Read("mymod.u"), "in use");
  EXPECT_FALSE(platform_.FileExists(system_.Path("mymod.u.old")));
  EXPECT_FALSE(platform_.FileExists(system_.Path("ucc.log")));
  EXPECT_EQ(ui_.StatusText(), "Compiling 'mymod.u'.");
}

class RepaintCounter : public tree::TreeViewObserver {
 public:
  void RepaintNeeded() override { ++repaints; }
  int repaints = 0;
};

TEST_F(CompileLockedTest, MakeDefaultPackageStoresTheSelectedPackageAndRepaints) {
  RepaintCounter repaint;
  tree_.TreeView1().AddObserver(&repaint);
  ExpandAndSelect("mymod", "MyPawn");
  compiler_.actDefaultPackageExecute();
  EXPECT_EQ(prefs_.DefaultCompilePackage(), "mymod");
  EXPECT_EQ(repaint.repaints, 1);
  EXPECT_FALSE(prefs_.Editing());

  Select(tree_.PackagesRoot(), "botpack");
  compiler_.actDefaultPackageExecute();
  EXPECT_EQ(prefs_.DefaultCompilePackage(), "botpack");
  tree::TreeNode* botpack = tree_.TreeView1().Selected();
  EXPECT_TRUE(tree_.TreeView1CalcNodeAttributes(*botpack));
  tree_.TreeView1().RemoveObserver(&repaint);
}

}  // namespace
}  // namespace quoldex::tools::test
