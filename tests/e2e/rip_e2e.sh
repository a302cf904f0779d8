#!/usr/bin/env bash
# A person rips a disc image: the Format dialog is accepted with Return, the
# job runs under the progress dialog, the error list is closed; then the
# files are checked bit for bit. Then the same with Escape in the progress
# dialog, a data-only disc and an enhanced CD.
STAGE="$1"
TOOLS="$2"
source "$(dirname "$0")/lib.sh"
e2e_start
# The image drive's faults, while the file exists (only tests set this).
export TONVIK_FAULTS="$SANDBOX/disc.faults"

# 1. FLAC, three tracks; track 2 has unreadable sectors, so the job ends with
#    an error list that says so, and the file is kept.
lengths=(2 3 2)
make_disc "${lengths[@]}"
echo "unreadable 200 204" > "$TONVIK_FAULTS"
startup_lines 6 'D:\' | "$APPDIR/vandral" 2>"$SANDBOX/err" &
pid=$!
win="$(wait_window '^Tonvik$')" || fail "no Format dialog"
press "$win" Return
errors="$(wait_window '^Tonvik 1.13$')" || fail "no error list at the end of the job"
press "$errors" Return
wait_exit "$pid"; code=$EXIT_CODE
[ "$code" = 1 ] || fail "exit code $code after the job, expected 1 ($(cat "$SANDBOX/err"))"
for t in 1 3; do
  f="$music/Track 0$t.flac"
  [ -f "$f" ] || fail "missing $f"
  cmp -s <(decoded_pcm "$f") <(track_pcm "$t" "${lengths[@]}") || fail "$f is not the disc's audio"
done
[ -f "$music/Track 02.flac" ] || fail "the damaged track's file was not kept"
[ "$(decoded_pcm "$music/Track 02.flac" | wc -c)" = $((3 * 75 * 2352)) ] || fail "track 2 has the wrong length"
rm -f "$TONVIK_FAULTS"

# 2. WAV: the data chunk is the disc's audio.
rm -rf "$music"/*
rip_accepting "WAV" 1 'D:\Track03.cda' 'D:\Track01.cda'
for t in 1 3; do
  cmp -s <(tail -c +47 "$music/Track 0$t.wav") <(track_pcm "$t" "${lengths[@]}") || fail "WAV track $t differs"
done
[ ! -e "$music/Track 02.wav" ] || fail "an unselected track was ripped"

# 2b. Monkey's Audio: every track decodes bit-exactly, its checksums checked.
rm -rf "$music"/*
rip_accepting "Monkey's Audio" 5 'D:\'
for t in 1 2 3; do
  f="$music/Track 0$t.ape"
  [ -f "$f" ] || fail "missing $f"
  cmp -s <(ffmpeg -v error -xerror -err_detect crccheck+explode -i "$f" -f s16le -) \
    <(track_pcm "$t" "${lengths[@]}") || fail "$f is not the disc's audio"
done

# 2c. WMA: the installed ripper loads wmvcore.so from its own folder; every
#     track is WMA v2 in ASF of the track's length, at the Normal preset's rate.
rm -rf "$music"/*
rip_accepting "WMA" 3 'D:\'
for t in 1 2 3; do
  f="$music/Track 0$t.wma"
  [ -f "$f" ] || fail "missing $f ($(cat "$SANDBOX/err"))"
  probe="$(ffprobe -v error -show_entries format=format_name:stream=codec_name,bit_rate -of default=nw=1 "$f")"
  [ "$probe" = "$(printf 'codec_name=wmav2\nbit_rate=128000\nformat_name=asf')" ] || fail "$f: $probe"
  samples=$(( $(decoded_pcm "$f" | wc -c) / 4 ))
  want=$(( ${lengths[$((t - 1))]} * 75 * 588 ))
  [ $((samples - want)) -le 2048 ] && [ $((want - samples)) -le 2048 ] || fail "$f: $samples samples, $want expected"
done

# 3. Escape in the progress dialog cancels: "Canceled." in the list, no file
#    left. The drive stands still at sector 100 until the test lets it go on,
#    so the job is under way and cannot end before the keys come: Alt+P
#    pauses it ("[paused]" in the caption), the drive goes on as far as the
#    pause lets it, and Escape cancels.
rm -rf "$music"/*
echo "hold 100 199 $SANDBOX/go" > "$TONVIK_FAULTS"
startup_lines 6 'D:\' | "$APPDIR/vandral" 2>"$SANDBOX/err" &
pid=$!
format="$(wait_window '^Tonvik$')" || fail "no Format dialog before the cancel"
press "$format" Return
wait_gone "$format" || fail "the Format dialog stayed after Return"
progress="$(wait_window '^Tonvik$')" || fail "no progress dialog"
press "$progress" alt+p
paused="$(wait_window '^Tonvik \[paused\]$')" || fail "Alt+P did not pause the job"
[ "$paused" = "$progress" ] || fail "another window than the progress dialog says it is paused"
touch "$SANDBOX/go"
press "$progress" Escape
errors="$(wait_window '^Tonvik 1.13$')" || fail "no error list after the cancel"
press "$errors" Return
wait_exit "$pid"; code=$EXIT_CODE
[ "$code" = 1 ] || fail "exit code $code after the cancel"
left="$(find "$music" -type f | wc -l)"
[ "$left" = 0 ] || fail "files left after the cancel: $(find "$music" -type f)"
rm -f "$TONVIK_FAULTS" "$SANDBOX/go"

# 4. A data-only disc is refused at start-up.
"$TOOLS/discimage/make_disc_image" data "$SANDBOX/disc/data.cue"
map_drive E "$SANDBOX/disc/data.cue"
startup_lines 6 'E:\' | "$APPDIR/vandral" 2>"$SANDBOX/err" &
pid=$!
box="$(wait_window '^Tonvik 1.13$')" || fail "no message for a data disc"
press "$box" Return
wait_exit "$pid"; code=$EXIT_CODE
[ "$code" = 0 ] || fail "exit code $code for a data disc"
[ "$(cat "$SANDBOX/err")" = "vandral: Cannot convert this disk. It's probably not an audio disk." ] \
  || fail "standard error was: $(cat "$SANDBOX/err")"
# 5. An enhanced CD (three audio tracks, a data track in a second session):
#    the last audio track is its own ten seconds, nothing replaced by silence,
#    so the job ends without an error list.
rm -rf "$music"/*
"$TOOLS/discimage/make_disc_image" enhanced "$SANDBOX/disc/enhanced.cue"
map_drive F "$SANDBOX/disc/enhanced.cue"
DISC_CUE="$SANDBOX/disc/enhanced.cue"
rip_accepting "the enhanced CD" 1 'F:\'
[ ! -e "$music/Track 04.wav" ] || fail "the data track was ripped"
[ "$(stat -c %s "$music/Track 03.wav")" = $((46 + 10 * 75 * 2352)) ] || fail "the last audio track has the wrong length"
cmp -s <(tail -c +47 "$music/Track 03.wav") <(track_pcm 3 20 15 10) || fail "the last audio track is not the disc's audio"
echo "rip e2e: ok"
