#!/usr/bin/env bash
# A person sets the options with the installed config program, by keyboard
# only: OK stores them (exit 1), Escape stores nothing (exit 2). The ripper
# then names its files by the chosen template, its Configure button starts
# the same program, and the menu entry is valid.
STAGE="$1"
TOOLS="$2"
source "$(dirname "$0")/lib.sh"
sandbox_setup
xvfb_start
music="$XDG_MUSIC_DIR"
mkdir -p "$music"
hive="$XDG_CONFIG_HOME/Quellbrook/user.reg"

[ -x "$APPDIR/config" ] || fail "no config beside vandral in $APPDIR"
[ "$(readlink -f "$STAGE/bin/tonvik-config")" = "$(readlink -f "$APPDIR/config")" ] || fail "bin/tonvik-config does not lead to $APPDIR/config"

has() { grep -qxF "$1" "$hive" || fail "the hive lacks $1: $(cat "$hive")"; }

# Presses one key at a time, the way a person does: the dialog catches up
# (its idle update) between two keys.
keys() {
  local id="$1"; shift
  for k in "$@"; do press "$id" "$k"; sleep 0.1; done
}

# 1. First start, nothing stored: "Custom" shows the default template. The
#    keys: Tab to the auto-load box and Space; Tab over the help link to the
#    checked naming button ("Custom") and Up to "(TrackNo) Title"; Tab past
#    the now disabled edit box, the help link and three check boxes to
#    "Force CBR" and Space; Return for OK.
"$STAGE/bin/tonvik-config" 2>"$SANDBOX/err" &
pid=$!
win="$(wait_window '^Tonvik configuration$')" || fail "no configuration dialog"
sleep 0.5
keys "$win" Tab space Tab Tab Up Tab Tab Tab Tab Tab space Return
wait_exit "$pid" 20
[ "$EXIT_CODE" = 1 ] || fail "exit code $EXIT_CODE after OK"
has '"CDDBAutoConfig"=dword:00000001'
has '"CDDBServer"="http://musicbrainz.org/ws/2/"'
has '"CDDBAutoLoad"=dword:00000001'
has '"NameTemplate"="(%6) %2"'
has '"MP3ForceCBR"=dword:00000001'
has '"EjectWhenDone"=dword:00000000'
has '"BeepWhenDone"=dword:00000000'
has '"OpenFolderWhenDone"=dword:00000000'

# 2. Changes, then Escape: exit 2 and every value as it was.
cp "$hive" "$SANDBOX/before.reg"
"$STAGE/bin/tonvik-config" 2>"$SANDBOX/err" &
pid=$!
win="$(wait_window '^Tonvik configuration$')" || fail "no configuration dialog the second time"
sleep 0.5
keys "$win" Tab space Tab Tab Down Tab Tab space Tab space Escape
wait_exit "$pid" 20
[ "$EXIT_CODE" = 2 ] || fail "exit code $EXIT_CODE after Escape"
cmp -s "$hive" "$SANDBOX/before.reg" || fail "Escape changed the hive: $(diff "$SANDBOX/before.reg" "$hive")"

# 3. The ripper: the disc is looked up at once (auto-load) and the files are
#    named "(TrackNo) Title". Its Configure button starts the installed config.
make_disc 2 3 2
lookup_server_start
titles=("Þú & ég" "Дорога домой (live)" "夜明け")

startup_lines 6 'D:\' | "$APPDIR/vandral" 2>"$SANDBOX/err" &
pid=$!
win="$(wait_window '^Tonvik$')" || fail "no Format dialog"
wait_loaded 1
press "$win" Return
wait_exit "$pid" 60
[ "$EXIT_CODE" = 1 ] || fail "exit code $EXIT_CODE after the job ($(cat "$SANDBOX/err"))"
for t in 1 2 3; do
  f="$music/(0$t) ${titles[$((t - 1))]}.flac"
  [ -f "$f" ] || fail "missing $f; there are: $(ls "$music")"
done

# Configure, the third button down the right edge (dialog units 241,48 21x19
# of 267x85), opens the installed configuration dialog; Escape closes both.
startup_lines 6 'D:\' | "$APPDIR/vandral" 2>"$SANDBOX/err" &
pid=$!
win="$(wait_window '^Tonvik$')" || fail "no Format dialog the second time"
wait_loaded 2
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $((WIDTH * 251 / 267)) $((HEIGHT * 57 / 85)) click 1
cfg="$(wait_window '^Tonvik configuration$')" || fail "Configure did not start the configuration dialog"
sleep 0.5
press "$cfg" Escape
for _ in $(seq 50); do xdotool search --onlyvisible --name '^Tonvik configuration$' >/dev/null 2>&1 || break; sleep 0.1; done
press "$win" Escape
wait_exit "$pid" 30
[ "$EXIT_CODE" = 2 ] || fail "exit code $EXIT_CODE after Escape in the Format dialog"

# 4. The menu entry.
entry="$STAGE/share/applications/tonvik-config.desktop"
desktop-file-validate "$entry" >"$SANDBOX/err-validate" 2>&1 || fail "desktop-file-validate: $(cat "$SANDBOX/err-validate")"
grep -qx "Exec=$STAGE/bin/tonvik-config" "$entry" || fail "the entry does not start the installed program: $(grep ^Exec "$entry")"
grep -qx "Name=Tonvik configuration" "$entry" || fail "the entry's name"
echo "config e2e: ok"
