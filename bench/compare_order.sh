#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times what putting a player's folders in play order costs against the fill itself, on
# a 96 MiB exFAT volume with 32 KiB clusters, made in an image file in WORK_DIR, attached
# to a loop device and mounted through FUSE (exfat-fuse), as a player is used. The
# library holds 1,200 files of 200 KiB (random bytes named .mp3: the copy does not decode
# them) in 6 folders; every fill takes 300 of them (--mb 58.6) with --keep-folders and
# seed 2:
#   sorvina-cli -s LIBRARY -c PLAYER --keep-folders --mb 58.6 --seed 2 [OPTIONS]
# Two pairs, each on the same volume state for both sides:
#   - the weekly fill: with --replace-previous onto the volume holding last week's fill
#     (seed 1, same amount): it removes last week's files but those chosen again, which
#     stay, copies the others into the places freed and rebuilds every folder in play
#     order; against the same command without --replace-previous onto an empty volume,
#     which copies all the chosen files, in play order as they come;
#   - the rebuild alone: the same fill with --order and without, onto a volume whose six
#     folders each hold 10 of the owner's files, left when every other one of 20 was
#     deleted, so that the copies take the places between them and a rebuild has work
#     to do.
# Before each pair of runs, both sides' volumes are put back in their states from images
# kept for them, mounted afresh and flushed with sync(1), outside the time taken; then the
# two fills run one right after the other, taking turns at going first. Each time includes
# the flush the program ends with. Before the timed runs, one run of each checks, after
# remounting, what each folder lists: for the weekly fill, this week's files alone, in
# play order; for the second pair, the fill's files first, in play order, with --order,
# and not so without it. The medians and their ratio are printed, and recorded for
# bench/run when SORVINA_BENCH_RESULTS names a file (see bench/lib.sh).
#
# Needs root, loop devices, FUSE, exfatprogs and exfat-fuse; says why and records nothing
# otherwise.
#
# Usage: bench/compare_order.sh [BUILD_DIR] [WORK_DIR]
#   BUILD_DIR  build tree holding cli/sorvina-cli (default: build/bench)
#   WORK_DIR   where the library and the images are made; removed at the end unless
#              KEEP=1 (default: ${TMPDIR:-/tmp}/sorvina-order-bench)
# Environment: RUNS (default 5) timed runs of each side per pair.
set -euo pipefail
shopt -s inherit_errexit

# shellcheck source=bench/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh"

build_dir=${1:-build/bench}
work_dir=${2:-${TMPDIR:-/tmp}/sorvina-order-bench}
runs=${RUNS:-5}
cli="$build_dir/cli/sorvina-cli"
if [[ ! -x $cli ]]; then
  echo "error: $cli not found; build it first:" >&2
  echo "  cmake --preset bench && cmake --build --preset bench" >&2
  exit 1
fi
cli=$(realpath -- "$cli")

# What the exFAT volume needs; without it there is nothing to measure.
left_out() {
  echo "play order comparison left out: $*" >&2
  exit 0
}
((EUID == 0)) || left_out "attaching a loop device needs root"
for tool in mkfs.exfat mount.exfat-fuse losetup mountpoint; do
  command -v "$tool" >/dev/null ||
    left_out "$tool is not installed (exfatprogs, exfat-fuse, util-linux)"
done
[[ -c /dev/fuse ]] || left_out "no /dev/fuse here"

readonly folder_count=6 files_per_folder=200 kib=200 megabytes=58.6 image_mib=96
readonly owner_files=20 seed_last_week=1 seed=2

mkdir -p -- "$work_dir"
work_dir=$(realpath -- "$work_dir")
library="$work_dir/library"
log="$work_dir/sorvina-cli.log"

# Two volumes can be mounted at once, one for each side of a pair ("ours" and "base"), so
# that the two timed runs follow each other closely: on a shared machine the speed of
# the whole system drifts over seconds. Each has its mount point, loop device and
# working image.
declare -A mount_points=([ours]="$work_dir/player-ours" [base]="$work_dir/player-base")
declare -A loops=([ours]="" [base]="")
declare -A images=([ours]="" [base]="")
image_count=0

