#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/temp_dir.h"

namespace quoldex::platform {
namespace {

using Lines = std::vector<std::string>;

Lines Split(std::string_view text) {
  Lines lines = {"left over"};
  SplitTextLines(text, lines);
  return lines;
}

TEST(SplitTextLines, EachLineBreakKindEndsOneLine) {
  EXPECT_EQ(Split("a\nb\rc\r\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(Split("a\n\rb"), (Lines{"a", "", "b"}));  // LF CR is two breaks
  EXPECT_EQ(Split("a\r\n\r\nb"), (Lines{"a", "", "b"}));
}

TEST(SplitTextLines, ABreakAtTheEndAddsNoEmptyLine) {
  EXPECT_EQ(Split("a\n"), (Lines{"a"}));
  EXPECT_EQ(Split("a\r\n"), (Lines{"a"}));
  EXPECT_EQ(Split("a\n\n"), (Lines{"a", ""}));
  EXPECT_EQ(Split("\n"), (Lines{""}));
  EXPECT_EQ(Split(""), Lines{});
}

TEST(SplitTextLines, NulEndsTheText) {
  using namespace std::string_literals;
  EXPECT_EQ(Split("a\nb\0c\nd"s), (Lines{"a", "b"}));
  EXPECT_EQ(Split("\0a"s), Lines{});
}

TEST(LoadTextLines, ReadsTheWholeFile) {
  testing::TempDir dir;
  std::string big(200000, 'x');
  const std::string file = dir.Write("t.uc", "first\r\n" + big + "\nlast");
  Lines lines;
  LoadTextLines(file, lines);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "first");
  EXPECT_EQ(lines[1], big);
  EXPECT_EQ(lines[2], "last");
}

TEST(LoadTextLines, AFileThatCannotBeReadRaisesCannotOpenFile) {
  testing::TempDir dir;
  Lines lines;
  try {
    LoadTextLines(dir.Path("missing.uc"), lines);
    FAIL() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.Path("missing.uc"));
    EXPECT_EQ(e.Path(), dir.Path("missing.uc"));
  }
  EXPECT_THROW(LoadTextLines(dir.path(), lines), EFOpenError);  // a folder
}

}  // namespace
}  // namespace quoldex::platform
