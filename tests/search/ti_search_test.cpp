#include "search/ti_search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "plain_window_search.h"
#include "text/western.h"

namespace quoldex::search {
namespace {

// Every match a searcher reports for `text`, Find then FindNext until 0.
std::vector<int64_t> AllMatches(TTISearch& s, std::string_view text) {
  std::vector<int64_t> found;
  for (int64_t pos = s.Find(text); pos != 0; pos = s.FindNext()) found.push_back(pos);
  return found;
}

TEST(TTISearch, FindsEachNonOverlappingMatchInOrder) {
  TTISearch s;
  s.SetPattern("bbbb");
  EXPECT_EQ(s.Find("abbbb"), 2);

  s.SetPattern("abc");
  EXPECT_EQ(s.Find("xxABCxxabc"), 3);
  EXPECT_TRUE(s.Found());
  EXPECT_EQ(s.WindowEnd(), 5);
  EXPECT_EQ(s.FindNext(), 8);
  EXPECT_EQ(s.FoundPos(), 8);
  EXPECT_EQ(s.MatchCount(), 2);
  EXPECT_EQ(s.FindNext(), 0);
  EXPECT_FALSE(s.Found());
  EXPECT_EQ(s.FoundPos(), 0);
  EXPECT_EQ(s.MatchCount(), 2);
  EXPECT_GT(s.WindowEnd(), s.TextLength());
  EXPECT_EQ(s.FindNext(), 0);  // stays exhausted

  s.SetPattern("aa");
  EXPECT_EQ(AllMatches(s, "aaaa"), (std::vector<int64_t>{1, 3}));
  EXPECT_EQ(AllMatches(s, "aaaaa"), (std::vector<int64_t>{1, 3}));

  s.SetPattern("xyz");
  EXPECT_EQ(s.Find("abcxyz"), 4);
  s.SetPattern("ReplicationInfo");
  EXPECT_EQ(s.Find("rEPLICATIONiNFO"), 1);
}

TEST(TTISearch, ShortTextsAndEmptyPatternFindNothing) {
  TTISearch s;
  s.SetPattern("abc");
  EXPECT_EQ(s.Find("abcabc"), 1);
  EXPECT_EQ(s.Find("ab"), 0);
  EXPECT_FALSE(s.Found());
  EXPECT_EQ(s.FoundPos(), 0);
  EXPECT_EQ(s.MatchCount(), 0);
  EXPECT_EQ(s.Find(""), 0);

  TTISearch empty;
  empty.SetPattern("");
  EXPECT_EQ(empty.Find("anything"), 0);
  EXPECT_EQ(empty.FindNext(), 0);
  EXPECT_FALSE(empty.Found());
}

TEST(TTISearch, SetPatternKeepsTheResultsOfTheLastSearch) {
  TTISearch s;
  s.SetPattern("b");
  EXPECT_EQ(s.Find("abab"), 2);
  s.SetPattern("zz");
  EXPECT_TRUE(s.Found());
  EXPECT_EQ(s.FoundPos(), 2);
  EXPECT_EQ(s.MatchCount(), 1);
  EXPECT_EQ(s.Pattern(), "zz");
  EXPECT_EQ(s.PatternLength(), 2);
}

TEST(TTISearch, AccentedLettersFoldButOtherBytesDoNot) {
  TTISearch s;
  s.SetPattern("\xC9T\xC9");  // ÉTÉ
  EXPECT_EQ(s.Find("l'\xE9t\xE9"), 3);
  s.SetPattern("\x8A\x9F");  // Š Ÿ
  EXPECT_EQ(s.Find("..\x9A\xFF"), 3);
  s.SetPattern("\xD7");  // × has no other case: ÷ (0xF7) must not match
  EXPECT_EQ(s.Find("\xF7\xF7"), 0);
  s.SetPattern("\xDF");  // ß folds to nothing else
  EXPECT_EQ(s.Find("ss\xDF"), 3);
  s.SetPattern(std::string("a\0b", 3));  // NUL bytes are ordinary bytes
  EXPECT_EQ(s.Find(std::string("xA\0Ba\0b", 7)), 2);
}

// Random texts and patterns over small alphabets that mix cases (ASCII and
// accented), NUL and 0xFF, so matches are frequent and folding is exercised;
// lengths cross the vector block sizes. Every result and field must equal the
// plain search's.
TEST(TTISearch, EqualsThePlainWindowSearchOnRandomTexts) {
  const std::string alphabets[] = {"aA", "abAB", std::string("aAbB\xC9\xE9x\0\xFF\x9F", 10),
                                   "abcdefghijklmnopqrstuvwxyz .;"};
  std::mt19937 rnd(12345);
  auto pick = [&](size_t n) { return static_cast<size_t>(rnd() % n); };
  TTISearch s;
  for (int round = 0; round < 30000; ++round) {
    const std::string& alphabet = alphabets[pick(std::size(alphabets))];
    std::string text(pick(round % 100 == 0 ? 5000 : 300), ' ');
    for (char& c : text) c = alphabet[pick(alphabet.size())];
    std::string pattern(1 + pick(round % 10 == 0 ? 40 : 8), ' ');
    if (!text.empty() && pick(2) == 0) {  // often a piece of the text, case changed
      const size_t at = pick(text.size());
      pattern = text.substr(at, pattern.size());
      for (char& c : pattern)
        if (pick(2)) c = static_cast<char>(text::ToUpper(static_cast<uint8_t>(c)));
    } else {
      for (char& c : pattern) c = alphabet[pick(alphabet.size())];
    }

    const auto expected = testing::PlainWindowSearch(pattern, text);
    s.SetPattern(pattern);
    int64_t pos = s.Find(text);
    for (size_t k = 0; k < expected.size(); ++k) {
      ASSERT_EQ(pos, expected[k].first) << "round " << round << " match " << k;
      ASSERT_TRUE(s.Found());
      ASSERT_EQ(s.FoundPos(), pos);
      ASSERT_EQ(s.WindowEnd(), expected[k].second);
      ASSERT_EQ(s.MatchCount(), static_cast<int64_t>(k + 1));
      pos = s.FindNext();
    }
    ASSERT_EQ(pos, 0) << "round " << round;
    ASSERT_FALSE(s.Found());
    ASSERT_EQ(s.FoundPos(), 0);
    ASSERT_EQ(s.MatchCount(), static_cast<int64_t>(expected.size()));
  }
}

}  // namespace
}  // namespace quoldex::search
