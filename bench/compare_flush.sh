#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times what making a copy safe to unplug costs: the flush of the destination's volume
# (FlushVolume, as a selection run does after its copy) against the copy itself, for 40
# files of 2 MiB copied onto
#   - an exFAT volume with 32 KiB clusters, made in an image file in WORK_DIR, attached
#     to a loop device and mounted through FUSE (exfat-fuse), as a player is used; needs
#     root, loop devices and FUSE, and is left out otherwise;
#   - a tmpfs (/dev/shm), where there is no device to write to.
# Each run copies into a fresh folder after sync(1), outside the time taken; the medians
# and their ratio are printed, and recorded for bench/run when SORVINA_BENCH_RESULTS names
# a file (see bench/lib.sh).
#
# Usage: bench/compare_flush.sh [BUILD_DIR] [WORK_DIR]
#   BUILD_DIR  build tree holding bench/sorvina-copy-bench (default: build/bench)
#   WORK_DIR   where the files and the image are made; removed at the end unless KEEP=1
#              (default: ${TMPDIR:-/tmp}/sorvina-flush-bench)
# Environment: RUNS (default 5) timed runs per volume.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh"

build_dir=${1:-build/bench}
work_dir=${2:-${TMPDIR:-/tmp}/sorvina-flush-bench}
runs=${RUNS:-5}
copier="$build_dir/bench/sorvina-copy-bench"
if [[ ! -x $copier ]]; then
  echo "error: $copier not found; build it first" >&2
  exit 1
fi

mount_point="$work_dir/player"
shm_dir=/dev/shm/sorvina-flush-bench
loop=
cleanup() {
  if mountpoint -q -- "$mount_point" 2>/dev/null; then
    umount -- "$mount_point" || fusermount -u -- "$mount_point" || umount -l -- "$mount_point"
  fi
  [[ -n $loop ]] && losetup -d "$loop" 2>/dev/null || true
  rm -rf -- "$shm_dir"
  [[ ${KEEP:-0} == 1 ]] || rm -rf -- "$work_dir"
}
trap cleanup EXIT

src="$work_dir/files"
mkdir -p -- "$src" "$mount_point"
for ((i = 1; i <= 40; i++)); do
  head -c $((2048 * 1024)) /dev/urandom >"$(printf '%s/Track %02d.mp3' "$src" "$i")"
done

# measure LABEL DEST_FOLDER: runs the copy with its flush RUNS times.
measure() {
  local label=$1 dest=$2 copies=() flushes=() copy_us flush_us
  for ((i = 0; i < runs; i++)); do
    rm -rf -- "$dest"
    mkdir -p -- "$dest"
    sync
    read -r copy_us flush_us < <("$copier" --flush "$src" "$dest" 2>/dev/null)
    copies+=("$copy_us")
    flushes+=("$flush_us")
  done
  copy_us=$(bench_median "${copies[@]}")
  flush_us=$(bench_median "${flushes[@]}")
  awk -v name="$label" -v c="$copy_us" -v f="$flush_us" \
    'BEGIN { printf "%-40s copy %8.3f s  flush %8.3f s  flush/copy %.2f\n", name, c / 1e6, f / 1e6, f / c }'
  bench_record "Copy" "flush after 40 x 2 MiB, $label" "$flush_us" "the copy itself" "$copy_us" -
}

image="$work_dir/exfat.img"
truncate -s 128M -- "$image"
if command -v mkfs.exfat >/dev/null && mkfs.exfat -c 32K "$image" >/dev/null 2>&1 &&
  loop=$(losetup -f --show -- "$image" 2>/dev/null) &&
  mount.exfat-fuse "$loop" "$mount_point" >/dev/null 2>&1 && mountpoint -q -- "$mount_point"; then
  measure "exFAT (FUSE, loop device)" "$mount_point/MUSIC"
else
  echo "exFAT left out: no loop device, FUSE or exfatprogs/exfat-fuse here" >&2
fi
measure "tmpfs" "$shm_dir/MUSIC"
