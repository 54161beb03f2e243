#include "text/western.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace quoldex::text {
namespace {

TEST(WesternCase, FoldsAsciiAndAccentedLettersOnly) {
  EXPECT_EQ(LowerCase("ActorZ"), "actorz");
  EXPECT_EQ(ToLower(0xC9), 0xE9);  // É -> é
  EXPECT_EQ(ToLower(0x8A), 0x9A);  // Š -> š
  EXPECT_EQ(ToLower(0x9F), 0xFF);  // Ÿ -> ÿ
  EXPECT_EQ(ToLower(0xD7), 0xD7);  // × is not a letter
  EXPECT_EQ(ToLower('_'), '_');
  EXPECT_EQ(ToUpper(0xE9), 0xC9);
  EXPECT_TRUE(SameText("BotPack", "botpack"));
  EXPECT_FALSE(SameText("botpack", "botpack2"));
}

TEST(WesternOrder, AlphabeticalFirstThenCase) {
  std::vector<std::string> names = {"Brush", "actor", "ammo", "Actor", "_Tmp", "2D"};
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return CompareLanguage(a, b, false) < 0;
  });
  EXPECT_EQ(names, (std::vector<std::string>{"_Tmp", "2D", "actor", "Actor", "ammo", "Brush"}));
  EXPECT_EQ(CompareLanguage("Actor", "actor", true), 0);
  EXPECT_LT(CompareLanguage("actor", "Actor", false), 0);
  EXPECT_LT(CompareLanguage("act", "actor", false), 0);
  // An accent weighs more than case, less than the letter itself.
  EXPECT_LT(CompareLanguage("e", "\xE9", true), 0);
  EXPECT_LT(CompareLanguage("\xE9", "f", false), 0);
  EXPECT_LT(CompareLanguage("E", "\xE9", false), 0);
}

int Sign(int v) { return (v > 0) - (v < 0); }

std::vector<uint8_t> KeyOf(std::string_view s, size_t chars, bool ignore_case) {
  std::vector<uint8_t> key(SortKeyLength(chars, ignore_case));
  SortKey(s, chars, ignore_case, key.data());
  return key;
}

// Checks that memcmp of the sort keys orders `a` and `b` as CompareLanguage
// does, in both case modes.
void ExpectKeyOrder(const std::string& a, const std::string& b, size_t chars) {
  for (bool ignore_case : {false, true}) {
    auto ka = KeyOf(a, chars, ignore_case);
    auto kb = KeyOf(b, chars, ignore_case);
    ASSERT_EQ(Sign(std::memcmp(ka.data(), kb.data(), ka.size())),
              Sign(CompareLanguage(a, b, ignore_case)))
        << "'" << a << "' vs '" << b << "' ignore_case=" << ignore_case;
  }
}

TEST(WesternSortKey, EveryPairOfCharactersOrdersAsTheLanguage) {
  // Each byte alone and before/after another: all primary weights, accents
  // and case bits against each other, and every length-1 vs length-2 prefix.
  for (int x = 1; x < 256; ++x) {
    for (int y = 1; y < 256; ++y) {
      std::string a(1, static_cast<char>(x)), b(1, static_cast<char>(y));
      ExpectKeyOrder(a, b, 2);
      ExpectKeyOrder(a, b + a, 2);
    }
  }
}

TEST(WesternSortKey, RandomStringsOrderAsTheLanguage) {
  // Strings over letters that differ only in case or accent, digits and
  // punctuation, many sharing prefixes, so that each section of the key
  // (letters, accents, case, length) decides some comparisons.
  const std::string alphabet =
      "aAbBeEzZ019_.- \xE9\xC9\xE8\xEA\xDF\xE6\xC6\x9C\x8C\xFF\x9F\xD7\xF7";
  std::mt19937 rng(4242);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<size_t> length(0, 12);
  std::vector<std::string> strings;
  for (int i = 0; i < 3000; ++i) {
    std::string s;
    for (size_t n = length(rng); n > 0; --n) s += alphabet[pick(rng)];
    strings.push_back(s);
    if (!s.empty() && i % 3 == 0) strings.push_back(s.substr(0, s.size() / 2));  // a prefix
  }
  for (size_t i = 0; i + 1 < strings.size(); ++i) {
    ExpectKeyOrder(strings[i], strings[i + 1], 12);
    ExpectKeyOrder(strings[i], strings[(i * 7919) % strings.size()], 12);
  }
  // A sort by key bytes gives the language order.
  auto by_key = strings;
  std::sort(by_key.begin(), by_key.end(), [](const std::string& a, const std::string& b) {
    return KeyOf(a, 12, false) < KeyOf(b, 12, false);
  });
  EXPECT_TRUE(std::is_sorted(
      by_key.begin(), by_key.end(),
      [](const std::string& a, const std::string& b) { return CompareLanguage(a, b, false) < 0; }));
}

TEST(WesternSortKey, EqualKeysMeanEqualTextOrEqualIgnoringCase) {
  EXPECT_EQ(KeyOf("Actor", 35, true), KeyOf("aCTOR", 35, true));
  EXPECT_NE(KeyOf("Actor", 35, false), KeyOf("aCTOR", 35, false));
  EXPECT_NE(KeyOf("actor", 35, true), KeyOf("act\xF6r", 35, true));  // accents still count
  // The key covers `chars` characters: the case bits of a long string fill
  // several bytes, and a later character decides.
  std::string a(20, 'a'), b(20, 'a');
  b[19] = 'A';
  EXPECT_LT(KeyOf(a, 20, false), KeyOf(b, 20, false));
  EXPECT_EQ(SortKeyLength(20, false), 43u);
  EXPECT_EQ(SortKeyLength(20, true), 40u);
}

}  // namespace
}  // namespace quoldex::text
