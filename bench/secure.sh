#!/usr/bin/env bash
# Secure rips at burst speed: the 10-track, 10-minute image (disc10x1) on
# the image drive limited to 3900 sectors/s (52x), ripped to FLAC 5 with the
# AccurateRip record served by a loopback server, with jitter correction
# (secure) and without (burst). Rows:
#   burst            JitterCorrection 0, every track verified
#   secure           JitterCorrection 1, clean disc the database knows:
#                    target amplification <= 1.05, wall <= 1.05 x burst
#   secure, unknown  the database does not know the disc: corrected reads
#                    alone, as before (about 2.2)
#   secure, damaged  10 sectors of track 5 with flipped bits on their first
#                    read: that track is read again and compared
#   burst, damaged   the same in burst mode: the track is read again once
# Amplification = sectors asked of the drive / sectors delivered. Times are
# the program's own, best of $RIP_BENCH_RUNS (default 3); the rows take turns
# run by run, so a machine getting busier weighs on all alike.
set -euo pipefail
build="$(cd "${1:?build folder}" && pwd)"
bench="$build/bench/rip/rip_bench"
mkimage="$build/tools/discimage/make_disc_image"
server="$build/tools/mbserver/mb_loopback_server"
record_tool="$build/tools/discimage/make_accuraterip_record"
lame_dir="$build/stage/lib/tonvik"
[ -f "$lame_dir/lame_enc.so" ] || lame_dir="$build/src/modules/lame_enc"
runs="${RIP_BENCH_RUNS:-3}"
for exe in "$bench" "$mkimage" "$server" "$record_tool"; do
  [ -x "$exe" ] || { echo "secure: $exe not built" >&2; exit 1; }
done

work="$(mktemp -d /tmp/tonvik-bench-secure-XXXXXX)"
. "$(dirname "$0")/lib/record_server.sh"
trap 'unserve; rm -rf "$work"' EXIT
mkdir -p "$work/etc/Quellbrook" "$work/home/Quellbrook"
export XDG_CONFIG_DIRS="$work/etc" XDG_CONFIG_HOME="$work/home" HOME="$work/home"
"$mkimage" disc10x1 "$work/disc.cue" >/dev/null
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Quellbrook\\vandral]\r\n"AppPath"="%s/"\r\n"HomeURL"="x"\r\n' "$lame_dir" \
  > "$work/etc/Quellbrook/system.reg"
# Drive D is the image, its read offset set (so no run detects it).
user_hive() {  # JitterCorrection
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral]\r\n"JitterCorrection"=dword:0000000%s\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral\\Drives]\r\n"D"="%s"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral\\Drives\\D]\r\n"ReadOffset"=dword:00000000\r\n' \
    "$1" "$work/disc.cue" > "$work/home/Quellbrook/user.reg"
}
faults() {  # damaged|clean
  echo "speed 3900" > "$work/disc.faults"
  # Track 5 starts at 4:00:00 (sector 18000).
  [ "$1" = clean ] || echo "flipbits 20000 20009 50" >> "$work/disc.faults"
}
export TONVIK_FAULTS="$work/disc.faults"
record_path="$(TONVIK_FAULTS= "$record_tool" "$work/disc.cue" "$work/record.bin")"

# One rip: "<seconds> <amplification>".
rip_once() {
  local out="$work/out"
  rm -rf "$out" && mkdir -p "$out"
  RIP_BENCH_ERRORS_ALLOWED=1 "$bench" rip 6 1 "$out" >"$work/stdout" 2>"$work/err" || { cat "$work/err" >&2; return 1; }
  echo "$(cat "$work/stdout") $(sed -n 's/^amplification //p' "$work/err")"
}

rows=("burst|0|clean|200 $work/record.bin" "secure|1|clean|200 $work/record.bin" "secure, unknown|1|clean|404"
      "secure, damaged|1|damaged|200 $work/record.bin" "burst, damaged|0|damaged|200 $work/record.bin")
declare -A best amp
for _ in $(seq "$runs"); do
  for row in "${rows[@]}"; do
    IFS='|' read -r label jc fault route <<<"$row"
    serve "$route"
    user_hive "$jc"
    faults "$fault"
    read -r t a < <(rip_once) || exit 1
    if [ -z "${best[$label]:-}" ] || awk "BEGIN{exit !($t < ${best[$label]})}"; then best[$label]="$t"; fi
    amp[$label]="$a"
  done
done

base="${best[burst]}"
printf "%-16s %8s %8s %14s  %s\n" "rip" "wall s" "x burst" "amplification" "targets"
for row in "${rows[@]}"; do
  IFS='|' read -r label _ _ _ <<<"$row"
  ratio="$(awk "BEGIN{printf \"%.3f\", ${best[$label]} / $base}")"
  target=""
  if [ "$label" = secure ]; then
    target="$(awk "BEGIN{printf \"%s %s\", (${amp[$label]} <= 1.05 ? \"amp-ok\" : \"amp-MISSED\"), ($ratio <= 1.05 ? \"wall-ok\" : \"wall-MISSED\")}")"
  fi
  printf "%-16s %8s %8s %14s  %s\n" "$label" "${best[$label]}" "$ratio" "${amp[$label]}" "$target"
done
