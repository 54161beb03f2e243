// Running the class tree's statements on objects.dat: the rows and their
// order, parameters, source-index use against a plain scan, and what a
// result leaves on disk.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "tables/base/engine_error.h"
#include "tables/components/db_query.h"
#include "tables/cursor/table_cursor.h"
#include "tables/query/query_executor.h"
#include "tables/query/query_result_table.h"
#include "tables/query/query_test_util.h"
#include "tables/sql/sql_params.h"
#include "tables/storage/memory_files.h"
#include "text/western.h"

namespace quoldex::tables {
namespace {

using quoldex::testing::TempDir;
using testing::ClassRow;
using testing::CreateObjects;

const std::vector<std::string> kBase = {"select * from Objects where InheritsFrom = :Ancestor",
                                        "order by Objectname"};
const std::vector<std::string> kPackages = {"select package ", "from objects", "group by package"};
const std::vector<std::string> kPackageLevel = {"select * from Objects where Package = :Package",
                                                "order by Objectname"};
const std::vector<std::string> kBaseKids = {"select distinct InheritsFrom ", "from Objects "};

// A request as the query component builds it: lines joined with line
// breaks, markers replaced, values by position.
QueryRequest Request(const std::string& dir, const std::vector<std::string>& lines,
                     const std::vector<std::string>& values = {}) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  ParameterizedSql sql = ExtractParameters(text);
  QueryRequest request;
  request.database_name = dir;
  request.sql = sql.text;
  request.parameter_names = sql.names;
  request.parameter_values = values;
  return request;
}

// The values of `column` over the result's rows, from the first; a null
// reads as "(null)".
std::vector<std::string> Column(QueryResult& result, const std::string& column) {
  TableCursor& cursor = result.Cursor();
  int number = cursor.FieldNumber(column);
  EXPECT_GT(number, 0) << column;
  std::vector<std::string> values;
  for (bool on = cursor.First(); on; on = cursor.Next()) {
    FieldValue v = cursor.GetField(number);
    values.push_back(v.IsNull() ? "(null)" : v.text);
  }
  return values;
}

std::vector<std::string> Select(const std::string& dir, const std::vector<std::string>& lines,
                                const std::vector<std::string>& values, const std::string& column) {
  std::unique_ptr<QueryResult> result = RunSelectQuery(Request(dir, lines, values));
  return Column(*result, column);
}

using Names = std::vector<std::string>;

class QueryExecTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(QueryExecTest, ChildrenComeInLanguageOrderWithAllColumns) {
  CreateObjects(dir_.path(), {{"Brush", "<none>", "engine"},
                              {"actor", "<none>", "engine"},
                              {"ammo", "<none>", "botpack"},
                              {"Pawn", "actor", "engine"},
                              {"Light", "actor", "engine"},
                              {"Keypoint", "Actor", "engine"}});
  // Language order, not the byte order Brush, actor, ammo.
  EXPECT_EQ(Select(dir_.path(), kBase, {"<none>"}, "ObjectName"),
            (Names{"actor", "ammo", "Brush"}));
  // The comparison is exact: "Actor" is not a child of "actor".
  EXPECT_EQ(Select(dir_.path(), kBase, {"actor"}, "ObjectName"), (Names{"Light", "Pawn"}));
  EXPECT_EQ(Select(dir_.path(), kBase, {"Actor"}, "ObjectName"), Names{"Keypoint"});

  auto result = RunSelectQuery(Request(dir_.path(), kBase, {"actor"}));
  TableCursor& cursor = result->Cursor();
  ASSERT_TRUE(cursor.HasRecord());  // stands on the first row
  EXPECT_EQ(cursor.GetField(cursor.FieldNumber("ObjectName")).text, "Light");
  EXPECT_EQ(cursor.GetField(cursor.FieldNumber("ObjectId")), FieldValue::Integer(5));
  EXPECT_EQ(cursor.GetField(cursor.FieldNumber("Filename")).text,
            "C:\\UT\\engine\\Classes\\Light.uc");
  EXPECT_EQ(cursor.GetField(cursor.FieldNumber("FileTimeStamp")).text, "2001-05-17");
  EXPECT_EQ(cursor.GetField(cursor.FieldNumber("Package")).text, "engine");
  EXPECT_EQ(cursor.RecordCount(), 2);

