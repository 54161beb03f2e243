// Locate throughput on a warm table: a class table of 10,000 rows (the
// catalogue's objects.dat schema), every name located in a shuffled order
// through the case-insensitive unique index "ByName", as the catalogue
// looks a class up before it adds or updates it.
//
// "shared" is a handle as the program opens its tables: shared, with
// change detection by the header counters (another process could write at
// any time), its caches far smaller than the table. "exclusive" is the same
// without locking. "primary order" locates through a second cursor on
// ByName while the handle walks the primary index. Warm: every name was
// located once before the timed runs, so the files are in the operating
// system's cache.
//
// After the runs a summary prints the median locates per second of each
// case. Goal: at least 1 million a second on the shared handle.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "fakes/objects_table.h"
#include "tables/cursor/table_cursor.h"
#include "tables_bench_util.h"

namespace {

using namespace quoldex::tables;
using quoldex::bench::Median;
using quoldex::bench::ScratchDir;
using quoldex::testing::kByName;
using quoldex::testing::kObjectName;
using quoldex::testing::ObjectsDefinition;

constexpr int kRows = 10000;

// The table, built once; names in the order they are located (shuffled,
// and in another letter case than stored, which a case-insensitive locate
// must not mind).
struct Table {
  ScratchDir dir{"qdx-cursor-bench"};
  std::vector<std::string> probes;

  Table() {
    TableCursor::Create(Settings(false), ObjectsDefinition());
    TableCursor t(Settings(true));
    t.Open();
    std::mt19937 rng(42);
    static const char* kWords[] = {"Actor", "Pawn",  "Weapon", "Pickup", "Effect", "Info",
                                   "Mover", "Light", "Decal",  "Zone",   "Bot",    "Game"};
    for (int i = 0; i < kRows; ++i) {
      std::string name = std::string(kWords[rng() % 12]) + kWords[rng() % 12] + std::to_string(i);
      t.Append();
      t.SetField(kObjectName, FieldValue::String(name));
      t.SetField(3, FieldValue::String(kWords[rng() % 12]));
      t.SetField(4, FieldValue::String("C:\\UT\\Pkg\\Classes\\" + name + ".uc"));
      t.SetField(5, FieldValue::String("2001-05-17"));
      t.SetField(6, FieldValue::String("Pkg" + std::to_string(rng() % 40)));
      t.Post();
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      probes.push_back(name);
    }
    t.Close();
    std::shuffle(probes.begin(), probes.end(), rng);
  }
  TableSettings Settings(bool exclusive) const {
    TableSettings s;
    s.directory = dir.Path();
    s.table_name = "objects.dat";
    s.exclusive = exclusive;
    return s;
  }
};

Table& TheTable() {
  static Table* table = new Table;
  return *table;
}

std::map<std::string, std::vector<double>>& Rates() {
  static std::map<std::string, std::vector<double>> rates;
  return rates;
}

void RunLocates(benchmark::State& state, const std::string& name, bool exclusive, int index) {
  Table& table = TheTable();
  TableCursor cursor(table.Settings(exclusive));
  cursor.Open();
  cursor.SetIndex(index);
  const int field[] = {kObjectName};
  std::vector<FieldValue> value(1);
  auto locate_all = [&] {
    int found = 0;
    for (const std::string& probe : table.probes) {
      value[0] = FieldValue::String(probe);
      found += cursor.Locate(field, value, true, false) ? 1 : 0;
    }
    return found;
  };
  if (locate_all() != kRows) state.SkipWithError("a name was not found");  // warm-up
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    int found = locate_all();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    Rates()[name].push_back(kRows / seconds);
    if (found != kRows) state.SkipWithError("a name was not found");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_LocateShared(benchmark::State& state) { RunLocates(state, "shared", false, kByName); }
void BM_LocateExclusive(benchmark::State& state) { RunLocates(state, "exclusive", true, kByName); }
void BM_LocateSharedPrimaryOrder(benchmark::State& state) {
  RunLocates(state, "shared, primary order", false, 0);
}

#define CURSOR_BENCH(fn) \
  BENCHMARK(fn)->UseManualTime()->Iterations(20)->Repetitions(5)->Unit(benchmark::kMillisecond)

CURSOR_BENCH(BM_LocateShared);
CURSOR_BENCH(BM_LocateExclusive);
CURSOR_BENCH(BM_LocateSharedPrimaryOrder);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\nLocates per second on a warm table of %d rows (median of runs of %d locates)\n",
              kRows, kRows);
  for (const char* name : {"shared", "exclusive", "shared, primary order"}) {
    auto it = Rates().find(name);
    if (it == Rates().end()) continue;
    std::printf("%-24s %12.0f\n", name, Median(it->second));
  }
  return 0;
}
