// quoldex-cli check and repair, and what every command says about a
// catalogue recovered at start.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/cli_process.h"
#include "fakes/temp_dir.h"

namespace quoldex::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::vector<char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(),
                                                                static_cast<long>(bytes.size()));
}

class MaintenanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 60; ++i) {
      const std::string name = "Class" + std::to_string(i);
      files.push_back({"Pkg/Classes/" + name + ".uc", "class " + name + " extends Object;\n"});
    }
    WriteTree(scripts_.path(), files);
    const CliResult scan = cli_.Run({"scan", scripts_.path()});
    ASSERT_EQ(scan.status, 0) << scan.err;
  }
  std::string Index() const { return cli_.DataFolder() + "objects.IDX"; }
  std::vector<std::string> Names() const {
    const CliResult r = cli_.Run({"sql", "select ObjectName from objects"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  CliCopy cli_;
  testing::TempDir scripts_;
};

TEST_F(MaintenanceTest, CheckFindsAChangedKeyByteAndRepairMendsIt) {
  const CliResult sound = cli_.Run({"check"});
  EXPECT_EQ(sound.status, 0) << sound.err;
  EXPECT_EQ(sound.out,
            "objects: sound\npref: sound\nsystemu: sound\nmaps: sound\nitems: sound\n");
  const std::vector<std::string> names = Names();

  // A byte of a key in the leaf pages of objects.IDX: leaves are the pages
  // holding "CLASS" keys of the case-insensitive ByName index.
  std::vector<char> index = ReadFile(Index());
  const std::string needle = "CLASS3";
  auto at = std::search(index.begin() + 4096, index.end(), needle.begin(), needle.end());
  ASSERT_NE(at, index.end());
  at[5] = 'Z';
  WriteFile(Index(), index);
  const CliResult damaged = cli_.Run({"check", "objects"});
  EXPECT_EQ(damaged.status, 1);
  EXPECT_THAT(damaged.out, HasSubstr("objects: "));
  EXPECT_THAT(damaged.out, Not(HasSubstr("sound")));

  const CliResult repair = cli_.Run({"repair"});
  EXPECT_EQ(repair.status, 0) << repair.out << repair.err;
  EXPECT_THAT(repair.out, HasSubstr("objects: mended: kept 60 records, dropped 0"));
  EXPECT_THAT(repair.out, HasSubstr("pref: sound, nothing to repair"));
  EXPECT_THAT(repair.out, HasSubstr("Copies of the files before the repair: "));
  int copies = 0;
  for (const auto& entry : fs::directory_iterator(cli_.DataFolder())) {
    if (entry.path().filename().string().rfind("repair-", 0) != 0) continue;
    ++copies;
    EXPECT_EQ(ReadFile((entry.path() / "objects.IDX").string()), index);
  }
  EXPECT_EQ(copies, 1);
  EXPECT_EQ(cli_.Run({"check"}).status, 0);
  EXPECT_EQ(Names(), names);
}

TEST_F(MaintenanceTest, ATableLeftMidChangeIsRecoveredAndSaidSo) {
  const std::vector<std::string> names = Names();
  std::vector<char> index = ReadFile(Index());
  index[3980] = 1;  // the update mark of a writer that died
  WriteFile(Index(), index);
  // The check reads without write access: records and indexes still agree,
  // so the table reads as it is and is left for a writer to recover.
  const CliResult check = cli_.Run({"check"});
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  EXPECT_THAT(check.out, HasSubstr("objects: sound"));

  const CliResult first = cli_.Run({"sql", "select ObjectName from objects"});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_THAT(first.err, HasSubstr("Recovered objects.dat"));
  EXPECT_THAT(first.err, HasSubstr("kept 60 records, dropped 0"));
  EXPECT_THAT(cli_.Run({"sql", "select ObjectName from objects"}).err, IsEmpty());
  EXPECT_EQ(Names(), names);
}

TEST_F(MaintenanceTest, UnknownTablesAreRefused) {
  const CliResult r = cli_.Run({"check", "objects", "nosuch"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("Unknown table \"nosuch\""));
  EXPECT_EQ(r.out, "objects: sound\n");
}

}  // namespace
}  // namespace quoldex::cli
