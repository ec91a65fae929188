#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times a repeat fill for a player whose songs all come from the conversion cache against
# the same fill of MP3s that need no conversion at all, both asking for conversion:
#   sorvina-cli -s FLACS --types flac -c PLAYER --all --player car --convert auto --seed 1
#   sorvina-cli -s MP3S -c PLAYER --all --player car --convert auto --seed 1
# The 12 songs, 20 seconds of tones each, are made once with ffmpeg(1) as FLAC and
# converted once by a first fill; the MP3s are those very conversions, so that both fills
# copy the same bytes. What the first adds is finding each song's entry in the cache and
# checking it against its fingerprint, handing the songs to the encoders' threads and
# waiting for them.
# Both run alternately, taking turns at going first, each into a fresh player folder, on
# a warm cache, with a cache, state and settings folder of their own. Before the timed
# runs, one run of each checks that the first encodes nothing and the second converts
# nothing. The medians and their ratio are printed, and recorded for bench/run when
# SORVINA_BENCH_RESULTS names a file (see bench/lib.sh).
#
# Usage: bench/compare_cached_conversion.sh [BUILD_DIR] [WORK_DIR]
#   BUILD_DIR  build tree holding cli/sorvina-cli (default: build/bench)
#   WORK_DIR   where the songs, the cache and the players are made; removed at the end
#              unless KEEP=1 (default: ${TMPDIR:-/tmp}/sorvina-cached-conversion-bench)
# Environment: RUNS (default 7); each side runs three times that many times, as a run
# takes a twentieth of a second.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh"

build_dir=${1:-build/bench}
work_dir=${2:-${TMPDIR:-/tmp}/sorvina-cached-conversion-bench}
runs=$((${RUNS:-7} * 3))
readonly songs=12

cli="$build_dir/cli/sorvina-cli"
if [[ ! -x $cli ]]; then
  echo "error: $cli not found; build it first:" >&2
  echo "  cmake --preset bench && cmake --build --preset bench" >&2
  exit 1
fi
if ! command -v ffmpeg >/dev/null; then
  echo "skipped: ffmpeg is missing (scripts/setup bench installs it)" >&2
  exit 0
fi

cleanup() { [[ ${KEEP:-0} == 1 ]] || rm -rf -- "$work_dir"; }
trap cleanup EXIT
rm -rf -- "$work_dir"
mkdir -p -- "$work_dir/flac" "$work_dir/mp3"
export XDG_CACHE_HOME="$work_dir/cache" XDG_STATE_HOME="$work_dir/state"
export XDG_CONFIG_HOME="$work_dir/config"

echo "making $songs songs of 20 s under $work_dir ..." >&2
for ((i = 1; i <= songs; i++)); do
  ffmpeg -loglevel error -f lavfi -i "sine=frequency=$((200 + 40 * i)):duration=20" -ac 2 \
    -metadata title="Song $i" -metadata artist=Band "$(printf '%s/flac/Song %02d.flac' "$work_dir" "$i")"
done

player="$work_dir/player"
fill() {
  rm -rf -- "$player"
  mkdir -- "$player"
  "$cli" -s "$1" "${@:2}" -c "$player" --all --player car --convert auto --seed 1 2>&1
}
from_cache() { fill "$work_dir/flac" --types flac; }
as_they_are() { fill "$work_dir/mp3"; }

# The first fill converts every song into the cache; its copies are the MP3s.
fill "$work_dir/flac" --types flac >/dev/null
find "$player" -path "$player/.sorvina" -prune -o -name '*.mp3' -exec cp -- {} "$work_dir/mp3/" \;
if [[ $(find "$work_dir/mp3" -name '*.mp3' | wc -l) != "$songs" ]]; then
  echo "error: the first fill did not convert all $songs songs" >&2
  exit 1
fi
said=$(from_cache)
if [[ $said != *"Copied $songs files"* || $said != *"$songs converted (0 encoded now)"* ]]; then
  echo "error: the repeat fill did not take every song from the cache: $said" >&2
  exit 1
fi
said=$(as_they_are)
if [[ $said != *"Copied $songs files"* || $said == *converted* ]]; then
  echo "error: the fill of MP3s converted something or copied too little: $said" >&2
  exit 1
fi

cached_times=()
plain_times=()
for ((i = 0; i < runs; i++)); do
  if ((i % 2 == 0)); then
    cached_times+=("$(bench_elapsed_us from_cache)")
    plain_times+=("$(bench_elapsed_us as_they_are)")
  else
    plain_times+=("$(bench_elapsed_us as_they_are)")
    cached_times+=("$(bench_elapsed_us from_cache)")
  fi
done
cached_us=$(bench_median "${cached_times[@]}")
plain_us=$(bench_median "${plain_times[@]}")
awk -v runs="$runs" -v c="$cached_us" -v p="$plain_us" 'BEGIN {
  printf "runs: %d each, alternating\n", runs
  printf "%-46s %10.4f s\n", "repeat fill, all from the conversion cache", c / 1e6
  printf "%-46s %10.4f s\n", "the same fill of MP3s that need nothing", p / 1e6
  printf "%-46s %10.2f\n", "ratio", c / p
}'
# Waiting for the cache may add at most a quarter to the fill.
bench_record "Convert" "repeat fill for a player, $songs songs all from the conversion cache" \
  "$cached_us" "the same fill of MP3s that need nothing" "$plain_us" 1.25
