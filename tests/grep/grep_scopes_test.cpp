// The four scopes of the grep dialog against results checked by hand on a
// small script tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "grep_test_env.h"

namespace quoldex::grep::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class GrepScopesTest : public GrepTest {
 protected:
  GrepScopesTest() {
    object_ = AddScript("Object", "<none>", "core", "class Object\n\tnative;\n// Touch nothing\n");
    actor_ = AddScript("Actor", "object", "engine",
                       "class Actor extends Object;\nevent Touch( Actor Other );\n");
    pawn_ = AddScript("Pawn", "actor", "engine", "class Pawn extends Actor;\n// no match here\n");
    info_ = AddScript("Info", "actor", "engine", "class Info extends Actor;\nfunction TOUCH();\n");
    my_pawn_ = AddScript("MyPawn", "pawn", "mymod",
                         "class MyPawn extends Pawn;\nsimulated event touch();\n");
    // Catalogued, but its file went away after the scan.
    AddClass("Gone", "actor", "engine", scripts_.Path("engine/Classes/Gone.uc"));
  }

  std::string object_, actor_, pawn_, info_, my_pawn_;
};

TEST_F(GrepScopesTest, AllClassesSearchesEveryClassFileInNameOrder) {
  Grep("touch", kScopeAllClasses);
  // The first case-insensitive match's 1-based offset; Gone is counted but
  // not listed.
  EXPECT_THAT(Rows(), ElementsAre("Actor|" + actor_ + "|35", "Info|" + info_ + "|36",
                                  "MyPawn|" + my_pawn_ + "|44", "Object|" + object_ + "|26"));
  EXPECT_EQ(dialog_.StatusText(), Summary(6, 4));
  EXPECT_EQ(dialog_.SelectedRow(), 0u);
  EXPECT_TRUE(dialog_.EditEnabled());
  EXPECT_TRUE(dialog_.BrowseEnabled());
  // The dialog's own table, prepared through the main window once.
  EXPECT_EQ(prepared_, 1);
  Grep("nowhere", kScopeAllClasses);
  EXPECT_THAT(Rows(), IsEmpty());
  EXPECT_EQ(dialog_.StatusText(), Summary(6, 0));
  EXPECT_EQ(dialog_.SelectedRow(), std::nullopt);
  EXPECT_FALSE(dialog_.EditEnabled());
  EXPECT_EQ(prepared_, 1);
}

TEST_F(GrepScopesTest, ProgressTextsNameEachFileAndEachHit) {
  dialog_.rgrpSearchInClick(kScopePackage);
  dialog_.SetPackage("mymod");
  dialog_.edtSearchForChange("TOUCH");
  dialog_.actStartSearchExecute();
  // The dialog's own status line, not the main window's.
  EXPECT_THAT(ui_.status_texts(), IsEmpty());
  EXPECT_EQ(dialog_.StatusText(), Summary(1, 1));
  EXPECT_GE(ui_.process_messages_count(), 2);  // before the file and after the hit
}

TEST_F(GrepScopesTest, AncestorsSearchesParentToRootButNotTheClassItself) {
  dialog_.SetAncestorOf("mypawn");
  Grep("CLASS", kScopeAncestors);
  EXPECT_THAT(Rows(), ElementsAre("Pawn|" + pawn_ + "|1", "Actor|" + actor_ + "|1",
                                  "Object|" + object_ + "|1"));
  EXPECT_EQ(dialog_.StatusText(), Summary(3, 3));

  dialog_.SetAncestorOf("Nobody");
  Grep("class", kScopeAncestors);
  EXPECT_THAT(Rows(), IsEmpty());
  EXPECT_EQ(dialog_.StatusText(), Summary(0, 0));
}

TEST_F(GrepScopesTest, AncestorsEndAtTheFirstNameMetTwice) {
  AddScript("LoopA", "loopb", "loops", "class LoopA extends LoopB;\n");
  AddScript("LoopB", "loopc", "loops", "class LoopB extends LoopC;\n");
  AddScript("LoopC", "loopa", "loops", "class LoopC extends LoopA;\n");
  AddScript("LoopD", "loopb", "loops", "class LoopD extends LoopB;\n");
  AddScript("Selfish", "selfish", "loops", "class Selfish extends Selfish;\n");

  dialog_.SetAncestorOf("LoopA");  // back to the class itself
  Grep("extends", kScopeAncestors);
  EXPECT_EQ(dialog_.Results().size(), 2u);
  EXPECT_EQ(dialog_.StatusText(), Summary(2, 2));

  dialog_.SetAncestorOf("LoopD");  // into a loop it is not part of
  Grep("extends", kScopeAncestors);
  std::vector<std::string> names;
  for (const GrepResult& r : dialog_.Results()) names.push_back(r.name);
  EXPECT_THAT(names, ElementsAre("LoopB", "LoopC", "LoopA"));

  dialog_.SetAncestorOf("Selfish");
  Grep("extends", kScopeAncestors);
  EXPECT_EQ(dialog_.StatusText(), Summary(0, 0));
}

