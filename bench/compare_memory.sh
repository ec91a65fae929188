#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Peak memory per file of a dry run that selects a whole library of 100,000 files, against
# listing the same files and shuffling them, which holds each path once:
#   sorvina-cli -s TREE --all --dry-run -p PLAYLIST --seed 1
#   sorvina-cli -s TREE --all --dry-run -p PLAYLIST --seed 1 --spread   (reads tags)
#   sh -c "find TREE -name '*.mp3' | shuf"
# Ours is the peak resident size of the run less that of `sorvina-cli --version` (the
# program and its libraries, loaded before anything is collected), per file; the
# baseline's is its whole peak per file. The tag cache of the --spread runs lives in a
# folder of its own (XDG_CACHE_HOME), filled by a run before the timed ones. The medians
# are printed, and recorded with bench_record_bytes (bench/lib.sh) when
# SORVINA_BENCH_RESULTS is set.
#
# Usage: bench/compare_memory.sh [BUILD_DIR] [TREE_DIR]
#   BUILD_DIR  build tree holding cli/sorvina-cli (default: build/bench)
#   TREE_DIR   where the test tree is made once and reused
#              (default: ${TMPDIR:-/tmp}/sorvina-memory-tree)
# Environment: RUNS (default 7) runs of each, alternating.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh"

build_dir=${1:-build/bench}
tree_dir=${2:-${TMPDIR:-/tmp}/sorvina-memory-tree}
runs=${RUNS:-7}

cli="$build_dir/cli/sorvina-cli"
if [[ ! -x $cli ]]; then
  echo "error: $cli not found; build it first:" >&2
  echo "  cmake --preset bench && cmake --build --preset bench" >&2
  exit 1
fi
if [[ ! -x /usr/bin/time ]]; then
  echo "error: /usr/bin/time (GNU time) is needed for the peak resident size" >&2
  exit 1
fi

music="$tree_dir/music"
marker="$tree_dir/complete"
readonly artists=100 albums=20 tracks=50
readonly layout="$artists artists x $albums albums x $tracks tracks"

# The tree: 100,000 one-byte MP3 files in 2,000 album folders, paths of about 55 bytes.
# The marker is written last, so an interrupted generation is redone rather than reused.
if [[ ! -f $marker || $(<"$marker") != "$layout" ]]; then
  echo "generating $layout under $music ..." >&2
  rm -rf -- "$music" "$marker"
  mkdir -p -- "$music"
  perl -e '
    use strict;
    use warnings;
    my ($root, $artists, $albums, $tracks) = @ARGV;
    for my $a (1 .. $artists) {
      for my $b (1 .. $albums) {
        my $album = sprintf("%s/Artist %03d/Album %02d", $root, $a, $b);
        mkdir sprintf("%s/Artist %03d", $root, $a);
        mkdir $album or die "$album: $!";
        for my $t (1 .. $tracks) {
          my $path = sprintf("%s/%02d Track %02d.mp3", $album, $t, $t);
          open(my $fh, ">", $path) or die "$path: $!"; print $fh "x"; close $fh;
        }
      }
    }' "$music" "$artists" "$albums" "$tracks"
  echo "$layout" >"$marker"
fi

scratch=$(mktemp -d)
trap 'rm -rf -- "$scratch"' EXIT
export XDG_CACHE_HOME="$scratch/cache"

files=$(find "$music" -name '*.mp3' | wc -l)
path_bytes=$(find "$music" -name '*.mp3' | LC_ALL=C awk '{ s += length($0) } END { printf "%.1f", s / NR }')

# The peak resident size of a command, in KiB; its output is discarded.
peak_kib() {
  /usr/bin/time -f %M -o "$scratch/peak" "$@" >/dev/null 2>"$scratch/stderr" ||
    { cat "$scratch/stderr" >&2; return 1; }
  tail -n 1 "$scratch/peak"
}
# The playlist is named only because the command asks for a destination; a dry run does
# not write it.
plain=("$cli" -s "$music" --all --dry-run -p "$scratch/dry-run.m3u" --seed 1)
spread=("${plain[@]}" --spread)
shuffle=(sh -c "find '$music' -name '*.mp3' | shuf")

# Fills the tag cache, and checks that every run lists every file.
check_listing() {
  local -n command=$1
  local listed
  listed=$("${command[@]}" 2>/dev/null | wc -l)
  if [[ $listed != "$files" ]]; then
    echo "error: $1 listed $listed paths, not the $files files of the tree" >&2
    exit 1
  fi
}
check_listing plain
check_listing spread
check_listing shuffle

start_peaks=()
plain_peaks=()
spread_peaks=()
shuffle_peaks=()
for ((i = 0; i < runs; i++)); do
  start_peaks+=("$(peak_kib "$cli" --version)")
  plain_peaks+=("$(peak_kib "${plain[@]}")")
  spread_peaks+=("$(peak_kib "${spread[@]}")")
  shuffle_peaks+=("$(peak_kib "${shuffle[@]}")")
done

start=$(bench_median "${start_peaks[@]}")
plain_kib=$(bench_median "${plain_peaks[@]}")
spread_kib=$(bench_median "${spread_peaks[@]}")
shuffle_kib=$(bench_median "${shuffle_peaks[@]}")

per_file() { awk -v kib="$1" -v n="$files" 'BEGIN { printf "%.1f", kib * 1024 / n }'; }
plain_bytes=$(per_file $((plain_kib - start)))
spread_bytes=$(per_file $((spread_kib - start)))
shuffle_bytes=$(per_file "$shuffle_kib")

echo "tree: $music ($layout, $files MP3 files, paths of $path_bytes bytes on average)"
echo "runs: $runs each, alternating; peak at start (--version): $start KiB"
awk -v p="$plain_bytes" -v s="$spread_bytes" -v b="$shuffle_bytes" -v path="$path_bytes" 'BEGIN {
  printf "%-36s %12s %14s %9s\n", "peak resident size per file", "bytes", "beyond path", "vs shuf"
  printf "%-36s %12.1f\n", "find | shuf", b
  printf "%-36s %12.1f %14.1f %8.2fx\n", "sorvina-cli --all --dry-run", p, p - path, p / b
  printf "%-36s %12.1f %14.1f %8.2fx\n", "sorvina-cli --all --dry-run --spread", s, s - path, s / b
}'
bench_record_bytes "Memory" "100,000 files: select all, dry run" "$plain_bytes" "find piped into shuf" \
  "$shuffle_bytes" 150 "$path_bytes"
bench_record_bytes "Memory" "100,000 files: select all, dry run, --spread (tags cached)" \
  "$spread_bytes" "find piped into shuf" "$shuffle_bytes" 250 "$path_bytes"
