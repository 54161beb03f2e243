#include "search/file_mask.h"

#include <gtest/gtest.h>

#include "search/file_search.h"

namespace quoldex::search {
namespace {

TEST(FileMask, ParsesDecoratesAndReadsBackSorted) {
  TFileSearch fs;
  EXPECT_EQ(fs.FileMask(), "*");  // the default: empty value
  fs.SetFileMask("UC");
  EXPECT_EQ(fs.FileMask(), "*uc*");
  fs.SetFileMask("a*b");
  EXPECT_EQ(fs.FileMask(), "a*b*");
  fs.SetFileMask("a*");
  EXPECT_EQ(fs.FileMask(), "a*");
  fs.SetFileMask("*.uc,*.txt");
  EXPECT_EQ(fs.FileMask(), "*.txt;*.uc");
  fs.SetFileMask("*.txt;*.uc");
  EXPECT_EQ(fs.FileMask(), "*.txt;*.uc");
  fs.SetFileMask(" *.UC\t;");  // trimmed, lowered, one trailing ";" adds nothing
  EXPECT_EQ(fs.FileMask(), "*.uc");
  fs.SetFileMask("*.uc;;");
  EXPECT_EQ(fs.FileMask(), "**;*.uc");
  fs.SetFileMask("b;a;b");  // duplicates stay
  EXPECT_EQ(fs.FileMask(), "*a*;*b*;*b*");
  fs.SetFileMask("");
  EXPECT_EQ(fs.FileMask(), "*");
}

TEST(FileMask, MatchesNamesIgnoringCase) {
  TFileSearch fs;
  EXPECT_TRUE(fs.MatchesMask("anything"));
  fs.SetFileMask("UC");
  EXPECT_TRUE(fs.MatchesMask("Actor.uc"));
  EXPECT_TRUE(fs.MatchesMask("bUCk"));
  EXPECT_FALSE(fs.MatchesMask("Actor.u"));
  fs.SetFileMask("*.uc");
  EXPECT_TRUE(fs.MatchesMask("Actor.UC"));
  EXPECT_FALSE(fs.MatchesMask("x.uc.uc"));  // the first ".uc" is taken, no second try
  EXPECT_FALSE(fs.MatchesMask("Actor.ucx"));
  EXPECT_TRUE(fs.MatchesMask(""));  // an empty name always matches
  fs.SetFileMask("*.uc;;");
  EXPECT_TRUE(fs.MatchesMask("readme"));
  fs.SetFileMask("*.uc,*.txt");
  EXPECT_TRUE(fs.MatchesMask("a.TXT"));
  EXPECT_TRUE(fs.MatchesMask("a.uc"));
  EXPECT_FALSE(fs.MatchesMask("a.unr"));
  fs.SetFileMask("\xC9T\xC9.uc");  // accented letters fold too
  EXPECT_TRUE(fs.MatchesMask("\xE9t\xE9.UC"));
}

TEST(FileMask, MatchMaskFollowsItsTokensWithoutBacktracking) {
  EXPECT_TRUE(MatchMask("x", "*"));
  EXPECT_TRUE(MatchMask("a.b", "*.*"));
  EXPECT_FALSE(MatchMask("ab", "*.*"));  // "*.*" needs a dot
  EXPECT_TRUE(MatchMask(".", "*.*"));
  EXPECT_TRUE(MatchMask("actor.uc", "actor.uc"));
  EXPECT_FALSE(MatchMask("actor.uc", "actor.u"));
  EXPECT_TRUE(MatchMask("a.uc", "?.uc"));
  EXPECT_FALSE(MatchMask("ab.uc", "?.uc"));
  EXPECT_FALSE(MatchMask(".uc", "?.uc"));
  EXPECT_TRUE(MatchMask("anything", "**"));
  EXPECT_TRUE(MatchMask("", "**"));
  EXPECT_TRUE(MatchMask("axxbyyb", "a*b*"));
  EXPECT_FALSE(MatchMask("axxbyyb", "a*b"));  // first "b" taken, the name goes on
  // The first "ab" is taken; "?d" then fails there and no later "ab" is tried.
  EXPECT_FALSE(MatchMask("abxabcd", "*ab?d"));
  EXPECT_TRUE(MatchMask("abxabcd", "*ab?*"));
  EXPECT_TRUE(MatchMask("ab", "a?*"));
  EXPECT_FALSE(MatchMask("a", "a?"));
  // "?" may step past the end of the name; a "*" after it accepts the rest.
  EXPECT_TRUE(MatchMask("a", "??*"));
  EXPECT_FALSE(MatchMask("a", "??*x"));
}

}  // namespace
}  // namespace quoldex::search
