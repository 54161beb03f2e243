#include "tables/sql/sql_filter.h"

#include <gtest/gtest.h>

#include <string>

#include "tables/sql/sql_test_rows.h"

namespace quoldex::tables {
namespace {

using testing::ObjectRow;
using testing::ObjectsColumns;
using testing::SqlErrorOf;
using testing::SqlMessage;

RecordFilter Filter(std::string_view text, FilterOptions options) {
  RecordFilter f = RecordFilter::Parse(text, options);
  f.Resolve(ObjectsColumns(), "objects");
  return f;
}

bool PassesPackage(std::string_view text, FilterOptions options, std::string package) {
  return Filter(text, options).Passes(ObjectRow(1, "A", "actor", std::move(package)));
}

constexpr FilterOptions kGrep{.case_insensitive = true, .no_partial_compare = true};
constexpr FilterOptions kExact{};

TEST(SqlFilter, GrepByPackageIgnoresCaseAndComparesWhole) {
  RecordFilter f = Filter("Package = 'BotPack'", kGrep);
  EXPECT_TRUE(f.Passes(ObjectRow(1, "A", "actor", "botpack")));
  EXPECT_TRUE(f.Passes(ObjectRow(2, "B", "actor", "BOTPACK")));
  EXPECT_FALSE(f.Passes(ObjectRow(3, "C", "actor", "botpack2")));
  EXPECT_FALSE(f.Passes(ObjectRow(4, "D", "actor", "bot")));
  EXPECT_FALSE(f.Passes(ObjectRow(5, "E", "actor", "")));
  // With no partial compare an asterisk is an ordinary character.
  EXPECT_FALSE(PassesPackage("Package = 'bot*'", kGrep, "botpack"));
  EXPECT_TRUE(PassesPackage("Package = 'bot*'", kGrep, "BOT*"));
}

TEST(SqlFilter, CaseSensitiveWithoutTheOption) {
  EXPECT_FALSE(PassesPackage("Package = 'BotPack'", kExact, "botpack"));
  EXPECT_TRUE(PassesPackage("Package = 'BotPack'", kExact, "BotPack"));
  EXPECT_TRUE(PassesPackage("Package > 'BotPack'", kExact, "botpack2"));
  EXPECT_TRUE(PassesPackage("Package < 'b'", {.case_insensitive = true}, "A"));
}

TEST(SqlFilter, TrailingAsteriskIsAPrefixWithPartialCompare) {
  FilterOptions partial{.case_insensitive = false, .no_partial_compare = false};
  EXPECT_TRUE(PassesPackage("Package = 'bot*'", partial, "botpack"));
  EXPECT_TRUE(PassesPackage("Package = 'bot*'", partial, "bot"));
  EXPECT_FALSE(PassesPackage("Package = 'bot*'", partial, "Botpack"));
  EXPECT_FALSE(PassesPackage("Package = 'bot*'", partial, "bo"));
  EXPECT_TRUE(PassesPackage("'bot*' = Package", partial, "botpack"));
  EXPECT_FALSE(PassesPackage("Package <> 'bot*'", partial, "botpack"));
  EXPECT_TRUE(PassesPackage("Package <> 'bot*'", partial, "core"));
  EXPECT_TRUE(PassesPackage("Package = '*'", partial, ""));
  // An asterisk elsewhere is literal.
  EXPECT_FALSE(PassesPackage("Package = 'b*t'", partial, "bot"));
  FilterOptions partial_nocase{.case_insensitive = true, .no_partial_compare = false};
  EXPECT_TRUE(PassesPackage("Package = 'BOT*'", partial_nocase, "botpack"));
}

TEST(SqlFilter, FullConditionLanguage) {
  RecordFilter f = Filter(
      "(Package = 'core' or objects.Package = 'engine') and not InheritsFrom = 'object' "
      "and ObjectId > 1",
      kGrep);
  EXPECT_TRUE(f.Passes(ObjectRow(2, "A", "actor", "Core")));
  EXPECT_FALSE(f.Passes(ObjectRow(1, "A", "actor", "core")));
  EXPECT_FALSE(f.Passes(ObjectRow(2, "A", "Object", "engine")));
  EXPECT_FALSE(f.Passes(ObjectRow(2, "A", "actor", "botpack")));
}

TEST(SqlFilter, BlankTextPassesEveryRow) {
  EXPECT_TRUE(Filter("", kGrep).Passes(ObjectRow(1, "A", "actor", "")));
  EXPECT_TRUE(Filter(" \r\n/* nothing */ ", kExact).Passes(ObjectRow(1, "A", "actor", "x")));
}

TEST(SqlFilter, TextsThatCannotBeUsedRaiseEngineErrors) {
  // A package name holding a quote, which the caller does not double.
  EXPECT_EQ(SqlErrorOf([] { RecordFilter::Parse("Package = 'o'brien'", kGrep); }),
            SqlMessage("End of filter expression expected, instead found 'brien'"));
  EXPECT_TRUE(PassesPackage("Package = 'o''brien'", kGrep, "O'Brien"));  // doubled, it parses
  EXPECT_EQ(SqlErrorOf([] { RecordFilter::Parse("Package = 'a' b", kGrep); }),
            SqlMessage("End of filter expression expected, instead found 'b'"));
  EXPECT_EQ(SqlErrorOf([] { RecordFilter::Parse("Package = ?", kGrep); }),
            SqlMessage("Parameters are not allowed in filter expression"));
  EXPECT_EQ(SqlErrorOf([] { RecordFilter::Parse("Package = ", kGrep); }),
            SqlMessage("Unknown or unexpected symbol '' found in filter expression"));
  EXPECT_EQ(SqlErrorOf([] { Filter("Pkg = 'x'", kGrep); }),
            SqlMessage("Invalid column name 'Pkg' or table correlation name '' specified in "
                       "filter expression"));
  EXPECT_EQ(SqlErrorOf([] { Filter("maps.Package = 'x'", kGrep); }),
            SqlMessage("Invalid column name 'Package' or table correlation name 'maps' specified "
                       "in filter expression"));
  EXPECT_EQ(SqlErrorOf([] { Filter("Package", kGrep); }),
            SqlMessage("Filter expression must be a boolean condition"));
}

}  // namespace
}  // namespace quoldex::tables
