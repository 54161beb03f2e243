#include "catalogue/class_header_reader.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_ui.h"
#include "fakes/temp_dir.h"
#include "platform/text_file.h"

namespace quoldex::catalogue {
namespace {

using testing::FakeUi;
using testing::TempDir;
using Writes = std::vector<std::pair<int32_t, std::string>>;

class ClassHeaderReaderTest : public ::testing::Test {
 protected:
  ClassHeaderReaderTest()
      : reader_(ui_, [this](int32_t id, const std::string& parent) {
          writes_.emplace_back(id, parent);
        }) {}

  // Reads a script file of `text` as class 7; the parent names written.
  Writes Read(const std::string& text) {
    writes_.clear();
    reader_.ReadClassHeader(dir_.Write("Foo.uc", text), 7);
    return writes_;
  }
  static Writes Parent(const std::string& name) { return {{7, name}}; }

  FakeUi ui_;
  TempDir dir_;
  Writes writes_;
  ClassHeaderReader reader_;
};

TEST_F(ClassHeaderReaderTest, ParentAfterTheKeywordLowerCased) {
  EXPECT_EQ(Read("class Foo extends Bar;\n\n"), Parent("bar"));
  EXPECT_EQ(Read("Class Foo Expands Bar config(User);\n{\n"), Parent("bar"));
  EXPECT_EQ(Read("\t \x01 CLASS Foo EXTENDS BAR;\nx\n"), Parent("bar"));  // 0-32 trimmed
  EXPECT_EQ(Read("class Foo extends Bar(X)\n{\n"), Parent("bar(x)"));     // "(" is no terminator
  EXPECT_EQ(Read("class Foo extends Bar,Baz{\n}\n"), Parent("bar,baz{"));
  EXPECT_EQ(Read("class Foo extends Bar//native\n}\n"), Parent("bar"));
  EXPECT_EQ(Read("class Foo extends Bar\bX\n}\n"), Parent("bar"));
}

TEST_F(ClassHeaderReaderTest, NoParentKeywordMakesARootClass) {
  EXPECT_EQ(Read("class Object;\n\n"), Parent("<none>"));
  EXPECT_EQ(Read("class Object\n  native;\n"), Parent("<none>"));
  // Only a blank after the keyword counts: a tab hides it.
  EXPECT_EQ(Read("class Foo extends\tBar;\n}\n"), Parent("<none>"));
}

TEST_F(ClassHeaderReaderTest, TheFollowingLineContinuesTheDeclarationAsWritten) {
  EXPECT_EQ(Read("class Foo\n    extends Bar;\n"), Parent("bar"));
  EXPECT_EQ(Read("class Foo\nextends Bar\n"), Parent("bar"));  // the last line as continuation
  EXPECT_EQ(Read("class Foo\r    extends Bar;\r"), Parent("bar"));
  EXPECT_EQ(Read("class Foo\r\n    extends Bar;\r\n"), Parent("bar"));
  // The continuation is not lower-cased, so its keyword is searched as written.
  EXPECT_EQ(Read("class Foo\n    Extends Bar;\n"), Parent("<none>"));
  EXPECT_EQ(Read("class Foo\n    EXPANDS Bar;\n"), Parent("<none>"));
}

TEST_F(ClassHeaderReaderTest, ExtendsIsLookedForFirstAnywhere) {
  EXPECT_EQ(Read("class A expands B; // extends C\n\n"), Parent("c"));
  EXPECT_EQ(Read("class A expands B;\n// extends C\n"), Parent("c"));
}

TEST_F(ClassHeaderReaderTest, AnEmptyNameAfterATerminatorEndsTheSearchWithoutWriting) {
  EXPECT_EQ(Read("class Foo extends  Bar;\nclass Foo extends Baz;\nx\n"), Writes{});
  EXPECT_EQ(Read("class Foo extends /*Bar*/;\nclass Foo extends Baz;\nx\n"), Writes{});
}

TEST_F(ClassHeaderReaderTest, ExtendsWithoutItsBlankIsNoKeyword) {
  // "extends;" is not "extends ": the declaration names no parent...
  EXPECT_EQ(Read("class Foo extends;\n{\n"), Parent("<none>"));
  // ...unless the continuation line holds the keyword.
  EXPECT_EQ(Read("class Foo extends;\nclass Foo extends Baz;\nx\n"), Parent("baz"));
}

TEST_F(ClassHeaderReaderTest, AnEmptyNameAtTheEndLetsTheSearchGoOn) {
  EXPECT_EQ(Read("class Foo extends\n\nclass Foo extends Bar;\nx\n"), Parent("bar"));
}

TEST_F(ClassHeaderReaderTest, LinesThatAreNotDeclarationsAreSkipped) {
  EXPECT_EQ(Read("// class Foo extends Bar;\n"
                 "//=====\n"
                 "\n"
                 "   \n"
                 "  // Class Foo extends Commented;\n"
                 "#exec TEXTURE IMPORT NAME=X\n"
                 "class Foo extends Real;\n"
                 "\n"),
            Parent("real"));
  // Block comments are not understood, and the test is a plain prefix test.
  EXPECT_EQ(Read("/*\nclass Foo extends Commented;\n*/\n"), Parent("commented"));
  EXPECT_EQ(Read("classify extends Odd;\nclass Foo extends Bar;\nx\n"), Parent("odd"));
}

TEST_F(ClassHeaderReaderTest, TheLastLineIsNeverADeclarationOfItsOwn) {
  EXPECT_EQ(Read("class Foo extends Bar;"), Writes{});
  EXPECT_EQ(Read("class Foo extends Bar;\n"), Writes{});
  EXPECT_EQ(Read("class Foo extends Bar;\r\n"), Writes{});
  EXPECT_EQ(Read(""), Writes{});
  EXPECT_EQ(Read("// header\nclass Foo extends Bar;\n"), Writes{});
  EXPECT_EQ(Read(std::string("class Foo extends Bar;\n\0\nmore\n", 29)), Writes{});  // NUL ends
}

TEST_F(ClassHeaderReaderTest, LongNamesArePassedWholeUpTo255Characters) {
  // The catalogue's column keeps the first 35 of them.
  const std::string forty(40, 'P');
  EXPECT_EQ(Read("class Foo extends " + forty + ";\nx\n"), Parent(std::string(40, 'p')));
  const std::string long_name(300, 'Q');
  EXPECT_EQ(Read("class Foo extends " + long_name + "\nx\n"), Parent(std::string(255, 'q')));
}

TEST_F(ClassHeaderReaderTest, ShowsWhatItExaminesAndLetsTheUserAct) {
  const std::string file = dir_.Write("Pawn.uc", "class Pawn extends Actor;\n\n");
  reader_.ReadClassHeader(file, 3);
  EXPECT_EQ(ui_.status_texts(), std::vector<std::string>{"Examining " + file});
  EXPECT_EQ(ui_.process_messages_count(), 1);
  EXPECT_EQ(writes_, (Writes{{3, "actor"}}));
}

TEST_F(ClassHeaderReaderTest, AFileThatCannotBeOpenedStopsWithItsPath) {
  const std::string file = dir_.Path("Gone.uc");
  try {
    reader_.ReadClassHeader(file, 7);
    FAIL() << "no error";
  } catch (const platform::EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + file);
  }
  EXPECT_EQ(writes_, Writes{});
  EXPECT_EQ(ui_.status_texts(), std::vector<std::string>{"Examining " + file});
}

TEST_F(ClassHeaderReaderTest, AFailedWriteStopsTheRead) {
  ClassHeaderReader failing(
      ui_, [](int32_t, const std::string&) { throw std::runtime_error("Record locked"); });
  EXPECT_THROW(failing.ReadClassHeader(dir_.Write("A.uc", "class A extends B;\n\n"), 1),
               std::runtime_error);
}

TEST_F(ClassHeaderReaderTest, TheLineBufferLivesFromFirstUseUntilReleased) {
  EXPECT_FALSE(reader_.HasLineBuffer());
  EXPECT_EQ(Read("class A extends B;\n\n"), Parent("b"));
  EXPECT_TRUE(reader_.HasLineBuffer());
  // A shorter second file leaves nothing of the first behind.
  EXPECT_EQ(Read("class C\n"), Writes{});
  reader_.ReleaseLineBuffer();
  EXPECT_FALSE(reader_.HasLineBuffer());
  EXPECT_EQ(Read("class D extends E;\n\n"), Parent("e"));
}

TEST_F(ClassHeaderReaderTest, LineAndDeclarationChecksReportWhetherTheSearchEnds) {
  EXPECT_FALSE(reader_.CheckHeaderLine("  ", "class A extends B;", 1));
  EXPECT_FALSE(reader_.CheckHeaderLine("//class A extends B;", "", 1));
  EXPECT_FALSE(reader_.CheckHeaderLine("struct S extends B;", "", 1));
  EXPECT_TRUE(reader_.CheckHeaderLine("class A", "extends B", 1));
  EXPECT_FALSE(reader_.StoreParentName("class a extends ", 1));  // nothing after it
  EXPECT_TRUE(reader_.StoreParentName("class a extends ;", 1));  // terminator at once
  EXPECT_TRUE(reader_.StoreParentName("class a", 1));            // "<none>" written
  EXPECT_EQ(writes_, (Writes{{1, "b"}, {1, "<none>"}}));
}

}  // namespace
}  // namespace quoldex::catalogue
