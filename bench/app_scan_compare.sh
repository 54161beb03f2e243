#!/usr/bin/env bash
# Whole-process comparison of cataloguing: "quoldex-cli scan" of a generated
# tree of 10,000 script files in 300 packages into a fresh Data folder, then
# a second scan of the same tree into the same folder (nothing new), beside
# app_scan_sqlite_tool doing the same work with SQLite (same look-ups,
# inserts, header reads and parent updates, one transaction per statement,
# WAL, synchronous=NORMAL).
#
# Usage: bench/app_scan_compare.sh [TREE_DIR]
#   TREE_DIR  where the generated tree lives (default $QUOLDEX_SCAN_TREE or a
#             folder under ${TMPDIR:-/tmp}); generated when missing. A folder
#             that exists, is not empty and holds no generated tree is
#             refused, never overwritten.
# Environment: QUOLDEX_BENCH_BIN (the build folder holding quoldex-cli and
#   bench/, default build-release, which scripts/run builds), RUNS (timed
#   rounds, default 5), QUOLDEX_BENCH_WORK (where the Data folders are made,
#   default ${TMPDIR:-/tmp}; put it on the disk you care about).
#
# One untimed round warms the page cache, then each round runs the four
# commands in turn, so that changes in the machine's load touch them alike.
# Output: the median seconds of each command, the peak resident memory of
# quoldex-cli, and the ratios "SQLite first / ours first" (goal >= 1.5) and
# "ours first / ours second" (goal >= 3); peak memory goal: under 64 MB.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tree=${1:-${QUOLDEX_SCAN_TREE:-${TMPDIR:-/tmp}/quoldex-scan-tree}}
bin=${QUOLDEX_BENCH_BIN:-$root/build-release}
cli=$bin/quoldex-cli
sqlite_tool=$bin/bench/app_scan_sqlite_tool
measure=$bin/bench/app_measure_tool
runs=${RUNS:-5}
files=10000
packages=300

for b in "$cli" "$sqlite_tool" "$measure"; do
  [ -x "$b" ] || { echo "not built: $b (set QUOLDEX_BENCH_BIN)" >&2; exit 2; }
done

"$root/bench/generate_scan_tree.sh" "$tree" "$files" "$packages"

work=$(mktemp -d "${QUOLDEX_BENCH_WORK:-${TMPDIR:-/tmp}}/quoldex-scan-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Both catalogue the whole tree, and a second scan adds nothing.
count_ours() {
  "$cli" --data "$work/check-Data" sql "select ObjectId from objects" | tail -n +2 | wc -l
}
[ "$("$cli" --data "$work/check-Data" scan "$tree")" = "Done." ] || { echo "scan failed" >&2; exit 1; }
ours_rows=$(count_ours)
"$cli" --data "$work/check-Data" scan "$tree" >/dev/null
sqlite_rows=$("$sqlite_tool" "$work/check-sqlite" "$tree")
if [ "$ours_rows" != "$files" ] || [ "$(count_ours)" != "$files" ] || [ "$sqlite_rows" != "$files" ]; then
  echo "expected $files classes: quoldex-cli $ours_rows, SQLite program $sqlite_rows" >&2
  exit 1
fi

median() {
  printf '%s\n' "$@" | sort -g |
    awk '{a[NR] = $1} END {printf "%.3f", (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'
}
max() { printf '%s\n' "$@" | sort -g | tail -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

# Runs one measured command; appends its seconds and peak kilobytes to the
# arrays named $1 and $2.
measure_into() {
  local -n seconds=$1 peaks=$2
  shift 2
  local line
  line=$("$measure" "$@") || { echo "failed: $*" >&2; exit 1; }
  if ((round > 0)); then
    seconds+=("$(cut -d' ' -f1 <<<"$line")")
    peaks+=("$(cut -d' ' -f2 <<<"$line")")
  fi
}

t_ours1=() t_ours2=() t_lite1=() t_lite2=() m_ours1=() m_ours2=() m_lite1=() m_lite2=()
for ((round = 0; round <= runs; round++)); do
  rm -rf "$work/ours-Data" "$work/sqlite"
  measure_into t_ours1 m_ours1 "$cli" --data "$work/ours-Data" scan "$tree"
  measure_into t_ours2 m_ours2 "$cli" --data "$work/ours-Data" scan "$tree"
  measure_into t_lite1 m_lite1 "$sqlite_tool" "$work/sqlite" "$tree"
  measure_into t_lite2 m_lite2 "$sqlite_tool" "$work/sqlite" "$tree"
done

o1=$(median "${t_ours1[@]}") o2=$(median "${t_ours2[@]}")
l1=$(median "${t_lite1[@]}") l2=$(median "${t_lite2[@]}")
peak_ours=$(max "${m_ours1[@]}" "${m_ours2[@]}")
peak_lite=$(max "${m_lite1[@]}" "${m_lite2[@]}")
echo "tree $tree: $files files in $packages packages; $runs rounds, medians"
printf '  quoldex-cli scan, fresh Data   %8ss\n' "$o1"
printf '  quoldex-cli scan, nothing new  %8ss\n' "$o2"
printf '  SQLite program, fresh          %8ss\n' "$l1"
printf '  SQLite program, nothing new    %8ss\n' "$l2"
printf '  peak memory: quoldex-cli %.1f MB, SQLite program %.1f MB\n' \
  "$(awk -v k="$peak_ours" 'BEGIN {print k / 1024}')" "$(awk -v k="$peak_lite" 'BEGIN {print k / 1024}')"
echo "first scan ratio SQLite/ours: $(ratio "$l1" "$o1") (goal >= 1.5)"
echo "second scan ratio ours first/second: $(ratio "$o1" "$o2") (goal >= 3)"
echo "peak memory quoldex-cli: $(awk -v k="$peak_ours" 'BEGIN {printf "%.1f", k / 1024}') MB (goal < 64)"
