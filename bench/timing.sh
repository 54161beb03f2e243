# Timing helpers shared by the whole-process comparisons (source it).
#
#   time_once CMD...   wall seconds of one run of CMD, its output discarded
#                      and its exit status ignored
#   median X...        the median of the numbers given (4 decimals)
#   ratio A B          A / B (2 decimals)

time_once() {
  local t0 t1
  t0=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || true
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.6f", b - a}'
}

median() {
  printf '%s\n' "$@" | sort -g |
    awk '{a[NR] = $1} END {printf "%.4f", (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
