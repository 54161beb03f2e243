// The class tree's four statements and the grep dialog's package filter over
// a generated catalogue of 100,000 classes, beside SQLite running the same
// statements over the same rows with the same indexes (NOCASE where ours
// are case-insensitive).
//
// The catalogue: 300 parent classes in a tree under "object", with
// 100,000 classes spread over them Zipf-like (the largest parent has about
// 9,000 children, the 300th about 90), and 150 packages spread the same
// way. "typical" parameters are a parent and a package of middle rank.
//
// Each run builds the result and reads every row's ObjectName (or the one
// column). After the runs, a table gives the median of each case and the
// ratio ours / SQLite. SQLite prepares each statement once; ours parses it
// on every open, as the query component does.
//
// SQLite compares "InheritsFrom = ?" with its BINARY collation, which its
// NOCASE index cannot serve, so it scans; "SQLite nocase-where" is the same
// statement with "COLLATE NOCASE" on the comparison so that it can use its
// index: the stronger reference for the children statement.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "fakes/objects_table.h"
#include "tables/components/db_table.h"
#include "tables/cursor/table_cursor.h"
#include "tables/query/db_query_exec.h"
#include "tables/query/query_executor.h"
#include "tables/sql/sql_params.h"
#include "tables_bench_util.h"
#include "text/western.h"

namespace {

using namespace quoldex::tables;

constexpr int kClasses = 100000;
constexpr int kParents = 300;
constexpr int kPackages = 150;

struct Catalogue {
  std::string folder;  // ends with '/'
  sqlite3* db = nullptr;
  std::string typical_parent, largest_parent, typical_package, largest_package;
  std::map<std::string, int> children, package_size;

  ~Catalogue() {
    sqlite3_close(db);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};

// Index of a Zipf-like draw over `n` ranks (exponent 0.8).
class Zipf {
 public:
  explicit Zipf(int n) {
    double sum = 0;
    for (int k = 1; k <= n; ++k) cumulative_.push_back(sum += std::pow(k, -0.8));
  }
  int Draw(std::mt19937& rng) const {
    double u = std::uniform_real_distribution<double>(0, cumulative_.back())(rng);
    return static_cast<int>(std::lower_bound(cumulative_.begin(), cumulative_.end(), u) -
                            cumulative_.begin());
  }

 private:
  std::vector<double> cumulative_;
};

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error(message);
  }
}

struct Row {
  std::string name, parent, package;
};

std::vector<Row> GenerateRows(Catalogue& c) {
  std::mt19937 rng(1999);
  static const char* const kWords[] = {"Bot",   "weapon", "Pawn",  "Trigger", "ammo",  "Effect",
                                       "Light", "mover",  "Decal", "Info",    "Scout", "zone"};
  std::vector<Row> rows;
  std::vector<std::string> parents;
  // The parents first, each a child of an earlier parent.
  for (int k = 0; k < kParents; ++k) {
    std::string name = std::string(kWords[k % 12]) + "Base" + std::to_string(k);
    std::string parent = k == 0 ? "<none>" : parents[rng() % k];
    parents.push_back(quoldex::text::LowerCase(name));
    rows.push_back({name, parent, ""});
  }
  Zipf by_parent(kParents), by_package(kPackages);
  for (int i = static_cast<int>(rows.size()); i < kClasses; ++i) {
    rows.push_back(
        {std::string(kWords[rng() % 12]) + std::to_string(i), parents[by_parent.Draw(rng)], ""});
  }
  for (Row& r : rows) {
    r.package = rng() % 100 == 0 ? "Unknown" : "pkg" + std::to_string(by_package.Draw(rng));
    ++c.children[r.parent];
    ++c.package_size[r.package];
  }
  c.largest_parent = parents[0];
  for (const auto& [p, n] : c.children) {
    if (n > c.children[c.largest_parent] && p != "<none>") c.largest_parent = p;
  }
  c.typical_parent = parents[kParents / 5];
  c.typical_package = "pkg" + std::to_string(kPackages / 5);
  c.largest_package = "pkg0";
  return rows;
}

