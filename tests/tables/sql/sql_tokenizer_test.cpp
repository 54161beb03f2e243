#include "tables/sql/sql_tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tables/sql/sql_test_rows.h"

namespace quoldex::tables {
namespace {

using testing::SqlErrorOf;
using testing::SqlMessage;
using K = SqlTokenKind;

struct Tok {
  K kind;
  std::string text;
  bool operator==(const Tok&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Tok& t) {
  return os << static_cast<int>(t.kind) << ":" << t.text;
}

std::vector<Tok> Tokens(std::string_view text) {
  TExpressionParser p(text);
  std::vector<Tok> out;
  for (;;) {
    const SqlToken& t = p.Next();
    if (t.kind == K::kEnd) return out;
    out.push_back({t.kind, t.text});
  }
}

TEST(SqlTokenizer, NamesStringsBracketsNumbersAndSymbols) {
  EXPECT_EQ(Tokens("select _a1,b from [My Table] where x='it''s' or y=\"say \"\"hi\"\"\""),
            (std::vector<Tok>{{K::kName, "select"},
                              {K::kName, "_a1"},
                              {K::kSymbol, ","},
                              {K::kName, "b"},
                              {K::kName, "from"},
                              {K::kBracketed, "My Table"},
                              {K::kName, "where"},
                              {K::kName, "x"},
                              {K::kSymbol, "="},
                              {K::kSingleQuoted, "it's"},
                              {K::kName, "or"},
                              {K::kName, "y"},
                              {K::kSymbol, "="},
                              {K::kDoubleQuoted, "say \"hi\""}}));
  EXPECT_EQ(Tokens("12 1.5 2e10 3E-4 7e+2x 1.2.3 9abc"), (std::vector<Tok>{{K::kInteger, "12"},
                                                                           {K::kDecimal, "1.5"},
                                                                           {K::kDecimal, "2e10"},
                                                                           {K::kDecimal, "3E-4"},
                                                                           {K::kDecimal, "7e+2"},
                                                                           {K::kName, "x"},
                                                                           {K::kDecimal, "1.2.3"},
                                                                           {K::kInteger, "9"},
                                                                           {K::kName, "abc"}}));
  // A sign belongs to a number only right after an exponent letter.
  EXPECT_EQ(Tokens("5-3"),
            (std::vector<Tok>{{K::kInteger, "5"}, {K::kSymbol, "-"}, {K::kInteger, "3"}}));
  EXPECT_EQ(Tokens("<>;?*.()"), (std::vector<Tok>{{K::kSymbol, "<"},
                                                  {K::kSymbol, ">"},
                                                  {K::kSymbol, ";"},
                                                  {K::kSymbol, "?"},
                                                  {K::kSymbol, "*"},
                                                  {K::kSymbol, "."},
                                                  {K::kSymbol, "("},
                                                  {K::kSymbol, ")"}}));
  // Accented letters of the code page make names; other high bytes are symbols.
  EXPECT_EQ(Tokens("caf\xE9 \x80"),
            (std::vector<Tok>{{K::kName, "caf\xE9"}, {K::kSymbol, "\x80"}}));
  EXPECT_EQ(Tokens("''"), (std::vector<Tok>{{K::kSingleQuoted, ""}}));
}

TEST(SqlTokenizer, KeywordsIgnoreCaseButOnlyForBareNames) {
  TExpressionParser p("SeLeCt [select] 'select'");
  EXPECT_TRUE(p.Next().IsKeyword("SELECT"));
  EXPECT_FALSE(p.Next().IsKeyword("SELECT"));
  EXPECT_TRUE(p.Current().IsNameLike());
  EXPECT_FALSE(p.Next().IsKeyword("SELECT"));
  EXPECT_TRUE(p.Current().IsNameLike());
  EXPECT_EQ(p.Next().kind, K::kEnd);
  EXPECT_EQ(p.Next().kind, K::kEnd);  // the end repeats
}

TEST(SqlTokenizer, BlanksAndOneCommentAreSkippedBeforeEachToken) {
  EXPECT_EQ(Tokens("\t\r\n\x01 /* a comment */\n select /**/ *"),
            (std::vector<Tok>{{K::kName, "select"}, {K::kSymbol, "*"}}));
  // A second comment in a row is not skipped: its slash is a token.
  EXPECT_EQ(Tokens("/* one */ /* two */ x"), (std::vector<Tok>{{K::kSymbol, "/"},
                                                               {K::kSymbol, "*"},
                                                               {K::kName, "two"},
                                                               {K::kSymbol, "*"},
                                                               {K::kSymbol, "/"},
                                                               {K::kName, "x"}}));
  TExpressionParser p("  abc");
  EXPECT_EQ(p.Next().offset, 2u);
  EXPECT_EQ(p.Current().end, 5u);
}

TEST(SqlTokenizer, TokensAreCutTo255Characters) {
  std::string long_name(300, 'n');
  auto tokens = Tokens(long_name + " 'x" + std::string(300, 's') + "' [" + std::string(256, 'b') +
                       "] " + std::string(260, '7') + " z");
  ASSERT_EQ(tokens.size(), 5u);
  EXPECT_EQ(tokens[0].text, std::string(255, 'n'));
  EXPECT_EQ(tokens[1].text, "x" + std::string(254, 's'));
  EXPECT_EQ(tokens[2].text, std::string(255, 'b'));
  EXPECT_EQ(tokens[3].text, std::string(255, '7'));
  EXPECT_EQ(tokens[4].text, "z");
}

TEST(SqlTokenizer, UnterminatedCommentStringOrBracketFails) {
  EXPECT_EQ(SqlErrorOf([] { Tokens("select /* no end"); }),
            SqlMessage("Missing ending comment slash and asterisk in SQL statement"));
  EXPECT_EQ(SqlErrorOf([] { Tokens("/*/"); }),
            SqlMessage("Missing ending comment slash and asterisk in SQL statement"));
  EXPECT_EQ(SqlErrorOf([] { Tokens("where a = 'it''s"); }),
            SqlMessage("Missing single quote after 'it's' in SQL statement"));
  EXPECT_EQ(SqlErrorOf([] { Tokens("\"ab"); }),
            SqlMessage("Missing double quote after 'ab' in SQL statement"));
  EXPECT_EQ(SqlErrorOf([] { Tokens("from [My Tab"); }),
            SqlMessage("Missing right bracket after 'My Tab' in SQL statement"));
}

}  // namespace
}  // namespace quoldex::tables
