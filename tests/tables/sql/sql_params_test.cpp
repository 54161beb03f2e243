#include "tables/sql/sql_params.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quoldex::tables {
namespace {

using Names = std::vector<std::string>;

TEST(SqlParams, MarkersBecomeQuestionMarksInOrderOfAppearance) {
  // The statement of the class tree's children query, lines joined.
  auto p = ExtractParameters(
      "select * from Objects where InheritsFrom = :Ancestor\r\norder by Objectname");
  EXPECT_EQ(p.text, "select * from Objects where InheritsFrom = ?\r\norder by Objectname");
  EXPECT_EQ(p.names, Names{"Ancestor"});

  // Every delimiter ends a name; repeated names are listed once per marker.
  p = ExtractParameters("f(:a,:b):c;:d\n:e\r:f :a");
  EXPECT_EQ(p.text, "f(?,?)?;?\n?\r? ?");
  EXPECT_EQ(p.names, (Names{"a", "b", "c", "d", "e", "f", "a"}));

  // The end of the text ends a name; a bare colon is a parameter with no name.
  p = ExtractParameters("x=:last");
  EXPECT_EQ(p.text, "x=?");
  EXPECT_EQ(p.names, Names{"last"});
  p = ExtractParameters("x = : y");
  EXPECT_EQ(p.text, "x = ? y");
  EXPECT_EQ(p.names, Names{""});
}

TEST(SqlParams, QuotedTextAndDoubleColonsAreNotMarkers) {
  auto p = ExtractParameters("a = ':no' and b = \":nor\" and c = 'it'':s' and t = '10::30'");
  EXPECT_EQ(p.text, "a = ':no' and b = \":nor\" and c = 'it'':s' and t = '10::30'");
  EXPECT_TRUE(p.names.empty());

  p = ExtractParameters("t = 10::30 and u = :p::q");
  EXPECT_EQ(p.text, "t = 10:30 and u = ?");
  // "::" inside a name is part of the name's run up to a delimiter.
  EXPECT_EQ(p.names, Names{"p::q"});

  // An unterminated quote protects the rest of the text.
  p = ExtractParameters("a = 'open :x");
  EXPECT_EQ(p.text, "a = 'open :x");
  EXPECT_TRUE(p.names.empty());
}

TEST(SqlParams, QuotedNamesMayHoldDelimiters) {
  auto p = ExtractParameters("where a = :\"my name, (1)\" and b = :'x y';");
  EXPECT_EQ(p.text, "where a = ? and b = ?;");
  EXPECT_EQ(p.names, (Names{"my name, (1)", "x y"}));
}

TEST(SqlParams, EngineNamesAreCutTo30Characters) {
  std::string name(40, 'p');
  auto p = ExtractParameters("x = :" + name);
  ASSERT_EQ(p.names.size(), 1u);
  EXPECT_EQ(p.names[0], name);  // kept whole for the caller
  EXPECT_EQ(EngineParameterName(p.names[0]), std::string(30, 'p'));
  EXPECT_EQ(EngineParameterName("Ancestor"), "Ancestor");
}

}  // namespace
}  // namespace quoldex::tables
