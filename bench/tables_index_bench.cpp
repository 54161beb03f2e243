// The class-name index through the index file and its page cache, beside
// the same work in SQLite: insert, find and delete 100,000 class names in a
// unique case-insensitive index on a 35-character string column (37-byte
// keys, as the catalogue's "ByName").
//
// Both sides work on disk in a scratch folder, in one transaction (ours: a
// file opened exclusively, writes deferred until the end), and end an
// insert or delete run with their data on disk (our flush plus fdatasync;
// SQLite's commit with its default journal and sync). Keys are built from a
// record buffer, as the table layer does; SQLite binds the text to prepared
// statements. Names come in a shuffled order.
//
// After the runs a summary prints the median of each side and the ratio
// SQLite time / our time (above 1: ours is faster).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "tables/index_file/index_file.h"
#include "tables_bench_util.h"

namespace {

using quoldex::bench::Median;
using quoldex::bench::ScratchDir;
using quoldex::tables::FieldDesc;
using quoldex::tables::IndexDesc;
using quoldex::tables::TIndexFile;

constexpr int kNames = 100000;
constexpr int kNameIndex = 1;

// Class names built the way UnrealScript names are: a few capitalised words,
// sometimes a game prefix or a number; unique without regard to case.
std::vector<std::string> ClassNames() {
  static const char* kPrefixes[] = {"",       "",       "",     "UT",   "UT", "Bot",
                                    "DM",     "CTF",    "Dom",  "As",   "Ed", "Tournament",
                                    "Unreal", "Skaarj", "Nali", "Brute"};
  static const char* kWords[] = {
      "Actor",        "Pawn",        "Weapon",    "Projectile", "Pickup",       "Ammo",
      "Trigger",      "Light",       "Effect",    "Decal",      "Mover",        "Info",
      "Zone",         "Volume",      "Shock",     "Rocket",     "Flak",         "Sniper",
      "Minigun",      "Pulse",       "Ripper",    "Bio",        "Enforcer",     "Hammer",
      "Translocator", "Armor",       "Shield",    "Health",     "Relic",        "Flag",
      "Base",         "Spawn",       "Point",     "Path",       "Node",         "Team",
      "Game",         "Replication", "Hud",       "Menu",       "Window",       "Console",
      "Scoreboard",   "Message",     "Voice",     "Sound",      "Music",        "Emitter",
      "Sprite",       "Mesh",        "Skin",      "Carcass",    "Gib",          "Fragment",
      "Smoke",        "Spark",       "Explosion", "Blood",      "Water",        "Lava",
      "Kicker",       "Teleporter",  "Door",      "Lift",       "Elevator",     "Camera",
      "Spectator",    "Player",      "Bot",       "Squad",      "Orders",       "Controller",
      "Mutator",      "Arena",       "Instagib",  "Low",        "Grav",         "Stealth",
      "Chaos",        "Assault",     "Fort",      "Objective",  "Control",      "Capture",
      "Jump",         "Boots",       "Damage",    "Amplifier",  "Invisibility", "Chain",
      "Sword"};
  const int words = static_cast<int>(sizeof kWords / sizeof *kWords);
  std::mt19937 rng(1998);
  std::unordered_set<std::string> seen;
  std::vector<std::string> names;
  names.reserve(kNames);
  while (static_cast<int>(names.size()) < kNames) {
    std::string name = kPrefixes[rng() % (sizeof kPrefixes / sizeof *kPrefixes)];
    int parts = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < parts; ++i) name += kWords[rng() % words];
    if (rng() % 4 == 0) name += std::to_string(rng() % 100);
    if (name.size() > 35) continue;
    std::string folded = name;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (seen.insert(folded).second) names.push_back(name);
  }
  std::shuffle(names.begin(), names.end(), rng);
  return names;
}

const std::vector<std::string>& Names() {
  static const std::vector<std::string> names = ClassNames();
  return names;
}

// The order in which finds and deletes visit the names: another shuffle.
const std::vector<std::string>& ProbeOrder() {
  static const std::vector<std::string> order = [] {
    std::vector<std::string> names = Names();
    std::shuffle(names.begin(), names.end(), std::mt19937(2024));
    return names;
  }();
  return order;
}

// For the summary: name -> (wall seconds, process CPU seconds) of each
// repetition. CPU time is shown too because the machine may be shared.
struct Timing {
  std::vector<double> wall, cpu;
};
std::map<std::string, Timing>& Timings() {
  static std::map<std::string, Timing> timings;
  return timings;
}

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The start of a timed phase.
struct Start {
  Clock::time_point wall = Clock::now();
  double cpu = CpuSeconds();
};

