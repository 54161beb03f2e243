#include "tables/sql/sql_statement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tables/sql/sql_params.h"
#include "tables/sql/sql_test_rows.h"

namespace quoldex::tables {
namespace {

using testing::ObjectRow;
using testing::ObjectsColumns;
using testing::SqlErrorOf;
using testing::SqlMessage;

// Parses the lines of a statement as the query component hands them over.
TDataQuery ParseLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += (text.empty() ? "" : "\r\n") + line;
  return TDataQuery::Parse(ExtractParameters(text).text);
}

std::vector<std::string> ResultNames(const TDataQuery& q) {
  std::vector<std::string> names;
  for (const auto& f : q.result_columns()) names.push_back(f.ResultName());
  return names;
}

TEST(SqlStatement, ChildrenAndPackageLevelQueries) {
  for (auto [column, param] : {std::pair{"InheritsFrom", "Ancestor"}, {"Package", "Package"}}) {
    SCOPED_TRACE(column);
    TDataQuery q =
        ParseLines({std::string("select * from Objects where ") + column + " = :" + param,
                    "order by Objectname"});
    EXPECT_FALSE(q.distinct());
    EXPECT_TRUE(q.select_all_columns());
    EXPECT_TRUE(q.columns().empty());
    EXPECT_EQ(q.source().table_name, "Objects");
    EXPECT_EQ(q.source().CorrelationName(), "Objects");
    EXPECT_EQ(q.source().number, 1);
    EXPECT_EQ(q.parameter_count(), 1);
    ASSERT_NE(q.where(), nullptr);
    EXPECT_EQ(q.where()->kind, SqlNodeKind::kCompare);
    EXPECT_EQ(q.where()->op, SqlCompareOp::kEqual);
    EXPECT_EQ(q.where()->left->kind, SqlNodeKind::kField);
    EXPECT_EQ(q.where()->left->column_name, column);
    EXPECT_EQ(q.where()->right->kind, SqlNodeKind::kParameter);
    EXPECT_EQ(q.where()->right->parameter_index, 0);
    EXPECT_TRUE(q.group_by().empty());
    ASSERT_EQ(q.order_by().size(), 1u);
    EXPECT_EQ(q.order_by()[0].column_name, "Objectname");
    EXPECT_FALSE(q.order_by()[0].descending);
    EXPECT_FALSE(q.order_by_nocase());

    q.Resolve(ObjectsColumns());
    EXPECT_EQ(ResultNames(q), (std::vector<std::string>{"ObjectId", "ObjectName", "InheritsFrom",
                                                        "Filename", "FileTimeStamp", "Package"}));
    EXPECT_EQ(q.result_columns()[5].source_index, 5);
    EXPECT_EQ(q.result_columns()[5].size, 20);
    EXPECT_EQ(q.order_by()[0].result_index, 1);
    EXPECT_EQ(q.where()->left->column_index, column == std::string("Package") ? 5 : 2);
  }
}

TEST(SqlStatement, PackagesAndBaseKidsQueries) {
  TDataQuery packages = ParseLines({"select package ", "from objects", "group by package"});
  EXPECT_FALSE(packages.select_all_columns());
  ASSERT_EQ(packages.columns().size(), 1u);
  EXPECT_EQ(packages.columns()[0].column_name, "package");
  EXPECT_EQ(packages.source().table_name, "objects");
  EXPECT_EQ(packages.where(), nullptr);
  ASSERT_EQ(packages.group_by().size(), 1u);
  EXPECT_EQ(packages.group_by()[0].column_name, "package");
  packages.Resolve(ObjectsColumns());
  EXPECT_EQ(ResultNames(packages), std::vector<std::string>{"package"});
  EXPECT_EQ(packages.result_columns()[0].source_index, 5);
  EXPECT_EQ(packages.group_by()[0].result_index, 0);

  TDataQuery kids = ParseLines({"select distinct InheritsFrom ", "from Objects "});
  EXPECT_TRUE(kids.distinct());
  EXPECT_TRUE(kids.order_by().empty());
  EXPECT_TRUE(kids.group_by().empty());
  kids.Resolve(ObjectsColumns());
  EXPECT_EQ(ResultNames(kids), std::vector<std::string>{"InheritsFrom"});
  EXPECT_EQ(kids.result_columns()[0].source_index, 2);
}

TEST(SqlStatement, FullGrammar) {
  TDataQuery q = TDataQuery::Parse(
      "/* all of it */ SELECT ALL o.ObjectName AS Name, [Package] as \"Pkg\", Filename "
      "FROM \"objects\" o WHERE NOT (o.ObjectId < 5 OR ObjectId >= 10) AND Package <> ? "
      "AND (InheritsFrom = 'actor' OR InheritsFrom > ?) "
      "GROUP BY 2, o.Name ORDER BY Pkg DESC, 1 ASCENDING, Filename DESCENDING NOCASE;");
  EXPECT_FALSE(q.distinct());
  ASSERT_EQ(q.columns().size(), 3u);
  EXPECT_EQ(q.columns()[0].correlation, "o");
  EXPECT_EQ(q.columns()[0].column_name, "ObjectName");
  EXPECT_EQ(q.columns()[0].alias, "Name");
  EXPECT_EQ(q.columns()[1].ResultName(), "Pkg");
  EXPECT_EQ(q.source().table_name, "objects");
  EXPECT_EQ(q.source().CorrelationName(), "o");
  EXPECT_EQ(q.parameter_count(), 2);
  EXPECT_EQ(q.where()->kind, SqlNodeKind::kAnd);
  ASSERT_EQ(q.group_by().size(), 2u);
  EXPECT_EQ(q.group_by()[0].column_number, 2);
  EXPECT_EQ(q.group_by()[1].correlation, "o");
  ASSERT_EQ(q.order_by().size(), 3u);
  EXPECT_TRUE(q.order_by()[0].descending);
  EXPECT_FALSE(q.order_by()[1].descending);
  EXPECT_TRUE(q.order_by()[2].descending);
  EXPECT_TRUE(q.order_by_nocase());

  q.Resolve(ObjectsColumns());
  EXPECT_EQ(ResultNames(q), (std::vector<std::string>{"Name", "Pkg", "Filename"}));
  EXPECT_EQ(q.group_by()[0].result_index, 1);
  EXPECT_EQ(q.group_by()[1].result_index, 0);  // by alias
  EXPECT_EQ(q.order_by()[0].result_index, 1);
  EXPECT_EQ(q.order_by()[1].result_index, 0);
  EXPECT_EQ(q.order_by()[2].result_index, 2);

  const std::vector<std::string> params = {"core", "b"};
  EXPECT_TRUE(q.WhereHolds(ObjectRow(7, "A", "actor", "engine"), params));
  EXPECT_FALSE(q.WhereHolds(ObjectRow(3, "A", "actor", "engine"), params));   // NOT (...)
  EXPECT_FALSE(q.WhereHolds(ObjectRow(10, "A", "actor", "engine"), params));  // NOT (...)
  EXPECT_FALSE(q.WhereHolds(ObjectRow(7, "A", "actor", "core"), params));     // <> ?
  EXPECT_TRUE(q.WhereHolds(ObjectRow(7, "A", "brush", "engine"), params));    // > ?
  EXPECT_FALSE(q.WhereHolds(ObjectRow(7, "A", "ammo", "engine"), params));
}

TEST(SqlStatement, StarSkipsTheRowNumberColumnWhichCannotBeNamed) {
  SqlColumns columns = {{"Row___No", kTypeInteger, 0}, {"Name", kTypeString, 10}};
  TDataQuery q = TDataQuery::Parse("select * from t");
  q.Resolve(columns);
  EXPECT_EQ(ResultNames(q), std::vector<std::string>{"Name"});
  EXPECT_EQ(q.result_columns()[0].source_index, 1);

  for (const char* sql : {"select row___no from t", "select Name, t.ROW___NO from t"}) {
    TDataQuery named = TDataQuery::Parse(sql);
    EXPECT_EQ(SqlErrorOf([&] { named.Resolve(columns); }),
              SqlMessage("The reserved column name 'Row___No' cannot be specified in SELECT "
                         "clause"));
  }
}

TEST(SqlStatement, ColumnsMatchIgnoringCaseAndResolveAgain) {
  TDataQuery q = TDataQuery::Parse("select OBJECTNAME from objects where package = 'x' order by 1");
  q.Resolve(ObjectsColumns());
  EXPECT_EQ(q.result_columns()[0].source_index, 1);
  EXPECT_EQ(q.result_columns()[0].column_name, "OBJECTNAME");
  // The table changed shape between two opens.
  q.Resolve({{"Package", kTypeString, 20}, {"ObjectName", kTypeString, 35}});
  ASSERT_EQ(q.result_columns().size(), 1u);
  EXPECT_EQ(q.result_columns()[0].source_index, 1);
  EXPECT_EQ(q.where()->left->column_index, 0);
}

// Each parse error of the statement grammar, with its exact wording.
TEST(SqlStatement, ParseErrors) {
  struct Case {
    const char* sql;
    const char* message;
  };
  const Case cases[] = {
      {"", "SELECT, INSERT, UPDATE, or DELETE keyword expected, instead found ''"},
      {"choose * from t",
       "SELECT, INSERT, UPDATE, or DELETE keyword expected, instead found 'choose'"},
      {"/* one */ /* two */ select * from t",
       "SELECT, INSERT, UPDATE, or DELETE keyword expected, instead found '/'"},
      {"select * /* a */ /* b */ from t", "FROM keyword expected, instead found '/'"},
      {"select a b from t", "FROM keyword expected, instead found 'b'"},
      {"select * t", "FROM keyword expected, instead found 't'"},
      {"select * from where", "Table name expected after FROM keyword, instead found 'where'"},
      {"select * from 12", "Table name expected after FROM keyword, instead found '12'"},
      {"select a as from t", "Symbol or string expected after AS keyword, instead found 'from'"},
      {"select a as 5 from t", "Symbol or string expected after AS keyword, instead found '5'"},
      {"select * from t group package",
       "BY keyword expected after GROUP keyword, instead found 'package'"},
      {"select * from t group by",
       "Column name or column number expected in GROUP BY clause, instead found ''"},
      {"select * from t group by 1.5",
       "Column name or column number expected in GROUP BY clause, instead found '1.5'"},
      {"select * from t group by t.7",
       "Column name or column number expected in GROUP BY clause, instead found '7'"},
      {"select * from t order objectname",
       "BY keyword expected after ORDER keyword, instead found 'objectname'"},
      {"select * from t order by ?",
       "Column name or column number expected in ORDER BY clause, instead found '?'"},
      {"select * from t order by a,",
       "Column name or column number expected in ORDER BY clause, instead found ''"},
      {"select * from t;;", "End of SELECT statement expected, instead found ';'"},
      {"select * from t order by a nocase desc",
       "End of SELECT statement expected, instead found 'desc'"},
      {"select * from t where a = 1 having",
       "End of SELECT statement expected, instead found 'having'"},
      {"select * from t, u", "End of SELECT statement expected, instead found ','"},
      {"select * from t order by a group by a",
       "End of SELECT statement expected, instead found 'group'"},
      {"select ? from t", "Parameters are not allowed in SELECT clause"},
      {"select 1 from t", "Unknown or unexpected symbol '1' found in SELECT clause"},
      {"select from t", "Unknown or unexpected symbol 'from' found in SELECT clause"},
      {"select o. from t", "Unknown or unexpected symbol 'from' found in SELECT clause"},
      {"select * from t where", "Unknown or unexpected symbol '' found in WHERE clause"},
      {"select * from t where a = ", "Unknown or unexpected symbol '' found in WHERE clause"},
      {"select * from t where a = *", "Unknown or unexpected symbol '*' found in WHERE clause"},
      {"select * from t where (a = 1", "Unknown or unexpected symbol '' found in WHERE clause"},
      {"select * from t where a = 1.2.3",
       "Unknown or unexpected symbol '1.2.3' found in WHERE clause"},
      {"select * from t where a = -x", "Unknown or unexpected symbol 'x' found in WHERE clause"},
      {"select * from t where and = 1", "Unknown or unexpected symbol 'and' found in WHERE clause"},
      {"select * from t where a = 'x", "Missing single quote after 'x' in SQL statement"},
      {"select * from [t", "Missing right bracket after 't' in SQL statement"},
      {"insert into t values (1)",
       "INSERT statements are not supported, only SELECT statements can be executed"},
      {"UPDATE t set a = 1",
       "UPDATE statements are not supported, only SELECT statements can be executed"},
      {"delete from t",
       "DELETE statements are not supported, only SELECT statements can be executed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(SqlErrorOf([&] { TDataQuery::Parse(c.sql); }), SqlMessage(c.message));
  }
}

// Each name-resolution error, against the columns of objects.dat.
TEST(SqlStatement, ResolutionErrors) {
  struct Case {
    const char* sql;
    const char* message;
  };
  const Case cases[] = {
      {"select * from objects order by Unknown",
       "Invalid column name 'Unknown' or table correlation name '' specified in ORDER BY clause"},
      {"select * from objects o order by x.ObjectName",
       "Invalid column name 'ObjectName' or table correlation name 'x' specified in ORDER BY "
       "clause"},
      {"select Package from objects order by ObjectName",
       "Invalid column name 'ObjectName' or table correlation name '' specified in ORDER BY "
       "clause"},
      {"select Package from objects group by Missing",
       "Invalid column name 'Missing' or table correlation name '' specified in GROUP BY clause"},
      {"select Package, ObjectName from objects group by 3",
       "Invalid column number '3' specified in GROUP BY clause"},
      {"select Package from objects group by 0",
       "Invalid column number '0' specified in GROUP BY clause"},
      {"select Package from objects group by 99999999999999999999999",
       "Invalid column number '99999999999999999999999' specified in GROUP BY clause"},
      {"select * from objects order by 7",
       "Invalid column number '7' specified in ORDER BY clause"},
      {"select Nothing from objects",
       "Invalid column name 'Nothing' or table correlation name '' specified in SELECT clause"},
      {"select objects.Package from objects o",
       "Invalid column name 'Package' or table correlation name 'objects' specified in SELECT "
       "clause"},
      {"select * from objects where Nothing = 1",
       "Invalid column name 'Nothing' or table correlation name '' specified in WHERE clause"},
      {"select * from objects where ObjectName",
       "WHERE or JOIN clause must be a boolean expression"},
      {"select * from objects where 'x'", "WHERE or JOIN clause must be a boolean expression"},
      {"select * from objects where ?", "WHERE or JOIN clause must be a boolean expression"},
      {"select * from objects where Package = 'a' and ObjectId",
       "WHERE or JOIN clause must be a boolean expression"},
      {"select * from objects where not 1", "WHERE or JOIN clause must be a boolean expression"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    TDataQuery q = TDataQuery::Parse(c.sql);
    EXPECT_EQ(SqlErrorOf([&] { q.Resolve(ObjectsColumns()); }), SqlMessage(c.message));
  }
}

TEST(SqlStatement, DistinctTakesAtMost16Columns) {
  SqlColumns wide;
  for (int i = 1; i <= 17; ++i) wide.push_back({"C" + std::to_string(i), kTypeInteger, 0});
  TDataQuery all = TDataQuery::Parse("select distinct * from t");
  EXPECT_EQ(SqlErrorOf([&] { all.Resolve(wide); }),
            SqlMessage("Maximum number of columns (16) in DISTINCT clause exceeded"));
  wide.pop_back();
  all.Resolve(wide);
  EXPECT_EQ(all.result_columns().size(), 16u);
  // Without DISTINCT the width does not matter.
  wide.push_back({"C17", kTypeInteger, 0});
  TDataQuery plain = TDataQuery::Parse("select * from t");
  plain.Resolve(wide);
  EXPECT_EQ(plain.result_columns().size(), 17u);
}

TEST(SqlStatement, BooleanColumnIsACondition) {
  SqlColumns columns = {{"Name", kTypeString, 10}, {"Flag", kTypeBoolean, 0}};
  TDataQuery q = TDataQuery::Parse("select * from t where Flag and not Flag = 'false'");
  q.Resolve(columns);
  testing::TestRow yes, no, unknown;
  yes.Str("a").Bool(true);
  no.Str("a").Bool(false);
  unknown.Str("a").Null();
  EXPECT_TRUE(q.WhereHolds(yes, {}));
  EXPECT_FALSE(q.WhereHolds(no, {}));
  EXPECT_FALSE(q.WhereHolds(unknown, {}));
}

}  // namespace
}  // namespace quoldex::tables
