#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times a fill of a phone as the desktop mounts it against cp of the same files onto the
# same mount: the volume with the rules of a phone over MTP (tests/faults'
# sorvina_mtp_rules_volume: nothing renamed, each file written once, front to back),
# mounted through FUSE with the type of the desktop's virtual file system, so that the
# fill takes its folder "mtp:host=…" for a phone, over a folder in /dev/shm (or WORK_DIR),
# so that what is timed is the FUSE round trips and the fill's own work, not a disk. The
# fill is a weekly one onto the empty phone (sorvina-cli --all --replace-previous
# --device-playlist: journal, record and playlist); cp copies the same N songs into the
# same folder. Each run mounts a fresh, empty volume; the two alternate. The medians per
# song and their ratio are printed, and recorded for bench/run when
# SORVINA_BENCH_RESULTS names a file (see bench/lib.sh).
#
# Usage: bench/compare_phone.sh [BUILD_DIR] [WORK_DIR]
#   BUILD_DIR  build tree holding cli/sorvina-cli and sorvina_mtp_rules_volume (in bench/,
#              or in tests/faults/ of a tree with the tests; default: build/bench)
#   WORK_DIR   where the songs and the volume are made; removed at the end unless KEEP=1
#              (default: /dev/shm/sorvina-phone-bench where /dev/shm is a tmpfs, else
#              ${TMPDIR:-/tmp}/sorvina-phone-bench)
# Environment: RUNS (default 5) timed runs of each; SONGS (default 100) songs of about
# SONG_KB (default 1024) KiB; HELPER the volume's program, where it was built elsewhere.
# Needs root and FUSE; says so and records nothing otherwise.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh"

build_dir=${1:-build/bench}
default_work=${TMPDIR:-/tmp}/sorvina-phone-bench
[[ $(df -PT /dev/shm 2>/dev/null | awk 'NR == 2 { print $2 }') == tmpfs ]] &&
  default_work=/dev/shm/sorvina-phone-bench
work_dir=${2:-$default_work}
runs=${RUNS:-5}
songs=${SONGS:-100}
song_kb=${SONG_KB:-1024}
cli="$build_dir/cli/sorvina-cli"
helper=${HELPER:-$build_dir/bench/sorvina_mtp_rules_volume}
[[ -n ${HELPER:-} || -x $helper ]] || helper=$build_dir/tests/faults/sorvina_mtp_rules_volume
for program in "$cli" "$helper"; do
  if [[ ! -x $program ]]; then
    echo "error: $program not found; build it first (the volume needs libfuse3)" >&2
    exit 1
  fi
done
if [[ $(id -u) != 0 || ! -e /dev/fuse ]]; then
  echo "phone left out: mounting the volume needs root and FUSE" >&2
  exit 0
fi

mount_point="$work_dir/mount"
backing="$work_dir/kept"
helper_pid=
unmount() {
  if mountpoint -q -- "$mount_point" 2>/dev/null; then
    umount -- "$mount_point" 2>/dev/null || umount -l -- "$mount_point"
  fi
  if [[ -n $helper_pid ]]; then
    wait "$helper_pid" 2>/dev/null || true
    helper_pid=
  fi
}
cleanup() {
  unmount
  [[ ${KEEP:-0} == 1 ]] || rm -rf -- "$work_dir"
}
trap cleanup EXIT

# Songs of silent MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz, 417 bytes each), as the
# device playlist measures each song's time, and an ID3v1 tag with the song's own title.
library="$work_dir/music"
mkdir -p -- "$library" "$mount_point"
stream="$work_dir/stream"
{
  printf '\xff\xfb\x90\x00'
  head -c 413 /dev/zero
} >"$stream"
while (($(stat -c %s -- "$stream") < song_kb * 1024)); do
  cat -- "$stream" "$stream" >"$stream.twice"
  mv -- "$stream.twice" "$stream"
done
truncate -s $((song_kb * 1024 / 417 * 417)) -- "$stream"
for ((i = 1; i <= songs; i++)); do
  {
    cat -- "$stream"
    printf 'TAG%-30.30s%-30.30s%-30.30s%-4.4s%-30.30s\xff' "Track $i" "Sorvina" "Bench" 2026 ""
  } >"$(printf '%s/Track %03d.mp3' "$library" "$i")"
done
phone=mtp:host=Google_Pixel_7_2A3B4C5D
storage="$mount_point/$phone/Internal shared storage"

# Mounts a fresh, empty phone with one storage.
fresh_phone() {
  unmount
  rm -rf -- "$backing"
  mkdir -p -- "$backing/$phone/Internal shared storage/Music"
  "$helper" --subtype gvfsd-fuse "$backing" "$mount_point" 2>/dev/null &
  helper_pid=$!
  for ((wait = 0; wait < 500; wait++)); do
    mountpoint -q -- "$mount_point" && return 0
    sleep 0.01
  done
  echo "error: the volume did not mount" >&2
  exit 1
}

fill_us=()
cp_us=()
for ((run = 0; run < runs; run++)); do
  fresh_phone
  fill_us+=("$(bench_elapsed_us "$cli" -q -s "$library" -c "$storage/Music" --all \
    --replace-previous --device-playlist Sorvina.m3u8 --seed 1)")
  count=$(find "$backing/$phone" -name '*.mp3' | wc -l)
  if ((count != songs)); then
    echo "error: the fill put $count of $songs songs on the phone" >&2
    exit 1
  fi
  fresh_phone
  cp_us+=("$(bench_elapsed_us cp -- "$library"/*.mp3 "$storage/Music/")")
done
unmount

ours=$(bench_median "${fill_us[@]}")
baseline=$(bench_median "${cp_us[@]}")
awk -v n="$songs" -v o="$ours" -v b="$baseline" 'BEGIN {
  printf "phone (MTP rules, FUSE), %d songs: fill %.4f s per song, cp %.4f s per song, ratio %.2f\n",
    n, o / n / 1e6, b / n / 1e6, o / b }'
bench_record "Fill" "weekly fill of a phone as the desktop mounts it (MTP rules, FUSE), $songs x $song_kb KiB, per song" \
  "$((ours / songs))" "cp of the same files onto the same mount" "$((baseline / songs))" -