void Record(benchmark::State& state, const std::string& name, const Start& start) {
  double seconds = std::chrono::duration<double>(Clock::now() - start.wall).count();
  double cpu = CpuSeconds() - start.cpu;
  state.SetIterationTime(seconds);
  state.counters["cpu_ms"] = cpu * 1e3;
  Timings()[name].wall.push_back(seconds);
  Timings()[name].cpu.push_back(cpu);
}

// ---- Ours -----------------------------------------------------------------

std::vector<FieldDesc> ClassFields() {
  FieldDesc id;
  id.number = 1;
  id.name = "ObjectId";
  id.type = quoldex::tables::kTypeInteger;
  id.subtype = quoldex::tables::kSubtypeAutoInc;
  id.physical_size = 4;
  id.offset = 5;
  FieldDesc name;
  name.number = 2;
  name.name = "ObjectName";
  name.type = quoldex::tables::kTypeString;
  name.size = 35;
  name.physical_size = 36;
  name.offset = 9;
  return {id, name};
}

struct OurIndex {
  explicit OurIndex(const ScratchDir& dir, bool create)
      : file(dir.File("objects.IDX"), dir.File("objects.DAT"), ClassFields()), record(9 + 37, 0) {
    if (create) {
      file.Create(false);
      IndexDesc primary;
      primary.fields = {1};
      file.AddPrimaryIndex(primary);
      IndexDesc by_name;
      by_name.name = "ByName";
      by_name.fields = {2};
      by_name.unique = true;
      by_name.case_insensitive = true;
      file.AddSecondaryIndex(by_name);
      file.FlushBuffers(false);
    } else {
      file.Open(true, false, false);
    }
    file.SelectIndex(kNameIndex);
  }
  // The key of a record holding `name`, as the table layer builds it.
  const uint8_t* Key(const std::string& name) {
    std::memset(record.data() + 9, 0, 37);
    record[9] = 1;
    std::memcpy(record.data() + 10, name.data(), name.size());
    file.Layout(kNameIndex).FromRecord(record, key);
    return key;
  }
  void Insert(int count) {
    for (int i = 0; i < count; ++i) {
      const uint8_t* k = Key(Names()[i]);
      file.CheckDuplicate(kNameIndex, k);
      file.Insert(kNameIndex, k, i + 1);
    }
  }
  void Sync() {
    file.FlushBuffers(false);
    file.Flush();
  }

  TIndexFile file;
  std::vector<uint8_t> record;
  uint8_t key[37];
};

void BM_OursInsert(benchmark::State& state) {
  for (auto _ : state) {
    ScratchDir dir{"qdx-index-bench"};
    OurIndex index(dir, true);
    Start start;
    index.Insert(kNames);
    index.Sync();
    Record(state, "insert/ours", start);
    if (index.file.EntryCount(kNameIndex) != kNames) state.SkipWithError("lost entries");
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}

void BM_OursFind(benchmark::State& state) {
  for (auto _ : state) {
    ScratchDir dir{"qdx-index-bench"};
    {
      OurIndex fill(dir, true);
      fill.Insert(kNames);
      fill.file.Close();
    }
    OurIndex index(dir, false);
    int found = 0;
    Start start;
    for (const std::string& name : ProbeOrder()) {
      found += index.file.FindKey(index.Key(name), 37) ? 1 : 0;
      benchmark::DoNotOptimize(index.file.CurrentRecord());
    }
    Record(state, "find/ours", start);
    if (found != kNames) state.SkipWithError("names not found");
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}

void BM_OursDelete(benchmark::State& state) {
  for (auto _ : state) {
    ScratchDir dir{"qdx-index-bench"};
    {
      OurIndex fill(dir, true);
      fill.Insert(kNames);
      fill.file.Close();
    }
    OurIndex index(dir, false);
    Start start;
    for (const std::string& name : ProbeOrder()) index.file.Delete(kNameIndex, index.Key(name));
    index.Sync();
    Record(state, "delete/ours", start);
    if (index.file.EntryCount(kNameIndex) != 0) state.SkipWithError("entries left");
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}

// ---- SQLite ----------------------------------------------------------------

class Sqlite {
 public:
  explicit Sqlite(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("sqlite open");
  }
  ~Sqlite() { sqlite3_close(db_); }
  void Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sqlite3_errmsg(db_));
    }
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sqlite3_errmsg(db_));
    }
    return stmt;
  }
  // Runs `stmt` once with `text` bound; returns whether a row came back.
  static bool Step(sqlite3_stmt* stmt, const std::string& text) {
    sqlite3_bind_text(stmt, 1, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw std::runtime_error("sqlite step");
    sqlite3_reset(stmt);
    return rc == SQLITE_ROW;
  }
  void Fill() {
    Exec(
        "CREATE TABLE objects(id INTEGER PRIMARY KEY, name TEXT);"
        "CREATE UNIQUE INDEX by_name ON objects(name COLLATE NOCASE);");
    Exec("BEGIN");
    sqlite3_stmt* insert = Prepare("INSERT INTO objects(name) VALUES(?)");
    for (int i = 0; i < kNames; ++i) Step(insert, Names()[i]);
    sqlite3_finalize(insert);
    Exec("COMMIT");
  }

 private:
  sqlite3* db_ = nullptr;
};

