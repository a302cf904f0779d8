#!/usr/bin/env bash
# Encoding on every core. A 10-track, 45-minute image of music-like signal
# (make_disc_image custom, 270 s a track) ripped by RunRipJob (rip_bench rip)
# with EncoderThreads = 1 and = 0 (every core), each format in turn:
#   no speed limit (a CUE image: reading costs almost nothing): ratio =
#     wall(0) / wall(1), target <= 0.55 on two cores (FLAC may be bound by
#     reading);
#   at 52x (speed 3900 in the image's fault plan): the rip with every core
#     against max(pure read, sum of the one-thread encodes / cores), target
#     <= 1.02;
# and the peak memory of the rip with every core, target <= 300 MB, also for
# a 79-minute single-track image (FLAC). The images are written to /tmp and
# removed. PARALLEL_BENCH_RUNS (default 1) runs, best kept.
set -euo pipefail
build="$(cd "${1:?build folder}" && pwd)"
bench="$build/bench/rip/rip_bench"
mkimage="$build/tools/discimage/make_disc_image"
lame_dir="$build/stage/lib/tonvik"
[ -f "$lame_dir/lame_enc.so" ] || lame_dir="$build/src/modules/lame_enc"
wmvcore_dir="$build/src/modules/wmvcore"
runs="${PARALLEL_BENCH_RUNS:-1}"
cores="$(nproc)"
for exe in "$bench" "$mkimage"; do
  [ -x "$exe" ] || { echo "parallel: $exe not built" >&2; exit 1; }
done

work="$(mktemp -d /tmp/tonvik-bench-parallel-XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/etc/Quellbrook" "$work/home/Quellbrook"
export XDG_CONFIG_DIRS="$work/etc" XDG_CONFIG_HOME="$work/home" HOME="$work/home"
export http_proxy="http://127.0.0.1:9"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Quellbrook\\vandral]\r\n"AppPath"="%s/"\r\n"HomeURL"="x"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n"SystemModulesDir"="%s/"\r\n' \
  "$lame_dir" "$wmvcore_dir" > "$work/etc/Quellbrook/system.reg"
# The user hive: drive D is the image, no network verification, the threads.
user_hive() {  # image threads
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral\\Drives]\r\n"D"="%s"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral]\r\n"AccurateRip"=dword:00000000\r\n"EncoderThreads"=dword:%08x\r\n' \
    "$1" "$2" > "$work/home/Quellbrook/user.reg"
}
# Best time of the runs and the peak RSS (KiB) of the last: prints "s KiB".
measure() {
  local best="" mem=0 t run
  for run in $(seq "$runs"); do
    rm -rf "$work/out" && mkdir -p "$work/out"
    /usr/bin/time -f "%M" -o "$work/time" "$@" >"$work/stdout" 2>"$work/err" \
      || { cat "$work/err" >&2; return 1; }
    read -r mem < "$work/time"
    t="$(cat "$work/stdout")"
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best="$t"; fi
  done
  echo "$best $mem"
}

args=()
for _ in $(seq 10); do args+=(270); done
"$mkimage" custom "$work/disc.cue" "${args[@]}"
: > "$work/disc.faults"
export TONVIK_FAULTS="$work/disc.faults"
echo "image: 10 tracks, 45 minutes, $(stat -c %s "$work/disc.bin") bytes; $cores cores"
rows=("MP3 Normal|2 1" "MP3 High|2 2" "Ogg Vorbis q5|4 1" "WMA Normal|3 1" "APE Extra high|5 3:4000" "FLAC 5|6 1")
printf "%-16s %9s %9s %7s %9s   %s\n" "format" "1 thr s" "all s" "ratio" "all KiB" "targets"
declare -A one_thread
status=0
for row in "${rows[@]}"; do
  IFS='|' read -r label args <<<"$row"
  read -r f p <<<"$args"
  user_hive "$work/disc.cue" 1
  read -r t1 _ < <(measure "$bench" rip "$f" "$p" "$work/out") || { status=1; continue; }
  user_hive "$work/disc.cue" 0
  read -r t0 m0 < <(measure "$bench" rip "$f" "$p" "$work/out") || { status=1; continue; }
  one_thread[$label]="$t1"
  ratio="$(awk "BEGIN{printf \"%.3f\", $t0 / $t1}")"
  printf "%-16s %9s %9s %7s %9s   %s %s\n" "$label" "$t1" "$t0" "$ratio" "$m0" \
    "$(awk "BEGIN{print ($ratio <= 0.55 ? \"ratio-ok\" : \"ratio-MISSED\")}")" \
    "$(awk "BEGIN{print ($m0 <= 307200 ? \"mem-ok\" : \"mem-MISSED\")}")"
done

# At 52x: the encodes alone (one thread, PCM in memory) and the pure read.
echo "speed 3900" > "$work/disc.faults"
user_hive "$work/disc.cue" 0
read -r read_s _ < <(measure "$bench" read)
printf "at 52x: pure read %s s\n" "$read_s"
printf "%-16s %9s %9s %9s %7s   %s\n" "format" "encode s" "bound s" "rip s" "ratio" "target"
for row in "${rows[@]}"; do
  IFS='|' read -r label args <<<"$row"
  read -r f p <<<"$args"
  read -r enc_s _ < <(TONVIK_FAULTS= measure "$bench" encode "$f" "$p" "$work/out" "$work/disc.bin") || { status=1; continue; }
  read -r rip_s _ < <(measure "$bench" rip "$f" "$p" "$work/out") || { status=1; continue; }
  bound="$(awk "BEGIN{e = $enc_s / $cores; printf \"%.3f\", ($read_s > e ? $read_s : e)}")"
  ratio="$(awk "BEGIN{printf \"%.3f\", $rip_s / $bound}")"
  printf "%-16s %9s %9s %9s %7s   %s\n" "$label" "$enc_s" "$bound" "$rip_s" "$ratio" \
    "$(awk "BEGIN{print ($ratio <= 1.02 ? \"ok\" : \"MISSED\")}")"
done

# A 79-minute single track: the PCM waiting for the encoder stays bounded.
rm -f "$work/disc.bin"
"$mkimage" custom "$work/long.cue" 4740
: > "$work/disc.faults"
user_hive "$work/long.cue" 0
read -r long_s long_mem < <(measure "$bench" rip 6 1 "$work/out") || status=1
printf "79-minute single track, FLAC 5, every core: %s s, peak %s KiB %s\n" "$long_s" "$long_mem" \
  "$(awk "BEGIN{print ($long_mem <= 307200 ? \"mem-ok\" : \"mem-MISSED\")}")"
exit $status