std::string FileNameOf(const Row& r) {
  return "C:\\UnrealTournament\\" + r.package + "\\Classes\\" + r.name + ".uc";
}

void BuildOurs(const Catalogue& c, const std::vector<Row>& rows) {
  TableSettings settings;
  settings.directory = c.folder;
  settings.table_name = "objects.dat";
  TableCursor::Create(settings, quoldex::testing::ObjectsDefinition());
  settings.exclusive = true;  // a bulk load: writes deferred
  TableCursor t(settings);
  t.Open();
  for (const Row& r : rows) {
    t.Append();
    t.SetField(2, FieldValue::String(r.name));
    t.SetField(3, FieldValue::String(r.parent));
    t.SetField(4, FieldValue::String(FileNameOf(r)));
    t.SetField(5, FieldValue::String("2001-05-17"));
    t.SetField(6, FieldValue::String(r.package));
    t.Post();
  }
  t.Close();
}

void BuildSqlite(Catalogue& c, const std::vector<Row>& rows) {
  if (sqlite3_open((c.folder + "objects.sqlite").c_str(), &c.db) != SQLITE_OK) {
    throw std::runtime_error("cannot open the SQLite database");
  }
  Exec(c.db,
       "CREATE TABLE objects(ObjectId INTEGER PRIMARY KEY AUTOINCREMENT, ObjectName TEXT NOT "
       "NULL, InheritsFrom TEXT NOT NULL, Filename TEXT NOT NULL, FileTimeStamp TEXT, Package "
       "TEXT);"
       "CREATE UNIQUE INDEX ByName ON objects(ObjectName COLLATE NOCASE);"
       "CREATE INDEX ByInheritance ON objects(InheritsFrom COLLATE NOCASE, ObjectName COLLATE "
       "NOCASE);"
       "BEGIN;");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(c.db,
                     "INSERT INTO objects(ObjectName, InheritsFrom, Filename, FileTimeStamp, "
                     "Package) VALUES (?, ?, ?, '2001-05-17', ?)",
                     -1, &insert, nullptr);
  for (const Row& r : rows) {
    std::string file = FileNameOf(r);
    sqlite3_bind_text(insert, 1, r.name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 2, r.parent.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 3, file.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 4, r.package.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Exec(c.db, "COMMIT; ANALYZE;");
}

const Catalogue& TheCatalogue() {
  static Catalogue* catalogue = [] {
    auto* c = new Catalogue;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quoldex-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    c->folder = pattern + "/";
    std::vector<Row> rows = GenerateRows(*c);
    BuildOurs(*c, rows);
    BuildSqlite(*c, rows);
    std::atexit([] { delete catalogue; });
    return c;
  }();
  return *catalogue;
}

// ---- The cases ----

struct Case {
  const char* name;
  std::vector<std::string> lines;  // ours, as the program writes them
  std::string sqlite;              // SQLite's text of the same statement
  std::string (*parameter)(const Catalogue&);
  const char* column;
};

std::string NoParameter(const Catalogue&) { return {}; }
std::string TypicalParent(const Catalogue& c) { return c.typical_parent; }
std::string LargestParent(const Catalogue& c) { return c.largest_parent; }
std::string Roots(const Catalogue&) { return "<none>"; }
std::string TypicalPackage(const Catalogue& c) { return c.typical_package; }
std::string LargestPackage(const Catalogue& c) { return c.largest_package; }

const std::vector<std::string> kBase = {"select * from Objects where InheritsFrom = :Ancestor",
                                        "order by Objectname"};
const std::vector<std::string> kPackageLevel = {"select * from Objects where Package = :Package",
                                                "order by Objectname"};
const char* const kBaseSql = "select * from Objects where InheritsFrom = ? order by Objectname";
const char* const kBaseNocaseSql =
    "select * from Objects where InheritsFrom = ? COLLATE NOCASE order by Objectname";
const char* const kPackageLevelSql = "select * from Objects where Package = ? order by Objectname";

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"children/typical", kBase, kBaseSql, TypicalParent, "ObjectName"},
      {"children/largest", kBase, kBaseSql, LargestParent, "ObjectName"},
      {"children/roots", kBase, kBaseSql, Roots, "ObjectName"},
      {"package-classes/typical", kPackageLevel, kPackageLevelSql, TypicalPackage, "ObjectName"},
      {"package-classes/largest", kPackageLevel, kPackageLevelSql, LargestPackage, "ObjectName"},
      {"packages",
       {"select package ", "from objects", "group by package"},
       "select package from objects group by package",
       NoParameter,
       "package"},
      {"base-kids",
       {"select distinct InheritsFrom ", "from Objects "},
       "select distinct InheritsFrom from Objects",
       NoParameter,
       "InheritsFrom"},
  };
  return cases;
}

