#!/usr/bin/env bash
# A scan of 10,000 script files through the desktop program's window beside
# the same scan by quoldex-cli (bench/gui_scan_tool.cpp says how each side
# is timed): the window's repaints per second (goal >= 10) and the ratio of
# its scan time to the console program's (goal <= 1.10), medians of RUNS
# rounds measured in turns.
#
# Usage: bench/gui_scan_compare.sh [TREE_DIR]
#   TREE_DIR  the generated tree (default $QUOLDEX_SCAN_TREE or a folder
#             under ${TMPDIR:-/tmp}, shared with app_scan_compare.sh);
#             generated when missing.
# Environment: QUOLDEX_BENCH_BIN (the build folder, default build-release,
#   configured with -DQUOLDEX_BUILD_BENCH=ON), RUNS (default 5),
#   QT_QPA_PLATFORM (default offscreen; run it under xvfb-run with
#   QT_QPA_PLATFORM=xcb to paint through an X server).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tree=${1:-${QUOLDEX_SCAN_TREE:-${TMPDIR:-/tmp}/quoldex-scan-tree}}
bin=${QUOLDEX_BENCH_BIN:-$root/build-release}
files=10000
packages=300

for b in "$bin/quoldex-cli" "$bin/bench/gui_scan_tool"; do
  [ -x "$b" ] || { echo "not built: $b (set QUOLDEX_BENCH_BIN)" >&2; exit 2; }
done
"$root/bench/generate_scan_tree.sh" "$tree" "$files" "$packages"

echo "tree $tree: $files files in $packages packages, platform ${QT_QPA_PLATFORM:-offscreen}"
"$bin/bench/gui_scan_tool" "$bin/quoldex-cli" "$tree" "$files" "${RUNS:-5}"
