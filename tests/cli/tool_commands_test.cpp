// The game-tool commands of quoldex-cli, run as processes. The compiler is
// the project's fake in the game's System folder; the desktop's opener and
// the print command are recording scripts put first in PATH.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "cli/cli_process.h"
#include "fakes/fake_compiler.h"
#include "fakes/temp_dir.h"

namespace quoldex::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

const std::vector<std::pair<std::string, std::string>> kGame = {
    {"Core/Classes/Object.uc", "class Object;\n\n"},
    {"MyMod/Classes/MyPawn.uc", "class MyPawn extends Object;\n\n"},
    {"Botpack/Classes/Bot.uc", "class Bot extends Object;\n\n"},
};

// While it lives, PATH starts with a folder of recording stand-ins for the
// desktop's opener (xdg-open) and the print commands (lp, lpr): each writes
// "<name> <file>" lines to "calls" in that folder.
class RecordingShell {
 public:
  RecordingShell() : old_path_(std::getenv("PATH") ? std::getenv("PATH") : "") {
    for (const char* name : {"xdg-open", "lp", "lpr"}) {
      const std::string path = bin_.Write(name, std::string("#!/bin/sh\necho \"") + name +
                                                    " $1\" >> '" + bin_.Path("calls") + "'\n");
      ::chmod(path.c_str(), 0755);
    }
    ::setenv("PATH", (bin_.path() + ":" + old_path_).c_str(), 1);
  }
  ~RecordingShell() { ::setenv("PATH", old_path_.c_str(), 1); }
  // The calls so far; waits a little, as the shell's programs are not
  // waited for.
  std::string Calls() const {
    for (int i = 0; i < 500 && bin_.Read("calls").empty(); ++i) ::usleep(10'000);
    return bin_.Read("calls");
  }

 private:
  testing::TempDir bin_;
  std::string old_path_;
};

class ToolCommandsTest : public ::testing::Test {
 protected:
  ToolCommandsTest() {
    WriteTree(game_.path(), kGame);
    fs::create_directory(SystemDir());
    testing::InstallFakeUcc(SystemDir());
    game_.Write("System/mymod.u", "old build");
  }
  std::string SystemDir() const { return game_.Path("System/"); }
  // Writes a file below the game's folder, creating its folder; its path.
  std::string GameFile(const std::string& relative) {
    WriteTree(game_.path(), {{relative, "map"}});
    return game_.Path(relative);
  }
  CliResult Cli(const std::vector<std::string>& args) { return cli_.Run(args); }
  std::string Ok(const std::vector<std::string>& args) {
    CliResult result = Cli(args);
    EXPECT_EQ(result.status, 0) << ::testing::PrintToString(args) << result.err;
    EXPECT_THAT(result.err, IsEmpty());
    return result.out;
  }
  // Fails with `message` on standard error and nothing on standard output.
  void Fails(const std::vector<std::string>& args, const std::string& message) {
    CliResult result = Cli(args);
    EXPECT_EQ(result.status, 1) << ::testing::PrintToString(args);
    EXPECT_THAT(result.err, HasSubstr(message)) << ::testing::PrintToString(args);
    EXPECT_THAT(result.out, IsEmpty());
  }
  void ScanAndSetSystemDir() {
    Ok({"scan", game_.path()});
    Ok({"prefs", "SystemDir=" + game_.Path("System")});
  }

