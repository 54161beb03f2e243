// quoldex-cli grep run as a process over a scanned script tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <unistd.h>
#endif

#include <fstream>

#include "cli/cli_process.h"
#include "fakes/temp_dir.h"

namespace quoldex::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const std::vector<std::pair<std::string, std::string>> kGame = {
    {"Core/Classes/Object.uc", "class Object\n\tnative;\n"},
    {"Engine/Classes/Actor.uc", "class Actor extends Object\n\tnative;\n"},
    {"Engine/Classes/Pawn.uc", "class Pawn\n\textends Actor;\n"},
    {"Engine/Classes/Info.uc", "Class Info Expands Actor;\n\n"},
    {"MyMod/Classes/MyPawn.uc", "class MyPawn extends Pawn;\n\n"},
    {"It's/Classes/Quote.uc", "class Quote extends Object;\n"},
};

// The last line of `text`.
std::string LastLine(const std::string& text) {
  const std::vector<std::string> lines = Lines(text);
  return lines.empty() ? std::string() : lines.back();
}

class GrepCliTest : public ::testing::Test {
 protected:
  void ScanGame() {
    WriteTree(scripts_.path(), kGame);
    const CliResult scan = cli_.Run({"scan", scripts_.path()});
    ASSERT_EQ(scan.status, 0) << scan.err;
  }
  // A grep that must succeed: its standard output; its error output's last
  // line in `summary`.
  std::string Grep(const std::vector<std::string>& args, std::string& summary) {
    std::vector<std::string> all = {"grep"};
    all.insert(all.end(), args.begin(), args.end());
    const CliResult result = cli_.Run(all);
    EXPECT_EQ(result.status, 0) << result.err;
    summary = LastLine(result.err);
    return result.out;
  }
  std::string Path(const std::string& relative) { return scripts_.Path(NativePath(relative)); }

  CliCopy cli_;
  testing::TempDir scripts_;
};

TEST_F(GrepCliTest, EachScopeWritesItsRowsAndTheSummaryLast) {
  ScanGame();
  std::string summary;
  EXPECT_EQ(Grep({"NATIVE"}, summary), "Actor\t" + Path("Engine/Classes/Actor.uc") +
                                           "\t29\n"
                                           "Object\t" +
                                           Path("Core/Classes/Object.uc") + "\t15\n");
  EXPECT_EQ(summary, "Search Complete, (6 files searched, 2 files found.)");

  EXPECT_EQ(Grep({"extends", "--ancestors", "mypawn"}, summary),
            "Pawn\t" + Path("Engine/Classes/Pawn.uc") + "\t13\nActor\t" +
                Path("Engine/Classes/Actor.uc") + "\t13\n");
  EXPECT_EQ(summary, "Search Complete, (3 files searched, 2 files found.)");

  EXPECT_EQ(Grep({"class", "--package", "it's"}, summary),
            "Quote\t" + Path("It's/Classes/Quote.uc") + "\t1\n");
  EXPECT_EQ(summary, "Search Complete, (1 files searched, 1 files found.)");

  EXPECT_EQ(Grep({"expands", "--directory", Path("Engine")}, summary),
            "Info\t" + Path("Engine/Classes/Info.uc") + "\t\n");
  EXPECT_EQ(summary, "Search Complete, (3 files searched, 1 files found.)");
  EXPECT_EQ(Grep({"expands", "--directory", Path("Engine"), "--mask", "*.txt"}, summary), "");
  EXPECT_EQ(summary, "Search Complete, (0 files searched, 0 files found.)");

  EXPECT_EQ(Grep({"class", "--ancestors", "Nobody"}, summary), "");
  EXPECT_EQ(summary, "Search Complete, (0 files searched, 0 files found.)");

  // --verbose adds the progress texts; the summary still comes once, last.
  const CliResult verbose = cli_.Run({"--verbose", "grep", "native", "--package", "core"});
  EXPECT_EQ(verbose.status, 0);
  EXPECT_THAT(verbose.err,
              HasSubstr("Searching " + Path("Core/Classes/Object.uc") + "\nFound in Object\n"));
  EXPECT_EQ(LastLine(verbose.err), "Search Complete, (1 files searched, 1 files found.)");
  EXPECT_EQ(verbose.err.find("Search Complete"), verbose.err.rfind("Search Complete"));
}

TEST_F(GrepCliTest, AMissingOrDoubleScopeIsAUsageError) {
  EXPECT_EQ(cli_.Run({"grep"}).status, 2);
  EXPECT_EQ(cli_.Run({"grep", ""}).status, 2);  // Go stays disabled without a text
  EXPECT_EQ(cli_.Run({"grep", "x", "--package", "a", "--ancestors", "b"}).status, 2);
  EXPECT_EQ(cli_.Run({"grep", "x", "--mask", "*.uc"}).status, 2);
  const CliResult help = cli_.Run({"grep", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, HasSubstr("Usage: quoldex-cli grep"));
}

// Sends Ctrl+C as a signal (see cli_process.h).
#ifndef _WIN32
TEST_F(GrepCliTest, CtrlCIsCancelAndKeepsTheRowsFoundSoFar) {
  constexpr int kFiles = 3000;
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < kFiles; ++i) {
    files.push_back({"Big/Classes/C" + std::to_string(i) + ".uc", "class C extends Object;\n"});
  }
  WriteTree(scripts_.path(), files);
  ASSERT_EQ(cli_.Run({"scan", scripts_.path()}).status, 0);

  int err_fd = -1;
  const std::string out_file = scripts_.Path("out.txt");
  const pid_t pid = cli_.Start({"--verbose", "grep", "extends"}, out_file, err_fd);
  const std::string err = InterruptWhenSeen(pid, err_fd, "Searching ");
  ASSERT_FALSE(err.empty()) << "the run ended before it showed \"Searching \"";
  EXPECT_EQ(WaitFor(pid), 0);
  EXPECT_EQ(LastLine(err), "Search Canceled");
  EXPECT_THAT(err, Not(HasSubstr("Search Complete")));

  std::ifstream out(out_file);
  std::vector<std::string> rows;
  for (std::string line; std::getline(out, line);) rows.push_back(line);
  EXPECT_THAT(rows, Not(IsEmpty()));
  EXPECT_LT(rows.size(), static_cast<size_t>(kFiles));
  EXPECT_EQ(rows[0], "C0\t" + Path("Big/Classes/C0.uc") + "\t9");
}
#endif  // !_WIN32

}  // namespace
}  // namespace quoldex::cli
