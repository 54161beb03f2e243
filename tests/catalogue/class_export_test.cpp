// Export Classes with the project's fake compiler run as a real process:
// it writes a script file per "Class Parent" line of the package file
// below the folder it is told.
#include "catalogue/class_export.h"

#include <gmock/gmock.h>

#include "catalogue_test_util.h"
#include "fakes/fake_compiler.h"
#include "platform/posix_platform.h"
#include "platform/text_file.h"
#include "tools/ucc.h"

namespace quoldex::catalogue::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class ClassExportTest : public CatalogueFixture {
 protected:
  ClassExportTest()
      : maintenance_(data_.dtblObjects, prefs_, picker_, script_dialog_, ui_, posix_,
                     [this] { ++rebuilds_; }),
        export_(maintenance_, prefs_, ui_, posix_, [this] { ++rebuilds_; }) {
    std::filesystem::create_directory(root_.Path("System"));
    testing::InstallFakeUcc(SystemDir());
    SetSystemDir(root_.Path("System"));
    SetAddExported(true);
  }
  std::string SystemDir() const { return root_.Path("System/"); }
  // A package file in the System folder with the classes it exports.
  std::string Package(const std::string& name, const std::string& classes) {
    return root_.Write("System/" + name, classes);
  }
  void SetAddExported(bool on) {
    prefs_.Edit();
    prefs_.SetBoolean("AddExportedClasses", on);
    prefs_.Post();
  }
  // The arguments of each run of the fake compiler, tab-separated.
  std::vector<std::string> Runs() const {
    std::vector<std::string> runs;
    const std::string calls = testing::FakeUccCalls(SystemDir());
    for (size_t start = 0; start < calls.size();) {
      const size_t end = calls.find('\n', start);
      const std::string line = calls.substr(start, end - start);
      runs.push_back(line.substr(line.find('\t') + 1));
      start = end + 1;
    }
    return runs;
  }

  platform::PosixPlatform posix_;
  ui::FolderPicker picker_;
  ui::OpenDialog script_dialog_;
  int rebuilds_ = 0;
  CatalogueMaintenance maintenance_;
  ClassExport export_;
};

TEST_F(ClassExportTest, TwoPackagesRunInTheChosenOrderAndTheirClassesAreCatalogued) {
  const std::string botpack = Package("Botpack.u", "BotMesh Mesh\nSub/BotSkin Texture\n");
  const std::string unreal = Package("UnrealShare.u", "ShareMesh Mesh\n");
  ui_.QueueFiles(std::vector<std::string>{botpack, unreal});
  export_.actExportClassExecute();

  ASSERT_EQ(ui_.open_dialogs().size(), 1u);
  const ui::OpenDialog& dialog = ui_.open_dialogs()[0];
  EXPECT_EQ(dialog.title, "Locate Package(s)");
  EXPECT_EQ(dialog.filter, "Unreal Class Package (*.u)|*.u|All Files (*.*)|*.*");
  EXPECT_TRUE(dialog.multi_select);
  EXPECT_EQ(dialog.initial_dir, root_.Path("System"));

  const std::string bot_folder = root_.Path("Botpack");
  const std::string share_folder = root_.Path("UnrealShare");
  EXPECT_THAT(Runs(),
              ElementsAre("batchexport\t" + botpack + "\tmesh\tuc\t" + bot_folder + "/meshes/",
                          "batchexport\t" + unreal + "\tmesh\tuc\t" + share_folder + "/meshes/"));
  EXPECT_EQ(ObjectField("BotMesh", "InheritsFrom"), "mesh");
  EXPECT_EQ(ObjectField("BotMesh", "Package"), "Unknown");
  EXPECT_EQ(ObjectField("BotSkin", "Filename"), bot_folder + "/meshes/Sub/BotSkin.uc");
  EXPECT_EQ(ObjectField("ShareMesh", "Filename"), share_folder + "/meshes/ShareMesh.uc");
  EXPECT_EQ(rebuilds_, 1);
  EXPECT_EQ(ui_.StatusText(), "Done.");
  const auto& texts = ui_.status_texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Exporting classes to " + bot_folder),
            texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Exporting classes to " + share_folder),
            texts.end());
}

