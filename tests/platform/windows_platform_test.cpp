// WindowsPlatform against the real system (built for Windows only).
#include "platform/windows_platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fakes/temp_dir.h"

namespace quoldex::platform {
namespace {

using testing::TempDir;

TEST(WindowsCommandLineTest, ArgumentsAreQuotedAsProgramsSplitThem) {
  EXPECT_EQ(BuildCommandLine(L"C:\\UT\\System\\ucc.exe", {L"make"}),
            L"\"C:\\UT\\System\\ucc.exe\" make");
  EXPECT_EQ(BuildCommandLine(L"p", {L"two words", L"", L"tab\there"}),
            L"\"p\" \"two words\" \"\" \"tab\there\"");
  // A quote is escaped, and so are the backslashes right before it or
  // before the closing quote; other backslashes stay single.
  EXPECT_EQ(BuildCommandLine(L"p", {L"say \"hi\"", L"a\\\"b", L"C:\\My Maps\\", L"C:\\x"}),
            L"\"p\" \"say \\\"hi\\\"\" \"a\\\\\\\"b\" \"C:\\My Maps\\\\\" C:\\x");
}

TEST(WindowsPlatformTest, ProgramsAreStartedAndWaitedForThroughTheirHandle) {
  WindowsPlatform platform;
  const std::optional<ProgramHandle> handle = platform.StartProgram("cmd.exe", {"/c", "exit", "7"});
  ASSERT_TRUE(handle.has_value());
  EXPECT_EQ(platform.WaitForProgram(*handle), 7);
  EXPECT_FALSE(platform.IsProgramRunning(*handle));
  EXPECT_EQ(platform.WaitForProgram(*handle), -1);  // forgotten once waited for
  EXPECT_FALSE(platform.StartProgram("C:\\no\\such\\program.exe", {}).has_value());
}

TEST(WindowsPlatformTest, FilesAndFoldersWithNamesBeyondTheCodePage) {
  TempDir dir;
  WindowsPlatform platform;
  const std::string folder = dir.Path("Ünïcödé Maps");
  EXPECT_TRUE(platform.CreateDir(folder));
  EXPECT_FALSE(platform.CreateDir(folder));  // exists already
  EXPECT_TRUE(platform.DirectoryExists(folder));
  EXPECT_FALSE(platform.FileExists(folder));
  EXPECT_TRUE(platform.IsDirectoryWritable(folder));
  EXPECT_TRUE(std::filesystem::is_empty(testing::Utf8Path(folder)));  // no probe left

  const std::string file = folder + "\\Grüße.uc";
  { std::ofstream(testing::Utf8Path(file)) << "class A;"; }
  EXPECT_TRUE(platform.FileExists(file));
  EXPECT_TRUE(platform.FileExists(platform.MatchFileName(folder + "\\GRüßE.UC")));
  const std::string other = folder + "\\Other.uc";
  { std::ofstream(testing::Utf8Path(other)) << "class B;"; }
  EXPECT_FALSE(platform.RenameFile(file, other));  // never replaces
  EXPECT_TRUE(platform.RemoveFile(other));
  EXPECT_TRUE(platform.RenameFile(file, other));
  EXPECT_FALSE(platform.FileExists(file));
  EXPECT_TRUE(platform.FileExists(other));
}

TEST(WindowsPlatformTest, NamesAreMatchedWithoutRegardToCase) {
  TempDir dir;
  WindowsPlatform platform;
  dir.Write("UCC.EXE", "MZ");
  const std::string found = platform.MatchFileName(dir.Path("ucc.exe"));
  EXPECT_EQ(found, dir.Path("UCC.EXE"));  // as the folder spells it
  EXPECT_TRUE(platform.FileExists(found));
  const Platform::CompilerChoice choice = platform.FindCompiler(dir.path());
  EXPECT_TRUE(choice.problem.empty()) << choice.problem;
  dir.Write("UCC.EXE", "#!/bin/sh\n");
  EXPECT_EQ(platform.FindCompiler(dir.path()).problem, "it is not a program this system can run");
  TempDir empty;
  EXPECT_EQ(platform.FindCompiler(empty.path()).problem, "ucc.exe is not in the folder");
}

TEST(WindowsPlatformTest, FoldersOfTheProgramAndTheUser) {
  WindowsPlatform platform;
  const std::string exe_dir = platform.ExecutableDir();
  ASSERT_FALSE(exe_dir.empty());
  EXPECT_EQ(exe_dir.back(), '\\');
  EXPECT_TRUE(platform.DirectoryExists(exe_dir));
  const std::string user = platform.UserDataDir();
  ASSERT_GE(user.size(), 9u);
  EXPECT_EQ(user.substr(user.size() - 9), "\\Quoldex\\");
}

TEST(WindowsPlatformTest, LocalTimesConvertBothWays) {
  WindowsPlatform platform;
  for (const int64_t t :
       {int64_t{0}, int64_t{946684800}, int64_t{1700000000}, int64_t{4102444799}}) {
    const std::optional<int64_t> back = platform.DateTimeToUnixTime(platform.UnixTimeToDateTime(t));
    ASSERT_TRUE(back.has_value()) << t;
    EXPECT_EQ(*back, t);
  }
  const text::TDateTime now = platform.Now();
  EXPECT_GT(now, 46000.0);                                           // after 2025
  EXPECT_FALSE(platform.DateTimeToUnixTime(-700000.0).has_value());  // before 1601
}

}  // namespace
}  // namespace quoldex::platform
