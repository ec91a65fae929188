#!/usr/bin/env bash
# Times collecting a large music tree against find(1) doing the same listing work:
#   find TREE -iname '*.mp3' -printf '%s %p\n'
# and, against the same find, a whole dry run of sorvina-cli over the tree, which collects,
# draws every file and prints the 100,000 chosen paths:
#   sorvina-cli -s TREE --all --dry-run -p PLAYLIST --seed 1
# All three run alternately on a warm cache; the medians and the ratios are printed, and
# recorded with bench_record (bench/lib.sh) when SORVINA_BENCH_RESULTS is set.
#
# Usage: bench/compare_collection.sh [BUILD_DIR] [TREE_DIR]
#   BUILD_DIR  build tree holding bench/sorvina-collect-bench and cli/sorvina-cli
#              (default: build/release)
#   TREE_DIR   where the test tree is made once and reused
#              (default: ${TMPDIR:-/tmp}/sorvina-collection-tree)
# Environment: RUNS (default 7) timed runs of each program.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh"

build_dir=${1:-build/release}
tree_dir=${2:-${TMPDIR:-/tmp}/sorvina-collection-tree}
runs=${RUNS:-7}

collector="$build_dir/bench/sorvina-collect-bench"
cli="$build_dir/cli/sorvina-cli"
for program in "$collector" "$cli"; do
  if [[ ! -x $program ]]; then
    echo "error: $program not found; build it first:" >&2
    echo "  cmake --preset release && cmake --build --preset release" >&2
    exit 1
  fi
done

music="$tree_dir/music"
marker="$tree_dir/complete"
readonly artists=100 albums=20 tracks=50
readonly layout="$artists artists x $albums albums x $tracks tracks"

# The tree: 100,000 MP3 files of small non-zero sizes in 2,000 album folders, each album
# also holding a cover and a text file, a few albums spelled ".MP3", and some hidden
# folders (which a scan skips and find enters) holding only thumbnails. The marker is
# written last, so an interrupted generation is redone rather than reused.
if [[ ! -f $marker || $(<"$marker") != "$layout" ]]; then
  echo "generating $layout under $music ..." >&2
  rm -rf -- "$music" "$marker"
  mkdir -p -- "$music"
  perl -e '
    use strict;
    use warnings;
    my ($root, $artists, $albums, $tracks) = @ARGV;
    sub put { my ($path, $bytes) = @_;
              open(my $fh, ">", $path) or die "$path: $!"; print $fh "x" x $bytes; close $fh; }
    for my $a (1 .. $artists) {
      my $artist = sprintf("%s/Artist %03d", $root, $a);
      mkdir $artist or die "$artist: $!";
      if ($a % 10 == 0) {
        mkdir "$artist/.thumbnails" or die "$artist/.thumbnails: $!";
        put("$artist/.thumbnails/folder.jpg", 64);
      }
      for my $b (1 .. $albums) {
        my $album = sprintf("%s/Album %02d", $artist, $b);
        mkdir $album or die "$album: $!";
        my $ext = (($a * $albums + $b) % 37 == 0) ? "MP3" : "mp3";
        for my $t (1 .. $tracks) {
          put(sprintf("%s/%02d Track name %d.%s", $album, $t, $t * 7 + $b, $ext),
              1 + ($a * 7 + $b * 13 + $t * 31) % 400);
        }
        put("$album/cover.jpg", 128);
        put("$album/notes.txt", 32);
      }
    }' "$music" "$artists" "$albums" "$tracks"
  echo "$layout" >"$marker"
fi

scratch=$(mktemp -d)
trap 'rm -rf -- "$scratch"' EXIT

run_find() { find "$music" -iname '*.mp3' -printf '%s %p\n'; }
run_ours() { "$collector" "$music"; }
# The playlist is named only because the command asks for a destination; a dry run does
# not write it.
run_cli() { "$cli" -s "$music" --all --dry-run -p "$scratch/dry-run.m3u" --seed 1; }

# Warm the cache and check that all three report the same files: the collector the same
# "SIZE PATH" lines as find, the dry run the same paths (in the order drawn).
run_find >"$scratch/find.txt"
run_ours >"$scratch/ours.txt"
run_cli >"$scratch/cli.txt"
find_lines=$(wc -l <"$scratch/find.txt")
our_lines=$(wc -l <"$scratch/ours.txt")
cli_lines=$(wc -l <"$scratch/cli.txt")
if [[ $find_lines != "$our_lines" ]]; then
  echo "error: find printed $find_lines lines, sorvina-collect-bench $our_lines" >&2
  exit 1
fi
if ! cmp -s <(LC_ALL=C sort "$scratch/find.txt") <(LC_ALL=C sort "$scratch/ours.txt"); then
  echo "error: same line count ($find_lines) but different lines" >&2
  exit 1
fi
if [[ $find_lines != "$cli_lines" ]] ||
  ! cmp -s <(cut -d ' ' -f 2- "$scratch/find.txt" | LC_ALL=C sort) \
    <(LC_ALL=C sort "$scratch/cli.txt"); then
  echo "error: the dry run listed $cli_lines paths, not the $find_lines files find found" >&2
  exit 1
fi
same_order=no
cmp -s "$scratch/find.txt" "$scratch/ours.txt" && same_order=yes

find_times=()
our_times=()
cli_times=()
for ((i = 0; i < runs; i++)); do
  find_times+=("$(bench_elapsed_us run_find)")
  our_times+=("$(bench_elapsed_us run_ours)")
  cli_times+=("$(bench_elapsed_us run_cli)")
done

find_median=$(bench_median "${find_times[@]}")
our_median=$(bench_median "${our_times[@]}")
cli_median=$(bench_median "${cli_times[@]}")

echo "tree: $music ($layout, $find_lines MP3 files)"
echo "runs: $runs each, alternating; same files: yes; collection in find's order: $same_order"
awk -v f="$find_median" -v o="$our_median" -v c="$cli_median" 'BEGIN {
  printf "%-34s %12s %10s\n", "program", "median (s)", "vs find"
  printf "%-34s %12.4f\n", "find -printf", f / 1e6
  printf "%-34s %12.4f %9.2fx\n", "sorvina-collect-bench", o / 1e6, o / f
  printf "%-34s %12.4f %9.2fx\n", "sorvina-cli --all --dry-run", c / 1e6, c / f
}'
bench_record "Scan" "100,000 files: collection" "$our_median" "find -printf" "$find_median" 1.2
bench_record "Scan" "100,000 files: sorvina-cli --all --dry-run" "$cli_median" "find -printf" \
  "$find_median" 1.5