TEST_F(ClassExportTest, TheFolderIsTheBaseNameUpToTheFirstDotBesideTheSystemFolder) {
  EXPECT_EQ(ExportFolder("/ut/System", "/ut/System/My.Mod.u"), "/ut/My");
  EXPECT_EQ(ExportFolder("/ut/System", "/elsewhere/Botpack.u"), "/ut/Botpack");
  EXPECT_EQ(ExportFolder("/ut/System/", "/ut/System/Botpack.u"), "/ut/System/Botpack");
  EXPECT_EQ(ExportFolder("/ut/System", "/ut/System/NoDot"), "/ut/NoDot");

  export_.ExportPackages({Package("My.Mod.u", "ModClass Actor\n")});
  EXPECT_EQ(ObjectField("ModClass", "Filename"), root_.Path("My/meshes/ModClass.uc"));
}

TEST_F(ClassExportTest, WithoutAddExportedClassesNothingIsSearchedOrRebuilt) {
  SetAddExported(false);
  export_.ExportPackages({Package("Botpack.u", "BotMesh Mesh\n")});
  EXPECT_TRUE(std::filesystem::exists(root_.Path("Botpack/meshes/BotMesh.uc")));
  EXPECT_EQ(ObjectCount(), 0);
  EXPECT_EQ(rebuilds_, 0);
  EXPECT_EQ(ui_.StatusText(), "Done.");
}

TEST_F(ClassExportTest, ClassesCataloguedAlreadyAddNothingAndOlderScriptsBelowAreAdded) {
  WriteScript("Botpack/Classes/Bot.uc", "class Bot extends Pawn;\n");
  const std::string botpack = Package("Botpack.u", "BotMesh Mesh\n");
  export_.ExportPackages({botpack});
  EXPECT_EQ(ObjectCount(), 2);
  EXPECT_EQ(ObjectField("Bot", "Package"), "botpack");
  export_.ExportPackages({botpack});
  EXPECT_EQ(ObjectCount(), 2);
}

TEST_F(ClassExportTest, AScriptThatCannotBeOpenedStopsTheCommand) {
  const std::string gone = root_.Path("Botpack/meshes/BotMesh.uc");
  // The file disappears between being found and being read.
  ui_.OnStatus([&](const std::string& text) {
    if (text == "Searching BotMesh.uc") std::filesystem::remove(gone);
  });
  const std::string botpack = Package("Botpack.u", "BotMesh Mesh\n");
  const std::string unreal = Package("UnrealShare.u", "ShareMesh Mesh\n");
  try {
    export_.ExportPackages({botpack, unreal});
    ADD_FAILURE() << "the export went on";
  } catch (const platform::EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + gone);
  }
  EXPECT_EQ(Runs().size(), 1u);
  EXPECT_EQ(rebuilds_, 0);
  EXPECT_NE(ui_.StatusText(), "Done.");
}

TEST_F(ClassExportTest, ACompilerThatCannotStartIsAnErrorBeforeAnyPackage) {
  std::filesystem::remove(SystemDir() + "ucc.exe");
  try {
    export_.ExportPackages({Package("Botpack.u", "BotMesh Mesh\n")});
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_THAT(std::string(e.what()), HasSubstr("Cannot start the compiler"));
  }
  EXPECT_THAT(ui_.status_texts(), IsEmpty());
}

TEST_F(ClassExportTest, ACancelledDialogDoesNothing) {
  export_.actExportClassExecute();
  EXPECT_THAT(Runs(), IsEmpty());
  EXPECT_THAT(ui_.status_texts(), IsEmpty());
}

}  // namespace
}  // namespace quoldex::catalogue::test
