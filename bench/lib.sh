# Shared helpers of the comparison scripts in bench/; sourced, not run.
#
# Results: when SORVINA_BENCH_RESULTS names a file, bench_record appends one line per
# comparison to it (tab-separated), which bench/run turns into the table of RESULTS.md:
#   AREA  CASE  OUR_SECONDS  BASELINE  BASELINE_SECONDS  GOAL
# GOAL is the largest acceptable ratio of our time to the baseline's ("1.2"), or "-".

# Elapsed microseconds of one run of a command, its standard output discarded.
bench_elapsed_us() {
  local start=${EPOCHREALTIME//[.,]/}
  "$@" >/dev/null
  local end=${EPOCHREALTIME//[.,]/}
  echo $((end - start))
}

# The median of the numbers given (the upper one of the middle two for an even count).
bench_median() {
  printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int(NR / 2) + 1] }'
}

# bench_record AREA CASE OUR_US BASELINE BASELINE_US GOAL
bench_record() {
  [[ -n ${SORVINA_BENCH_RESULTS:-} ]] || return 0
  awk -v area="$1" -v case="$2" -v ours="$3" -v base="$4" -v base_us="$5" -v goal="$6" \
    'BEGIN { printf "%s\t%s\t%.6f\t%s\t%.6f\t%s\n", area, case, ours / 1e6, base, base_us / 1e6, goal }' \
    >>"$SORVINA_BENCH_RESULTS"
}

# bench_record_bytes AREA CASE OUR_BYTES BASELINE BASELINE_BYTES GOAL PATH_BYTES
# A comparison of memory rather than time: bytes per file at the peak, GOAL the most that
# ours may take beyond the file's path (PATH_BYTES, the mean path length), or "-". Marked
# "bytes" in a seventh column, for the table of memory in RESULTS.md.
bench_record_bytes() {
  [[ -n ${SORVINA_BENCH_RESULTS:-} ]] || return 0
  printf '%s\t%s\t%.1f\t%s\t%.1f\t%s\tbytes\t%.1f\n' "$1" "$2" "$3" "$4" "$5" "$6" "$7" \
    >>"$SORVINA_BENCH_RESULTS"
}
