// Throughput of TTISearch's scan against the plain byte-at-a-time window
// search, over 4 MB of script-like text: every match of a pattern that never
// occurs (the usual grep case: the whole text is scanned), of a rare one and
// of a common one.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "../tests/search/plain_window_search.h"
#include "search/ti_search.h"

namespace {

using quoldex::search::TTISearch;

const std::string& Text() {
  static const std::string text = [] {
    static const char* const kWords[] = {
        "simulated", "function", "Actor",  "Pawn",  "local", "if",  "None", "self",
        "Spawn",     "class'",   "Weapon", "=",     ";",     "(",   ")",    "\n\t",
        "bHidden",   "Location", "vector", "Owner", "{",     "}\n", "1.0",  "return"};
    std::mt19937 rnd(42);
    std::string s;
    while (s.size() < (4u << 20)) {
      s += kWords[rnd() % std::size(kWords)];
      s += ' ';
      if (rnd() % 5000 == 0) s += "MoonBoots ";
    }
    return s;
  }();
  return text;
}

const char* const kPatterns[] = {"bMoonBootsEquipped", "MOONBOOTS", "location"};

void BM_TTISearch(benchmark::State& state) {
  TTISearch s;
  s.SetPattern(kPatterns[state.range(0)]);
  for (auto _ : state) {
    int64_t matches = 0;
    for (int64_t pos = s.Find(Text()); pos != 0; pos = s.FindNext()) ++matches;
    benchmark::DoNotOptimize(matches);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Text().size()));
  state.SetLabel(kPatterns[state.range(0)]);
}
BENCHMARK(BM_TTISearch)->DenseRange(0, 2);

void BM_PlainWindowSearch(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(
        quoldex::search::testing::PlainWindowSearch(kPatterns[state.range(0)], Text()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Text().size()));
  state.SetLabel(kPatterns[state.range(0)]);
}
BENCHMARK(BM_PlainWindowSearch)->DenseRange(0, 2);

}  // namespace

BENCHMARK_MAIN();
