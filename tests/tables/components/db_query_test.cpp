#include "tables/components/db_query.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tables/components/db_test_util.h"
#include "tables/cursor/table_cursor.h"

namespace quoldex::tables {
namespace {

using test::DbErrorOf;

const std::vector<std::string> kBase = {"select * from Objects where InheritsFrom = :Ancestor",
                                        "order by Objectname"};

// A stand-in for the statement engine: answers every request with the
// classes whose parent is the first parameter, in a result table of its own
// folder that it removes when the result is destroyed.
class FakeExecutor {
 public:
  struct Result : QueryResult {
    test::TempDir dir;
    std::unique_ptr<TableCursor> cursor;
    int* alive = nullptr;
    ~Result() override { --*alive; }
    TableCursor& Cursor() override { return *cursor; }
  };

  std::unique_ptr<QueryResult> operator()(const QueryRequest& request) {
    requests.push_back(request);
    auto result = std::make_unique<Result>();
    TDbTable t;
    t.SetDatabaseName(result->dir.Dir());
    t.SetTableName("result");
    t.FieldDefs().Add({"ObjectName", FieldKind::kString, 35});
    t.FieldDefs().Add({"ObjectId", FieldKind::kInteger});
    t.FieldDefs().Add({"InheritsFrom", FieldKind::kString, 35});
    t.IndexDefs().Add({"", "ObjectName", {.unique = true}});
    t.CreateTable();
    t.Open();
    const char* rows[][2] = {{"Brush", "actor"}, {"Actor", "object"}, {"Info", "actor"}};
    int id = 0;
    for (const auto& row : rows) {
      ++id;
      if (request.parameter_values.at(0) != row[1]) continue;
      t.Append();
      t.FieldByName("ObjectName").SetAsString(row[0]);
      t.FieldByName("ObjectId").SetAsInteger(id);
      t.FieldByName("InheritsFrom").SetAsString(row[1]);
      t.Post();
    }
    t.Close();
    TableSettings settings;
    settings.directory = result->dir.Dir();
    settings.table_name = "result";
    settings.read_only = true;
    result->cursor = std::make_unique<TableCursor>(settings);
    result->cursor->Open();
    result->alive = &alive;
    ++alive;
    return result;
  }