  // A parent that no row has gives an empty result, at its end at once.
  auto none = RunSelectQuery(Request(dir_.path(), kBase, {"nothing"}));
  EXPECT_FALSE(none->Cursor().First());
  EXPECT_TRUE(none->Cursor().Eof());
}

TEST_F(QueryExecTest, PackagesOnceEachAscendingAndCaseVariantsApart) {
  CreateObjects(dir_.path(), {{"A", "<none>", "core"},
                              {"B", "<none>", "botpack"},
                              {"C", "<none>", "BotPack"},
                              {"D", "<none>", "botpack"},
                              {"E", "<none>", "Unknown"},
                              {"F", "<none>", ""}});
  // Names differing only in case are two groups, lower case first; the
  // null package is a group of its own and comes first.
  EXPECT_EQ(Select(dir_.path(), kPackages, {}, "package"),
            (Names{"(null)", "botpack", "BotPack", "core", "Unknown"}));
}

TEST_F(QueryExecTest, PackageLevelIsCaseSensitive) {
  CreateObjects(dir_.path(), {{"Zed", "<none>", "botpack"},
                              {"Alpha", "<none>", "botpack"},
                              {"Other", "<none>", "botpack2"},
                              {"Lost", "<none>", "Unknown"}});
  EXPECT_EQ(Select(dir_.path(), kPackageLevel, {"botpack"}, "ObjectName"), (Names{"Alpha", "Zed"}));
  // The tree asks with the lower-case text of the node "Unknown".
  EXPECT_EQ(Select(dir_.path(), kPackageLevel, {"unknown"}, "ObjectName"), Names{});
  EXPECT_EQ(Select(dir_.path(), kPackageLevel, {"Unknown"}, "ObjectName"), Names{"Lost"});
}

TEST_F(QueryExecTest, BaseKidsOneRowPerParent) {
  CreateObjects(dir_.path(), {{"actor", "object", "engine"},
                              {"Pawn", "actor", "engine"},
                              {"Light", "actor", "engine"},
                              {"Bot", "pawn", "botpack"},
                              {"Info", "actor", "engine"},
                              {"Object", "<none>", "core"},
                              {"Odd", "Actor", "botpack"}});
  EXPECT_EQ(Select(dir_.path(), kBaseKids, {}, "InheritsFrom"),
            (Names{"<none>", "actor", "Actor", "object", "pawn"}));
}

// Names that differ only in case are both kept and ordered by the language
// comparison, here from a table read in physical order (no primary index).
TEST_F(QueryExecTest, OrderByKeepsCaseVariantsInLanguageOrder) {
  TableSettings settings;
  settings.directory = dir_.path();
  settings.table_name = "Maps.DAT";
  TableDefinition d;
  d.fields = {testing::Column("MapName", kTypeString, 35, false),
              testing::Column("Filename", kTypeString, 250, false)};
  d.indexes = {IndexDesc{}};
  TableCursor::Create(settings, d);
  TableCursor t(settings);
  t.Open();
  for (const char* name : {"b.unr", "A.unr", "Ab.unr", "a.unr", "\xC9t\xE9.unr", "Ete.unr"}) {
    t.Append();
    t.SetField(1, FieldValue::String(name));
    t.Post();
  }
  t.Close();
  EXPECT_EQ(Select(dir_.path(), {"select * from maps order by MapName"}, {}, "MapName"),
            (Names{"a.unr", "A.unr", "Ab.unr", "b.unr", "Ete.unr", "\xC9t\xE9.unr"}));
  EXPECT_EQ(
      Select(dir_.path(), {"select MapName from maps order by MapName desc nocase"}, {}, "MapName"),
      (Names{"\xC9t\xE9.unr", "Ete.unr", "b.unr", "Ab.unr", "A.unr", "a.unr"}));
}

TEST_F(QueryExecTest, OrderGroupAndDistinctCombined) {
  CreateObjects(dir_.path(), {{"a1", "x", "core"},
                              {"a2", "y", "core"},
                              {"a3", "x", "engine"},
                              {"a4", "X", "engine"},
                              {"a5", "y", "fire"}});
  EXPECT_EQ(Select(dir_.path(), {"select distinct InheritsFrom from Objects order by 1 desc"}, {},
                   "InheritsFrom"),
            (Names{"y", "X", "x"}));
  // NOCASE orders "x" and "X" as equals (ties keep the order rows came in)
  // while DISTINCT still tells them apart.
  EXPECT_EQ(Select(dir_.path(), {"select distinct InheritsFrom from Objects order by 1 nocase"}, {},
                   "InheritsFrom"),
            (Names{"x", "X", "y"}));
  EXPECT_EQ(
      Select(dir_.path(),
             {"select Package, InheritsFrom from Objects group by Package order by 2 desc, 1"}, {},
             "Package"),
      (Names{"fire", "core", "engine"}));
  // Without ORDER BY, GROUP BY or DISTINCT every kept row is there once.
  EXPECT_EQ(Select(dir_.path(), {"select InheritsFrom from Objects where InheritsFrom <> 'y'"}, {},
                   "InheritsFrom")
                .size(),
            3u);
}

// Points the temporary folder at a fresh folder while it lives.
class ScopedTempFolder {
 public:
  ScopedTempFolder() {
    const char* old = getenv("TMPDIR");
    had_ = old != nullptr;
    if (had_) saved_ = old;
    setenv("TMPDIR", folder_.path().c_str(), 1);
  }
  ~ScopedTempFolder() {
    if (had_) {
      setenv("TMPDIR", saved_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  const TempDir& folder() const { return folder_; }

 private:
  TempDir folder_;
  bool had_ = false;
  std::string saved_;
};

Names FilesIn(const std::string& folder) {
  Names names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(QueryExecTest, ResultTablesLiveOnlyInTheTemporaryFolder) {
  CreateObjects(dir_.path(), {{"Brush", "<none>", "engine"}, {"actor", "<none>", "engine"}});
  ScopedTempFolder temp;
  const Names cwd_before = FilesIn(".");
  const Names data_before = FilesIn(dir_.path());
  {
    auto first = RunSelectQuery(Request(dir_.path(), kBase, {"<none>"}));
    auto second = RunSelectQuery(Request(dir_.path(), kPackages));
    EXPECT_EQ(Column(*first, "ObjectName"), (Names{"actor", "Brush"}));
    EXPECT_EQ(Column(*second, "package"), Names{"engine"});
    // Open results are already unlinked: nothing to leave behind if the
    // process dies now.
    EXPECT_EQ(FilesIn(temp.folder().path()), Names{});
    EXPECT_EQ(FilesIn("."), cwd_before);
    EXPECT_EQ(FilesIn(dir_.path()), data_before);
  }
  EXPECT_EQ(FilesIn(temp.folder().path()), Names{});
}

TEST(QueryResultTable, NamedFromTheThreadIdAndTheFirstFreeCounter) {
  ScopedTempFolder temp;
  const std::vector<FieldDesc> fields = {testing::Column("Name", kTypeString, 10, false)};
  const std::vector<IndexDesc> indexes = {testing::IndexOn("", {1}, true, false)};
  std::string prefix;
  {
    QueryResultTable first(fields, indexes);
    const std::string name = first.FileName().substr(temp.folder().path().size());
    ASSERT_EQ(first.FileName(), temp.folder().Path(name));
    ASSERT_GE(name.size(), 6u);
    ASSERT_LE(name.size(), 10u);  // at most five digits, then the counter 0
    EXPECT_EQ(name.substr(name.size() - 5), "0.DAT");
    prefix = name.substr(0, name.size() - 5);
    EXPECT_TRUE(std::all_of(prefix.begin(), prefix.end(), ::isdigit));
  }
  // The files were in memory, and are gone with the table.
  EXPECT_FALSE(memory_files::Exists(temp.folder().Path(prefix + "0.DAT")));
  EXPECT_FALSE(memory_files::Exists(temp.folder().Path(prefix + "0.IDX")));
  // Names whose data or index file is in use are passed over.
  memory_files::Create(temp.folder().Path(prefix + "0.IDX"));
  memory_files::Create(temp.folder().Path(prefix + "1.DAT"));
  QueryResultTable next(fields, indexes);
  EXPECT_EQ(next.FileName(), temp.folder().Path(prefix + "2.DAT"));
  // Open, the table is known by no name.
  EXPECT_FALSE(memory_files::Exists(next.FileName()));
  // The table works in the language order.
  TableCursor& cursor = next.Cursor();
  for (const char* name : {"Brush", "actor", "Actor", "ammo"}) {
    cursor.Append();
    cursor.SetField(1, FieldValue::String(name));
    cursor.Post();
  }
  Names order;
  for (bool on = cursor.First(); on; on = cursor.Next()) order.push_back(cursor.GetField(1).text);
  EXPECT_EQ(order, (Names{"actor", "Actor", "ammo", "Brush"}));
  EXPECT_EQ(FilesIn(temp.folder().path()), Names{});
  memory_files::Remove(temp.folder().Path(prefix + "0.IDX"));
  memory_files::Remove(temp.folder().Path(prefix + "1.DAT"));
}

TEST_F(QueryExecTest, ErrorsLeaveNothingOpenOrBehind) {
  CreateObjects(dir_.path(), {{"Brush", "<none>", "engine"}});
  auto code_of = [&](const std::vector<std::string>& lines) {
    try {
      RunSelectQuery(Request(dir_.path(), lines));
    } catch (const EDbEngineError& e) {
      return e.ErrorCode();
    }
    return 0;
  };
  EXPECT_EQ(code_of({"select * from Objects order by Nope"}), kErrSql);
  EXPECT_EQ(code_of({"select * from Objects group by 3, 9"}), kErrSql);
  EXPECT_EQ(code_of({"select * from Objects; x"}), kErrSql);
  EXPECT_EQ(code_of({"select * from Missing"}), kErrPath);
  // The source is closed again: it can be opened exclusively.
  TableSettings exclusive = testing::ObjectsSettings(dir_.path());
  exclusive.exclusive = true;
  TableCursor t(exclusive);
  EXPECT_NO_THROW(t.Open());
  // ... and a source held exclusively by someone else refuses the query.
  EXPECT_EQ(code_of(kPackages), kErrAccessDenied);
}

// The query component with this executor installed, as the class tree
// uses it: fields by name, parameters rebound on every open, read-only.
TEST_F(QueryExecTest, QueryComponentRerunsWithTheCurrentParameter) {
  CreateObjects(dir_.path(), {{"Brush", "<none>", "engine"},
                              {"actor", "<none>", "engine"},
                              {"Pawn", "actor", "engine"},
                              {"Info", "actor", "engine"}});
  ScopedTempFolder temp;
  QueryExecutor previous = SetQueryExecutor(RunSelectQuery);
  TDbQuery q;
  q.SetDatabaseName(dir_.path().substr(0, dir_.path().size() - 1));  // no final separator
  q.SetSQL(kBase);
  auto names = [&q] {
    Names out;
    for (; !q.Eof(); q.Next()) out.push_back(q.FieldByName("ObjectName").AsString());
    return out;
  };
  q.ParamByName("Ancestor").SetAsString("<none>");
  q.Open();
  EXPECT_EQ(q.FieldByName("objectname").AsString(), "actor");  // on the first row
  EXPECT_EQ(names(), (Names{"actor", "Brush"}));
  EXPECT_THROW(q.Edit(), EDatabaseError);
  q.Close();
  EXPECT_EQ(FilesIn(temp.folder().path()), Names{});

  q.Params()[0].SetAsString("actor");
  q.Open();
  EXPECT_EQ(names(), (Names{"Info", "Pawn"}));
  q.Close();

  // A statement error reaches the caller word for word; the query stays
  // closed.
  q.SetSQL({"select * from Objects", "order by Nope"});
  try {
    q.Open();
    ADD_FAILURE() << "no error";
  } catch (const EDbEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrSql);
    EXPECT_STREQ(e.what(),
                 "Table Engine Error # 11949 SQL - Invalid column name 'Nope' or table "
                 "correlation name '' specified in ORDER BY clause");
  }
  EXPECT_FALSE(q.Active());
  SetQueryExecutor(previous);
}

// Random catalogues: the result through the source index equals a plain
// scan of every row sorted with the language comparison.
TEST_F(QueryExecTest, IndexedResultEqualsPlainScan) {
  std::mt19937 rng(20011);
  const std::vector<std::string> parents = {"actor",  "Actor",     "ACTOR",     "pawn",
                                            "<none>", "\xE9t\xE9", "\xC9t\xE9", "info"};
  const std::vector<std::string> packages = {"botpack", "BotPack", "core", "", "unknown"};
  const std::string letters = "aAbBzZ_\xE9\xC9\xE8";
  std::vector<ClassRow> rows;
  std::set<std::string> taken;  // names are unique ignoring case (ByName)
  while (rows.size() < 400) {
    std::string name;
    for (int n = 1 + rng() % 6; n > 0; --n) name += letters[rng() % letters.size()];
    if (!taken.insert(text::LowerCase(name)).second) continue;
    rows.push_back({name, parents[rng() % parents.size()], packages[rng() % packages.size()]});
  }
  CreateObjects(dir_.path(), rows);

  auto expected = [&](auto keep) {
    Names names;
    for (const ClassRow& r : rows) {
      if (keep(r)) names.push_back(r.name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return text::CompareLanguage(a, b, false) < 0;
    });
    return names;
  };
  for (const std::string& parent : parents) {
    SCOPED_TRACE(parent);
    EXPECT_EQ(Select(dir_.path(), kBase, {parent}, "ObjectName"),
              expected([&](const ClassRow& r) { return r.parent == parent; }));
    // The same condition written so that no index can serve it.
    EXPECT_EQ(Select(dir_.path(),
                     {"select * from Objects where not (InheritsFrom <> :A) order by ObjectName"},
                     {parent}, "ObjectName"),
              expected([&](const ClassRow& r) { return r.parent == parent; }));
  }
  for (const std::string& package : packages) {
    SCOPED_TRACE(package);
    EXPECT_EQ(Select(dir_.path(), kPackageLevel, {package}, "ObjectName"),
              expected([&](const ClassRow& r) { return r.package == package; }));
  }
  // By name through the unique index, exact case only.
  const ClassRow& some = rows[rng() % rows.size()];
  EXPECT_EQ(Select(dir_.path(), {"select * from Objects where ObjectName = ?"}, {some.name},
                   "ObjectName"),
            Names{some.name});
  EXPECT_EQ(Select(dir_.path(), {"select * from Objects where ObjectName = ?"},
                   {text::LowerCase(some.name) == some.name ? some.name + "_"
                                                            : text::LowerCase(some.name)},
                   "ObjectName"),
            Names{});

  Names distinct_parents;
  for (const std::string& p : parents) {
    if (std::any_of(rows.begin(), rows.end(), [&](const ClassRow& r) { return r.parent == p; })) {
      distinct_parents.push_back(p);
    }
  }
  std::sort(distinct_parents.begin(), distinct_parents.end(),
            [](const std::string& a, const std::string& b) {
              return text::CompareLanguage(a, b, false) < 0;
            });
  EXPECT_EQ(Select(dir_.path(), kBaseKids, {}, "InheritsFrom"), distinct_parents);
}

}  // namespace
}  // namespace quoldex::tables
