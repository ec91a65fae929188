#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times what the fill's journal costs in syncs: a weekly fill on a 96 MiB exFAT volume with
# 32 KiB clusters, made in an image file in WORK_DIR, attached to a loop device and mounted
# through FUSE (exfat-fuse), as a player is used, with the journal's syncs as they are,
# against the same fill with them left out (bench/no_journal_sync.cpp, loaded into the same
# program with LD_PRELOAD). The library holds 1,200 files of 200 KiB (random bytes named
# .mp3: the copy does not decode them) in 60 folders of 20; the fill takes 300 of them:
#   sorvina-cli -s LIBRARY -c PLAYER --keep-folders --mb 58.6 --fill --replace-previous
#               --avoid-last 1 --device-playlist Sorvina.m3u8 --seed 2
# onto the volume holding last week's fill (seed 1, same options): it removes last week's
# files and the folders they leave empty, copies this week's (naming them 16 at a time once
# the journal is on the device, and each folder it makes once the journal names it there),
# puts every folder in play order and writes the playlist and the record. Before each pair
# of runs, both sides' volumes are put back in that state from the image kept of it,
# mounted afresh and flushed with sync(1), outside the time taken; the two fills then run
# one right after the other, taking turns at going first. Each time includes the flush the
# program ends with. The medians and their ratio are printed, with the number of syncs the
# journal makes in a fill, and recorded for bench/run when SORVINA_BENCH_RESULTS names a
# file (see bench/lib.sh).
#
# Needs root, loop devices, FUSE, exfatprogs and exfat-fuse; says why and records nothing
# otherwise.
#
# Usage: bench/compare_journal.sh [BUILD_DIR] [WORK_DIR]
#   BUILD_DIR  build tree holding cli/sorvina-cli and bench/sorvina-no-journal-sync.so
#              (default: build/bench)
#   WORK_DIR   where the library and the images are made; removed at the end unless
#              KEEP=1 (default: ${TMPDIR:-/tmp}/sorvina-journal-bench)
# Environment: RUNS (default 5) timed runs of each side.
set -euo pipefail
shopt -s inherit_errexit

# shellcheck source=bench/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh"

build_dir=${1:-build/bench}
work_dir=${2:-${TMPDIR:-/tmp}/sorvina-journal-bench}
runs=${RUNS:-5}
cli="$build_dir/cli/sorvina-cli"
shim="$build_dir/bench/sorvina-no-journal-sync.so"
for built in "$cli" "$shim"; do
  if [[ ! -e $built ]]; then
    echo "error: $built not found; build it first:" >&2
    echo "  cmake --preset bench && cmake --build --preset bench" >&2
    exit 1
  fi
done
cli=$(realpath -- "$cli")
shim=$(realpath -- "$shim")

left_out() {
  echo "journal comparison left out: $*" >&2
  exit 0
}
((EUID == 0)) || left_out "attaching a loop device needs root"
for tool in mkfs.exfat mount.exfat-fuse losetup mountpoint; do
  command -v "$tool" >/dev/null ||
    left_out "$tool is not installed (exfatprogs, exfat-fuse, util-linux)"
done
[[ -c /dev/fuse ]] || left_out "no /dev/fuse here"

readonly folder_count=60 files_per_folder=20 kib=200 megabytes=58.6 image_mib=96
readonly seed_last_week=1 seed=2

mkdir -p -- "$work_dir"
work_dir=$(realpath -- "$work_dir")
library="$work_dir/library"
log="$work_dir/sorvina-cli.log"
syncs="$work_dir/syncs.txt"
# The key of the fills' fingerprints and the state of their runs stay in the work folder.
export XDG_STATE_HOME="$work_dir/state"

# Each side has its mount point, loop device and working image, so that both volumes are
# ready before the two timed runs follow each other closely.
declare -A mount_points=([ours]="$work_dir/player-ours" [base]="$work_dir/player-base")
declare -A loops=([ours]="" [base]="")
declare -A images=([ours]="" [base]="")
image_count=0

