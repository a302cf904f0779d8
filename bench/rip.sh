#!/usr/bin/env bash
# The whole-disc figure: a 10-track, 10-minute image (preset disc10x1) on the
# image drive limited to 3900 sectors/s (52x, 9172800 bytes/s), ripped by
# RunRipJob to FLAC 5, Ogg Vorbis Normal and MP3 Normal. Against it: read =
# every track through the reader thread into a drained pipe at the same
# limit (no encoder, jitter correction off as in the rip); encode = the same
# PCM, read into memory first, through CreateEncoder / Write(61152) / Finish
# per track. overlap = rip / max(read, encode): 1.00 means reading and
# encoding overlap fully, target <= 1.05. All times are the programs' own
# (process start-up and the disc check left out), best of $RIP_BENCH_RUNS
# (default 3); peak RSS (KiB) of the last rip process, target < 100 MB.
# read+cpu = the pure read again with the drain spinning the encoder's CPU
# time per byte instead of encoding: when it is as slow as the rip, the
# missing overlap lies between the reader thread and a busy consumer, not in
# the encoder.
set -euo pipefail
build="$(cd "${1:?build folder}" && pwd)"
bench="$build/bench/rip/rip_bench"
mkimage="$build/tools/discimage/make_disc_image"
# lame_enc.so: the installed tree ./run stages, else the build's own copy.
lame_dir="$build/stage/lib/tonvik"
[ -f "$lame_dir/lame_enc.so" ] || lame_dir="$build/src/modules/lame_enc"
runs="${RIP_BENCH_RUNS:-3}"
for exe in "$bench" "$mkimage"; do
  [ -x "$exe" ] || { echo "rip: $exe not built" >&2; exit 1; }
done

work="$(mktemp -d /tmp/tonvik-bench-rip-XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/etc/Quellbrook" "$work/home/Quellbrook"
export XDG_CONFIG_DIRS="$work/etc" XDG_CONFIG_HOME="$work/home" HOME="$work/home"
"$mkimage" disc10x1 "$work/disc.cue" >/dev/null
echo "speed 3900" > "$work/disc.faults"
export TONVIK_FAULTS="$work/disc.faults"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Quellbrook\\vandral]\r\n"AppPath"="%s/"\r\n"HomeURL"="x"\r\n' "$lame_dir" \
  > "$work/etc/Quellbrook/system.reg"
# The user hive: drive D is the image; extra lines go into the product's key.
user_hive() {
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral\\Drives]\r\n"D"="%s"\r\n' "$work/disc.cue"
    [ $# -eq 0 ] || printf '\r\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral]\r\n'
    local line
    for line in "$@"; do printf '%s\r\n' "$line"; done
  } > "$work/home/Quellbrook/user.reg"
}
# The rows below rip without AccurateRip; its rows come last.
user_hive '"AccurateRip"=dword:00000000'
# Nothing here ever asks the real database.
export http_proxy="http://127.0.0.1:9"

# Best of the program's own times over the runs, peak RSS (KiB) of the last;
# every run writes into a fresh folder (OUT in the arguments).
measure() {
  local best="" mem=0 t run
  for run in $(seq "$runs"); do
    local out="$work/out$run"
    rm -rf "$out" && mkdir -p "$out"
    /usr/bin/time -f "%M" -o "$work/time" "${@//OUT/$out}" >"$work/stdout" 2>"$work/err" \
      || { cat "$work/err" >&2; return 1; }
    read -r mem < "$work/time"
    t="$(cat "$work/stdout")"
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best="$t"; fi
  done
  echo "$best $mem"
}

read -r read_s read_mem < <(measure "$bench" read)
amp="$(sed -n 's/^amplification //p' "$work/err")"
printf "disc: 10 tracks, %s bytes, speed limit 3900 sectors/s (pure read %s s, read amplification %s, %s KiB)\n" \
  "$(stat -c %s "$work/disc.bin")" "$read_s" "$amp" "$read_mem"
