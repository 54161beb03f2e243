#include "catalogue/class_header_reader.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "fakes/fake_ui.h"
#include "fakes/temp_dir.h"

namespace quoldex::catalogue {
namespace {

using testing::FakeUi;
using testing::TempDir;
using Parent = std::optional<std::string>;

// `text` (ASCII) as UTF-16 with its byte-order mark.
std::string Utf16(const std::string& text, bool little) {
  std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
  for (char c : text) {
    bytes += little ? c : '\0';
    bytes += little ? '\0' : c;
  }
  return bytes;
}

class ClassHeaderReaderTest : public ::testing::Test {
 protected:
  // The parent read from a script file holding `bytes`.
  Parent Read(const std::string& bytes) {
    return reader_.ReadClassHeader(dir_.Write("Foo.uc", bytes));
  }

  FakeUi ui_;
  TempDir dir_;
  ClassHeaderReader reader_{ui_};
};

TEST_F(ClassHeaderReaderTest, DeclarationsAsModdersWriteThem) {
  const std::string body = "\n\nvar int x;\n";
  struct Case {
    std::string text;
    Parent parent;
  } cases[] = {
      // Real scripts that were misread once.
      {"class OneLine extends Actor;", "actor"},  // the file's last line
      {"class TwoSp extends  Actor;" + body, "actor"},
      {"class TabAfter extends\tActor;" + body, "actor"},
      {"\xEF\xBB\xBF"
       "class Bom extends Actor;" +
           body,
       "actor"},
      {Utf16("class Wide extends Actor;\r\n\r\nvar int x;\r\n", true), "actor"},
      {Utf16("// EnhancedSiegeMessage\r\nclass Wide expands LocalMessagePlus;\r\n", false),
       "localmessageplus"},
      {"/*\nclass Cmt extends Wrong;\n*/\nclass Cmt extends Actor;" + body, "actor"},
      {"class Split\nextends\nActor;" + body, "actor"},
      {"class Foo\n    Extends Bar;\n", "bar"},    // any letter case on any line
      {"class A expands B; // extends C\n", "b"},  // a comment is no declaration
      {"/* a */ class Foo /* b */ extends /* c */ Bar /* d */;\n", "bar"},
      {"class Foo extends // the parent:\n  Bar;\n", "bar"},
      {"classify extends Odd;\nclass Foo extends Bar;\n", "bar"},  // "class" is a whole word
      {"class'Foo'.default.x = 1;\nclass Foo extends Bar;\n", "bar"},
      {"#exec OBJ LOAD FILE=Textures/*.utx\nclass Foo extends Bar;\n", "bar"},
      {"x = 1; class Foo extends Bar;\nclass Foo extends Baz;\n", "baz"},  // not a line's start
      // As the catalogue has always read them.
      {"class Foo extends Bar;\n\n", "bar"},
      {"Class Foo Expands Bar config(User);\n{\n", "bar"},
      {"\t \x01 CLASS Foo EXTENDS BAR;\nx\n", "bar"},  // characters 1-32 are blanks
      {"class Foo\n    extends Bar;\n", "bar"},
      {"class Foo\r    extends Bar;\r", "bar"},
      {"class Foo extends Bar(X)\n{\n", "bar(x)"},  // "(" does not end a name
      {"class Foo extends Bar,Baz{\n}\n", "bar,baz{"},
      {"class Foo extends Bar//native\n", "bar"},
      {"class Foo extends Bar\bX\n", "bar"},
      {"class Object;\n", "<none>"},
      {"class Object\n  native;\n", "<none>"},
      {"class Foo extends;\n{\n", "<none>"},
      {"class Foo extends /*Bar*/;\n", "<none>"},
      {"class Foo extends", "<none>"},
      {"class A extends B;\nclass A extends C;\n", "b"},  // the first declaration wins
      {"// class Foo extends Bar;\n//=====\n\n   \n  // Class Foo extends X;\n"
       "#exec TEXTURE IMPORT NAME=X\nclass Foo extends Real;\n",
       "real"},
      {"class Foo extends " + std::string(40, 'P') + ";\n", std::string(40, 'p')},
      {"class Foo extends " + std::string(300, 'Q') + "\n", std::string(255, 'q')},
      // No declaration: the row keeps what it has.
      {"", std::nullopt},
      {"var int x;\n", std::nullopt},
      {"class", std::nullopt},
      {"/* class Foo extends Bar;", std::nullopt},                    // a comment that never ends
      {std::string("\0class Foo extends Bar;\n", 24), std::nullopt},  // NUL ends the text
      {std::string("class Foo extends Bar\0Baz;\n", 27), "bar"},
  };
  for (const Case& c : cases) EXPECT_EQ(Read(c.text), c.parent) << c.text;
}

TEST_F(ClassHeaderReaderTest, ShowsWhatItExaminesAndLetsTheUserAct) {
  const std::string file = dir_.Write("Pawn.uc", "class Pawn extends Actor;\n\n");
  EXPECT_EQ(reader_.ReadClassHeader(file), "actor");
  EXPECT_EQ(ui_.status_texts(), std::vector<std::string>{"Examining " + file});
  EXPECT_EQ(ui_.process_messages_count(), 1);
}

TEST_F(ClassHeaderReaderTest, WhatCannotBeReadRaisesCannotOpenFile) {
  const std::string gone = dir_.Path("Gone.uc");
  try {
    reader_.ReadClassHeader(gone);
    FAIL() << "no error";
  } catch (const ENotRegularFile&) {
    FAIL() << "a missing file is no special file";
  } catch (const platform::EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + gone);
  }
  EXPECT_EQ(ui_.status_texts(), std::vector<std::string>{"Examining " + gone});

#ifndef _WIN32  // FIFOs and links to devices are POSIX subjects
  ASSERT_EQ(mkfifo(dir_.Path("Pipe.uc").c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", dir_.Path("Zero.uc").c_str()), 0);
  alarm(20);  // a read that blocks or never ends fails the test program
  for (const std::string name : {"Pipe.uc", "Zero.uc", ""}) {
    EXPECT_THROW(reader_.ReadClassHeader(dir_.Path(name)), ENotRegularFile) << name;
  }
  alarm(0);
#endif
}

TEST_F(ClassHeaderReaderTest, TheBufferLivesFromFirstUseUntilReleased) {
  EXPECT_FALSE(reader_.HasLineBuffer());
  EXPECT_EQ(Read("class A extends B;\n"), "b");
  EXPECT_TRUE(reader_.HasLineBuffer());
  // A shorter second file leaves nothing of the first behind.
  EXPECT_EQ(Read("class C"), "<none>");
  reader_.ReleaseLineBuffer();
  EXPECT_FALSE(reader_.HasLineBuffer());
  EXPECT_EQ(Read("class D extends E;\n"), "e");
}

TEST_F(ClassHeaderReaderTest, ADeclarationFarIntoALongFileIsFound) {
  // Far more comment than the buffer holds, a line break split anywhere.
  std::string text;
  for (int i = 0; i < 20000; ++i)
    text += "// class No extends Decoy; line " + std::to_string(i) + "\r\n";
  EXPECT_EQ(Read(text + "class Far extends Away;\n"), "away");
  EXPECT_EQ(Read(Utf16(text + "class Far extends Away;\n", true)), "away");
}

// A generated script: the text, and the parent a reader must find in it.
struct Generated {
  std::string text;
  Parent parent;
};

class Generator {
 public:
  explicit Generator(uint32_t seed) : rnd_(seed) {}

  Generated Script() {
    Generated g;
    for (int n = Pick(4); n > 0; --n) g.text += OneOf(kPreambleLines) + "\n";
    if (Pick(3) == 0) g.text += OneOf({" ", "\t", "/* x */ ", "  /*\n*/ "});
    if (Pick(10) == 0) return {g.text + "var int x;\n", std::nullopt};
    g.text += MixCase("class") + Gap() + Identifier(1 + Pick(15)) + Gap();
    if (Pick(5) == 0) {
      g.text += OneOf({";", "native;", "abstract config(User);", ""});
      g.parent = "<none>";
    } else {
      const std::string parent = Identifier(1 + Pick(40));
      g.text += MixCase(Pick(2) ? "extends" : "expands") + Gap() + parent +
                OneOf({";", " native;", "/* c */;", "//x\n", "\n\tconfig(User);", ""});
      g.parent = Lower(parent);
    }
    if (Pick(2)) g.text += "\n\nvar int x;\nclass Other extends Wrong;\n";
    switch (Pick(4)) {
      case 1:
        g.text = "\xEF\xBB\xBF" + g.text;
        break;
      case 2:
        g.text = Utf16(g.text, true);
        break;
      case 3:
        g.text = Utf16(g.text, false);
        break;
    }
    return g;
  }

 private:
  static constexpr std::initializer_list<const char*> kPreambleLines = {
      "",
      "// class Decoy extends Wrong;",
      "/* block\nclass Decoy extends Wrong; */",
      "#exec TEXTURE IMPORT NAME=class FILE=Textures/*.pcx",
      "   ",
      "\t//====",
      "/**/"};

  int Pick(int n) { return static_cast<int>(rnd_() % static_cast<uint32_t>(n)); }
  std::string OneOf(std::initializer_list<const char*> items) {
    return *(items.begin() + Pick(static_cast<int>(items.size())));
  }
  // White space of one to three pieces, comments among them.
  std::string Gap() {
    std::string gap;
    for (int n = 1 + Pick(3); n > 0; --n)
      gap += OneOf({" ", "\t", "\r\n", "\n", "\r", "  ", "/* x */", "// class No extends Decoy\n",
                    "/*\nclass No extends Decoy;\n*/"});
    return gap;
  }
  std::string MixCase(std::string word) {
    for (char& c : word)
      if (Pick(2)) c = static_cast<char>(c - 'a' + 'A');
    return word;
  }
  std::string Identifier(int length) {
    static const std::string kChars =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_0123456789";
    std::string name;
    for (int i = 0; i < length; ++i) name += kChars[Pick(i == 0 ? 53 : 63)];
    return name;
  }
  static std::string Lower(std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
  }

  std::mt19937 rnd_;
};

TEST_F(ClassHeaderReaderTest, GeneratedDeclarationsReadAsWritten) {
  Generator generator(20261209);
  for (int round = 0; round < 1000; ++round) {
    const Generated g = generator.Script();
    ASSERT_EQ(Read(g.text), g.parent) << "round " << round << ":\n" << g.text;
  }
}

}  // namespace
}  // namespace quoldex::catalogue