# unmount SIDE
unmount() {
  local mount_point=${mount_points[$1]}
  if mountpoint -q -- "$mount_point" 2>/dev/null; then
    umount -- "$mount_point" 2>/dev/null || fusermount -u -- "$mount_point" 2>/dev/null ||
      umount -l -- "$mount_point"
  fi
}
# detach SIDE: unmounts the side's volume and lets go of its loop device and working image.
detach() {
  unmount "$1"
  if [[ -n ${loops[$1]} ]]; then
    losetup -d "${loops[$1]}" 2>/dev/null || echo "warning: could not detach ${loops[$1]}" >&2
    loops[$1]=
  fi
  [[ -n ${images[$1]} ]] && rm -f -- "${images[$1]}"
  images[$1]=
}
cleanup() {
  detach ours
  detach base
  [[ ${KEEP:-0} == 1 ]] || rm -rf -- "$work_dir"
}
trap cleanup EXIT

# Until a volume has been mounted once, a failure to attach or mount it means the machine
# cannot run this comparison, rather than that it went wrong.
volume_works=0

# mount_volume SIDE: mounts the volume on the side's loop device at its mount point.
mount_volume() {
  local loop=${loops[$1]} mount_point=${mount_points[$1]}
  if ! mount.exfat-fuse "$loop" "$mount_point" >"$log" 2>&1 ||
    ! mountpoint -q -- "$mount_point"; then
    ((volume_works)) || left_out "exfat-fuse could not mount $loop: $(head -n 1 -- "$log")"
    echo "error: could not mount $loop (${images[$1]}) through exfat-fuse at $mount_point:" >&2
    cat -- "$log" >&2
    exit 1
  fi
  volume_works=1
}

# use_state SIDE SNAPSHOT: a fresh working copy of the image SNAPSHOT, attached, mounted
# for SIDE and flushed to the disk, to run on.
use_state() {
  detach "$1"
  image_count=$((image_count + 1))
  images[$1]="$work_dir/player-$image_count.img"
  cp --sparse=never -- "$2" "${images[$1]}"
  local attached
  if ! attached=$(losetup -f --show -- "${images[$1]}" 2>&1); then
    ((volume_works)) || left_out "no loop device could be attached: $attached"
    echo "error: could not attach ${images[$1]} to a loop device: $attached" >&2
    exit 1
  fi
  loops[$1]=$attached
  mkdir -p -- "${mount_points[$1]}"
  mount_volume "$1"
  sync
}

# keep_state SIDE SNAPSHOT: unmounts the side's working image and keeps it as SNAPSHOT.
keep_state() {
  unmount "$1"
  losetup -d "${loops[$1]}" 2>/dev/null || true
  loops[$1]=
  mv -- "${images[$1]}" "$2"
  images[$1]=
}

# fill SIDE OPTION...: one fill of the side's volume from the library; its messages go to
# the log, and are shown when it fails.
fill() {
  local side=$1
  shift
  if ! "$cli" -s "$library" -c "${mount_points[$side]}" --keep-folders --mb "$megabytes" "$@" \
    </dev/null >/dev/null 2>"$log"; then
    echo "error: sorvina-cli --keep-folders --mb $megabytes $* failed:" >&2
    cat -- "$log" >&2
    return 1
  fi
}

# The library; the marker is written last, so that an interrupted generation is redone
# rather than reused.
layout="$folder_count x $files_per_folder x $kib KiB"
if [[ ! -f $work_dir/library.complete || $(<"$work_dir/library.complete") != "$layout" ]]; then
  echo "generating $layout under $library ..." >&2
  rm -rf -- "$library" "$work_dir/library.complete"
  for ((a = 1; a <= folder_count; a++)); do
    mkdir -p -- "$library/Artist $a"
    for ((t = 1; t <= files_per_folder; t++)); do
      song=$(printf '%s/Artist %d/Song %03d.mp3' "$library" "$a" "$t")
      head -c $((kib * 1024)) /dev/urandom >"$song"
    done
  done
  echo "$layout" >"$work_dir/library.complete"
