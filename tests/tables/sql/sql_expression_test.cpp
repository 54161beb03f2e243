// WHERE conditions on rows, and the ordering of result-index keys.
#include "tables/sql/sql_expression.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tables/sql/sql_statement.h"
#include "tables/sql/sql_test_rows.h"

namespace quoldex::tables {
namespace {

using testing::ObjectRow;
using testing::ObjectsColumns;
using testing::SqlErrorOf;
using testing::SqlMessage;
using testing::TestRow;

TDataQuery Where(const std::string& condition) {
  TDataQuery q = TDataQuery::Parse("select * from objects where " + condition);
  q.Resolve(ObjectsColumns());
  return q;
}

bool Holds(const std::string& condition, const TestRow& row, std::vector<std::string> params = {}) {
  return Where(condition).WhereHolds(row, params);
}

TEST(SqlWhere, StringsCompareWholeAndWithRegardToCase) {
  TestRow botpack = ObjectRow(1, "Bot", "actor", "botpack");
  TestRow upper = ObjectRow(2, "Bot", "actor", "BotPack");
  EXPECT_TRUE(Holds("Package = 'botpack'", botpack));
  EXPECT_FALSE(Holds("Package = 'botpack'", upper));
  EXPECT_FALSE(Holds("Package = 'bot'", botpack));
  EXPECT_FALSE(Holds("Package = 'botpack '", botpack));
  EXPECT_FALSE(Holds("Package = 'bot*'", botpack));  // no prefix matching in WHERE
  EXPECT_TRUE(Holds("Package <> 'BotPack'", botpack));
  EXPECT_TRUE(Holds("Package = \"botpack\"", botpack));

  // The package-level query: "Unknown" is not matched by "unknown".
  TDataQuery level = Where("Package = ?");
  EXPECT_TRUE(
      level.WhereHolds(ObjectRow(3, "A", "x", "unknown"), std::vector<std::string>{"unknown"}));
  EXPECT_FALSE(
      level.WhereHolds(ObjectRow(4, "B", "x", "Unknown"), std::vector<std::string>{"unknown"}));
  // A parameter without a value matches nothing.
  EXPECT_FALSE(level.WhereHolds(ObjectRow(3, "A", "x", "unknown"), {}));
}

TEST(SqlWhere, StringOrderIsTheLanguageOrder) {
  // Byte order would put "Brush" before "ammo".
  EXPECT_TRUE(Holds("ObjectName < 'Brush'", ObjectRow(1, "ammo", "x", "p")));
  EXPECT_TRUE(Holds("ObjectName > 'actor'", ObjectRow(1, "Actor", "x", "p")));
  EXPECT_TRUE(
      Holds("ObjectName >= 'Actor' and ObjectName <= 'Actor'", ObjectRow(1, "Actor", "x", "p")));
  EXPECT_FALSE(Holds("ObjectName >= 'Actor'", ObjectRow(1, "actor", "x", "p")));
}

TEST(SqlWhere, NumbersAndStringParameters) {
  TestRow row = ObjectRow(5, "A", "x", "p");
  EXPECT_TRUE(Holds("ObjectId = 5", row));
  EXPECT_TRUE(Holds("ObjectId = 5.0", row));
  EXPECT_TRUE(Holds("ObjectId > -1 and ObjectId < +6", row));
  EXPECT_TRUE(Holds("ObjectId >= 4.5e0", row));
  EXPECT_TRUE(Holds("5 = ObjectId", row));
  EXPECT_TRUE(Holds("ObjectId = ?", row, {" 5 "}));
  EXPECT_TRUE(Holds("ObjectId < ?", row, {"5.5"}));
  // A text that is no number compares neither equal nor unequal.
  EXPECT_FALSE(Holds("ObjectId = ?", row, {"five"}));
  EXPECT_FALSE(Holds("ObjectId <> ?", row, {"five"}));
  EXPECT_FALSE(Holds("ObjectId = 'five'", row));
  EXPECT_TRUE(Holds("ObjectId = 99999999999999999999 or ObjectId = 5", row));
}

TEST(SqlWhere, NullsAndThreeValuedLogic) {
  TestRow no_package = ObjectRow(1, "A", "x", "");  // stored as null
  // A null string reads as the empty text.
  EXPECT_TRUE(Holds("Package = ''", no_package));
  EXPECT_FALSE(Holds("Package = 'p'", no_package));

  TestRow null_id;
  null_id.Null().Str("A").Str("x").Str("f").Str("t").Str("p");
  EXPECT_FALSE(Holds("ObjectId = 1", null_id));
  EXPECT_FALSE(Holds("ObjectId <> 1", null_id));
  EXPECT_FALSE(Holds("not ObjectId = 1", null_id));  // not unknown is unknown
  EXPECT_TRUE(Holds("ObjectId = 1 or Package = 'p'", null_id));
  EXPECT_FALSE(Holds("ObjectId = 1 and Package = 'p'", null_id));
  EXPECT_TRUE(Holds("not (ObjectId = 1 and Package = 'q')", null_id));  // unknown and false
}

TEST(SqlWhere, PrecedenceAndOperators) {
  TestRow row = ObjectRow(2, "A", "x", "p");
  // AND binds tighter than OR, NOT tighter than AND.
  EXPECT_TRUE(Holds("ObjectId = 1 and Package = 'q' or ObjectId = 2", row));
  EXPECT_FALSE(Holds("ObjectId = 1 and (Package = 'q' or ObjectId = 2)", row));
  EXPECT_TRUE(Holds("not ObjectId = 1 and not not ObjectId = 2", row));
  EXPECT_TRUE(Holds("ObjectId<>1 and ObjectId<=2 and ObjectId>=2", row));
  EXPECT_TRUE(Holds("objects.ObjectId = 2", row));
  // "<" and ">" apart are two operators, not "<>".
  EXPECT_EQ(SqlErrorOf([] { Where("ObjectId < > 1"); }),
            SqlMessage("Unknown or unexpected symbol '>' found in WHERE clause"));
}

TEST(SqlWhere, DeepNestingIsRefusedNotOverflowed) {
  std::string nested = std::string(5000, '(') + "ObjectId = 1" + std::string(5000, ')');
  EXPECT_EQ(SqlErrorOf([&] { Where(nested); }),
            SqlMessage("Expression too complex in WHERE clause"));
  std::string nots;
  for (int i = 0; i < 5000; ++i) nots += "not ";
  EXPECT_EQ(SqlErrorOf([&] { Where(nots + "ObjectId = 1"); }),
            SqlMessage("Expression too complex in WHERE clause"));
  std::string chain = "ObjectId = 1";
  for (int i = 0; i < 5000; ++i) chain += " or ObjectId = 1";
  EXPECT_EQ(SqlErrorOf([&] { Where(chain); }),
            SqlMessage("Expression too complex in WHERE clause"));
  // Moderate nesting is fine.
  EXPECT_TRUE(Holds(std::string(50, '(') + "ObjectId = 1" + std::string(50, ')'),
                    ObjectRow(1, "A", "x", "p")));
}

TEST(SqlResultOrder, LanguageOrderWithCaseAsTieBreak) {
  std::vector<std::string> names = {"Brush", "actor", "ammo", "Actor"};
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return CompareForResultIndex(SqlValue::String(a), SqlValue::String(b), false) < 0;
  });
  EXPECT_EQ(names, (std::vector<std::string>{"actor", "Actor", "ammo", "Brush"}));
  // Names differing only in case are distinct keys, except under NOCASE.
  EXPECT_NE(CompareForResultIndex(SqlValue::String("actor"), SqlValue::String("Actor"), false), 0);
  EXPECT_EQ(CompareForResultIndex(SqlValue::String("actor"), SqlValue::String("Actor"), true), 0);

  EXPECT_LT(CompareForResultIndex(SqlValue::Null(), SqlValue::String(""), false), 0);
  EXPECT_LT(CompareForResultIndex(SqlValue::Null(), SqlValue::Integer(-5), false), 0);
  EXPECT_EQ(CompareForResultIndex(SqlValue::Null(), SqlValue::Null(), false), 0);
  EXPECT_LT(CompareForResultIndex(SqlValue::Integer(2), SqlValue::Float(2.5), false), 0);
  EXPECT_EQ(CompareForResultIndex(SqlValue::Integer(2), SqlValue::Float(2.0), false), 0);
  EXPECT_GT(
      CompareForResultIndex(SqlValue::Integer(INT64_MAX), SqlValue::Integer(INT64_MIN), false), 0);
  EXPECT_LT(CompareForResultIndex(SqlValue::Boolean(false), SqlValue::Boolean(true), false), 0);
}

}  // namespace
}  // namespace quoldex::tables
