// Folder and file names beyond ASCII, given on the command line and found
// on disk: UTF-8 inside the program whatever the system's code page (on
// Windows the arguments and names cross the system boundary as UTF-16).
#include <gtest/gtest.h>

#include <string>

#include "cli/cli_process.h"
#include "fakes/temp_dir.h"

namespace quoldex::cli {
namespace {

TEST(Utf8PathsTest, AFolderNamedBeyondAsciiIsScannedAddedToAndListedAsWritten) {
  CliCopy cli;
  testing::TempDir scripts;
  const std::string folder =
      "\xC3\x9C"
      "bung";                                  // "Übung"
  const std::string script = "Z\xC3\xA4h.uc";  // "Zäh.uc"
  const std::string other =
      "\xC3\x86"
      "ther.uc";  // "Æther.uc"
  WriteTree(scripts.path(), {{folder + "/Classes/" + script, "class Zaeh extends Object;\n\n"}});

  const CliResult scan = cli.Run({"scan", scripts.Path(folder)});
  EXPECT_EQ(scan.status, 0) << scan.err;
  EXPECT_EQ(scan.out, "Done.\n");
  const std::string path = scripts.Path(NativePath(folder + "/Classes/" + script));
  EXPECT_EQ(cli.Run({"sql", "select Filename from objects"}).out, "Filename\n" + path + "\n");

  WriteTree(scripts.path(), {{folder + "/Classes/" + other, "class Aether extends Zaeh;\n\n"}});
  const std::string other_path = scripts.Path(NativePath(folder + "/Classes/" + other));
  const CliResult add = cli.Run({"add", other_path});
  EXPECT_EQ(add.status, 0) << add.err;
  EXPECT_EQ(cli.Run({"sql", "select Filename from objects where InheritsFrom = 'zaeh'"}).out,
            "Filename\n" + other_path + "\n");
}

}  // namespace
}  // namespace quoldex::cli
