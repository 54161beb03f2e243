#include "text/western.h"

#include <gtest/gtest.h>

#include <algorithm>
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

}  // namespace
}  // namespace quoldex::text
