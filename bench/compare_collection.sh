#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times collecting a large music tree, as a run that needs no sizes collects it, against
# find(1) listing the same files with their sizes and without:
#   find TREE -iname '*.mp3' -printf '%s %p\n'
#   find TREE -iname '*.mp3'
# and, against the first find, a whole dry run of sorvina-cli over the tree, which collects
# (sizes and all, for its summary), draws every file and prints the 100,000 chosen paths:
#   sorvina-cli -s TREE --all --dry-run -p PLAYLIST --seed 1
# and the program's start alone against find's:
#   sorvina-cli --version                        find --version
# These run alternately on a warm cache. Then the collection, and a whole run that
# chooses 10 hours of the tree's songs (collecting without sizes, then reading the playing
# time of each song drawn), run on a cold cache against fd, a parallel walker, each run
# after the system's caches are emptied (as root; the cold rows are skipped, saying why,
# where that is refused):
#   fdfind -e mp3 -u . TREE
#   sorvina-cli -s TREE --hours 10 --dry-run -p PLAYLIST --seed 1
# A cold run reads the program and the libraries it loads at its start from the disk too.
# The medians and the ratios are printed, and recorded with bench_record (bench/lib.sh)
# when SORVINA_BENCH_RESULTS is set.
#
# Usage: bench/compare_collection.sh [BUILD_DIR] [TREE_DIR]
#   BUILD_DIR  build tree holding bench/sorvina-collect-bench and cli/sorvina-cli
#              (default: build/bench)
#   TREE_DIR   where the test tree is made once and reused
#              (default: ${TMPDIR:-/tmp}/sorvina-collection-tree)
# Environment: RUNS (default 7) timed runs of each program on a warm cache, COLD_RUNS
# (default 3) on a cold one. BEFORE_CLI names another build's sorvina-cli to time beside
# ours in the start and the cold 10-hour rows (printed, not recorded): a before and after
# from one run.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh"

build_dir=${1:-build/bench}
tree_dir=${2:-${TMPDIR:-/tmp}/sorvina-collection-tree}
runs=${RUNS:-7}
cold_runs=${COLD_RUNS:-3}

collector="$build_dir/bench/sorvina-collect-bench"
cli="$build_dir/cli/sorvina-cli"
before_cli=${BEFORE_CLI:-}
for program in "$collector" "$cli" ${before_cli:+"$before_cli"}; do
  if [[ ! -x $program ]]; then
    echo "error: $program not found; build it first:" >&2
    echo "  cmake --preset bench && cmake --build --preset bench" >&2
    exit 1
  fi
done

music="$tree_dir/music"
marker="$tree_dir/complete"
readonly artists=100 albums=20 tracks=50
readonly layout="$artists artists x $albums albums x $tracks tracks, Xing frames"

