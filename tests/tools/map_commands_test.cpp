// The map commands over maps.dat and the tree's "Maps" branch, with the
// shell scripted.
#include "tools/map_commands.h"

#include <gmock/gmock.h>

#include "tools/help.h"
#include "tools_test_env.h"

namespace quoldex::tools::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class MapsTest : public ToolsEnv<testing::FakePlatform> {
 protected:
  MapsTest() : maps_(tree_, data_, prefs_, odlgUnrealmap_, ui_, platform_) {
    SetPref("SystemDir", game_.Path("System"));
    BuildTree();
  }
  // A map file in the game's Maps folder; its path.
  std::string MapFile(const std::string& name) { return game_.Write(name, "map"); }
  std::vector<std::string> OpenedFiles() const {
    std::vector<std::string> files;
    for (const auto& call : platform_.shell_calls()) files.push_back(call.verb + " " + call.file);
    return files;
  }

  ui::OpenDialog odlgUnrealmap_;
  MapCommands maps_;
};

TEST_F(MapsTest, AddMapsListsThemUnderTheirNamesCutTo25Characters) {
  const std::string deck = MapFile("DM-Deck16.unr");
  const std::string long_file = "DM-AVeryLongMapNameIndeed1.unr";
  ASSERT_EQ(long_file.size(), 30u);
  const std::string long_name = MapFile(long_file);
  ui_.QueueFiles(std::vector<std::string>{deck, long_name});
  maps_.actAddMapExecute();

  ASSERT_EQ(ui_.open_dialogs().size(), 1u);
  EXPECT_TRUE(ui_.open_dialogs()[0].multi_select);
  EXPECT_EQ(ui_.open_dialogs()[0].initial_dir, game_.path());  // SystemDir's folder part
  EXPECT_TRUE(odlgUnrealmap_.multi_select);                    // stays on
  EXPECT_EQ(odlgUnrealmap_.initial_dir, game_.path());         // the chosen file's folder
  EXPECT_THAT(MapNodes(), ElementsAre("DM-AVeryLongMapNameIndeed", "DM-Deck16.unr"));
  EXPECT_EQ(platform_.beeps(), 0);
}

TEST_F(MapsTest, ADuplicateNameBeepsAndAddsNoRowTheFirstFileStays) {
  const std::string first = MapFile("DM-Deck16.unr");
  const std::string elsewhere = game_.Path("Other/DM-Deck16.unr");
  EXPECT_TRUE(maps_.AddMapFile(first));
  EXPECT_FALSE(maps_.AddMapFile(first));
  EXPECT_THAT(maps_.AddMapFiles({elsewhere, MapFile("CTF-Face.unr")}), ElementsAre(elsewhere));
  EXPECT_EQ(platform_.beeps(), 2);
  EXPECT_THAT(MessageTexts(), IsEmpty());
  EXPECT_EQ(data_.dtblMaps.RecordCount(), 2);
  ASSERT_THAT(MapNodes(), ElementsAre("CTF-Face.unr", "DM-Deck16.unr"));
  Select(tree_.MapsRoot(), "DM-Deck16.unr");
  EXPECT_EQ(maps_.SelectedMapFile(), first);
}

TEST_F(MapsTest, PlayMapOpensTheSelectedMapOrElseTheDefaultMap) {
  const std::string deck = MapFile("DM-Deck16.unr");
  const std::string face = MapFile("CTF-Face.unr");
  maps_.AddMapFiles({deck, face});

  maps_.PlayMap();  // nothing selected, no default map: nothing
  EXPECT_THAT(platform_.shell_calls(), IsEmpty());

  SetPref("TestMap", face);
  tree_.TreeView1().Select(tree_.MapsRoot());
  maps_.actUnrealExecute();  // the Maps root: the default map
  Select(tree_.MapsRoot(), "DM-Deck16.unr");
  maps_.actUnrealExecute();
  EXPECT_THAT(OpenedFiles(), ElementsAre("open " + face, "open " + deck));
  EXPECT_THAT(platform_.shell_calls()[1].parameters, IsEmpty());
}

TEST_F(MapsTest, MakeDefaultMapMovesTheBoldStyle) {
  const std::string deck = MapFile("DM-Deck16.unr");
  const std::string face = MapFile("CTF-Face.unr");
  maps_.AddMapFiles({deck, face});
  SetPref("TestMap", face);
  Select(tree_.MapsRoot(), "DM-Deck16.unr");
  tree::TreeNode* deck_node = tree_.TreeView1().Selected();
  maps_.actDefaultMapExecute();
  EXPECT_EQ(prefs_.TestMap(), deck);
  EXPECT_TRUE(tree_.TreeView1CalcNodeAttributes(*deck_node));
  Select(tree_.MapsRoot(), "CTF-Face.unr");
  EXPECT_FALSE(tree_.TreeView1CalcNodeAttributes(*tree_.TreeView1().Selected()));
}

TEST_F(MapsTest, DeletingTheDefaultMapKeepsItAsTheDefault) {
  const std::string deck = MapFile("DM-Deck16.unr");
  maps_.AddMapFiles({deck, MapFile("CTF-Face.unr")});
  SetPref("TestMap", deck);
  Select(tree_.MapsRoot(), "DM-Deck16.unr");
  maps_.actDeleteMapExecute();
  EXPECT_THAT(MapNodes(), ElementsAre("CTF-Face.unr"));
  EXPECT_EQ(prefs_.TestMap(), deck);

  tree_.TreeView1().Select(nullptr);
  maps_.PlayMap();
  EXPECT_THAT(OpenedFiles(), ElementsAre("open " + deck));
}

TEST_F(MapsTest, AMissingFileOrAMissingHandlerIsAnErrorNamingTheFile) {
  const std::string gone = game_.Path("DM-Gone.unr");
  SetPref("TestMap", gone);
  try {
    maps_.PlayMap();
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open \"" + gone + "\": the file does not exist.");
  }
  EXPECT_THAT(platform_.shell_calls(), IsEmpty());

  const std::string deck = MapFile("DM-Deck16.unr");
  SetPref("TestMap", deck);
  platform_.SetShellResult(false);
  try {
    maps_.PlayMap();
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open \"" + deck + "\": no program to open it could be started.");
  }
}

TEST_F(MapsTest, HelpShowsTheReadMeBesideTheExecutableEachTimeInANewWindow) {
  testing::TempDir exe;
  platform_.SetExecutableDir(exe.path());
  actHelpExecute(ui_, platform_);  // no read-me: nothing, not a word
  EXPECT_THAT(ui_.log_viewers(), IsEmpty());
  EXPECT_THAT(MessageTexts(), IsEmpty());

  exe.Write("ReadMe.TXT", "Quoldex\nreads classes.\n");
  actHelpExecute(ui_, platform_);
  actHelpExecute(ui_, platform_);
  ASSERT_EQ(ui_.log_viewers().size(), 2u);
  for (const auto& window : ui_.log_viewers()) {
    EXPECT_EQ(window->Caption(), "UCC Log");
    EXPECT_EQ(window->Text(), "Quoldex\r\nreads classes.\r\n");
  }
}

}  // namespace
}  // namespace quoldex::tools::test