  CliCopy cli_;
  testing::TempDir game_;
};

TEST_F(ToolCommandsTest, CompileWritesTheLogAndVerboseTheStatusTexts) {
  ScanAndSetSystemDir();
  EXPECT_EQ(Ok({"compile", "MyMod"}),
            "Analyzing...\nCompiling mymod.u\nSuccess - 0 error(s), 0 warning(s)\n");
  EXPECT_EQ(game_.Read("System/mymod.u"), "compiled mymod.u\n");
  EXPECT_EQ(game_.Read("System/mymod.u.old"), "old build");

  CliResult verbose = Cli({"--verbose", "compile", "mymod"});
  EXPECT_EQ(verbose.status, 0);
  EXPECT_THAT(verbose.err, HasSubstr("Compiling 'mymod.u'.\n"));
  EXPECT_THAT(verbose.err, HasSubstr("Compiled 'mymod.u'.\nUCC Log\n"));
  EXPECT_THAT(testing::FakeUccCalls(SystemDir()),
              HasSubstr(cli_.Program().substr(0, cli_.Program().rfind('/')) + "\tmake\n"));
}

TEST_F(ToolCommandsTest, CompileSaysWhyItDidNotRun) {
  Ok({"scan", game_.path()});
  // No System folder: Compile does not apply.
  Fails({"compile", "mymod"}, "The \"Compile\" command does not apply here.");
  Ok({"prefs", "SystemDir=" + game_.Path("System"), "WarnBeforeCompiling=True"});

  CliResult no = Cli({"compile", "mymod"});
  EXPECT_EQ(no.status, 0);
  EXPECT_EQ(no.err, "Compile package 'mymod'? [No]\n");
  EXPECT_THAT(no.out, IsEmpty());
  EXPECT_EQ(testing::FakeUccCalls(SystemDir()), "");

  EXPECT_THAT(Ok({"--yes", "compile", "mymod"}), HasSubstr("Success"));

  Fails({"compile", "botpack"},
        "Cannot compile system package (botpack) unless enabled in options");
  Fails({"compile", "nosuch"}, "No package \"nosuch\" in the catalogue.");
  Fails({"compile"}, "The \"Compile\" command does not apply here.");  // no default package
  fs::remove(SystemDir() + "ucc.exe");
  Fails({"--yes", "compile", "mymod"},
        "Cannot start the compiler \"" + SystemDir() +
            "ucc.exe\": neither ucc-bin nor ucc.exe is in the folder.");
  EXPECT_EQ(game_.Read("System/mymod.u"), "compiled mymod.u\n");
}

TEST_F(ToolCommandsTest, DefaultPackageIsWhatCompileBuildsWithNothingNamed) {
  ScanAndSetSystemDir();
  Ok({"default-package", "MYMOD"});
  EXPECT_EQ(Ok({"prefs", "DefaultCompilePackage"}), "DefaultCompilePackage\tmymod\n");
  EXPECT_THAT(Ok({"tree"}), HasSubstr("  mymod *\n"));
  EXPECT_THAT(Ok({"compile"}), HasSubstr("Compiling mymod.u"));
  // A system package now gives way to it.
  EXPECT_THAT(Ok({"compile", "botpack"}), HasSubstr("Compiling mymod.u"));
  Fails({"default-package", "nosuch"}, "No package \"nosuch\" in the catalogue.");
}

TEST_F(ToolCommandsTest, ExportRunsEachPackageAndCataloguesWhatItWrote) {
  ScanAndSetSystemDir();
  Ok({"prefs", "AddExportedClasses=True"});
  const std::string bot = game_.Write("System/Botpack.u", "BotMesh Mesh\n");
  const std::string share = game_.Write("System/UnrealShare.u", "ShareMesh Mesh\n");
  EXPECT_EQ(Ok({"export", bot, share}), "Done.\n");
  EXPECT_EQ(Ok({"sql",
                "select ObjectName, Filename from objects where Package = 'Unknown' order "
                "by ObjectName"}),
            "ObjectName\tFilename\nBotMesh\t" + game_.Path("Botpack/meshes/BotMesh.uc") +
                "\nShareMesh\t" + game_.Path("UnrealShare/meshes/ShareMesh.uc") + "\n");
  Fails({"export", game_.Path("System/Missing.u")}, "Missing.u: No such file or directory");
}

TEST_F(ToolCommandsTest, MapsAreAddedListedMadeDefaultAndDeleted) {
  ScanAndSetSystemDir();
  const std::string deck = GameFile("Maps/DM-Deck16.unr");
  const std::string face = GameFile("Maps/CTF-Face.unr");
  const std::string other_deck = GameFile("Other/DM-Deck16.unr");
  EXPECT_EQ(Ok({"add-map", deck, face}), "");
  Fails({"add-map", other_deck},
        "A map of the same name is listed already, not added: " + other_deck);
  EXPECT_EQ(Ok({"maps"}), "CTF-Face.unr\t" + face + "\t\nDM-Deck16.unr\t" + deck + "\t\n");

  Ok({"default-map", "dm-deck16.unr"});
  EXPECT_EQ(Ok({"maps"}), "CTF-Face.unr\t" + face + "\t\nDM-Deck16.unr\t" + deck + "\t*\n");
  Ok({"delete-map", "DM-Deck16.unr"});
  EXPECT_EQ(Ok({"maps"}), "CTF-Face.unr\t" + face + "\t\n");
  // The deleted map stays the default map.
  EXPECT_EQ(Ok({"prefs", "TestMap"}), "TestMap\t" + deck + "\n");
  Fails({"delete-map", "DM-Deck16.unr"}, "No map \"DM-Deck16.unr\" in the list.");
}

TEST_F(ToolCommandsTest, PlayOpensTheMapWithTheDesktopsHandler) {
  ScanAndSetSystemDir();
  const std::string face = GameFile("Maps/CTF-Face.unr");
  Ok({"add-map", face});
  Fails({"play"}, "The \"Play Map\" command does not apply here.");  // no default map
  {
    RecordingShell shell;
    Ok({"play", "ctf-face.unr"});
    EXPECT_EQ(shell.Calls(), "xdg-open " + face + "\n");
  }
  fs::remove(face);
  Ok({"prefs", "TestMap=" + face});
  Fails({"play"}, "Cannot open \"" + face + "\": the file does not exist.");
}

TEST_F(ToolCommandsTest, PrintHandsTheClassFileToThePrintCommand) {
  ScanAndSetSystemDir();
  {
    RecordingShell shell;
    Ok({"print", "mypawn"});
    EXPECT_EQ(shell.Calls(), "lp " + game_.Path("MyMod/Classes/MyPawn.uc") + "\n");
  }
  Fails({"print", "Nope"}, "Unable to locate object \"Nope\".");
}

TEST_F(ToolCommandsTest, ReadmeWritesTheReadMeBesideTheProgram) {
  const std::string folder = cli_.Program().substr(0, cli_.Program().rfind('/') + 1);
  Fails({"readme"}, "No read-me beside the program: " + folder + "readme.txt");
  fs::copy_file(std::string(QUOLDEX_BINARY_DIR) + "/readme.txt", folder + "readme.txt");
  const std::string text = Ok({"readme"});
  EXPECT_THAT(text, StartsWith("Quoldex 1.11 - a class browser for UnrealScript\n"));
  for (const char* command : {"compile", "export", "add-map", "play", "readme", "print"}) {
    EXPECT_THAT(text, HasSubstr(command));
  }
  EXPECT_THAT(text, Not(HasSubstr("\r")));
}

TEST_F(ToolCommandsTest, UsageErrorsAndHelp) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"default-package"},
                                               {"export"},
                                               {"add-map"},
                                               {"delete-map"},
                                               {"default-map"},
                                               {"print"},
                                               {"maps", "x"},
                                               {"readme", "x"},
                                               {"compile", "a", "b"}}) {
    CliResult result = Cli(args);
    EXPECT_EQ(result.status, 2) << ::testing::PrintToString(args);
    EXPECT_THAT(result.out, IsEmpty());
  }
  const std::string help = Ok({"--help"});
  for (const char* command : {"compile", "default-package", "export", "maps", "add-map",
                              "delete-map", "default-map", "play", "readme", "print"}) {
    EXPECT_THAT(help, HasSubstr(command));
    EXPECT_THAT(Ok({command, "--help"}), HasSubstr(std::string("Usage: quoldex-cli ") + command));
  }
}

}  // namespace
}  // namespace quoldex::cli
