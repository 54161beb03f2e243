#!/usr/bin/env bash
# Whole-process comparison of "quoldex-cli grep" over a catalogue: 10,000
# generated script files (search_corpus_tool, packages of 300 classes, each
# class of a package extending the one before it), scanned into a Data
# folder once.
#
#   All Classes, for a rare and a common text, beside ripgrep (rg -j1 -i -F
#   -l) and GNU grep (grep -i -F -l) given the same file list (the catalogue's
#   Filename column, through xargs), and beside only reading those files
#   (search_read_tool --list). Goals: ours at least as fast as the faster of
#   rg and grep on both texts, and at most 1.5 times the reading.
#   Package (one package of 300 classes) and Ancestors (the last class of
#   that package: 299 ancestors), warm. Goal: under 20 ms.
#
# Usage: bench/grep_catalogue_compare.sh [CORPUS_DIR]
#   CORPUS_DIR  where the generated files live (default
#               $QUOLDEX_GREP_CATALOGUE or a folder under ${TMPDIR:-/tmp});
#               generated when missing. A folder that exists, is not empty
#               and holds no generated corpus is refused, never overwritten.
# Environment: QUOLDEX_BENCH_BIN (the build folder holding quoldex-cli and
#   bench/, default build-release), RUNS (timed rounds, default 7).
#
# One untimed round warms the page cache; then each round runs every command
# in turn, so changes in the machine's load touch them alike. Output: the
# median seconds of each command and the ratios against the goals.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/timing.sh
. "$root/bench/timing.sh"
corpus=${1:-${QUOLDEX_GREP_CATALOGUE:-${TMPDIR:-/tmp}/quoldex-grep-catalogue}}
bin=${QUOLDEX_BENCH_BIN:-$root/build-release}
cli=$bin/quoldex-cli
generator=$bin/bench/search_corpus_tool
reader=$bin/bench/search_read_tool
runs=${RUNS:-7}
rare=bMoonBootsEquipped
common=defaultproperties
files=10000
per_package=300

for b in "$cli" "$generator" "$reader"; do
  [ -x "$b" ] || { echo "not built: $b (set QUOLDEX_BENCH_BIN)" >&2; exit 2; }
done
command -v rg >/dev/null || { echo "ripgrep missing: run scripts/install-deps" >&2; exit 2; }

if [ ! -f "$corpus/.complete" ]; then
  if [ -d "$corpus" ] && [ -n "$(ls -A "$corpus")" ]; then
    echo "$corpus is not empty and holds no generated corpus; choose another folder" >&2
    exit 2
  fi
  echo "generating $files files in packages of $per_package under $corpus ..." >&2
  mkdir -p "$corpus"
  "$generator" "$corpus/scripts" "$rare" "$files" "$per_package" chain
  "$cli" --data "$corpus/Data" scan "$corpus/scripts" >/dev/null
  touch "$corpus/.complete"
fi

data=$corpus/Data
list=$corpus/files.txt
"$cli" --data "$data" sql "select Filename from objects" | tail -n +2 >"$list"
[ "$(wc -l <"$list")" = "$files" ] || { echo "expected $files catalogued files" >&2; exit 1; }
# The first package's classes and the last of them (the longest chain).
package=$("$cli" --data "$data" packages | while read -r p; do
  n=$("$cli" --data "$data" package "$p" | wc -l)
  if [ "$n" = "$per_package" ]; then echo "$p"; break; fi
done)
[ -n "$package" ] || { echo "no package of $per_package classes" >&2; exit 1; }
youngest=$("$cli" --data "$data" package "$package" |
  awk '{n = $0; sub(/^[^0-9]*/, "", n); if (n + 0 >= max) {max = n + 0; name = $0}} END {print name}')

ours() { "$cli" --data "$data" grep "$@"; }
rg_list() { xargs -a "$list" -d '\n' -s 2000000 rg -j1 -i -F -l -- "$1"; }
grep_list() { xargs -a "$list" -d '\n' -s 2000000 grep -i -F -l -- "$1"; }
read_list() { "$reader" --list "$list"; }

echo "catalogue $corpus: $files files, $(du -sb "$corpus/scripts" | cut -f1 | awk '{printf "%d", $1 / 1e6}') MB; $runs rounds, medians"
for pattern in "$rare" "$common"; do
  ours_files=$(ours "$pattern" 2>/dev/null | cut -f2 | sort)
  rg_files=$(rg_list "$pattern" | sort || true)
  [ "$ours_files" = "$rg_files" ] || echo "  note: ours and rg list different files for $pattern" >&2
  t_ours=() t_rg=() t_grep=() t_read=()
  for ((i = 0; i <= runs; i++)); do
    o=$(time_once ours "$pattern")
    r=$(time_once rg_list "$pattern")
    g=$(time_once grep_list "$pattern")
    d=$(time_once read_list)
    if ((i > 0)); then t_ours+=("$o") t_rg+=("$r") t_grep+=("$g") t_read+=("$d"); fi
  done
  m_ours=$(median "${t_ours[@]}") m_rg=$(median "${t_rg[@]}")
  m_grep=$(median "${t_grep[@]}") m_read=$(median "${t_read[@]}")
  best=$(awk -v a="$m_rg" -v b="$m_grep" 'BEGIN {print (a < b) ? a : b}')
  printf '  %-18s files %5d  ours %ss  rg -j1 %ss  grep %ss  reading %ss\n' "$pattern" \
    "$(grep -c . <<<"$ours_files")" "$m_ours" "$m_rg" "$m_grep" "$m_read"
  printf '  %-18s best of rg and grep / ours %s (goal >= 1)  ours / reading %s (goal <= 1.5)\n' \
    "" "$(ratio "$best" "$m_ours")" "$(ratio "$m_ours" "$m_read")"
done

t_pkg=() t_anc=()
for ((i = 0; i <= runs; i++)); do
  p=$(time_once ours "$common" --package "$package")
  a=$(time_once ours "$common" --ancestors "$youngest")
  if ((i > 0)); then t_pkg+=("$p") t_anc+=("$a"); fi
done
echo "  package $package ($per_package files): $(median "${t_pkg[@]}")s (goal < 0.020)"
echo "  ancestors of $youngest ($((per_package - 1)) files): $(median "${t_anc[@]}")s (goal < 0.020)"
