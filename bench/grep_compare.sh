#!/usr/bin/env bash
# Whole-process comparison of the grep search: the TFileSearch driver
# (search_grep_tool, files with matches, one thread) against ripgrep and GNU
# grep doing the same job, plus the time it takes just to read the files.
#
# Usage: bench/grep_compare.sh [CORPUS_DIR] [EXTRA_TREE...]
#   CORPUS_DIR  where the generated corpus lives (default $QUOLDEX_GREP_CORPUS
#               or a folder under ${TMPDIR:-/tmp}); generated when missing.
#               A folder that exists, is not empty and holds no generated
#               corpus is refused, never overwritten.
#   EXTRA_TREE  real trees to time as well (for example a game's folder).
# Environment: QUOLDEX_BENCH_BIN (folder of the search_grep_tool,
#   search_corpus_tool and search_read_tool programs, default build/bench),
#   RUNS (timed runs per command, default 5).
#
# The page cache is left warm: every command runs once untimed first, then
# the commands take turns, so changes in the machine's load touch them alike.
# "Reading" is the floor of any content search: search_read_tool reads each
# file whole into one buffer and does nothing else (cat is shown beside it).
# Output: per tree and pattern the median seconds of each tool, the ratio
# rg/ours and the ratio ours/reading; the last line is
# "grep ratio rg/ours: X.XX", the geometric mean of the generated corpus'
# ratios.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/timing.sh
. "$root/bench/timing.sh"
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

read_all() { find "$1" -type f -print0 | xargs -0 cat >/dev/null; }

# The commands of one comparison run in turns, $runs rounds after one warm
# round, so a change in the machine's load touches them all alike.
ratios=()
for tree in "$corpus" "$@"; do
  files=$(find "$tree" -type f ! -name .complete | wc -l)
  bytes=$(du -sb --exclude=.complete "$tree" | cut -f1)
  echo "tree $tree: $files files, $((bytes / 1000000)) MB"
  for pattern in "$rare" "$common"; do
    ours_list=$("$tool" "$pattern" "$tree" | sort || true)
    rg_list=$(rg -j1 -i -F -l -- "$pattern" "$tree" | sort || true)
    if [ "$ours_list" != "$rg_list" ]; then
      echo "  note: ours and rg list different files for '$pattern'" \
           "($(grep -c . <<<"$ours_list") vs $(grep -c . <<<"$rg_list");" \
           "rg skips hidden and git-ignored files)"
    fi
    t_read=() t_cat=() t_ours=() t_rg=() t_grep=()
    for ((i = 0; i <= runs; i++)); do
      r=$(time_once "$reader" "$tree")
      c=$(time_once read_all "$tree")
      o=$(time_once "$tool" "$pattern" "$tree")
      g=$(time_once rg -j1 -i -F -l -- "$pattern" "$tree")
      e=$(time_once grep -r -i -F -l -- "$pattern" "$tree")
      if ((i > 0)); then
        t_read+=("$r") t_cat+=("$c") t_ours+=("$o") t_rg+=("$g") t_grep+=("$e")
      fi
    done
    m_read=$(median "${t_read[@]}") m_ours=$(median "${t_ours[@]}") m_rg=$(median "${t_rg[@]}")
    printf '  %-20s files %6d  ours %ss  rg -j1 %ss  grep %ss  read loop %ss  cat %ss\n' \
      "$pattern" "$(grep -c . <<<"$ours_list")" "$m_ours" "$m_rg" "$(median "${t_grep[@]}")" \
      "$m_read" "$(median "${t_cat[@]}")"
    printf '  %-20s rg/ours %s  ours/read loop %s\n' "" "$(ratio "$m_rg" "$m_ours")" \
      "$(ratio "$m_ours" "$m_read")"
    [ "$tree" = "$corpus" ] && ratios+=("$(ratio "$m_rg" "$m_ours")")
  done
done

geo=$(printf '%s\n' "${ratios[@]}" | awk '{s += log($1)} END {printf "%.2f", exp(s / NR)}')
echo "grep ratio rg/ours: $geo"
