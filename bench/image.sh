#!/usr/bin/env bash
# A FLAC-image backup through the image drive: one 60-minute track
# (IMAGE_BENCH_MINUTES) in Album.flac under FILE "Album.flac" WAVE, read by
# cdrom_bench (TrackReader over CdDrive 'D', paranoia off) against
# `flac -d` of the same file to raw PCM on standard output, both into
# /dev/null. Both are timed as whole processes (ours with the disc check and
# the drive opened twice), best of three, in wall time and in CPU time (user
# + system; both programs run on one thread, and on a machine shared with
# other work the CPU time is the steadier figure); peak RSS of the last run.
# ratio = our sectors/s over flac's (target >= 0.9).
set -euo pipefail
build="$(cd "${1:?build folder}" && pwd)"
bench="$build/bench/cdrom/cdrom_bench"
mkimage="$build/tools/discimage/make_disc_image"
for exe in "$bench" "$mkimage"; do
  [ -x "$exe" ] || { echo "image: $exe not built" >&2; exit 1; }
done
command -v flac >/dev/null || { echo "image: the flac tool is missing" >&2; exit 1; }
minutes="${IMAGE_BENCH_MINUTES:-60}"

work="$(mktemp -d /tmp/tonvik-bench-image-XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/etc/Quellbrook" "$work/home/Quellbrook"
export XDG_CONFIG_DIRS="$work/etc" XDG_CONFIG_HOME="$work/home"
"$mkimage" custom "$work/disc.cue" "$((minutes * 60))" >/dev/null
flac -s -f --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 --sample-rate=44100 \
  -o "$work/Album.flac" "$work/disc.bin"
sectors=$(( $(stat -c %s "$work/disc.bin") / 2352 ))
rm -f "$work/disc.bin" "$work/disc.cue"
printf 'FILE "Album.flac" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n' > "$work/Album.cue"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Quellbrook\\vandral]\r\n"AppPath"="%s/"\r\n"HomeURL"="x"\r\n' "$work" \
  > "$work/etc/Quellbrook/system.reg"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral\\Drives]\r\n"D"="%s"\r\n' "$work/Album.cue" \
  > "$work/home/Quellbrook/user.reg"

# Best wall and best CPU seconds of three runs, and the peak RSS (KiB) of the last.
measure() {
  local wall="" cpu="" mem=0 t c
  for _ in 1 2 3; do
    local t0="$EPOCHREALTIME"
    /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; return 1; }
    local t1="$EPOCHREALTIME"
    read -r user sys mem < "$work/time"
    t="$(awk "BEGIN{printf \"%.4f\", $t1 - $t0}")"
    c="$(awk "BEGIN{printf \"%.2f\", $user + $sys}")"
    if [ -z "$wall" ] || awk "BEGIN{exit !($t < $wall)}"; then wall="$t"; fi
    if [ -z "$cpu" ] || awk "BEGIN{exit !($c < $cpu)}"; then cpu="$c"; fi
  done
  echo "$wall $cpu $mem"
}

read -r ours ours_cpu ours_mem < <(measure "$bench" 1 0)
read -r ref ref_cpu ref_mem < <(measure flac -d -s -c --force-raw-format --endian=little --sign=signed "$work/Album.flac")
row() {  # label ours-seconds flac-seconds
  local a b
  a="$(awk "BEGIN{printf \"%.0f\", $sectors / $2}")"
  b="$(awk "BEGIN{printf \"%.0f\", $sectors / $3}")"
  printf "%-18s %9s %10s %9s %10s %8s %10s %10s\n" "$1" "$2" "$a" "$3" "$b" \
    "$(awk "BEGIN{printf \"%.2f\", $a / $b}")" "$ours_mem" "$ref_mem"
}
printf "FLAC image: %s sectors (%s min), %s bytes of FLAC; paranoia off, read in order\n" \
  "$sectors" "$minutes" "$(stat -c %s "$work/Album.flac")"
printf "%-18s %9s %10s %9s %10s %8s %10s %10s\n" \
  "time" "ours s" "ours sec/s" "flac s" "flac sec/s" "ratio" "ours KiB" "flac KiB"
row "wall" "$ours" "$ref"
row "cpu (user+sys)" "$ours_cpu" "$ref_cpu"
