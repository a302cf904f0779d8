#!/usr/bin/env bash
# Encoder throughput through CEncoder::Write against the reference tools on
# the same PCM in the same run (WMA against ffmpeg -c:a wmav2 at the same
# rate). ours = creating the encoder, every Write of 61152 bytes read from
# the file, Finish; tool = the whole tool process.
# ratio = tool seconds / our seconds (best of three runs each); >= 1 means our
# encoder is at least as fast. Peak memory is the whole process for both (ours
# includes the Qt libraries the platform layer loads).
set -euo pipefail
build="$(cd "${1:?build folder}" && pwd)"
bench="$build/bench/encoders/encoders_bench"
lame_dir="$build/src/modules/lame_enc"
wmvcore_dir="$build/src/modules/wmvcore"
seconds="${ENCODERS_BENCH_SECONDS:-120}"
only="${ENCODERS_BENCH_ONLY:-}"  # the rows whose label begins with this, e.g. WMA
[ -x "$bench" ] || { echo "encoders: $bench not built" >&2; exit 1; }

work="$(mktemp -d /tmp/tonvik-bench-enc-XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/etc/Quellbrook" "$work/home"
export XDG_CONFIG_DIRS="$work/etc" XDG_CONFIG_HOME="$work/home"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Quellbrook\\vandral]\r\n"AppPath"="%s/"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n"SystemModulesDir"="%s/"\r\n' "$lame_dir" "$wmvcore_dir" \
  > "$work/etc/Quellbrook/system.reg"

# Music-like PCM: two tones and noise, stereo.
ffmpeg -v error -f lavfi \
  -i "aevalsrc=0.3*sin(2*PI*440*t)+0.1*(random(0)-0.5)|0.25*sin(2*PI*660*t)+0.1*(random(1)-0.5):s=44100:d=$seconds" \
  -f s16le -ac 2 "$work/in.raw"
raw="$work/in.raw"

# Best time of three runs, the peak RSS (KiB) of the last and the least CPU
# seconds (user + system) of the whole process. With inner=1 the program
# reports its own encoding time on stdout (ours); otherwise the wall time of
# the whole process counts (the tool, start-up included). The CPU column
# counts both whole processes, start-up included, and holds on a busy
# machine where wall times wander.
measure() {
  local inner="$1" best="" cpu_best="" mem=0 t user sys cpu
  shift
  for _ in 1 2 3; do
    local t0="$EPOCHREALTIME"
    /usr/bin/time -f "%M %U %S" -o "$work/time" "$@" >"$work/out" 2>"$work/err" || { cat "$work/err" >&2; return 1; }
    local t1="$EPOCHREALTIME"
    read -r mem user sys < "$work/time"
    t="$(awk "BEGIN{printf \"%.4f\", $t1 - $t0}")"
    [ "$inner" = 1 ] && t="$(cat "$work/out")"
    t="${t:-0}"
    cpu="$(awk "BEGIN{printf \"%.2f\", $user + $sys}")"
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best="$t"; fi
    if [ -z "$cpu_best" ] || awk "BEGIN{exit !($cpu < $cpu_best)}"; then cpu_best="$cpu"; fi
  done
  echo "$best $mem $cpu_best"
}

tool_raw="--force-raw-format --endian=little --sign=signed --channels=2 --bps=16 --sample-rate=44100"
lame_raw="--quiet -r -s 44.1 --bitwidth 16 --signed --little-endian"
ogg_raw="-Q -r -B 16 -C 2 -R 44100"
wma_raw="-v error -y -f s16le -ar 44100 -ac 2 -i $raw -c:a wmav2"

# label | format preset custom cbr | extension | reference command
rows=(
  "WAV|1 1 0 0|wav|cp $raw OUT"
  "FLAC Low (0)|6 0 0 0|flac|flac -s -f -0 $tool_raw $raw -o OUT"
  "FLAC Normal (5)|6 1 0 0|flac|flac -s -f -5 $tool_raw $raw -o OUT"
  "FLAC High (8)|6 2 0 0|flac|flac -s -f -8 $tool_raw $raw -o OUT"
  "Ogg Low (q0)|4 0 0 0|ogg|oggenc $ogg_raw -q 0 $raw -o OUT"
  "Ogg Normal (q5)|4 1 0 0|ogg|oggenc $ogg_raw -q 5 $raw -o OUT"
  "Ogg High (q8)|4 2 0 0|ogg|oggenc $ogg_raw -q 8 $raw -o OUT"
  "Ogg Custom 160k|4 3 160000 0|ogg|oggenc $ogg_raw --managed -b 160 $raw -o OUT"
  "MP3 Low (ABR 80)|2 0 0 0|mp3|lame $lame_raw --abr 80 $raw OUT"
  "MP3 Normal (medium)|2 1 0 0|mp3|lame $lame_raw --preset medium $raw OUT"
  "MP3 High (extreme)|2 2 0 0|mp3|lame $lame_raw --preset extreme $raw OUT"
  "MP3 CBR 80|2 0 0 1|mp3|lame $lame_raw --cbr -b 80 $raw OUT"
  "MP3 CBR 192|2 1 0 1|mp3|lame $lame_raw --cbr -b 192 $raw OUT"
  "MP3 CBR 256|2 2 0 1|mp3|lame $lame_raw --cbr -b 256 $raw OUT"
  # The quality formats are encoded at a rate per quality: Low 48k, Normal 128k, High 160k.
  "WMA Low (Q10, 48k)|3 0 0 0|wma|ffmpeg $wma_raw -b:a 48k OUT"
  "WMA Normal (Q50, 128k)|3 1 0 0|wma|ffmpeg $wma_raw -b:a 128k OUT"
  "WMA High (Q75, 160k)|3 2 0 0|wma|ffmpeg $wma_raw -b:a 160k OUT"
  "WMA Custom 320k|3 3 320000 0|wma|ffmpeg $wma_raw -b:a 320k OUT"
)

printf "PCM: %s s (%s bytes), chunks of 61152 bytes\n" "$seconds" "$(stat -c %s "$raw")"
printf "%-24s %9s %9s %7s %8s %8s %7s %10s %10s\n" "format/preset" "ours s" "tool s" "ratio" \
  "ours cpu" "tool cpu" "cpu r." "ours KiB" "tool KiB"
status=0
for row in "${rows[@]}"; do
  IFS='|' read -r label args ext tool <<<"$row"
  [[ "$label" == "$only"* ]] || continue
  read -r f p c cbr <<<"$args"
  read -r ours ours_mem ours_cpu < <(measure 1 "$bench" "$f" "$p" "$c" "$cbr" "$raw" "$work/ours.$ext") || status=1
  read -r ref ref_mem ref_cpu < <(measure 0 ${tool//OUT/$work/ref.$ext}) || status=1
  ratio="$(awk "BEGIN{printf \"%.2f\", ($ours > 0 ? $ref / $ours : 0)}")"
  cpu_ratio="$(awk "BEGIN{printf \"%.2f\", ($ours_cpu > 0 ? $ref_cpu / $ours_cpu : 0)}")"
  printf "%-24s %9s %9s %7s %8s %8s %7s %10s %10s\n" "$label" "$ours" "$ref" "$ratio" \
    "$ours_cpu" "$ref_cpu" "$cpu_ratio" "$ours_mem" "$ref_mem"
done
exit $status
