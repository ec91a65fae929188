#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times copying chosen files with our file operation against cp(1) copying the same files
# into a fresh folder on the same file system:
#   cp -- SOURCE/* DEST/
# Two sets: 100 files of 10 MiB (1 GiB) and 2,000 files of 200 KiB (many small files).
# Both programs run alternately on a warm cache, taking turns at going first: on some
# file systems making files costs more the more files were deleted moments before, which
# grows during a set. Before every run the target folder is made anew and the previous
# run's data is flushed with sync(1), outside the time taken. The medians, the
# throughputs and their ratio are printed, and recorded for bench/run when
# SORVINA_BENCH_RESULTS names a file (see bench/lib.sh).
#
# Usage: bench/compare_copy.sh [BUILD_DIR] [WORK_DIR]
#   BUILD_DIR  build tree holding bench/sorvina-copy-bench (default: build/bench)
#   WORK_DIR   where the files are made and copied; removed at the end unless KEEP=1
#              (default: ${TMPDIR:-/tmp}/sorvina-copy-bench)
# Environment: RUNS (default 5) timed runs of each program per set; CHUNK_KIB, SYNC=1 and
# PART_FILES=1 are handed to sorvina-copy-bench as --chunk-kib, --sync and --part-files.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh"

build_dir=${1:-build/bench}
work_dir=${2:-${TMPDIR:-/tmp}/sorvina-copy-bench}
runs=${RUNS:-5}

copier="$build_dir/bench/sorvina-copy-bench"
if [[ ! -x $copier ]]; then
  echo "error: $copier not found; build it first:" >&2
  echo "  cmake --preset bench && cmake --build --preset bench" >&2
  exit 1
fi
options=()
[[ -n ${CHUNK_KIB:-} ]] && options+=(--chunk-kib "$CHUNK_KIB")
[[ ${SYNC:-0} == 1 ]] && options+=(--sync)
[[ ${PART_FILES:-0} == 1 ]] && options+=(--part-files)

dest="$work_dir/dest"
cleanup() {
  rm -rf -- "$dest"
  [[ ${KEEP:-0} == 1 ]] || rm -rf -- "$work_dir"
}
trap cleanup EXIT

# A set of COUNT random files of KIB KiB each; the marker is written last, so that an
# interrupted generation is redone rather than reused.
make_set() {
  local dir=$1 count=$2 kib=$3
  local layout="$count x $kib KiB"
  if [[ -f $dir/complete && $(<"$dir/complete") == "$layout" ]]; then return; fi
  echo "generating $layout under $dir ..." >&2
  rm -rf -- "$dir"
  mkdir -p -- "$dir/files"
  for ((i = 1; i <= count; i++)); do
    head -c $((kib * 1024)) /dev/urandom >"$(printf '%s/files/Track %04d.mp3' "$dir" "$i")"
  done
  echo "$layout" >"$dir/complete"
}

fresh_dest() {
  rm -rf -- "$dest"
  mkdir -p -- "$dest"
  sync
}

run_cp() { cp -- "$1"/* "$dest"/; }
run_ours() { "$copier" "${options[@]}" "$1" "$dest" 2>/dev/null; }

# Elapsed microseconds of one run into a fresh target folder.
elapsed_us() {
  fresh_dest
  bench_elapsed_us "$@"
}

echo "runs: $runs each, alternating, each first in turn; options: ${options[*]:-(defaults)}"
printf '%-22s %10s %10s %10s %10s %10s\n' "set" "cp (s)" "ours (s)" "cp MiB/s" "ours MiB/s" \
  "ours/cp"
# Each set: file count, KiB per file, and its name in the results.
for set in "100 10240 100 x 10 MiB" "2000 200 2,000 x 200 KiB"; do
  read -r count kib label <<<"$set"
  dir="$work_dir/set-$count-$kib"
  make_set "$dir" "$count" "$kib"
  src="$dir/files"

  # Warm the cache and check that both leave the same files.
  fresh_dest
  run_cp "$src"
  fresh_dest
  run_ours "$src"
  if ! diff -r -q -- "$src" "$dest" >/dev/null; then
    echo "error: the copy of $src differs from its source" >&2
    exit 1
  fi

  cp_times=()
  our_times=()
  for ((i = 0; i < runs; i++)); do
    if ((i % 2 == 0)); then
      cp_times+=("$(elapsed_us run_cp "$src")")
      our_times+=("$(elapsed_us run_ours "$src")")
    else
      our_times+=("$(elapsed_us run_ours "$src")")
      cp_times+=("$(elapsed_us run_cp "$src")")
    fi
  done
  cp_us=$(bench_median "${cp_times[@]}")
  our_us=$(bench_median "${our_times[@]}")
  awk -v name="$count x $kib KiB" -v mib="$((count * kib / 1024))" -v c="$cp_us" -v o="$our_us" \
    'BEGIN {
    printf "%-22s %10.3f %10.3f %10.0f %10.0f %9.2fx\n", name, c / 1e6, o / 1e6,
      mib / (c / 1e6), mib / (o / 1e6), c / o
  }'
  # Our time may be at most 1.11 times cp's: at least 0.9 times its speed.
  bench_record "Copy" "$label" "$our_us" "cp" "$cp_us" 1.11
done