TEST_F(GrepScopesTest, PackageFilterStaysOnUntilAllClassesSwitchesItOff) {
  dialog_.SetPackage("ENGINE");
  Grep("touch", kScopePackage);
  EXPECT_THAT(Rows(), ElementsAre("Actor|" + actor_ + "|35", "Info|" + info_ + "|36"));
  EXPECT_EQ(dialog_.StatusText(), Summary(4, 2));
  EXPECT_EQ(dialog_.dtblGrep_().Filter(), "Package = 'ENGINE'");
  EXPECT_TRUE(dialog_.dtblGrep_().Filtered());

  Grep("touch", kScopeAllClasses);
  EXPECT_FALSE(dialog_.dtblGrep_().Filtered());
  EXPECT_EQ(dialog_.StatusText(), Summary(6, 4));

  // Whole values only: a trailing "*" is no prefix pattern.
  dialog_.SetPackage("eng*");
  Grep("touch", kScopePackage);
  EXPECT_EQ(dialog_.StatusText(), Summary(0, 0));
  // No package: nothing is searched and the filter is left as it was.
  dialog_.SetPackage("");
  Grep("touch", kScopePackage);
  EXPECT_EQ(dialog_.StatusText(), Summary(0, 0));
  EXPECT_EQ(dialog_.dtblGrep_().Filter(), "Package = 'eng*'");
}

TEST_F(GrepScopesTest, AQuoteInAPackageNameNeitherBreaksNorWidensTheFilter) {
  const std::string quoted = AddScript("Quoted", "object", "it's", "class Quoted;\n");
  AddScript("Plain", "object", "it", "class Plain;\n");
  AddScript("Plural", "object", "its", "class Plural;\n");
  EXPECT_EQ(PackageFilter("it's"), "Package = 'it''s'");

  dialog_.SetPackage("it's");
  Grep("class", kScopePackage);
  EXPECT_THAT(Rows(), ElementsAre("Quoted|" + quoted + "|1"));
  EXPECT_EQ(dialog_.StatusText(), Summary(1, 1));

  // A name written to close the string and add a condition of its own is
  // one (unknown) package name.
  dialog_.SetPackage("x' or Package <> 'x");
  Grep("class", kScopePackage);
  EXPECT_EQ(dialog_.StatusText(), Summary(0, 0));
}

TEST_F(GrepScopesTest, DirectoryListsMatchingFilesByNameWithoutLocation) {
  const std::string notes = Script("engine/notes.txt", "Touch me\n");
  const std::string backup = Script("engine/Old/Actor.UC.bak", "touch\n");
  dialog_.SetDirectory(scripts_.Path("engine/"));
  dialog_.SetMask("*.uc");
  Grep("touch", kScopeDirectory);
  std::vector<std::string> rows = Rows();
  std::sort(rows.begin(), rows.end());  // the file system's order
  EXPECT_THAT(rows, ElementsAre("Actor|" + actor_ + "|", "Info|" + info_ + "|"));
  EXPECT_EQ(dialog_.StatusText(), Summary(3, 2));  // only files the mask accepts

  dialog_.SetMask("*.*");
  Grep("touch", kScopeDirectory);
  rows = Rows();
  std::sort(rows.begin(), rows.end());
  EXPECT_THAT(rows, ElementsAre("Actor|" + actor_ + "|", "Actor|" + backup + "|",
                                "Info|" + info_ + "|", "notes.txt|" + notes + "|"));
  EXPECT_EQ(dialog_.StatusText(), Summary(5, 4));

  dialog_.SetDirectory(scripts_.Path("NoSuchFolder"));
  Grep("touch", kScopeDirectory);
  EXPECT_EQ(dialog_.StatusText(), Summary(0, 0));
}

TEST_F(GrepScopesTest, AnErrorInsideASearchStillEndsIdleWithTheSummary) {
  dialog_.dtblGrep_().SetTableName("missing.dat");
  dialog_.edtSearchForChange("touch");
  dialog_.rgrpSearchInClick(kScopeAllClasses);
  EXPECT_ANY_THROW(dialog_.actStartSearchExecute());
  EXPECT_EQ(dialog_.StatusText(), Summary(0, 0));
  EXPECT_FALSE(dialog_.Searching());
  EXPECT_TRUE(dialog_.StartSearchEnabled());
  EXPECT_FALSE(dialog_.CancelEnabled());
}

TEST(GrepTextTest, ResultCaptionEndsBeforeTheFirstDotUcInAnyCase) {
  EXPECT_EQ(ResultCaption("Actor.uc"), "Actor");
  EXPECT_EQ(ResultCaption("Actor.UC.bak"), "Actor");
  EXPECT_EQ(ResultCaption("a.ucb.uc"), "a");
  EXPECT_EQ(ResultCaption("readme.txt"), "readme.txt");
  EXPECT_EQ(FolderPart("/games/UT/System"), "/games/UT/");
  EXPECT_EQ(FolderPart("/games/UT/System/"), "/games/UT/System/");
  EXPECT_EQ(FolderPart("System"), "");
}

}  // namespace
}  // namespace quoldex::grep::test
