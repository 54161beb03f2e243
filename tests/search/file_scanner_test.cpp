#include "search/file_scanner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>

#include "temp_tree.h"
#include "text/western.h"

namespace quoldex::search {
namespace {

using testing::TempDir;
using testing::WriteFile;

// Writes `content` to a script file and searches it for `pattern`.
int64_t Scan(FileScanner& scanner, std::string_view content, std::string_view pattern) {
  TempDir dir;
  WriteFile(dir.Join("a.uc"), content);
  ScriptText text;
  EXPECT_EQ(text.Open(dir.Join("a.uc")), ScriptText::OpenResult::kOpened);
  TTISearch searcher;
  searcher.SetPattern(pattern);
  return scanner.FirstMatch(text, searcher);
}

TEST(FileScanner, FindsMatchesAcrossChunkBoundaries) {
  FileScanner scanner(8);
  // Chunks hold 8 new bytes each: "abcdefgh|ijklmnop|qr".
  EXPECT_EQ(Scan(scanner, "abcdefghijklmnopqr", "GHI"), 7);       // straddles the first boundary
  EXPECT_EQ(Scan(scanner, "abcdefghijklmnopqr", "ijklmnop"), 9);  // exactly the second chunk
  EXPECT_EQ(Scan(scanner, "abcdefghijklmnopqr", "pqr"), 16);      // ends the file
  EXPECT_EQ(Scan(scanner, "abcdefghijklmnopqr", "abcdefghijklmnopqr"), 1);
  EXPECT_EQ(Scan(scanner, "abcdefghijklmnopqr", "ra"), 0);
  EXPECT_EQ(Scan(scanner, "abcdefghij", "abcdefghijk"), 0);
  EXPECT_EQ(Scan(scanner, "", "a"), 0);
}

TEST(FileScanner, ReadsNoMoreThanTheFileHeldWhenOpened) {
  TempDir dir;
  WriteFile(dir.Join("grow.uc"), "abcdefghij");
  ScriptText text;
  ASSERT_EQ(text.Open(dir.Join("grow.uc")), ScriptText::OpenResult::kOpened);
  WriteFile(dir.Join("grow.uc"), "abcdefghijNEEDLE");  // rewritten in place, longer
  FileScanner scanner(8);
  TTISearch searcher;
  searcher.SetPattern("needle");
  EXPECT_EQ(scanner.FirstMatch(text, searcher), 0);
}

// One scanner, reused over files of varied sizes, chunk sizes and encodings,
// gives the first match of a whole-text search every time.
TEST(FileScanner, EqualsAWholeTextSearchForAnyChunkSize) {
  std::mt19937 rnd(7);
  auto pick = [&](size_t n) { return static_cast<size_t>(rnd() % n); };
  TempDir dir;
  const std::string file = dir.Join("f.uc");
  for (size_t chunk : {8, 9, 13, 64, 1 << 20}) {
    FileScanner scanner(chunk);
    for (int round = 0; round < 200; ++round) {
      std::string content(pick(200), ' ');
      for (char& c : content) c = "aAbB"[pick(4)];
      std::string pattern(1 + pick(6), ' ');
      for (char& c : pattern) c = "abAB"[pick(4)];
      const bool utf16 = pick(2) == 1;
      std::string bytes = utf16 ? std::string("\xFF\xFE", 2) : std::string();
      for (char c : content) utf16 ? (bytes += c, bytes += '\0') : bytes += c;
      WriteFile(file, bytes);
      ScriptText text;
      ASSERT_EQ(text.Open(file), ScriptText::OpenResult::kOpened);
      TTISearch searcher;
      searcher.SetPattern(pattern);
      const size_t at = text::LowerCase(content).find(text::LowerCase(pattern));
      const int64_t expected = at == std::string::npos ? 0 : static_cast<int64_t>(at) + 1;
      ASSERT_EQ(scanner.FirstMatch(text, searcher), expected)
          << "chunk " << chunk << " round " << round << " utf16 " << utf16;
    }
  }
}

}  // namespace
}  // namespace quoldex::search