fi

# drawn SEED FILE: the files the fill with SEED chooses, in play order (the draw order a
# dry run prints), as paths below the volume.
drawn() {
  if ! "$cli" -s "$library" -c "$work_dir/nowhere" --keep-folders --mb "$megabytes" \
    --seed "$1" --dry-run </dev/null >"$2.draw" 2>"$log"; then
    echo "error: the dry run of the fill with seed $1 failed:" >&2
    cat -- "$log" >&2
    exit 1
  fi
  awk -v prefix="$library/" '
    index($0, prefix) == 1 { print substr($0, length(prefix) + 1); next }
    { print "error: the dry run printed a path outside the library: " $0 > "/dev/stderr"; exit 1 }' \
    "$2.draw" >"$2"
  if [[ ! -s $2 ]]; then
    echo "error: the dry run with seed $1 chose no files:" >&2
    cat -- "$log" >&2
    exit 1
  fi
}
play_order="$work_dir/play-order.txt"
drawn "$seed" "$play_order"
drawn "$seed_last_week" "$work_dir/last-week.txt"
file_count=$(wc -l <"$play_order")
last_week_count=$(wc -l <"$work_dir/last-week.txt")
kept_count=$(comm -12 <(sort -- "$play_order") <(sort -- "$work_dir/last-week.txt") | wc -l)
mapfile -t folders < <(sed 's|/[^/]*$||' "$play_order" | sort -u)

