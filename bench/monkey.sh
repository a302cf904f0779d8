#!/usr/bin/env bash
# Monkey's Audio encoder: speed per level on one core, and sizes against
# flac -8 and the Java port's encoder (libjmac-java) on the same PCM in the
# same run, pinned to one core. cpu s / wall s = Start, every AddData of
# 61152 bytes read from the file, Finish: CPU time of the process (what the
# encoder costs, steady on a busy machine) and elapsed time, best of three by
# CPU time; x realtime = PCM seconds / cpu s; ours KiB = peak memory of the
# whole bench process;
# /flac = our size / flac -8 size; /jmac = our size / the Java port's size at
# that level (1.000 means byte-identical files, checked with cmp).
set -euo pipefail
build="$(cd "${1:?build folder}" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
bench="$build/bench/monkey/monkey_bench"
seconds="${MONKEY_BENCH_SECONDS:-120}"
jar=/usr/share/java/jmac.jar
[ -x "$bench" ] || { echo "monkey: $bench not built" >&2; exit 1; }

work="$(mktemp -d /tmp/tonvik-bench-ape-XXXXXX)"
trap 'rm -rf "$work"' EXIT
one_core=()
command -v taskset >/dev/null && one_core=(taskset -c 0)

# Music-like stereo PCM: detuned partials under note envelopes, a little noise.
ffmpeg -v error -f lavfi -i "aevalsrc='\
(0.5*sin(2*PI*220*t)+0.25*sin(2*PI*441.3*t)+0.15*sin(2*PI*662.9*t)+0.1*sin(2*PI*884.1*t))*exp(-3*mod(t,0.7))+0.01*(random(0)-0.5)|\
(0.4*sin(2*PI*331*t)+0.2*sin(2*PI*663.7*t)+0.1*sin(2*PI*993.2*t))*exp(-2*mod(t+0.3,0.9))+0.01*(random(1)-0.5)':s=44100:d=$seconds" \
  -f s16le -ac 2 "$work/in.raw"
raw="$work/in.raw"

flac -s -f -8 --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 \
  --sample-rate=44100 "$raw" -o "$work/ref.flac"
flac_size="$(stat -c %s "$work/ref.flac")"

have_jmac=0
if command -v java >/dev/null && [ -f "$jar" ]; then
  have_jmac=1
  args=()
  for level in 1000 2000 3000 4000; do args+=(encode "$level" 2 16 "$raw" "$work/jmac$level.ape"); done
  java -cp "$jar" "$here/../tests/monkey/JmacDriver.java" "${args[@]}"
fi

printf "PCM: %s s stereo 16-bit (%s bytes), chunks of 61152 bytes; flac -8: %s bytes\n" \
  "$seconds" "$(stat -c %s "$raw")" "$flac_size"
printf "%-6s %7s %7s %10s %9s %10s %7s %10s %7s %s\n" \
  level "cpu s" "wall s" "x realtime" "ours KiB" "ours bytes" "/flac" "jmac bytes" "/jmac" identical
status=0
for level in 1000 2000 3000 4000; do
  best="" wall=""
  for _ in 1 2 3; do
    read -r t w < <("${one_core[@]}" /usr/bin/time -f "%M" -o "$work/mem" "$bench" "$level" 2 16 "$raw" "$work/ours.ape") \
      || { status=1; continue; }
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best="$t" wall="$w"; fi
  done
  [ -n "$best" ] || { echo "monkey: level $level failed" >&2; continue; }
  size="$(stat -c %s "$work/ours.ape")"
  jsize=n/a jratio=n/a same=n/a
  if [ "$have_jmac" = 1 ]; then
    jsize="$(stat -c %s "$work/jmac$level.ape")"
    jratio="$(awk "BEGIN{printf \"%.3f\", $size / $jsize}")"
    same=no
    cmp -s "$work/ours.ape" "$work/jmac$level.ape" && same=yes
  fi
  printf "%-6s %7s %7s %10s %9s %10s %7s %10s %7s %s\n" "$level" "$best" "$wall" \
    "$(awk "BEGIN{printf \"%.0f\", $seconds / $best}")" "$(cat "$work/mem")" "$size" \
    "$(awk "BEGIN{printf \"%.3f\", $size / $flac_size}")" "$jsize" "$jratio" "$same"
done
exit $status
