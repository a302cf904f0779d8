#!/usr/bin/env bash
# Paranoia reading of the image drive: a clean 10-minute track (preset
# clean10, 45000 sectors), no speed limit. ours = cdrom_bench, TrackReader
# over CdDrive 'D' with ReadSector in a loop, mode 0 (jitter off) and 0xDF
# (jitter on); tool = libcdio's cd-paranoia on the same cue image, -Z for
# paranoia off, the default (full minus never-skip, also 0xDF) for on, PCM to
# /dev/null. Both are timed as whole processes (start-up and the TOC read
# included), best of three; peak RSS of the last run. ratio = our sectors/s
# over the tool's (>= 1: ours at least as fast). Read amplification = raw
# sectors read / sectors delivered; for cd-paranoia it is the bytes its
# read(2) calls took from the .bin (one strace run) over the track's bytes.
set -euo pipefail
build="$(cd "${1:?build folder}" && pwd)"
bench="$build/bench/cdrom/cdrom_bench"
mkimage="$build/tools/discimage/make_disc_image"
for exe in "$bench" "$mkimage"; do
  [ -x "$exe" ] || { echo "cdrom: $exe not built" >&2; exit 1; }
done

work="$(mktemp -d /tmp/tonvik-bench-cdrom-XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/etc/Quellbrook" "$work/home/Quellbrook"
export XDG_CONFIG_DIRS="$work/etc" XDG_CONFIG_HOME="$work/home"
"$mkimage" clean10 "$work/disc.cue" >/dev/null
cue="$work/disc.cue" bin="$work/disc.bin"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Quellbrook\\vandral]\r\n"AppPath"="%s/"\r\n"HomeURL"="x"\r\n' "$work" \
  > "$work/etc/Quellbrook/system.reg"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral\\Drives]\r\n"D"="%s"\r\n' "$cue" \
  > "$work/home/Quellbrook/user.reg"
sectors=$(( $(stat -c %s "$bin") / 2352 ))

# Best wall time of three runs and the peak RSS (KiB) of the last; the
# command's stdout is kept in $work/out.
measure() {
  local best="" mem=0 t
  for _ in 1 2 3; do
    local t0="$EPOCHREALTIME"
    /usr/bin/time -f "%M" -o "$work/time" "$@" >"$work/out" 2>"$work/err" || { cat "$work/err" >&2; return 1; }
    local t1="$EPOCHREALTIME"
    read -r mem < "$work/time"
    t="$(awk "BEGIN{printf \"%.4f\", $t1 - $t0}")"
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best="$t"; fi
  done
  echo "$best $mem"
}

# Bytes cd-paranoia's read(2) calls took from the .bin, over the track's bytes.
tool_amplification() {
  command -v strace >/dev/null || { echo n/a; return; }
  strace -f -qq -e trace=openat,read -o "$work/strace" "$@" >/dev/null 2>&1 || { echo n/a; return; }
  awk -v bin="$bin" -v want="$(( sectors * 2352 ))" '
    /openat\(/ && index($0, "\"" bin "\"") { split($0, a, "= "); fd[a[2] + 0] = 1; next }
    / read\(/ { f = $0; sub(/.* read\(/, "", f); f = f + 0;
                if (f in fd) { split($0, a, "= "); if (a[2] + 0 > 0) total += a[2] } }
    END { if (total > 0) printf "%.3f", total / want; else print "n/a" }' "$work/strace"
}

paranoia_ok=1
if ! cd-paranoia -q -d "$cue" -Z -r 1 - >/dev/null 2>"$work/cdp.err"; then
  paranoia_ok=0
  if cd-paranoia -q -d "$bin" -Z -r 1 - >/dev/null 2>>"$work/cdp.err"; then
    paranoia_ok=2  # the .bin as the device
  fi
fi
device="$cue"; [ "$paranoia_ok" = 2 ] && device="$bin"

printf "track: %s sectors (%s bytes), image drive without speed limit\n" "$sectors" "$(stat -c %s "$bin")"
printf "%-16s %9s %10s %8s %9s %10s %8s %8s %10s %10s\n" \
  "paranoia" "ours s" "ours sec/s" "ours amp" "tool s" "tool sec/s" "tool amp" "speed x" "ours KiB" "tool KiB"
status=0
for row in "off (0)|0|-Z" "on (0xDF)|1|"; do
  IFS='|' read -r label jitter zflag <<<"$row"
  read -r ours ours_mem < <(measure "$bench" 1 "$jitter") || { status=1; continue; }
  read -r _ delivered raw _ < "$work/out"
  ours_sps="$(awk "BEGIN{printf \"%.0f\", $delivered / $ours}")"
  ours_amp="$(awk "BEGIN{printf \"%.3f\", $raw / $delivered}")"
  if [ "$paranoia_ok" != 0 ]; then
    read -r ref ref_mem < <(measure cd-paranoia -q -d "$device" $zflag -r 1 -) || status=1
    ref_sps="$(awk "BEGIN{printf \"%.0f\", $sectors / $ref}")"
    ref_amp="$(tool_amplification cd-paranoia -q -d "$device" $zflag -r 1 -)"
    ratio="$(awk "BEGIN{printf \"%.2f\", $ours_sps / $ref_sps}")"
  else
    ref="n/a" ref_sps="n/a" ref_amp="n/a" ratio="n/a" ref_mem="n/a"
  fi
  printf "%-16s %9s %10s %8s %9s %10s %8s %8s %10s %10s\n" \
    "$label" "$ours" "$ours_sps" "$ours_amp" "$ref" "$ref_sps" "$ref_amp" "$ratio" "$ours_mem" "$ref_mem"
done
case "$paranoia_ok" in
  0) echo "cd-paranoia could not read the image (neither the .cue nor the .bin as device): $(head -c 300 "$work/cdp.err")" ;;
  2) echo "cd-paranoia refused the .cue; it read the .bin as the device" ;;
esac
exit $status
