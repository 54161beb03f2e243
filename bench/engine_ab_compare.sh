#!/usr/bin/env bash
# Side-by-side comparison of the table engine's speed in two builds: A (the
# change) against B (the baseline, e.g. an older commit built in its own
# worktree), to show whether a change made the engine slower.
#
#   Benchmark programs: bench/tables_*_bench and bench/grep_scopes_bench,
#   where both builds have them, SQLite's benchmarks left out. ROUNDS
#   rounds; in each, every benchmark runs alone in B's program and then at
#   once in A's (each run does its own repetitions), so that A and B of a
#   pair meet the same load on a shared machine, whose slow spells last
#   minutes. A benchmark's figure in a round is the median of its
#   repetitions; its results are the medians over the rounds of A, of B,
#   and of the round's ratio A/B.
#   Whole processes (when both builds have quoldex-cli): a first scan of a
#   generated tree of script files into a fresh data folder, a second scan
#   of the same tree (nothing new), and grep All Classes over that
#   catalogue, each timed by farm-bench in A/B pairs.
#
# Usage: bench/engine_ab_compare.sh A_BUILD B_BUILD
#   A_BUILD, B_BUILD  build folders (Release) holding bench/ and quoldex-cli
# Environment: ROUNDS (default 5), RUNS (farm-bench runs, default 7),
#   QUOLDEX_SCAN_TREE (the generated tree, default a folder under
#   ${TMPDIR:-/tmp}; generated when missing), ONLY (an extended regular
#   expression: run only the programs whose names match it).
#
# Output: a line per benchmark, "name  A B A/B" for the real and then the
# CPU time (medians, in the benchmark's own time unit, and the median of
# the rounds' ratios; for whole processes farm-bench's median wall seconds
# and its median pair ratio), the ratios above 1.05 marked with "*".
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 2 ] || { sed -n '2,/^set /{/^#/p}' "$0" >&2; exit 2; }
a_bin=$(cd "$1" && pwd)
b_bin=$(cd "$2" && pwd)
rounds=${ROUNDS:-5}
runs=${RUNS:-7}
only=${ONLY:-.}
work=$(mktemp -d "${TMPDIR:-/tmp}/quoldex-ab.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The median real and CPU times of each benchmark of one program's JSON
# output: lines "name<TAB>real<TAB>cpu<TAB>unit".
medians() {
  jq -r 'def mid(f): map(f) | sort | .[(length - 1) / 2 | floor];
    .benchmarks
    | map(select(.run_type == "iteration" or .aggregate_name == "median"))
    | group_by(.run_name)[]
    | (map(select(.aggregate_name == "median")) | first) as $agg
    | [.[0].run_name,
       (if $agg then $agg.real_time else mid(.real_time) end),
       (if $agg then $agg.cpu_time else mid(.cpu_time) end),
       .[0].time_unit]
    | @tsv' "$1"
}

# Prints "name A B A/B" for the real times, then the same for the CPU
# times, from files "a-*-R.tsv" and "b-*-R.tsv" of
# "name<TAB>real<TAB>cpu<TAB>unit" lines, one file per round R and side.
# A and B are the medians over the rounds, A/B the median of the rounds'
# ratios.
report() {
  awk -F'\t' '
    function median(list,   n, v, i, j, t) {
      n = split(list, v, " ")
      for (i = 2; i <= n; ++i) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; --j) {
        t = v[j]; v[j] = v[j - 1]; v[j - 1] = t
      }
      return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    FNR == 1 {
      side = FILENAME ~ /\/a-[^\/]*$/ ? "a" : "b"
      round = FILENAME; sub(/\.tsv$/, "", round); sub(/.*-/, "", round)
    }
    {
      if (!($1 in unit)) order[++count] = $1
      unit[$1] = $4
      real[side, $1, round] = $2
      cpu[side, $1, round] = $3
      rounds[round] = 1
    }
    END {
      for (i = 1; i <= count; ++i) {
        name = order[i]
        ra = rb = ca = cb = rr = cr = ""
        for (r in rounds) {
          if (!(("a", name, r) in real) || !(("b", name, r) in real)) continue
          ra = ra " " real["a", name, r]; rb = rb " " real["b", name, r]
          ca = ca " " cpu["a", name, r]; cb = cb " " cpu["b", name, r]
          if (real["b", name, r] > 0) rr = rr " " real["a", name, r] / real["b", name, r]
          if (cpu["b", name, r] > 0) cr = cr " " cpu["a", name, r] / cpu["b", name, r]
        }
        if (rr == "" || cr == "") continue
        q = median(rr); c = median(cr)
        printf "%-52s %10.3f %10.3f %6.3f%s %10.3f %10.3f %6.3f%s %s\n", name,
               median(ra), median(rb), q, (q > 1.05 ? "*" : " "),
               median(ca), median(cb), c, (c > 1.05 ? "*" : " "), unit[name]
      }
    }' "$@"
}

# The benchmarks of program $1 but SQLite's, sorted. A program may print a
# summary of its own after the list: a benchmark's name is one word.
names() {
  "$1" --benchmark_list_tests 2>/dev/null | grep -E '^[^[:space:]]+$' | grep -v '[Ss]qlite' | sort
}

printf '%-52s %10s %10s %7s %10s %10s %7s\n' benchmark "A real" "B real" A/B "A cpu" "B cpu" A/B
for program in "$a_bin"/bench/tables_*_bench "$a_bin"/bench/grep_scopes_bench; do
  name=$(basename "$program")
  [ -x "$program" ] && [ -x "$b_bin/bench/$name" ] || continue
  [[ $name =~ $only ]] || continue
  # Each benchmark of A's program that B's has too, SQLite's left out.
  mapfile -t benches < <(comm -12 <(names "$a_bin/bench/$name") <(names "$b_bin/bench/$name"))
  for ((r = 1; r <= rounds; ++r)); do
    for bench in "${benches[@]}"; do
      filter="^$(printf '%s' "$bench" | sed 's/[][\.*^$+?(){}|]/\\&/g')\$"
      for side in b a; do
        bin=$a_bin
        [ $side = b ] && bin=$b_bin
        rm -f "$work/one.json"
        (cd "$work" && "$bin/bench/$name" --benchmark_filter="$filter" \
          --benchmark_out="$work/one.json" --benchmark_out_format=json >/dev/null 2>&1)
        medians "$work/one.json" >>"$work/$side-$name-$r.tsv"
      done
    done
  done
  report "$work"/[ab]-"$name"-*.tsv | sed "s|^|$name: |"
done

# ---- Whole processes ----
a_cli=$a_bin/quoldex-cli
b_cli=$b_bin/quoldex-cli
[ -x "$a_cli" ] && [ -x "$b_cli" ] && [[ quoldex-cli =~ $only ]] || exit 0
tree=${QUOLDEX_SCAN_TREE:-${TMPDIR:-/tmp}/quoldex-scan-tree}
"$root/bench/generate_scan_tree.sh" "$tree" 10000 300 >/dev/null
for side in a b; do
  cli=$a_cli
  [ $side = b ] && cli=$b_cli
  "$cli" --data "$work/$side-Data" scan "$tree" >/dev/null
done

# farm-bench's median wall seconds of A and B and the median pair ratio.
pair() {
  local label=$1 a=$2 b=$3 out
  out=$(farm-bench -n "$runs" --warmup 1 --timeout 3000 --vs "$b" -- sh -c "$a" 2>&1)
  echo "$out" | awk -v label="$label" '
    /^A wall s/ { a = $4 }
    /^B wall s/ { b = $4 }
    /^A\/B wall/ { r = $3 }
    END { printf "%-52s %12s %12s %6s%s s, wall\n", label, a, b, r, (r > 1.05 ? "*" : " ") }'
}
pair "quoldex-cli: first scan" \
  "rm -rf $work/a-fresh; exec $a_cli --data $work/a-fresh scan $tree" \
  "sh -c 'rm -rf $work/b-fresh; exec $b_cli --data $work/b-fresh scan $tree'"
pair "quoldex-cli: second scan" \
  "exec $a_cli --data $work/a-Data scan $tree" \
  "$b_cli --data $work/b-Data scan $tree"
pair "quoldex-cli: grep All Classes" \
  "exec $a_cli --data $work/a-Data grep defaultproperties" \
  "$b_cli --data $work/b-Data grep defaultproperties"
