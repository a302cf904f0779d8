#!/usr/bin/env bash
# Backups a person already has: a FLAC image with its cue sheet, and one
# FLAC or WAV file per track with each pregap appended to the file before
# (the sheet with CRLF lines, backslashes and another case than on disk).
# Each is ripped to FLAC through the Format dialog and decoded bit for bit
# against the audio the backup was made from. Then a sheet naming a file
# that is not there: the reason, in the message box and on standard error.
STAGE="$1"
TOOLS="$2"
source "$(dirname "$0")/lib.sh"
e2e_start

# The source audio: three tracks of 4, 3 and 5 seconds (300, 225, 375 sectors).
lengths=(4 3 5)
make_disc "${lengths[@]}"
bin="${DISC_CUE%.cue}.bin"
raw_to_flac() { flac -s -f --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 \
                  --sample-rate=44100 -o "$2" "$1" || fail "flac could not encode $1"; }
sectors() { dd if="$bin" bs=2352 skip="$1" count="$2" status=none; }

rip_all() {  # letter, then the three files' names without ".flac"
  rm -rf "${music:?}"/*
  rip_accepting "drive $1" 6 "$1:\\"
  local names=("$2" "$3" "$4")
  for t in 1 2 3; do
    local f="$music/${names[$((t - 1))]}.flac"
    [ -f "$f" ] || fail "drive $1: missing $f"
    cmp -s <(decoded_pcm "$f") <(track_pcm "$t" "${lengths[@]}") || fail "drive $1: $f is not the backup's audio"
  done
}

# 1. One FLAC of the whole disc; track 2 has a pregap inside the image.
mkdir -p "$SANDBOX/flacimage"
raw_to_flac "$bin" "$SANDBOX/flacimage/Album.flac"
cat > "$SANDBOX/flacimage/Album.cue" <<'CUE'
REM GENRE Electronic
REM COMMENT "ExactAudioCopy v1.6"
PERFORMER "Nobody"
TITLE "Album"
FILE "Album.flac" WAVE
  TRACK 01 AUDIO
    TITLE "One"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Two"
    FLAGS DCP
    INDEX 00 00:03:00
    INDEX 01 00:04:00
  TRACK 03 AUDIO
    TITLE "Three"
    INDEX 01 00:07:00
CUE
map_drive E "$SANDBOX/flacimage/Album.cue"
# The sheet's CD-Text names the files, as a lookup would.
rip_all E "Nobody - [01] One" "Nobody - [02] Two" "Nobody - [03] Three"

# 2. One file per track, gaps appended: track 2's pregap (75 sectors) ends
#    file 1, track 3's (150) ends file 2. Files 1 and 3 FLAC, file 2 a WAV
#    from ffmpeg (a LIST chunk before its data).
mkdir -p "$SANDBOX/pertrack/CD1"
sectors 0 300 > "$SANDBOX/t1.raw"
sectors 300 225 > "$SANDBOX/t2.raw"
sectors 525 375 > "$SANDBOX/t3.raw"
raw_to_flac "$SANDBOX/t1.raw" "$SANDBOX/pertrack/CD1/01 - One.flac"
ffmpeg -v error -f s16le -ar 44100 -ac 2 -i "$SANDBOX/t2.raw" -c:a pcm_s16le "$SANDBOX/pertrack/CD1/02 - Two.wav" \
  || fail "ffmpeg could not write the WAV"
raw_to_flac "$SANDBOX/t3.raw" "$SANDBOX/pertrack/CD1/03 - Three.flac"
printf '%s\r\n' 'CATALOG 0000000000000' \
  'FILE "cd1\01 - ONE.flac" WAVE' '  TRACK 01 AUDIO' '    ISRC ZZXX00000001' '    INDEX 01 00:00:00' \
  '  TRACK 02 AUDIO' '    INDEX 00 00:03:00' \
  'FILE "cd1\02 - TWO.WAV" WAVE' '    INDEX 01 00:00:00' '  TRACK 03 AUDIO' '    INDEX 00 00:01:00' \
  'FILE "cd1\03 - three.flac" WAVE' '    INDEX 01 00:00:00' > "$SANDBOX/pertrack/Backup.cue"
map_drive F "$SANDBOX/pertrack/Backup.cue"
rip_all F "Track 01" "Track 02" "Track 03"

# 3. A file the sheet names is missing: the reader's reason reaches the user.
rm "$SANDBOX/pertrack/CD1/02 - Two.wav"
startup_lines 6 'F:\' | "$APPDIR/vandral" 2>"$SANDBOX/err" &
pid=$!
box="$(wait_window '^Tonvik 1.13$')" || fail "no message for a broken sheet"
press "$box" Return
wait_exit "$pid"; code=$EXIT_CODE
[ "$code" = 0 ] || fail "exit code $code for a broken sheet"
expected='vandral: Cannot access CD drive: Backup.cue line 8: "cd1\02 - TWO.WAV" not found.'
[ "$(cat "$SANDBOX/err")" = "$expected" ] || fail "standard error was: $(cat "$SANDBOX/err")"
echo "image e2e: ok"