  std::vector<QueryRequest> requests;
  int alive = 0;
};

class DbQueryTest : public ::testing::Test {
 protected:
  void TearDown() override { SetQueryExecutor(nullptr); }
};

TEST_F(DbQueryTest, SqlLinesAndParameters) {
  TDbQuery q;
  q.SetSQL(kBase);
  EXPECT_EQ(q.SQLText(),
            "select * from Objects where InheritsFrom = :Ancestor\norder by Objectname");
  ASSERT_EQ(q.Params().Count(), 1);
  EXPECT_EQ(q.Params()[0].Name(), "Ancestor");
  EXPECT_TRUE(q.Params()[0].IsNull());
  q.ParamByName("ANCESTOR").SetAsString("actor");
  EXPECT_EQ(q.Params()[0].AsString(), "actor");
  EXPECT_EQ(DbErrorOf([&] { q.ParamByName("Package"); }), "Parameter 'Package' not found");

  // New text: parameters are listed anew, a same-named one keeps its value.
  q.SetSQL({"select * from Objects where InheritsFrom = :ancestor and Package = :Package",
            "and ':Quoted' <> Filename"});
  ASSERT_EQ(q.Params().Count(), 2);
  EXPECT_EQ(q.Params()[0].AsString(), "actor");
  EXPECT_TRUE(q.ParamByName("Package").IsNull());
  q.SetSQL({"select package ", "from objects", "group by package"});
  EXPECT_EQ(q.Params().Count(), 0);
  EXPECT_EQ(q.SQLText(), "select package \nfrom objects\ngroup by package");
}

TEST_F(DbQueryTest, OpeningNeedsAnExecutorAndEveryParameter) {
  TDbQuery q;
  q.SetSQL(kBase);
  q.ParamByName("Ancestor").SetAsString("actor");
  EXPECT_EQ(DbErrorOf([&] { q.Open(); }), "Query execution is not available");
  EXPECT_FALSE(q.Active());

  SetQueryExecutor([](const QueryRequest&) { return std::unique_ptr<QueryResult>(); });
  EXPECT_EQ(DbErrorOf([&] { q.Open(); }), "Error creating table handle.");
  EXPECT_FALSE(q.Active());

  FakeExecutor fake;
  SetQueryExecutor(std::ref(fake));
  q.Params()[0].Clear();
  EXPECT_EQ(DbErrorOf([&] { q.Open(); }), "No value for parameter 'Ancestor'");
  EXPECT_TRUE(fake.requests.empty());
}

TEST_F(DbQueryTest, OpenRunsTheStatementAndGivesReadOnlyRows) {
  FakeExecutor fake;
  SetQueryExecutor(std::ref(fake));
  TDbQuery q;
  q.SetDatabaseName("/data");
  q.SetLockRetryCount(3);
  q.SetSQL(kBase);
  TField& name = q.AddField<TStringField>("ObjectName", 35);
  q.AddField<TIntegerField>("ObjectId");
  q.ParamByName("Ancestor").SetAsString("actor");
  q.Open();

  ASSERT_EQ(fake.requests.size(), 1u);
  const QueryRequest& r = fake.requests[0];
  EXPECT_EQ(r.database_name, "/data");
  EXPECT_EQ(r.sql, "select * from Objects where InheritsFrom = ?\norder by Objectname");
  EXPECT_EQ(r.parameter_names, (std::vector<std::string>{"Ancestor"}));
  EXPECT_EQ(r.parameter_values, (std::vector<std::string>{"actor"}));
  EXPECT_EQ(r.lock_retry_count, 3);
  EXPECT_EQ(r.lock_wait_time, 100);

  EXPECT_EQ(test::Column(q, "ObjectName"), (std::vector<std::string>{"Brush", "Info"}));
  EXPECT_EQ(q.FieldByName("objectid").AsInteger(), 3);
  EXPECT_EQ(q.FieldCount(), 2);
  EXPECT_EQ(DbErrorOf([&] { q.Edit(); }), "Cannot modify a read-only dataset");
  EXPECT_EQ(DbErrorOf([&] { q.Append(); }), "Cannot modify a read-only dataset");
  EXPECT_EQ(DbErrorOf([&] { q.Delete(); }), "Cannot modify a read-only dataset");
  EXPECT_EQ(DbErrorOf([&] { name.SetAsString("x"); }), "Dataset not in edit or insert mode");
  EXPECT_EQ(DbErrorOf([&] { q.SetDatabaseName("/other"); }),
            "Cannot perform this operation on an open database.");
  EXPECT_EQ(fake.alive, 1);

  // Closing removes the result; opening again runs the statement again.
  q.Close();
  EXPECT_EQ(fake.alive, 0);
  q.ParamByName("Ancestor").SetAsString("object");
  q.Open();
  EXPECT_EQ(fake.requests.size(), 2u);
  EXPECT_EQ(test::Column(q, "ObjectName"), (std::vector<std::string>{"Actor"}));

  // New text closes the query.
  q.SetSQL(kBase);
  EXPECT_FALSE(q.Active());
  EXPECT_EQ(fake.alive, 0);
  EXPECT_EQ(q.ParamByName("Ancestor").AsString(), "object");
}

TEST_F(DbQueryTest, AnEmptyResultHasNoRows) {
  FakeExecutor fake;
  SetQueryExecutor(std::ref(fake));
  TDbQuery q;
  q.SetSQL(kBase);
  q.ParamByName("Ancestor").SetAsString("pawn");
  q.Open();
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_TRUE(q.Eof());
  EXPECT_EQ(q.FieldByName("ObjectName").AsString(), "");
  EXPECT_EQ(q.RecordCount(), 0);
}

}  // namespace
}  // namespace quoldex::tables
