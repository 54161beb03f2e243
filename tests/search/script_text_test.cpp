#include "search/script_text.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <string>

#include "search/file_search.h"
#include "temp_tree.h"

namespace quoldex::search {
namespace {

using testing::TempDir;
using testing::WriteFile;
using Open = ScriptText::OpenResult;

// The whole text of `path`, read `piece` bytes at a time; "<open N>" when the
// file is refused, "<error>" when a read fails.
std::string ReadAll(const std::string& path, size_t piece = 4096) {
  ScriptText text;
  if (const Open result = text.Open(path); result != Open::kOpened)
    return "<open " + std::to_string(static_cast<int>(result)) + ">";
  std::string all;
  std::string buffer(piece, '\0');
  for (;;) {
    const ssize_t got = text.Read(buffer.data(), buffer.size());
    if (got < 0) return "<error>";
    if (got == 0) return all;
    EXPECT_LE(static_cast<size_t>(got), piece);
    all.append(buffer, 0, static_cast<size_t>(got));
  }
}

// `text` (code units) as UTF-16 bytes, little- or big-endian, with no mark.
std::string Utf16(std::u16string_view text, bool little) {
  std::string bytes;
  for (char16_t unit : text) {
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    bytes += little ? low : high;
    bytes += little ? high : low;
  }
  return bytes;
}

const std::string kLittleMark("\xFF\xFE", 2);
const std::string kBigMark("\xFE\xFF", 2);

TEST(ScriptText, ByteOrderMarksAreNotTextAndUtf16IsGivenAsUtf8) {
  TempDir t;
  const std::string f = t.Join("a.uc");
  const std::u16string text = u"class \u00C9t\u00E9 extends \u20AC; // \U0001F600";
  const std::string utf8 = "class \xC3\x89t\xC3\xA9 extends \xE2\x82\xAC; // \xF0\x9F\x98\x80";
  struct Case {
    std::string bytes, text;
  } cases[] = {
      {"plain bytes\r\n\x80\xFF", "plain bytes\r\n\x80\xFF"},
      {"\xEF\xBB\xBF"
       "class A;",
       "class A;"},
      {"\xEF\xBB"
       "class A;",
       "\xEF\xBB"
       "class A;"},  // half a mark is text
      {"\xEF\xBB\xBF", ""},
      {kLittleMark + Utf16(text, true), utf8},
      {kBigMark + Utf16(text, false), utf8},
      {kLittleMark, ""},
      {kLittleMark + Utf16(u"ab", true) + "c", "ab"},  // a last odd byte is dropped
      // Unpaired surrogates: a high one before a letter, at the end; a low one.
      {kLittleMark + Utf16(u"a\xD83D"
                           u"b\xDE00"
                           u"c\xD83D",
                           true),
       "a\xEF\xBF\xBD"
       "b\xEF\xBF\xBD"
       "c\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    WriteFile(f, c.bytes);
    // Any piece size gives the same text, a surrogate pair split or not.
    for (size_t piece : {8, 9, 10, 11, 13, 4096}) EXPECT_EQ(ReadAll(f, piece), c.text) << piece;
    // The bound given before anything is read holds, whatever the encoding
    // turns out to be.
    ScriptText opened;
    ASSERT_EQ(opened.Open(f), Open::kOpened);
    EXPECT_GE(opened.RemainingBound(), c.text.size()) << c.text;
  }
}

TEST(ScriptText, TheEncodingIsKnownAfterTheFirstReadAndAMarkNeverReachesTheText) {
  TempDir t;
  const std::string f = t.Join("a.uc");
  struct Case {
    std::string bytes;
    ScriptText::Encoding encoding;
    std::string first_piece;
  } cases[] = {
      {"\xEF\xBB\xBF"
       "class A;",
       ScriptText::Encoding::kBytes, "class"},
      {kLittleMark + Utf16(u"class B;", true), ScriptText::Encoding::kUtf16LittleEndian, "c"},
      {kBigMark + Utf16(u"class C;", false), ScriptText::Encoding::kUtf16BigEndian, "c"},
  };
  for (const Case& c : cases) {
    WriteFile(f, c.bytes);
    ScriptText text;
    ASSERT_EQ(text.Open(f), Open::kOpened);
    char piece[ScriptText::kMinReadSize];
    const ssize_t got = text.Read(piece, sizeof piece);
    ASSERT_GT(got, 0);
    EXPECT_EQ(text.GetEncoding(), c.encoding);
    EXPECT_EQ(std::string(piece, static_cast<size_t>(got)), c.first_piece);
  }
}

// FIFOs, symbolic links to devices and alarm() are POSIX subjects.
#ifndef _WIN32
TEST(ScriptText, OnlyRegularFilesAreOpenedAndNothingBlocks) {
  TempDir t;
  ASSERT_EQ(mkfifo(t.Join("Pipe.uc").c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", t.Join("Zero.uc").c_str()), 0);
  ASSERT_EQ(symlink(t.Join("Pipe.uc").c_str(), t.Join("ToPipe.uc").c_str()), 0);
  WriteFile(t.Join("Real.uc"), "class Real;");
  ASSERT_EQ(symlink(t.Join("Real.uc").c_str(), t.Join("ToReal.uc").c_str()), 0);
  alarm(20);  // a blocking open ends the test program instead of hanging it
  for (const char* name : {"Pipe.uc", "Zero.uc", "ToPipe.uc", "."}) {
    ScriptText text;
    EXPECT_EQ(text.Open(t.Join(name)), Open::kNotRegularFile) << name;
    EXPECT_FALSE(text.IsOpen());
  }
  EXPECT_EQ(ReadAll(t.Join("ToReal.uc")), "class Real;");
  EXPECT_EQ(ReadAll(t.Join("Missing.uc")), "<open 1>");

  TFileSearch fs;  // nor does PosInFile block or read without end
  EXPECT_EQ(fs.PosInFile(t.Join("Zero.uc"), "a"), 0);
  EXPECT_EQ(fs.PosInFile(t.Join("Pipe.uc"), "a"), 0);
  alarm(0);
}
#endif  // !_WIN32

TEST(ScriptText, PosInFileCountsInTheTextOfAUtf16Script) {
  TempDir t;
  WriteFile(t.Join("w.uc"), kLittleMark + Utf16(u"// \u00E9\nclass W extends Actor;", true));
  WriteFile(t.Join("b.uc"),
            "\xEF\xBB\xBF"
            "class B extends Actor;");
  TFileSearch fs;
  EXPECT_EQ(fs.PosInFile(t.Join("w.uc"), "EXTENDS ACTOR"), 15);  // "é" is two bytes of text
  EXPECT_EQ(fs.PosInFile(t.Join("b.uc"), "extends"), 9);
  // And the content test of a walk finds the UTF-16 script too.
  fs.SetFindString("w extends");
  std::vector<std::string> added;
  fs.SetOnAddFile([&](const std::string&, const FindData& d, bool&) { added.push_back(d.name); });
  EXPECT_TRUE(fs.Execute(t.path()));
  EXPECT_EQ(added, std::vector<std::string>{"w.uc"});
}

}  // namespace
}  // namespace quoldex::search
