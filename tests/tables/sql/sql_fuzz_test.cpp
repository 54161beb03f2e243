// Random and mutated statements and filters through the whole front end:
// parameter extraction, tokenizer, parser, resolution and evaluation. The
// only failure allowed is the engine's SQL error; crashes and sanitizer
// reports fail the run.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tables/sql/sql_filter.h"
#include "tables/sql/sql_params.h"
#include "tables/sql/sql_statement.h"
#include "tables/sql/sql_test_rows.h"

namespace quoldex::tables {
namespace {

using testing::ObjectRow;
using testing::ObjectsColumns;

const std::vector<std::string> kSeeds = {
    "select * from Objects where InheritsFrom = :Ancestor\r\norder by Objectname",
    "select package \r\nfrom objects\r\ngroup by package",
    "select * from Objects where Package = :Package\r\norder by Objectname",
    "select distinct InheritsFrom \r\nfrom Objects ",
    "/* c */ SELECT ALL o.ObjectName AS Name, [Package] as \"Pkg\" FROM \"objects\" o "
    "WHERE NOT (o.ObjectId < 5 OR ObjectId >= 10) AND Package <> :p "
    "GROUP BY 2, o.Name ORDER BY Pkg DESC, 1 ASCENDING NOCASE;",
    "Package = 'BotPack'",
    "(Package = 'bot*' or ObjectId > -1.5e3) and not InheritsFrom <= 'x'",
};

const std::vector<std::string> kVocabulary = {
    "select",   "distinct", "all",    "*",         "from",       "objects", "o",
    "where",    "and",      "or",     "not",       "group",      "order",   "by",
    "asc",      "desc",     "nocase", "as",        ";",          ",",       ".",
    "(",        ")",        "=",      "<",         ">",          "<>",      "<=",
    ">=",       "?",        ":p",     "::",        "'x'",        "'",       "\"",
    "\"y\"",    "[",        "]",      "[Package]", "/*",         "*/",      "1",
    "2.5",      "1e",       "-",      "+",         "ObjectName", "Package", "InheritsFrom",
    "ObjectId", "Row___No", "insert", "\r\n",      " ",          "\t",      "\x01",
    "\xE9",     "\xFF",     "\0"};

std::string RandomStatement(std::mt19937& rng) {
  std::uniform_int_distribution<size_t> pick(0, kVocabulary.size() - 1);
  std::uniform_int_distribution<int> length(0, 25);
  std::string s;
  for (int n = length(rng); n > 0; --n) {
    s += kVocabulary[pick(rng)];
    if (rng() % 3 != 0) s += ' ';
  }
  return s;
}

std::string Mutate(std::string s, std::mt19937& rng) {
  for (int n = rng() % 2 == 0 ? 1 : 2 + static_cast<int>(rng() % 3); n > 0; --n) {
    size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
    switch (rng() % 5) {
      case 0:  // insert a random byte
        s.insert(at, 1, static_cast<char>(rng() % 256));
        break;
      case 1:  // delete a run
        if (at < s.size()) s.erase(at, 1 + rng() % 8);
        break;
      case 2:  // insert a vocabulary word
        s.insert(at, kVocabulary[rng() % kVocabulary.size()]);
        break;
      case 3:  // duplicate a run
        if (at < s.size()) s.insert(at, s.substr(at, 1 + rng() % 12));
        break;
      default:  // overwrite a byte with a delimiter
        if (at < s.size()) s[at] = "'\"[]()*/:;?,. "[rng() % 15];
        break;
    }
  }
  return s;
}

// Runs `f`; an engine error must be an SQL error, anything else fails.
template <typename F>
bool Survives(const std::string& input, F f) {
  try {
    f();
    return true;
  } catch (const EDbEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrSql) << input;
    EXPECT_EQ(std::string(e.what()).rfind("Table Engine Error # 11949 SQL - ", 0), 0u) << input;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "unexpected exception " << e.what() << " for: " << input;
  }
  return false;
}

void RunStatement(const std::string& sql, const std::vector<testing::TestRow>& rows) {
  ParameterizedSql p = ExtractParameters(sql);
  Survives(sql, [&] {
    TDataQuery q = TDataQuery::Parse(p.text);
    q.Resolve(ObjectsColumns());
    EXPECT_FALSE(q.result_columns().empty()) << sql;
    for (const auto& item : q.order_by()) {
      EXPECT_LT(static_cast<size_t>(item.result_index), q.result_columns().size()) << sql;
    }
    std::vector<std::string> values(p.names.size(), "botpack");
    for (const auto& row : rows) q.WhereHolds(row, values);
  });
}

void RunFilter(const std::string& text, const std::vector<testing::TestRow>& rows) {
  for (bool nocase : {false, true}) {
    Survives(text, [&] {
      RecordFilter f = RecordFilter::Parse(text, {nocase, !nocase});
      f.Resolve(ObjectsColumns(), "objects");
      for (const auto& row : rows) f.Passes(row);
    });
  }
}

TEST(SqlFuzz, RandomAndMutatedInputsFailOnlyWithSqlErrors) {
  std::mt19937 rng(20240611);
  const std::vector<testing::TestRow> rows = {ObjectRow(1, "Actor", "<none>", "engine"),
                                              ObjectRow(7, "BotPack", "actor", "botpack"),
                                              ObjectRow(9, "x", "", "")};
  int parsed = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string input =
        i % 3 == 0 ? RandomStatement(rng) : Mutate(kSeeds[rng() % kSeeds.size()], rng);
    RunStatement(input, rows);
    RunFilter(input, rows);
    if (Survives(input, [&] { TDataQuery::Parse(ExtractParameters(input).text); })) ++parsed;
  }
  // The mutations must leave a fair share of inputs valid, or the deeper
  // stages would go untested.
  EXPECT_GT(parsed, 200);
}

}  // namespace
}  // namespace quoldex::tables