QueryRequest RequestFor(const Case& c, const Catalogue& catalogue) {
  std::string text;
  for (const std::string& line : c.lines) text += (text.empty() ? "" : "\n") + line;
  ParameterizedSql sql = ExtractParameters(text);
  QueryRequest request;
  request.database_name = catalogue.folder;
  request.sql = sql.text;
  request.parameter_names = sql.names;
  if (!sql.names.empty()) request.parameter_values = {c.parameter(catalogue)};
  return request;
}

void BM_Ours(benchmark::State& state, const Case* c) {
  const Catalogue& catalogue = TheCatalogue();
  QueryRequest request = RequestFor(*c, catalogue);
  int64_t rows = 0;
  for (auto _ : state) {
    std::unique_ptr<QueryResult> result = RunSelectQuery(request);
    TableCursor& cursor = result->Cursor();
    int column = cursor.FieldNumber(c->column);
    rows = 0;
    for (bool on = cursor.First(); on; on = cursor.Next()) {
      benchmark::DoNotOptimize(cursor.GetField(column));
      ++rows;
    }
  }
  state.counters["rows"] = static_cast<double>(rows);
}

int64_t StepAll(sqlite3_stmt* statement, int column) {
  int64_t rows = 0;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    benchmark::DoNotOptimize(sqlite3_column_text(statement, column));
    ++rows;
  }
  sqlite3_reset(statement);
  return rows;
}

void RunSqlite(benchmark::State& state, const Case& c, const std::string& sql) {
  const Catalogue& catalogue = TheCatalogue();
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(catalogue.db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    state.SkipWithError(sqlite3_errmsg(catalogue.db));
    return;
  }
  std::string parameter = c.parameter(catalogue);
  if (sqlite3_bind_parameter_count(statement) > 0) {
    sqlite3_bind_text(statement, 1, parameter.c_str(), -1, SQLITE_TRANSIENT);
  }
  // The column to read: its position in the statement's result.
  int column = 0;
  for (int i = 0; i < sqlite3_column_count(statement); ++i) {
    if (sqlite3_stricmp(sqlite3_column_name(statement, i), c.column) == 0) column = i;
  }
  int64_t rows = 0;
  for (auto _ : state) rows = StepAll(statement, column);
  state.counters["rows"] = static_cast<double>(rows);
  sqlite3_finalize(statement);
}

void BM_Sqlite(benchmark::State& state, const Case* c) { RunSqlite(state, *c, c->sqlite); }
void BM_SqliteNocaseWhere(benchmark::State& state, const Case* c) {
  RunSqlite(state, *c, kBaseNocaseSql);
}

