#!/usr/bin/env bash
# A person rips a CUE image from a terminal with the installed launcher and
# accepts the Format dialog with the keyboard; the desktop entry is valid and
# the audio-CD and CUE associations resolve to it.
STAGE="$1"
TOOLS="$2"
source "$(dirname "$0")/lib.sh"
e2e_start

# 1. tonvik --format flac album.cue: a sheet the Drives key does not know yet.
#    The image is checked against AccurateRip like a disc: a loopback server
#    holds the record the database would have for it.
lengths=(7 8)
cue="$SANDBOX/backup/Album.cue"
mkdir -p "$SANDBOX/backup"
"$TOOLS/discimage/make_disc_image" custom "$cue" "${lengths[@]}" || fail "cannot make the disc image"
DISC_CUE="$cue"
record_path="$("$TOOLS/discimage/make_accuraterip_record" "$cue" "$SANDBOX/record.bin")" \
  || fail "cannot make the AccurateRip record"
echo "$record_path 200 $SANDBOX/record.bin" > "$SANDBOX/routes"
"$TOOLS/mbserver/mb_loopback_server" "$SANDBOX/routes" "$SANDBOX/port" "$SANDBOX/requests" &
MB_SERVER_PID=$!
wait_for 120 test -s "$SANDBOX/port" || fail "the loopback server did not start"
export http_proxy="http://127.0.0.1:$(cat "$SANDBOX/port")"
"$STAGE/bin/tonvik" --format flac "$cue" 2>"$SANDBOX/err" &
pid=$!
win="$(wait_window '^Tonvik$')" || fail "no Format dialog"
press "$win" Return
wait_exit "$pid"; code=$EXIT_CODE
[ "$code" = 1 ] || fail "exit code $code after the job ($(cat "$SANDBOX/err"))"
for t in 1 2; do
  f="$music/Track 0$t.flac"
  [ -f "$f" ] || fail "missing $f"
  cmp -s <(decoded_pcm "$f") <(track_pcm "$t" "${lengths[@]}") || fail "$f is not the disc's audio"
done
grep -q "\"LauncherFormat\"=dword:00000006" "$XDG_CONFIG_HOME/Quellbrook/user.reg" || fail "the format was not remembered"
log="$music/Album.log"
[ -f "$log" ] || fail "no rip log; there are: $(ls "$music")"
"$STAGE/bin/tonvik" --check-log "$log" || fail "the log's checksum does not hold"
[ "$(grep -c "Accurately ripped (confidence 7)" "$log")" = 2 ] || fail "the tracks were not verified: $(cat "$log")"
grep -q "^Read offset: *+0 samples (detected)$" "$log" || fail "the image's offset was not found: $(cat "$log")"
kill "$MB_SERVER_PID" 2>/dev/null || true
export http_proxy="http://127.0.0.1:9"

# 2. The desktop entry: valid, and the one the audio-CD prompt and a .cue file open.
entry="$STAGE/share/applications/tonvik.desktop"
desktop-file-validate "$entry" >"$SANDBOX/err-validate" 2>&1 || fail "desktop-file-validate: $(cat "$SANDBOX/err-validate")"
grep -q "^Exec=$STAGE/bin/tonvik %u$" "$entry" || fail "the entry does not start the installed launcher"
for size in 16 32 48 256; do
  [ -f "$STAGE/share/icons/hicolor/${size}x${size}/apps/tonvik.png" ] || fail "no ${size}px icon"
done
export XDG_DATA_HOME="$SANDBOX/data" XDG_DATA_DIRS="$SANDBOX/none"
mkdir -p "$XDG_DATA_HOME/applications"
cp "$entry" "$XDG_DATA_HOME/applications/"
update-desktop-database "$XDG_DATA_HOME/applications"
for type in x-content/audio-cdda application/x-cue; do
  got="$(XDG_CURRENT_DESKTOP=X-Generic xdg-mime query default "$type")"
  [ "$got" = tonvik.desktop ] || fail "$type opens \"$got\", not tonvik.desktop"
done
echo "launcher e2e: ok"
