#!/usr/bin/env bash
# Times collecting a large music tree against find(1) doing the same listing work:
#   find TREE -iname '*.mp3' -printf '%s %p\n'
# Both run alternately on a warm cache; the medians and their ratio are printed.
#
# Usage: bench/compare_collection.sh [BUILD_DIR] [TREE_DIR]
#   BUILD_DIR  build tree holding bench/sorvina-collect-bench (default: build/release)
#   TREE_DIR   where the test tree is made once and reused
#              (default: ${TMPDIR:-/tmp}/sorvina-collection-tree)
# Environment: RUNS (default 7) timed runs of each program.
set -euo pipefail

build_dir=${1:-build/release}
tree_dir=${2:-${TMPDIR:-/tmp}/sorvina-collection-tree}
runs=${RUNS:-7}

collector="$build_dir/bench/sorvina-collect-bench"
if [[ ! -x $collector ]]; then
  echo "error: $collector not found; build it first:" >&2
  echo "  cmake --preset release && cmake --build --preset release" >&2
  exit 1
fi

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

# Warm the cache and check that both report the same files.
run_find >"$scratch/find.txt"
run_ours >"$scratch/ours.txt"
find_lines=$(wc -l <"$scratch/find.txt")
our_lines=$(wc -l <"$scratch/ours.txt")
if [[ $find_lines != "$our_lines" ]]; then
  echo "error: find printed $find_lines lines, sorvina-collect-bench $our_lines" >&2
  exit 1
fi
if ! cmp -s <(LC_ALL=C sort "$scratch/find.txt") <(LC_ALL=C sort "$scratch/ours.txt"); then
  echo "error: same line count ($find_lines) but different lines" >&2
  exit 1
fi
same_order=no
cmp -s "$scratch/find.txt" "$scratch/ours.txt" && same_order=yes

# Elapsed microseconds of one run, output discarded.
elapsed_us() {
  local start=${EPOCHREALTIME//[.,]/}
  "$@" >/dev/null
  local end=${EPOCHREALTIME//[.,]/}
  echo $((end - start))
}

find_times=()
our_times=()
for ((i = 0; i < runs; i++)); do
  find_times+=("$(elapsed_us run_find)")
  our_times+=("$(elapsed_us run_ours)")
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
find_median=$(median "${find_times[@]}")
our_median=$(median "${our_times[@]}")

echo "tree: $music ($layout, $find_lines MP3 files)"
echo "runs: $runs each, alternating; same output: yes; same order: $same_order"
awk -v f="$find_median" -v o="$our_median" 'BEGIN {
  printf "%-24s %12s\n", "program", "median (s)"
  printf "%-24s %12.4f\n", "find", f / 1e6
  printf "%-24s %12.4f\n", "sorvina-collect-bench", o / 1e6
  printf "%-24s %12.2fx\n", "ratio ours/find", o / f
}'
