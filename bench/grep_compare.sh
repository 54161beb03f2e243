#!/usr/bin/env bash
# Whole-process comparison of the grep search: the TFileSearch driver
# (search_grep_tool, files with matches, one thread) against ripgrep and GNU
# grep doing the same job, plus the time it takes just to read the files.
#
# Usage: bench/grep_compare.sh [CORPUS_DIR] [EXTRA_TREE...]
#   CORPUS_DIR  where the generated corpus lives (default $QUOLDEX_GREP_CORPUS
#               or a folder under ${TMPDIR:-/tmp}); generated when missing.
#   EXTRA_TREE  real trees to time as well (for example a game's folder).
#               A folder that exists, is not empty and holds no generated
#               corpus is refused, never overwritten.
# Environment: QUOLDEX_BENCH_BIN (folder of the search_grep_tool,
#   search_corpus_tool and search_read_tool programs, default build/bench),
#   RUNS (timed runs per command, default 5).
#
# The page cache is left warm: every command runs once untimed first.
# "Reading" is the floor of any content search: search_read_tool reads each
# file whole into one buffer and does nothing else (cat is shown beside it).
# Output: per tree and pattern the median seconds of each tool, the ratio
# rg/ours and the ratio ours/reading; the last line is
# "grep ratio rg/ours: X.XX", the geometric mean of the generated corpus'
# ratios.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-${QUOLDEX_GREP_CORPUS:-${TMPDIR:-/tmp}/quoldex-grep-corpus}}
shift $(( $# > 0 ? 1 : 0 ))
bin=${QUOLDEX_BENCH_BIN:-$root/build/bench}
tool=$bin/search_grep_tool
generator=$bin/search_corpus_tool
reader=$bin/search_read_tool
runs=${RUNS:-5}
rare=bMoonBootsEquipped
common=defaultproperties

for b in "$tool" "$generator" "$reader"; do
  [ -x "$b" ] || { echo "not built: $b (set QUOLDEX_BENCH_BIN)" >&2; exit 2; }
done
command -v rg >/dev/null || { echo "ripgrep missing: run scripts/install-deps" >&2; exit 2; }

if [ ! -f "$corpus/.complete" ]; then
  if [ -d "$corpus" ] && [ -n "$(ls -A "$corpus")" ]; then
    echo "$corpus is not empty and holds no generated corpus; choose another folder" >&2
    exit 2
  fi
  echo "generating corpus in $corpus ..." >&2
  mkdir -p "$corpus"
  "$generator" "$corpus" "$rare"
  touch "$corpus/.complete"
fi

# Median wall time in seconds of running "$@" $runs times (after one warm run).
median_time() {
  "$@" >/dev/null 2>&1 || true
  local times=() t0 t1 i
  for ((i = 0; i < runs; i++)); do
    t0=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 || true
    t1=$EPOCHREALTIME
    times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.6f", b - a}')")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {m=(NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2; printf "%.4f", m}'
}

read_all() { find "$1" -type f -print0 | xargs -0 cat >/dev/null; }

ratios=()
for tree in "$corpus" "$@"; do
  files=$(find "$tree" -type f ! -name .complete | wc -l)
  bytes=$(du -sb --exclude=.complete "$tree" | cut -f1)
  echo "tree $tree: $files files, $((bytes / 1000000)) MB"
  t_read=$(median_time "$reader" "$tree")
  t_cat=$(median_time read_all "$tree")
  echo "  reading only: read loop ${t_read}s, find | xargs cat ${t_cat}s"
  for pattern in "$rare" "$common"; do
    ours_list=$("$tool" "$pattern" "$tree" | sort || true)
    rg_list=$(rg -j1 -i -F -l -- "$pattern" "$tree" | sort || true)
    if [ "$ours_list" != "$rg_list" ]; then
      echo "  note: ours and rg list different files for '$pattern'" \
           "($(grep -c . <<<"$ours_list") vs $(grep -c . <<<"$rg_list");" \
           "rg skips hidden and git-ignored files)"
    fi
    t_ours=$(median_time "$tool" "$pattern" "$tree")
    t_rg=$(median_time rg -j1 -i -F -l -- "$pattern" "$tree")
    t_grep=$(median_time grep -r -i -F -l -- "$pattern" "$tree")
    ratio=$(awk -v a="$t_rg" -v b="$t_ours" 'BEGIN {printf "%.4f", a / b}')
    printf '  %-20s files %6d  ours %.4fs  rg -j1 %.4fs  grep %.4fs  rg/ours %.2f  ours/read %.2f\n' \
      "$pattern" "$(grep -c . <<<"$ours_list")" "$t_ours" "$t_rg" "$t_grep" "$ratio" \
      "$(awk -v a="$t_ours" -v b="$t_read" 'BEGIN {printf "%.4f", a / b}')"
    [ "$tree" = "$corpus" ] && ratios+=("$ratio")
  done
done

geo=$(printf '%s\n' "${ratios[@]}" | awk '{s+=log($1)} END {printf "%.2f", exp(s/NR)}')
echo "grep ratio rg/ours: $geo"
