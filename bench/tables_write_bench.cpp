// The catalogue's own write pattern on a shared table, beside SQLite doing
// the same work: for each of 10,000 class names, look the name up on the
// case-insensitive unique index "ByName", insert a 6-column objects.dat row
// with a placeholder parent, then edit the row's InheritsFrom and post it
// (what the class header reader does after each insert).
//
// Ours: objects.dat opened shared, so every post ends with the flush rule
// (records, both headers and the dirty index pages written before the write
// lock goes). "ours/component" goes through TDbTable and its field objects
// as the catalogue does; "ours/cursor" through TableCursor directly.
// SQLite: WAL journal, synchronous=NORMAL, one transaction per statement
// (autocommit), the same indexes (a unique NOCASE index on the name and the
// inheritance index), prepared statements.
//
// Each run starts from an empty table. After the runs a table gives the
// median of each side and the ratio SQLite time / our time (above 1: ours is
// faster; the goal is at least 1.5).
//
// Also measured: Locate throughput on a warm shared table of 10,000 rows
// (each name once per pass, in a shuffled order), through the cursor and
// through TDbTable, beside SQLite's indexed SELECT.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "fakes/objects_table.h"
#include "tables/base/engine_error.h"
#include "tables/components/db_table.h"
#include "tables/cursor/table_cursor.h"
#include "tables_bench_util.h"

namespace {

using namespace quoldex::tables;
using namespace quoldex::testing;

constexpr int kNames = 10000;

// Class names as UnrealScript packages have them, unique without regard
// to case, in a shuffled order.
const std::vector<std::string>& Names() {
  static const std::vector<std::string> names = [] {
    static const char* const kWords[] = {"Actor", "Pawn",   "Weapon", "Trigger", "Mover",
                                         "Light", "Effect", "Ammo",   "Pickup",  "Zone",
                                         "Decal", "Info",   "Flak",   "Shock",   "Bot"};
    std::vector<std::string> out;
    for (int i = 0; i < kNames; ++i) {
      out.push_back(std::string(kWords[i % 15]) + kWords[(i / 15) % 15] + std::to_string(i));
    }
    std::shuffle(out.begin(), out.end(), std::mt19937(1999));
    return out;
  }();
  return names;
}

std::string PackageOf(int i) { return "pkg" + std::to_string(i % 40); }
std::string FileNameOf(const std::string& name, int i) {
  return "/games/ut/" + PackageOf(i) + "/Classes/" + name + ".uc";
}
std::string ParentOf(int i) { return "parent" + std::to_string(i % 300); }

// A scratch folder, removed at exit.
const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quoldex-write-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(Folder(), ignored);
    });
    return pattern + "/";
  }();
  return folder;
}

// ---- Ours ----

TableSettings Shared(const std::string& table) {
  TableSettings s;
  s.directory = Folder();
  s.table_name = table;
  return s;  // shared, the program's lock retries
}

void CreateObjects(const std::string& table) {
  TableCursor::Create(Shared(table), ObjectsDefinition());
}

void WriteThroughCursor(TableCursor& t) {
  const std::vector<std::string>& names = Names();
  const int field[] = {kObjectName};
  for (int i = 0; i < kNames; ++i) {
    const FieldValue value[] = {FieldValue::String(names[i])};
    if (t.Locate(field, value, true, false)) throw std::runtime_error("name already there");
    t.Append();
    t.SetField(kObjectName, value[0]);
    t.SetField(kInheritsFrom, FieldValue::String("."));
    t.SetField(kFilename, FieldValue::String(FileNameOf(names[i], i)));
    t.SetField(kFileTimeStamp, FieldValue::String("2001-05-17"));
    t.SetField(kPackage, FieldValue::String(PackageOf(i)));
    t.Post();
    t.Edit();
    t.SetField(kInheritsFrom, FieldValue::String(ParentOf(i)));
    t.Post();
  }
}

void WriteThroughComponent(TDbTable& t) {
  const std::vector<std::string>& names = Names();
  LocateOptions ci;
  ci.case_insensitive = true;
  TField& name = t.FieldByName("ObjectName");
  TField& parent = t.FieldByName("InheritsFrom");
  TField& file = t.FieldByName("Filename");
  TField& stamp = t.FieldByName("FileTimeStamp");
  TField& package = t.FieldByName("Package");
  for (int i = 0; i < kNames; ++i) {
    if (t.Locate("ObjectName", names[i], ci)) throw std::runtime_error("name already there");
    t.Insert();
    name.SetAsString(names[i]);
    parent.SetAsString(".");
    file.SetAsString(FileNameOf(names[i], i));
    stamp.SetAsString("2001-05-17");
    package.SetAsString(PackageOf(i));
    t.Post();
    t.Edit();
    parent.SetAsString(ParentOf(i));
    t.Post();
  }
}