# in_play_order SIDE [alone]: whether every folder of the fill on the side's volume lists
# the fill's files first, in play order; with "alone", whether it lists nothing else.
# exfat-fuse, freshly mounted, lists a folder in the order of its entries; once it has
# made files, in an order of its own: hence the volume is mounted again first.
in_play_order() {
  unmount "$1"
  mount_volume "$1"
  local folder expected listed
  for folder in "${folders[@]}"; do
    expected=$(awk -v prefix="$folder/" '
      index($0, prefix) == 1 { print substr($0, length(prefix) + 1) }' "$play_order")
    listed=$(find "${mount_points[$1]}/$folder" -mindepth 1 -maxdepth 1 -printf '%f\n')
    [[ ${2:-} == alone ]] || listed=$(head -n "$(wc -l <<<"$expected")" <<<"$listed")
    [[ $listed == "$expected" ]] || return 1
  done
}

# The volume states: empty, holding last week's fill, and holding the owner's files with
# gaps between them.
empty="$work_dir/empty.img"
last_week="$work_dir/last-week.img"
owners="$work_dir/owners-files.img"
head -c $((image_mib * 1024 * 1024)) /dev/zero >"$empty"
if ! mkfs.exfat -c 32K "$empty" >"$log" 2>&1; then
  echo "error: mkfs.exfat could not make the image $empty:" >&2
  cat -- "$log" >&2
  exit 1
fi
use_state ours "$empty"
fill ours --seed "$seed_last_week"
keep_state ours "$last_week"
use_state ours "$empty"
for ((a = 1; a <= folder_count; a++)); do
  mkdir -- "${mount_points[ours]}/Artist $a"
  for ((t = 1; t <= owner_files; t++)); do
    own=$(printf '%s/Artist %d/Own %02d.mp3' "${mount_points[ours]}" "$a" "$t")
    head -c $((kib * 1024)) /dev/urandom >"$own"
  done
  for ((t = 1; t <= owner_files; t += 2)); do
    rm -- "$(printf '%s/Artist %d/Own %02d.mp3' "${mount_points[ours]}" "$a" "$t")"
  done
done
keep_state ours "$owners"

# The pair measured: each side's volume state and options beyond the common ones.
declare -A states=([ours]="" [base]="")
ours_options=()
base_options=()
# time_fill SIDE OPTION...: one fill of the side's volume, timed; its elapsed microseconds
# are left in `elapsed`.
elapsed=
time_fill() {
  elapsed=$(bench_elapsed_us fill "$@" --seed "$seed")
}

# measure CASE BASELINE: times the pair set above RUNS times each. Both volumes are made
# ready first, then the two fills run one right after the other, taking turns at going
# first.
measure() {
  local case=$1 baseline=$2 ours_times=() base_times=() i ours_us base_us
  for ((i = 0; i < runs; i++)); do
    use_state base "${states[base]}"
    use_state ours "${states[ours]}"
    if ((i % 2 == 0)); then
      time_fill base "${base_options[@]}"
      base_times+=("$elapsed")
      time_fill ours "${ours_options[@]}"
      ours_times+=("$elapsed")
    else
      time_fill ours "${ours_options[@]}"
      ours_times+=("$elapsed")
      time_fill base "${base_options[@]}"
      base_times+=("$elapsed")
    fi
  done
  detach base
  detach ours
  ours_us=$(bench_median "${ours_times[@]}")
  base_us=$(bench_median "${base_times[@]}")
  # The medians, and the spread of each side's runs: on a shared machine it can be wide.
  awk -v name="$case" -v o="$ours_us" -v b="$base_us" -v os="${ours_times[*]}" \
    -v bs="${base_times[*]}" '
    function spread(list, n, t, i, lo, hi) {
      n = split(list, t, " ")
      lo = hi = t[1]
      for (i = 2; i <= n; i++) { if (t[i] < lo) lo = t[i]; if (t[i] > hi) hi = t[i] }
      return sprintf("%.3f to %.3f s", lo / 1e6, hi / 1e6)
    }
    BEGIN {
      printf "%s\n  ours %.3f s (runs %s), baseline %.3f s (runs %s), ours/baseline %.2f\n",
        name, o / 1e6, spread(os), b / 1e6, spread(bs), o / b
    }'
  bench_record "Fill" "$case" "$ours_us" "$baseline" "$base_us" -
}

echo "runs: $runs each, alternating, each first in turn; $file_count files per fill"

# The weekly fill. A trial run of each first: both must leave this week's files alone in
# every folder, in play order; the replacing fill by removing last week's and rebuilding,
# the copy onto the empty volume as the files come.
states=([ours]="$last_week" [base]="$empty")
ours_options=(--replace-previous)
base_options=()
use_state ours "${states[ours]}"
fill ours --seed "$seed" --replace-previous
if ! in_play_order ours alone; then
  echo "error: after the replacing fill, a folder does not list this week's files alone," \
    "in play order" >&2
  exit 1
fi
use_state base "${states[base]}"
fill base --seed "$seed"
if ! in_play_order base alone; then
  echo "error: the copy onto the empty volume is not in play order, as a plain copy onto" \
    "an empty volume should be" >&2
  exit 1
fi
echo "the weekly fill of $file_count files: of last week's $last_week_count," \
  "$((last_week_count - kept_count)) replaced, $kept_count kept"
measure \
  "weekly fill of $file_count x $kib KiB on exFAT (FUSE, loop), last week's replaced, play order rebuilt" \
  "the same files copied onto an empty volume"

# The rebuild alone: without --order the copies must sit among the owner's files, with
# it every folder must list them first, in play order.
states=([ours]="$owners" [base]="$owners")
ours_options=(--order)
base_options=()
use_state base "${states[base]}"
fill base --seed "$seed"
if in_play_order base; then
  echo "error: the copy among the owner's files came out in play order: there is no" \
    "rebuild to time" >&2
  exit 1
fi
use_state ours "${states[ours]}"
fill ours --seed "$seed" --order
if ! in_play_order ours; then
  echo "error: with --order, a folder does not list the fill's files first, in play order" >&2
  exit 1
fi
measure \
  "fill of $file_count x $kib KiB on exFAT (FUSE, loop) among other files, put in play order (--order)" \
  "the same fill without --order"