# The tree: 100,000 MP3 files of small sizes in 2,000 album folders, each album also
# holding a cover and a text file, a few albums spelled ".MP3", and some hidden folders
# (which a scan skips and find enters) holding only thumbnails. Each song is one MPEG-1
# Layer III frame whose Xing header states 2 to 6 minutes, then some filler: its playing
# time is read as any song's. The marker is written last, so an interrupted generation
# is redone rather than reused.
if [[ ! -f $marker || $(<"$marker") != "$layout" ]]; then
  echo "generating $layout under $music ..." >&2
  rm -rf -- "$music" "$marker"
  mkdir -p -- "$music"
  perl -e '
    use strict;
    use warnings;
    my ($root, $artists, $albums, $tracks) = @ARGV;
    sub put { my ($path, $bytes, $head) = @_;
              open(my $fh, ">", $path) or die "$path: $!";
              print $fh ($head // "") . "x" x $bytes; close $fh; }
    # 128 kbit/s at 44.1 kHz, stereo: 417 bytes, the Xing header 32 bytes after the frame
    # header, counting the frames of `seconds`.
    sub song { my ($seconds) = @_;
               my $frame = "\xFF\xFB\x90\x00" . ("\x00" x 32) . "Xing" . pack("N", 1) .
                           pack("N", int($seconds * 44100 / 1152));
               return $frame . ("\x00" x (417 - length($frame))); }
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
              1 + ($a * 7 + $b * 13 + $t * 31) % 400, song(120 + ($a + $b * 3 + $t * 11) % 241));
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
run_find_names() { find "$music" -iname '*.mp3'; }
run_ours() { "$collector" "$music"; }
run_fd() { fdfind -e mp3 -u . "$music"; }
# The playlist is named only because the command asks for a destination; a dry run does
# not write it.
run_cli() { "$cli" -s "$music" --all --dry-run -p "$scratch/dry-run.m3u" --seed 1; }
run_version() { "$cli" --version; }
run_find_version() { find --version; }
run_before_version() { "$before_cli" --version; }
run_hours() { "$cli" -s "$music" --hours 10 --dry-run -p "$scratch/dry-run.m3u" --seed 1; }
run_before_hours() {
  "$before_cli" -s "$music" --hours 10 --dry-run -p "$scratch/dry-run.m3u" --seed 1
}

# Warm the cache and check that all report the same files: the collector the same paths
# as find, and with sizes the same "SIZE PATH" lines as find -printf, the dry run the same
# paths (in the order drawn).
run_find >"$scratch/find.txt"
run_ours >"$scratch/ours.txt"
"$collector" --sizes "$music" >"$scratch/ours-sizes.txt"
run_cli >"$scratch/cli.txt"
find_lines=$(wc -l <"$scratch/find.txt")
our_lines=$(wc -l <"$scratch/ours.txt")
cli_lines=$(wc -l <"$scratch/cli.txt")
if [[ $find_lines != "$our_lines" ]]; then
  echo "error: find printed $find_lines lines, sorvina-collect-bench $our_lines" >&2
  exit 1
fi
if ! cmp -s <(LC_ALL=C sort "$scratch/find.txt") <(LC_ALL=C sort "$scratch/ours-sizes.txt") ||
  ! cmp -s <(cut -d ' ' -f 2- "$scratch/find.txt" | LC_ALL=C sort) \
    <(LC_ALL=C sort "$scratch/ours.txt"); then
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
cmp -s "$scratch/find.txt" "$scratch/ours-sizes.txt" && same_order=yes
# Ten hours of songs of 2 to 6 minutes: some 150 of them, each with its playing time.
hours_lines=$(run_hours | wc -l)
if ((hours_lines < 100 || hours_lines > 300)); then
  echo "error: the 10-hour choice listed $hours_lines songs, not about 150" >&2
  exit 1
fi

find_times=()
names_times=()
our_times=()
cli_times=()
version_times=()
find_version_times=()
before_version_times=()
for ((i = 0; i < runs; i++)); do
  find_times+=("$(bench_elapsed_us run_find)")
  names_times+=("$(bench_elapsed_us run_find_names)")
  our_times+=("$(bench_elapsed_us run_ours)")
  cli_times+=("$(bench_elapsed_us run_cli)")
  # A start is short: the median of several in a row counts as one run.
  for ((j = 0; j < 5; j++)); do
    version_times+=("$(bench_elapsed_us run_version)")
    find_version_times+=("$(bench_elapsed_us run_find_version)")
    [[ -z $before_cli ]] || before_version_times+=("$(bench_elapsed_us run_before_version)")
  done
done

find_median=$(bench_median "${find_times[@]}")
names_median=$(bench_median "${names_times[@]}")
our_median=$(bench_median "${our_times[@]}")
cli_median=$(bench_median "${cli_times[@]}")

echo "tree: $music ($layout, $find_lines MP3 files)"
echo "runs: $runs each, alternating; same files: yes; collection in find's order: $same_order"
awk -v f="$find_median" -v n="$names_median" -v o="$our_median" -v c="$cli_median" 'BEGIN {
  printf "%-34s %12s %10s %10s\n", "warm cache", "median (s)", "vs -printf", "vs names"
  printf "%-34s %12.4f\n", "find -printf", f / 1e6
  printf "%-34s %12.4f\n", "find (names only)", n / 1e6
  printf "%-34s %12.4f %9.2fx %9.2fx\n", "sorvina-collect-bench", o / 1e6, o / f, o / n
  printf "%-34s %12.4f %9.2fx\n", "sorvina-cli --all --dry-run", c / 1e6, c / f
}'
bench_record "Scan" "100,000 files: collection" "$our_median" "find -printf" "$find_median" 0.6
bench_record "Scan" "100,000 files: collection" "$our_median" "find, names only" \
  "$names_median" 1.2