void BM_OursCursor(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    CreateObjects("writes.dat");
    TableCursor t(Shared("writes.dat"));
    t.Open();
    t.SetIndex(kByName);
    state.ResumeTiming();
    WriteThroughCursor(t);
    state.PauseTiming();
    if (t.RecordCount() != kNames) state.SkipWithError("rows missing");
    t.Close();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}

void BM_OursComponent(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    CreateObjects("writes.dat");
    TDbTable t;
    t.SetDatabaseName(Folder());
    t.SetTableName("writes.dat");
    t.SetIndexName("ByName");
    t.Open();
    state.ResumeTiming();
    WriteThroughComponent(t);
    state.PauseTiming();
    if (t.RecordCount() != kNames) state.SkipWithError("rows missing");
    t.Close();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}

// ---- SQLite ----

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error(message);
  }
}

// The look-up by name, case-insensitive, through the NOCASE index.
constexpr const char* kFindSql = "SELECT ObjectId FROM objects WHERE ObjectName = ? COLLATE NOCASE";

sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) {
    throw std::runtime_error(sqlite3_errmsg(db));
  }
  return s;
}

void Step(sqlite3_stmt* s, int expected) {
  if (sqlite3_step(s) != expected) throw std::runtime_error("unexpected SQLite step result");
  sqlite3_reset(s);
}

void Bind(sqlite3_stmt* s, int n, const std::string& text) {
  sqlite3_bind_text(s, n, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// A fresh database with the objects table and its indexes.
sqlite3* OpenSqlite(const std::string& file) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(file + suffix);
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) throw std::runtime_error("sqlite open");
  Exec(db,
       "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
       "CREATE TABLE objects(ObjectId INTEGER PRIMARY KEY AUTOINCREMENT, ObjectName TEXT NOT "
       "NULL, InheritsFrom TEXT NOT NULL, Filename TEXT NOT NULL, FileTimeStamp TEXT, Package "
       "TEXT);"
       "CREATE UNIQUE INDEX ByName ON objects(ObjectName COLLATE NOCASE);"
       "CREATE INDEX ByInheritance ON objects(InheritsFrom COLLATE NOCASE, ObjectName COLLATE "
       "NOCASE);");
  return db;
}

