#include "platform/posix_platform.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "fakes/temp_dir.h"

namespace quoldex::platform {
namespace {

using testing::TempDir;

// Writes an executable shell script `name` into `dir`.
std::string Script(const TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir.Write(name, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
  return path;
}

// A script that writes each of its arguments as "[arg]" lines to `out`,
// atomically, so a reader never sees half of it.
std::string Recorder(const TempDir& dir, const std::string& name, const std::string& out) {
  return Script(dir, name,
                "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '" + dir.Path(out) +
                    ".tmp' && mv '" + dir.Path(out) + ".tmp' '" + dir.Path(out) + "'\n");
}

// Waits up to ten seconds for a detached program to write `name`.
std::string AwaitFile(const TempDir& dir, const std::string& name) {
  for (int i = 0; i < 1000; ++i) {
    if (access(dir.Path(name).c_str(), F_OK) == 0) return dir.Read(name);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "<never written>";
}

const std::vector<std::string> kAwkwardArguments = {"a b", "it's", "\"q\"",     "$HOME",
                                                    "*",   "",     "tab\there", "back\\slash"};
const char* kAwkwardLines =
    "[a b]\n[it's]\n[\"q\"]\n[$HOME]\n[*]\n[]\n[tab\there]\n[back\\slash]\n";

TEST(PosixPrograms, ArgumentsArriveIntactAsAVector) {
  TempDir dir;
  PosixPlatform platform;
  const std::string recorder = Recorder(dir, "rec", "args");
  std::optional<ProgramHandle> handle = platform.StartProgram(recorder, kAwkwardArguments);
  ASSERT_TRUE(handle);
  EXPECT_EQ(platform.WaitForProgram(*handle), 0);
  EXPECT_EQ(dir.Read("args"), kAwkwardLines);
}

TEST(PosixPrograms, RunningUntilItEndsThenItsExitStatus) {
  TempDir dir;
  PosixPlatform platform;
  const std::string stop = dir.Path("stop");
  std::optional<ProgramHandle> handle = platform.StartProgram(
      "/bin/sh", {"-c", "while [ ! -e \"$0\" ]; do sleep 0.01; done; exit 3", stop});
  ASSERT_TRUE(handle);
  EXPECT_TRUE(platform.IsProgramRunning(*handle));
  EXPECT_TRUE(platform.IsProgramRunning(*handle));
  dir.Write("stop", "");
  EXPECT_EQ(platform.WaitForProgram(*handle), 3);
  EXPECT_FALSE(platform.IsProgramRunning(*handle));
  EXPECT_EQ(platform.WaitForProgram(*handle), -1);  // forgotten once waited for
}

TEST(PosixPrograms, IsRunningTurnsFalseWithoutWaiting) {
  PosixPlatform platform;
  std::optional<ProgramHandle> handle = platform.StartProgram("/bin/sh", {"-c", "kill -TERM $$"});
  ASSERT_TRUE(handle);
  for (int i = 0; i < 1000 && platform.IsProgramRunning(*handle); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(platform.IsProgramRunning(*handle));
  EXPECT_EQ(platform.WaitForProgram(*handle), 128 + SIGTERM);
}

TEST(PosixPrograms, ChildrenAreKeptApartFromOurTerminalAndOutput) {
  TempDir dir;
  PosixPlatform platform;
  // Standard output goes to our standard error: capture that for a moment.
  const int saved_stderr = dup(STDERR_FILENO);
  const int capture = open(dir.Path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(capture, STDERR_FILENO);
  std::optional<ProgramHandle> handle =
      platform.StartProgram("/bin/sh", {"-c",
                                        "read x; echo \"in[$x]$?\"; echo err >&2; "
                                        "echo \"group $(cut -d' ' -f5 /proc/$$/stat) self $$\""});
  const int status = handle ? platform.WaitForProgram(*handle) : -1;
  dup2(saved_stderr, STDERR_FILENO);
  close(saved_stderr);
  close(capture);
  ASSERT_TRUE(handle);
  EXPECT_EQ(status, 0);
  const std::string pid = std::to_string(*handle);
  // Standard input is empty; the child leads a process group of its own, so
  // an interrupt typed at our terminal does not reach it.
  EXPECT_EQ(dir.Read("stderr"), "in[]1\nerr\ngroup " + pid + " self " + pid + "\n");
}

TEST(PosixPrograms, WhatCannotRunIsNotStarted) {
  TempDir dir;
  PosixPlatform platform;
  EXPECT_FALSE(platform.StartProgram(dir.Path("missing"), {}));
  EXPECT_FALSE(platform.StartProgram("no-such-command-quoldex", {}));
  const std::string text = dir.Write("notes.txt", "class Foo extends Bar;\n");
  chmod(text.c_str(), 0755);  // as every file on a Windows-formatted drive
  EXPECT_EQ(ClassifyProgram(text), ProgramKind::kNotRunnable);
  EXPECT_FALSE(platform.StartProgram(text, {}));
  const std::string script = Script(dir, "s", "exit 0\n");
  EXPECT_EQ(ClassifyProgram(script), ProgramKind::kNative);
  chmod(script.c_str(), 0644);
  EXPECT_EQ(ClassifyProgram(script), ProgramKind::kNotRunnable);
  EXPECT_EQ(ClassifyProgram("/bin/sh"), ProgramKind::kNative);
  EXPECT_EQ(ClassifyProgram(dir.path()), ProgramKind::kNotRunnable);
}

TEST(PosixPrograms, AWindowsProgramRunsUnderWineOnlyWhenWineIsThere) {
  TempDir dir;
  const std::string exe = dir.Write("UCC.EXE", std::string("MZ\x90\0\3\0", 6));
  EXPECT_EQ(ClassifyProgram(exe), ProgramKind::kWindows);

  PosixShellCommands with_wine;
  with_wine.wine = {Recorder(dir, "wine", "wine-args")};
  PosixPlatform platform(with_wine);
  std::optional<ProgramHandle> handle = platform.StartProgram(exe, {"make"});
  ASSERT_TRUE(handle);
  EXPECT_EQ(platform.WaitForProgram(*handle), 0);
  EXPECT_EQ(dir.Read("wine-args"), "[" + exe + "]\n[make]\n");

  PosixShellCommands without_wine;
  without_wine.wine = {dir.Path("no-wine")};
  PosixPlatform bare(without_wine);
  EXPECT_FALSE(bare.StartProgram(exe, {"make"}));
}

TEST(PosixShell, OpenStartsAProgramWithItsParameters) {
  TempDir dir;
  PosixShellCommands commands;
  commands.open = {Recorder(dir, "opener", "opened")};
  PosixPlatform platform(commands);
  const std::string ucc = Recorder(dir, "ucc.exe", "ucc-args");  // a native stand-in
  ASSERT_TRUE(platform.ShellOpen(ucc, kAwkwardArguments));
  EXPECT_EQ(AwaitFile(dir, "ucc-args"), kAwkwardLines);
  EXPECT_EQ(dir.Read("opened"), "");  // the opener was not involved
}

TEST(PosixShell, OpenHandsADocumentToTheOpener) {
  TempDir dir;
  PosixShellCommands commands;
  commands.open = {Recorder(dir, "opener", "opened"), "--flag"};
  PosixPlatform platform(commands);
  const std::string script = dir.Write("My Actor's.uc", "class A extends B;\n");
  chmod(script.c_str(), 0755);  // execute permission does not make it a program
  ASSERT_TRUE(platform.ShellOpen(script, {"ignored"}));
  EXPECT_EQ(AwaitFile(dir, "opened"), "[--flag]\n[" + script + "]\n");
}

TEST(PosixShell, PrintUsesTheFirstPrintCommandThatStarts) {
  TempDir dir;
  PosixShellCommands commands;
  commands.print = {{dir.Path("no-lp")}, {Recorder(dir, "lpr", "printed")}};
  PosixPlatform platform(commands);
  ASSERT_TRUE(platform.ShellPrint("/games/UT/Botpack/Classes/Bot.uc"));
  EXPECT_EQ(AwaitFile(dir, "printed"), "[/games/UT/Botpack/Classes/Bot.uc]\n");

  PosixShellCommands none;
  none.print = {{dir.Path("no-lp")}, {dir.Path("no-lpr")}};
  none.open = {dir.Path("no-xdg-open")};
  PosixPlatform bare(none);
  EXPECT_FALSE(bare.ShellPrint("/x.uc"));
  EXPECT_FALSE(bare.ShellOpen(dir.Write("doc.txt", "x"), {}));
}

TEST(PosixEscape, AnInterruptHoldsEscapeDownASecondOneEndsTheProcess) {
  PosixPlatform platform;
  SetEscapeDown(false);
  EXPECT_FALSE(platform.IsKeyDown(Key::kEscape));
  InstallInterruptAsEscape();
  raise(SIGINT);
  EXPECT_TRUE(platform.IsKeyDown(Key::kEscape));
  EXPECT_TRUE(platform.IsKeyDown(Key::kEscape));  // stays down until cleared
  SetEscapeDown(false);
  EXPECT_FALSE(platform.IsKeyDown(Key::kEscape));
  EXPECT_EXIT(
      {
        raise(SIGINT);
        raise(SIGINT);
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGINT), "");
  signal(SIGINT, SIG_DFL);
}

TEST(PosixClock, TicksNeverGoBackAndSleepWaitsAtLeastItsTime) {
  PosixPlatform platform;
  uint32_t last = platform.TickCount();
  for (int i = 0; i < 1000; ++i) {
    const uint32_t now = platform.TickCount();
    EXPECT_LE(static_cast<uint32_t>(now - last), 1000u);  // unsigned: a step back is huge
    last = now;
  }
  const uint32_t before = platform.TickCount();
  platform.Sleep(50);
  EXPECT_GE(static_cast<uint32_t>(platform.TickCount() - before), 50u);
}

TEST(PosixFolders, TheExecutableFolderHoldsThisProgram) {
  PosixPlatform platform;
  const std::string dir = platform.ExecutableDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_TRUE(platform.FileExists(dir + "platform_tests"));
}

TEST(PosixFiles, CreateExistDeleteRename) {
  TempDir dir;
  PosixPlatform platform;
  EXPECT_FALSE(platform.CreateDir(dir.Path("a/b")));  // one level only
  EXPECT_TRUE(platform.CreateDir(dir.Path("a")));
  EXPECT_FALSE(platform.CreateDir(dir.Path("a")));  // exists already
  EXPECT_TRUE(platform.DirectoryExists(dir.Path("a")));
  EXPECT_FALSE(platform.FileExists(dir.Path("a")));
  EXPECT_TRUE(platform.IsDirectoryWritable(dir.Path("a")));
  EXPECT_FALSE(platform.IsDirectoryWritable(dir.Path("missing")));

  const std::string pkg = dir.Write("mymod.u", "new");
  const std::string old = dir.Write("mymod.u.old", "old");
  EXPECT_TRUE(platform.FileExists(pkg));
  EXPECT_FALSE(platform.DirectoryExists(pkg));
  EXPECT_FALSE(platform.RenameFile(pkg, old));  // never replaces
  EXPECT_EQ(dir.Read("mymod.u.old"), "old");
  EXPECT_TRUE(platform.RemoveFile(old));
  EXPECT_FALSE(platform.RemoveFile(old));
  EXPECT_TRUE(platform.RenameFile(pkg, old));
  EXPECT_FALSE(platform.FileExists(pkg));
  EXPECT_EQ(dir.Read("mymod.u.old"), "new");
}

// Sets TZ (and a locale variable) for one test and puts them back after.
class PosixLocalTime : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* var : {"TZ", "LC_ALL"}) {
      const char* value = std::getenv(var);
      saved_.emplace_back(var, value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  void TearDown() override {
    for (auto& [var, value] : saved_) {
      if (value)
        setenv(var, value->c_str(), 1);
      else
        unsetenv(var);
    }
    tzset();
  }
  static void SetZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(PosixLocalTime, FileTimesBecomeLocalDateTimesAndBack) {
  PosixPlatform platform;
  SetZone("UTC0");
  EXPECT_EQ(platform.UnixTimeToDateTime(0), text::kUnixEpochDateTime);
  SetZone("EST5");  // five hours behind UTC, no daylight saving
  EXPECT_DOUBLE_EQ(platform.UnixTimeToDateTime(0), text::kUnixEpochDateTime - 5.0 / 24.0);
  const int64_t t = 1'796'000'000;  // 2026-11-29
  EXPECT_EQ(platform.DateTimeToUnixTime(platform.UnixTimeToDateTime(t)), t);
  EXPECT_EQ(platform.DateTimeToUnixTime(text::EncodeDateTime({1969, 12, 31, 18, 59, 59, 0})), -1);
}

TEST_F(PosixLocalTime, NowIsTheLocalClock) {
  PosixPlatform platform;
  SetZone("EST5");
  const text::TDateTime expected = platform.UnixTimeToDateTime(std::time(nullptr));
  EXPECT_NEAR(platform.Now(), expected, 2.0 / 86400.0);
}

}  // namespace
}  // namespace quoldex::platform