bench_record "Scan" "100,000 files: sorvina-cli --all --dry-run" "$cli_median" "find -printf" \
  "$find_median" 1.0

version_median=$(bench_median "${version_times[@]}")
find_version_median=$(bench_median "${find_version_times[@]}")
awk -v o="$version_median" -v f="$find_version_median" 'BEGIN {
  printf "%-34s %12s %10s\n", "start", "median (s)", "vs find"
  printf "%-34s %12.4f\n", "find --version", f / 1e6
  printf "%-34s %12.4f %9.2fx\n", "sorvina-cli --version", o / 1e6, o / f
}'
if [[ -n $before_cli ]]; then
  before_version_median=$(bench_median "${before_version_times[@]}")
  awk -v b="$before_version_median" -v f="$find_version_median" -v o="$version_median" 'BEGIN {
    printf "%-34s %12.4f %9.2fx   (ours: %.2fx of it)\n", "BEFORE_CLI --version", b / 1e6, b / f, o / b
  }'
fi
bench_record "Start" "sorvina-cli --version" "$version_median" "find --version" \
  "$find_version_median" 3.0

# Cold cache: every run reads the tree from the disk.
drop_caches() { sync && echo 3 2>/dev/null >/proc/sys/vm/drop_caches; }
if ! command -v fdfind >/dev/null; then
  echo "cold cache: skipped, fdfind is not installed (scripts/setup bench installs fd-find)"
elif ! drop_caches; then
  echo "cold cache: skipped, the system's caches cannot be emptied here (needs root)"
else
  echo "cold cache: emptying the system's caches before each of $cold_runs runs of each" >&2
  fd_lines=$(run_fd | wc -l)
  if [[ $fd_lines != "$find_lines" ]]; then
    echo "error: fdfind found $fd_lines files, find $find_lines" >&2
    exit 1
  fi
  fd_times=()
  cold_times=()
  hours_times=()
  before_hours_times=()
  for ((i = 0; i < cold_runs; i++)); do
    drop_caches
    fd_times+=("$(bench_elapsed_us run_fd)")
    drop_caches
    cold_times+=("$(bench_elapsed_us run_ours)")
    drop_caches
    hours_times+=("$(bench_elapsed_us run_hours)")
    if [[ -n $before_cli ]]; then
      drop_caches
      before_hours_times+=("$(bench_elapsed_us run_before_hours)")
    fi
  done
  fd_median=$(bench_median "${fd_times[@]}")
  cold_median=$(bench_median "${cold_times[@]}")
  hours_median=$(bench_median "${hours_times[@]}")
  awk -v f="$fd_median" -v o="$cold_median" -v h="$hours_median" 'BEGIN {
    printf "%-34s %12s %10s\n", "cold cache", "median (s)", "vs fd"
    printf "%-34s %12.4f\n", "fdfind -e mp3 -u", f / 1e6
    printf "%-34s %12.4f %9.2fx\n", "sorvina-collect-bench", o / 1e6, o / f
    printf "%-34s %12.4f %9.2fx\n", "sorvina-cli --hours 10", h / 1e6, h / f
  }'
  if [[ -n $before_cli ]]; then
    before_hours_median=$(bench_median "${before_hours_times[@]}")
    awk -v f="$fd_median" -v b="$before_hours_median" 'BEGIN {
      printf "%-34s %12.4f %9.2fx\n", "BEFORE_CLI --hours 10", b / 1e6, b / f
    }'
  fi
  bench_record "Scan" "100,000 files: collection, cold cache" "$cold_median" "fdfind -e mp3 -u" \
    "$fd_median" 1.0
  bench_record "Scan" "100,000 files: sorvina-cli choosing 10 hours, cold cache" "$hours_median" \
    "fdfind -e mp3 -u" "$fd_median" 0.65
fi