void BM_Sqlite(benchmark::State& state) {
  const std::vector<std::string>& names = Names();
  for (auto _ : state) {
    state.PauseTiming();
    sqlite3* db = OpenSqlite(Folder() + "writes.sqlite");
    sqlite3_stmt* find = Prepare(db, kFindSql);
    sqlite3_stmt* insert = Prepare(db,
                                   "INSERT INTO objects(ObjectName, InheritsFrom, Filename, "
                                   "FileTimeStamp, Package) VALUES (?, '.', ?, '2001-05-17', ?)");
    sqlite3_stmt* update = Prepare(db, "UPDATE objects SET InheritsFrom = ? WHERE ObjectId = ?");
    state.ResumeTiming();
    for (int i = 0; i < kNames; ++i) {
      Bind(find, 1, names[i]);
      Step(find, SQLITE_DONE);
      Bind(insert, 1, names[i]);
      Bind(insert, 2, FileNameOf(names[i], i));
      Bind(insert, 3, PackageOf(i));
      Step(insert, SQLITE_DONE);
      Bind(update, 1, ParentOf(i));
      sqlite3_bind_int64(update, 2, sqlite3_last_insert_rowid(db));
      Step(update, SQLITE_DONE);
    }
    state.PauseTiming();
    for (sqlite3_stmt* s : {find, insert, update}) sqlite3_finalize(s);
    sqlite3_close(db);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}

// ---- Locate on a warm table ----

// objects.dat with the 10,000 rows, written once (shared) for the locate
// cases, and the same rows in SQLite.
void PrepareLocateTables() {
  static bool done = false;
  if (done) return;
  CreateObjects("locate.dat");
  TableCursor t(Shared("locate.dat"));
  t.Open();
  t.SetIndex(kByName);
  WriteThroughCursor(t);
  t.Close();
  sqlite3* db = OpenSqlite(Folder() + "locate.sqlite");
  Exec(db, "BEGIN");
  sqlite3_stmt* insert = Prepare(db,
                                 "INSERT INTO objects(ObjectName, InheritsFrom, Filename, "
                                 "FileTimeStamp, Package) VALUES (?, ?, ?, '2001-05-17', ?)");
  for (int i = 0; i < kNames; ++i) {
    Bind(insert, 1, Names()[i]);
    Bind(insert, 2, ParentOf(i));
    Bind(insert, 3, FileNameOf(Names()[i], i));
    Bind(insert, 4, PackageOf(i));
    Step(insert, SQLITE_DONE);
  }
  sqlite3_finalize(insert);
  Exec(db, "COMMIT");
  sqlite3_close(db);
  done = true;
}

// The names in another order than they were written, in another letter
// case: the look-up must ignore case.
std::vector<std::string> LookupOrder() {
  std::vector<std::string> out = Names();
  std::shuffle(out.begin(), out.end(), std::mt19937(7));
  for (std::string& s : out) {
    for (char& ch : s) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
  }
  return out;
}

void BM_OursLocateCursor(benchmark::State& state) {
  PrepareLocateTables();
  const std::vector<std::string> order = LookupOrder();
  TableCursor t(Shared("locate.dat"));
  t.Open();
  t.SetIndex(kByName);
  const int field[] = {kObjectName};
  size_t i = 0;
  for (auto _ : state) {
    const FieldValue value[] = {FieldValue::String(order[i])};
    if (!t.Locate(field, value, true, false)) state.SkipWithError("name not found");
    if (++i == order.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_OursLocateComponent(benchmark::State& state) {
  PrepareLocateTables();
  const std::vector<std::string> order = LookupOrder();
  TDbTable t;
  t.SetDatabaseName(Folder());
  t.SetTableName("locate.dat");
  t.SetIndexName("ByName");
  t.Open();
  LocateOptions ci;
  ci.case_insensitive = true;
  size_t i = 0;
  for (auto _ : state) {
    if (!t.Locate("ObjectName", order[i], ci)) state.SkipWithError("name not found");
    if (++i == order.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_SqliteLocate(benchmark::State& state) {
  PrepareLocateTables();
  const std::vector<std::string> order = LookupOrder();
  sqlite3* db = nullptr;
  sqlite3_open((Folder() + "locate.sqlite").c_str(), &db);
  sqlite3_stmt* find = Prepare(db, kFindSql);
  size_t i = 0;
  for (auto _ : state) {
    Bind(find, 1, order[i]);
    if (sqlite3_step(find) != SQLITE_ROW) state.SkipWithError("name not found");
    sqlite3_reset(find);
    if (++i == order.size()) i = 0;
  }
  sqlite3_finalize(find);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations());
}

// Collects the medians, then prints the write pattern's times with the
// ratio SQLite / ours, and the locate rates.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.aggregate_name != "median") continue;
      auto rate = run.counters.find("items_per_second");
      medians_[run.run_name.function_name] = {
          run.GetAdjustedRealTime(), run.GetAdjustedCPUTime(),
          rate == run.counters.end() ? NAN : static_cast<double>(rate->second)};
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const Times sqlite = Median("sqlite/write-pattern");
    std::printf("\nWrite pattern, %d names (locate, insert, edit, post), medians in ms;\n", kNames);
    std::printf("ratio = SQLite / ours (above 1: ours is faster; goal 1.5).\n");
    std::printf("%-24s %9s %9s %7s | %9s %9s %7s\n", "case", "ours", "SQLite", "ratio", "ours cpu",
                "SQL cpu", "ratio");
    for (const char* name : {"ours/write-pattern/component", "ours/write-pattern/cursor"}) {
      const Times ours = Median(name);
      std::printf("%-24s %9.1f %9.1f %7.2f | %9.1f %9.1f %7.2f\n", name + 5, ours.wall, sqlite.wall,
                  sqlite.wall / ours.wall, ours.cpu, sqlite.cpu, sqlite.cpu / ours.cpu);
    }
    std::printf("\nLocate on a warm table of %d rows, median look-ups per second:\n", kNames);
    for (const char* name :
         {"ours/locate-warm/component", "ours/locate-warm/cursor", "sqlite/locate-warm"}) {
      std::printf("%-28s %12.0f\n", name, Median(name).rate);
    }
  }

 private:
  struct Times {
    double wall = NAN, cpu = NAN, rate = NAN;
  };
  Times Median(const std::string& name) const {
    auto it = medians_.find(name);
    return it == medians_.end() ? Times{} : it->second;
  }
  std::map<std::string, Times> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  auto pattern = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
  };
  auto locate = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kNanosecond)->Repetitions(5)->ReportAggregatesOnly(true);
  };
  pattern(benchmark::RegisterBenchmark("ours/write-pattern/component", BM_OursComponent));
  pattern(benchmark::RegisterBenchmark("ours/write-pattern/cursor", BM_OursCursor));
  pattern(benchmark::RegisterBenchmark("sqlite/write-pattern", BM_Sqlite));
  locate(benchmark::RegisterBenchmark("ours/locate-warm/component", BM_OursLocateComponent));
  locate(benchmark::RegisterBenchmark("ours/locate-warm/cursor", BM_OursLocateCursor));
  locate(benchmark::RegisterBenchmark("sqlite/locate-warm", BM_SqliteLocate));
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