detach() {
  local mount_point=${mount_points[$1]}
  if mountpoint -q -- "$mount_point" 2>/dev/null; then
    umount -- "$mount_point" 2>/dev/null || fusermount -u -- "$mount_point" 2>/dev/null ||
      umount -l -- "$mount_point"
  fi
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

volume_works=0
# use_state SIDE SNAPSHOT: a fresh working copy of the image SNAPSHOT, attached, mounted
# for SIDE and flushed to the disk, to run on.
use_state() {
  detach "$1"
  image_count=$((image_count + 1))
  images[$1]="$work_dir/player-$image_count.img"
  cp --sparse=never -- "$2" "${images[$1]}"
  local attached mount_point=${mount_points[$1]}
  if ! attached=$(losetup -f --show -- "${images[$1]}" 2>&1); then
    ((volume_works)) || left_out "no loop device could be attached: $attached"
    echo "error: could not attach ${images[$1]} to a loop device: $attached" >&2
    exit 1
  fi
  loops[$1]=$attached
  mkdir -p -- "$mount_point"
  if ! mount.exfat-fuse "$attached" "$mount_point" >"$log" 2>&1 ||
    ! mountpoint -q -- "$mount_point"; then
    ((volume_works)) || left_out "exfat-fuse could not mount $attached: $(head -n 1 -- "$log")"
    echo "error: could not mount $attached through exfat-fuse at $mount_point:" >&2
    cat -- "$log" >&2
    exit 1
  fi
  volume_works=1
  sync
}

# fill SIDE SEED [PRELOAD]: one weekly fill of the side's volume; its messages go to the
# log, and are shown when it fails.
fill() {
  if ! LD_PRELOAD=${3:-} "$cli" -s "$library" -c "${mount_points[$1]}" --keep-folders \
    --mb "$megabytes" --fill --replace-previous --avoid-last 1 \
    --device-playlist Sorvina.m3u8 --seed "$2" </dev/null >/dev/null 2>"$log"; then
    echo "error: the weekly fill with seed $2 failed:" >&2
    cat -- "$log" >&2
    return 1
  fi
}

layout="$folder_count x $files_per_folder x $kib KiB"
if [[ ! -f $work_dir/library.complete || $(<"$work_dir/library.complete") != "$layout" ]]; then
  echo "generating $layout under $library ..." >&2
  rm -rf -- "$library" "$work_dir/library.complete"
  for ((a = 1; a <= folder_count; a++)); do
    mkdir -p -- "$library/Album $a"
    for ((t = 1; t <= files_per_folder; t++)); do
      head -c $((kib * 1024)) /dev/urandom >"$(printf '%s/Album %d/Song %02d.mp3' "$library" "$a" "$t")"
    done
  done
  echo "$layout" >"$work_dir/library.complete"
fi

# Last week's fill, kept as the state every run starts from.
empty="$work_dir/empty.img"
last_week="$work_dir/last-week.img"
head -c $((image_mib * 1024 * 1024)) /dev/zero >"$empty"
if ! mkfs.exfat -c 32K "$empty" >"$log" 2>&1; then
  echo "error: mkfs.exfat could not make the image $empty:" >&2
  cat -- "$log" >&2
  exit 1
fi
use_state ours "$empty"
fill ours "$seed_last_week"
umount -- "${mount_points[ours]}" 2>/dev/null || fusermount -u -- "${mount_points[ours]}"
losetup -d "${loops[ours]}"
loops[ours]=
mv -- "${images[ours]}" "$last_week"
images[ours]=

# One fill without the syncs first, counting them.
rm -f -- "$syncs"
use_state base "$last_week"
SORVINA_JOURNAL_SYNCS=$syncs fill base "$seed" "$shim"
sync_count=$(<"$syncs")

ours_times=()
base_times=()
time_ours() {
  local elapsed
  elapsed=$(bench_elapsed_us fill ours "$seed")
  ours_times+=("$elapsed")
}
time_base() {
  local elapsed
  elapsed=$(bench_elapsed_us fill base "$seed" "$shim")
  base_times+=("$elapsed")
}
for ((i = 0; i < runs; i++)); do
  use_state base "$last_week"
  use_state ours "$last_week"
  if ((i % 2 == 0)); then
    time_base
    time_ours
  else
    time_ours
    time_base
  fi
done
ours_us=$(bench_median "${ours_times[@]}")
base_us=$(bench_median "${base_times[@]}")
case="weekly fill of 300 x $kib KiB in $folder_count folders on exFAT (FUSE, loop), $sync_count journal syncs"
awk -v name="$case" -v o="$ours_us" -v b="$base_us" -v os="${ours_times[*]}" \
  -v bs="${base_times[*]}" '
  function spread(list, n, t, i, lo, hi) {
    n = split(list, t, " ")
    lo = hi = t[1]
    for (i = 2; i <= n; i++) { if (t[i] < lo) lo = t[i]; if (t[i] > hi) hi = t[i] }
    return sprintf("%.3f to %.3f s", lo / 1e6, hi / 1e6)
  }
  # The ratio of each pair of runs, which ran one right after the other: on a busy machine
  # it drifts less than the runs themselves.
  function pair_median(n, a, c, r, i, j, t) {
    n = split(os, a, " ")
    split(bs, c, " ")
    for (i = 1; i <= n; i++) r[i] = a[i] / c[i]
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (r[j] < r[i]) { t = r[i]; r[i] = r[j]; r[j] = t }
    return r[int(n / 2) + 1]
  }
  BEGIN {
    printf "%s\n  with the syncs %.3f s (runs %s), without %.3f s (runs %s), with/without %.2f\n",
      name, o / 1e6, spread(os), b / 1e6, spread(bs), o / b
    printf "  with/without, the median of the pairs of runs: %.2f\n", pair_median()
  }'
bench_record "Fill" "$case" "$ours_us" "the same fill, the journal's syncs left out" "$base_us" -