printf "%-18s %8s %9s %8s %8s %10s %9s %s\n" "format/preset" "read s" "encode s" "rip s" "overlap" "rip KiB" "read+cpu" "targets"
status=0
rows=("FLAC 5|6 1" "Ogg Vorbis Normal|4 1" "MP3 Normal|2 1")
[ "${RIP_BENCH_ONLY:-}" != accuraterip ] || rows=()
for row in "${rows[@]}"; do
  IFS='|' read -r label args <<<"$row"
  read -r f p <<<"$args"
  read -r enc_s _ < <(measure "$bench" encode "$f" "$p" OUT "$work/disc.bin") || { status=1; continue; }
  read -r rip_s rip_mem < <(measure "$bench" rip "$f" "$p" OUT) || { status=1; continue; }
  busy="$(awk "BEGIN{printf \"%.2f\", $enc_s * 1e9 / $(stat -c %s "$work/disc.bin")}")"
  read -r busy_s _ < <(measure "$bench" read "$busy") || { status=1; continue; }
  overlap="$(awk "BEGIN{m = $read_s > $enc_s ? $read_s : $enc_s; printf \"%.3f\", $rip_s / m}")"
  verdict="$(awk "BEGIN{printf \"%s %s\", ($overlap <= 1.05 ? \"overlap-ok\" : \"overlap-MISSED\"), ($rip_mem < 102400 ? \"mem-ok\" : \"mem-MISSED\")}")"
  printf "%-18s %8s %9s %8s %8s %10s %9s %s\n" "$label" "$read_s" "$enc_s" "$rip_s" "$overlap" "$rip_mem" "$busy_s" "$verdict"
done

# AccurateRip: the same FLAC rip with the record served by a loopback server
# (offset found from it on the first run, then stored), against the rip
# without verification; and with a server that never answers (the drive's
# offset set, so only the end of the rip can wait, for what is left of the
# 10 s bound). Targets: verified <= 1.01 x off; never answering: the rip
# ends no later than max(rip, 10 s) plus a little.
server="$build/tools/mbserver/mb_loopback_server"
record_tool="$build/tools/discimage/make_accuraterip_record"
if [ -x "$server" ] && [ -x "$record_tool" ]; then
  record_path="$(TONVIK_FAULTS= "$record_tool" "$work/disc.cue" "$work/record.bin")"
  . "$(dirname "$0")/lib/record_server.sh"
  # Off and verified take turns, so that a machine getting busier or
  # quieter during the run weighs on both alike.
  serve "200 $work/record.bin"
  off_s="" ar_s=""
  for _ in $(seq "$runs"); do
    user_hive '"AccurateRip"=dword:00000000'
    read -r t _ < <(runs=1 measure "$bench" rip 6 1 OUT)
    if [ -z "$off_s" ] || awk "BEGIN{exit !($t < $off_s)}"; then off_s="$t"; fi
    user_hive
    read -r t ar_mem < <(runs=1 measure "$bench" rip 6 1 OUT)
    if [ -z "$ar_s" ] || awk "BEGIN{exit !($t < $ar_s)}"; then ar_s="$t"; fi
  done
  accurate="$(grep -c "Accurately ripped" "$work/out1/disc.log" || true)"
  offset_line="$(grep "^Read offset:" "$work/out1/disc.log" | tr -s ' ')"
  unserve
  serve hang
  user_hive '"AccurateRip"=dword:00000001'
  printf '\r\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral\\Drives\\D]\r\n"ReadOffset"=dword:00000000\r\n' \
    >> "$work/home/Quellbrook/user.reg"
  read -r hang_s _ < <(measure "$bench" rip 6 1 OUT)
  unserve
  ratio="$(awk "BEGIN{printf \"%.3f\", $ar_s / $off_s}")"
  hang_ratio="$(awk "BEGIN{m = $off_s > 10 ? $off_s : 10; printf \"%.3f\", $hang_s / m}")"
  printf "AccurateRip, FLAC 5: off %s s, verified %s s (%s tracks accurate; %s; %s KiB), ratio %s %s\n" \
    "$off_s" "$ar_s" "$accurate" "$offset_line" "$ar_mem" "$ratio" \
    "$(awk "BEGIN{print ($ratio <= 1.01 ? \"ok\" : \"MISSED\")}")"
  printf "AccurateRip, server never answers: %s s against max(off, 10 s): %s\n" "$hang_s" "$hang_ratio"
fi
exit $status
