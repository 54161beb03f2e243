#!/usr/bin/env bash
# "quoldex-cli scan" of the generated tree of 10,000 script files
# (bench/generate_scan_tree.sh) into a fresh Data folder, by the Linux build
# and by the Windows build under wine64, side by side in alternating rounds.
# A figure to know, not a goal: how much the Windows build under wine costs
# beside the native one on the same tree and disk. The start of wine itself
# ("quoldex-cli.exe --help") is timed too, to tell it apart.
#
# Usage: bench/windows_scan_compare.sh LINUX_CLI WINDOWS_CLI_EXE [TREE_DIR]
# Environment: RUNS (timed rounds, default 3), QUOLDEX_BENCH_WORK (where the
#   Data folders are made, default ${TMPDIR:-/tmp}).
# Output: the median seconds of each, and the ratio Windows / Linux.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux=$1
windows=$2
tree=${3:-${QUOLDEX_SCAN_TREE:-${TMPDIR:-/tmp}/quoldex-scan-tree}}
runs=${RUNS:-3}
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)

"$root/bench/generate_scan_tree.sh" "$tree"
work=$(mktemp -d "${QUOLDEX_BENCH_WORK:-${TMPDIR:-/tmp}}/quoldex-wine-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all WINEPREFIX=${WINEPREFIX:-$work/wineprefix}
winpath() { printf 'Z:%s' "${1//\//\\}"; }

seconds() {  # runs "$@" and prints the wall-clock seconds it took
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

"$wine" "$windows" --help > /dev/null 2>&1  # makes the prefix, starts the wine server
: > "$work/linux" ; : > "$work/windows" ; : > "$work/wine"
for ((r = 0; r <= runs; r++)); do
  rm -rf "$work/data-linux" "$work/data-windows"
  l=$(seconds "$linux" --data "$work/data-linux" scan "$tree")
  w=$(seconds "$wine" "$windows" --data "$(winpath "$work/data-windows")" scan "$(winpath "$tree")")
  s=$(seconds "$wine" "$windows" --help)
  if ((r > 0)); then  # round 0 warms the page cache
    echo "$l" >> "$work/linux"; echo "$w" >> "$work/windows"; echo "$s" >> "$work/wine"
  fi
done
l=$(median < "$work/linux"); w=$(median < "$work/windows"); s=$(median < "$work/wine")
printf 'scan of 10,000 files, median of %d rounds\n' "$runs"
printf '  Linux quoldex-cli            %8.2f s\n' "$l"
printf '  quoldex-cli.exe under wine64 %8.2f s\n' "$w"
printf '  wine64 start (--help)        %8.2f s\n' "$s"
printf '  ratio Windows/Linux          %8.2f\n' "$(awk -v w="$w" -v l="$l" 'BEGIN { print w / l }')"