void BM_SqliteInsert(benchmark::State& state) {
  for (auto _ : state) {
    ScratchDir dir{"qdx-index-bench"};
    Sqlite db(dir.File("objects.db"));
    db.Exec(
        "CREATE TABLE objects(id INTEGER PRIMARY KEY, name TEXT);"
        "CREATE UNIQUE INDEX by_name ON objects(name COLLATE NOCASE);");
    Start start;
    db.Exec("BEGIN");
    sqlite3_stmt* insert = db.Prepare("INSERT INTO objects(name) VALUES(?)");
    for (int i = 0; i < kNames; ++i) Sqlite::Step(insert, Names()[i]);
    sqlite3_finalize(insert);
    db.Exec("COMMIT");
    Record(state, "insert/sqlite", start);
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}

void BM_SqliteFind(benchmark::State& state) {
  for (auto _ : state) {
    ScratchDir dir{"qdx-index-bench"};
    Sqlite(dir.File("objects.db")).Fill();
    Sqlite db(dir.File("objects.db"));
    int found = 0;
    Start start;
    db.Exec("BEGIN");
    sqlite3_stmt* find = db.Prepare("SELECT id FROM objects WHERE name = ? COLLATE NOCASE");
    for (const std::string& name : ProbeOrder()) found += Sqlite::Step(find, name) ? 1 : 0;
    sqlite3_finalize(find);
    db.Exec("COMMIT");
    Record(state, "find/sqlite", start);
    if (found != kNames) state.SkipWithError("names not found");
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}

void BM_SqliteDelete(benchmark::State& state) {
  for (auto _ : state) {
    ScratchDir dir{"qdx-index-bench"};
    Sqlite(dir.File("objects.db")).Fill();
    Sqlite db(dir.File("objects.db"));
    Start start;
    db.Exec("BEGIN");
    sqlite3_stmt* erase = db.Prepare("DELETE FROM objects WHERE name = ? COLLATE NOCASE");
    for (const std::string& name : ProbeOrder()) Sqlite::Step(erase, name);
    sqlite3_finalize(erase);
    db.Exec("COMMIT");
    Record(state, "delete/sqlite", start);
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}

#define INDEX_BENCH(fn) \
  BENCHMARK(fn)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)

INDEX_BENCH(BM_OursInsert);
INDEX_BENCH(BM_SqliteInsert);
INDEX_BENCH(BM_OursFind);
INDEX_BENCH(BM_SqliteFind);
INDEX_BENCH(BM_OursDelete);
INDEX_BENCH(BM_SqliteDelete);

void PrintSummary() {
  std::printf("\nMedians of %d names (ratio above 1: ours is faster)\n", kNames);
  std::printf("%-8s %10s %12s %8s %12s %14s %8s\n", "op", "ours ms", "SQLite ms", "ratio",
              "ours cpu ms", "SQLite cpu ms", "ratio");
  for (const char* op : {"insert", "find", "delete"}) {
    auto ours = Timings().find(std::string(op) + "/ours");
    auto sqlite = Timings().find(std::string(op) + "/sqlite");
    if (ours == Timings().end() || sqlite == Timings().end()) continue;
    double a = Median(ours->second.wall) * 1e3;
    double b = Median(sqlite->second.wall) * 1e3;
    double c = Median(ours->second.cpu) * 1e3;
    double d = Median(sqlite->second.cpu) * 1e3;
    std::printf("%-8s %10.1f %12.1f %8.2f %12.1f %14.1f %8.2f\n", op, a, b, b / a, c, d, d / c);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Ours and SQLite's repetitions interleaved, so that both meet the same
  // machine load; any flag given on the command line still applies.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  argc = static_cast<int>(args.size());
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintSummary();
  return 0;
}