// The grep dialog's filter: objects.dat opened with the filter
// "Package = '<package>'", case-insensitive and without partial compare,
// read from its first passing row to the end. With `op` "<>" the filter
// passes nearly every row instead of a few.
void BM_OursFilter(benchmark::State& state, const char* op) {
  const Catalogue& catalogue = TheCatalogue();
  int64_t rows = 0;
  for (auto _ : state) {
    TDbTable table;
    table.SetDatabaseName(catalogue.folder);
    table.SetTableName("objects.dat");
    table.SetFilter(std::string("Package ") + op + " '" + catalogue.typical_package + "'");
    table.SetFilterOptions({.case_insensitive = true, .no_partial_compare = true});
    table.SetFiltered(true);
    table.Open();
    rows = 0;
    for (; !table.Eof(); table.Next()) {
      benchmark::DoNotOptimize(table.FieldByName("Filename").AsString());
      ++rows;
    }
    table.Close();
  }
  state.counters["rows"] = static_cast<double>(rows);
}

void BM_SqliteFilter(benchmark::State& state) {
  const Catalogue& catalogue = TheCatalogue();
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(catalogue.db, "select * from objects where Package = ? COLLATE NOCASE", -1,
                     &statement, nullptr);
  sqlite3_bind_text(statement, 1, catalogue.typical_package.c_str(), -1, SQLITE_TRANSIENT);
  int64_t rows = 0;
  for (auto _ : state) rows = StepAll(statement, 3);
  state.counters["rows"] = static_cast<double>(rows);
  sqlite3_finalize(statement);
}

// Collects the median of every case, then prints ours / SQLite, on the
// wall clock and on the process's CPU time (the steadier figure on a busy
// machine).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.aggregate_name != "median") continue;
      medians_[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nMedians in ms; ratio = ours / SQLite (below 1: ours is faster).\n");
    std::printf("%-26s %9s %9s %7s | %9s %9s %7s | %s\n", "case", "ours", "SQLite", "ratio",
                "ours cpu", "SQL cpu", "ratio", "SQLite nocase-where: wall, cpu, ratios");
    for (const Case& c : Cases()) Line(c.name, c.name);
    Line("filter/typical", "filter");
  }

 private:
  struct Times {
    double wall = NAN, cpu = NAN;
  };
  Times Median(const std::string& name) const {
    auto it = medians_.find(name);
    return it == medians_.end() ? Times{} : it->second;
  }
  void Line(const char* label, const std::string& name) const {
    Times ours = Median("ours/" + name), sqlite = Median("sqlite/" + name);
    Times nocase = Median("sqlite-nocase-where/" + name);
    std::printf("%-26s %9.3f %9.3f %7.2f | %9.3f %9.3f %7.2f |", label, ours.wall, sqlite.wall,
                ours.wall / sqlite.wall, ours.cpu, sqlite.cpu, ours.cpu / sqlite.cpu);
    if (!std::isnan(nocase.wall)) {
      std::printf(" %8.3f %8.3f %7.2f %7.2f", nocase.wall, nocase.cpu, ours.wall / nocase.wall,
                  ours.cpu / nocase.cpu);
    }
    std::printf("\n");
  }

  std::map<std::string, Times> medians_;
};

void Register() {
  auto configure = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
  };
  for (const Case& c : Cases()) {
    configure(benchmark::RegisterBenchmark((std::string("ours/") + c.name).c_str(), BM_Ours, &c));
    configure(
        benchmark::RegisterBenchmark((std::string("sqlite/") + c.name).c_str(), BM_Sqlite, &c));
    if (c.sqlite == kBaseSql) {
      configure(benchmark::RegisterBenchmark((std::string("sqlite-nocase-where/") + c.name).c_str(),
                                             BM_SqliteNocaseWhere, &c));
    }
  }
  configure(benchmark::RegisterBenchmark("ours/filter", BM_OursFilter, "="));
  configure(benchmark::RegisterBenchmark("ours/filter-most", BM_OursFilter, "<>"));
  configure(benchmark::RegisterBenchmark("sqlite/filter", BM_SqliteFilter));
}

}  // namespace

int main(int argc, char** argv) {
  SetQueryExecutor(RunSelectQuery);
  Register();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
