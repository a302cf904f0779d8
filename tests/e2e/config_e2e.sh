#!/usr/bin/env bash
# A person sets the options with the installed config program, by keyboard
# only: OK stores them (exit 1), Escape stores nothing (exit 2). The ripper
# then names its files by the chosen template, its Configure button starts
# the same program, and the menu entry is valid.
STAGE="$1"
TOOLS="$2"
source "$(dirname "$0")/lib.sh"
e2e_start
hive="$XDG_CONFIG_HOME/Quellbrook/user.reg"

[ -x "$APPDIR/config" ] || fail "no config beside vandral in $APPDIR"
[ "$(readlink -f "$STAGE/bin/tonvik-config")" = "$(readlink -f "$APPDIR/config")" ] || fail "bin/tonvik-config does not lead to $APPDIR/config"

has() { grep -qxF "$1" "$hive" || fail "the hive lacks $1: $(cat "$hive")"; }

# The dialog keeps the custom template's box enabled exactly while "Custom"
# is checked, but only once it is idle, so keys that arrive together could
# outrun it: the sequences below change the naming choice last, just before
# the key that ends the dialog, and never Tab past the box afterwards.

# 1. First start, nothing stored: "Custom" is checked and its box enabled.
#    The keys: Tab to the auto-load box and Space; Tab over the help link to
#    the checked naming button ("Custom"), on past the box, the help link and
#    three check boxes to "Force CBR" and Space; Shift+Tab the six steps back
#    to "Custom" and Up to "(TrackNo) Title"; Return for OK.
"$STAGE/bin/tonvik-config" 2>"$SANDBOX/err" &
pid=$!
win="$(wait_window '^Tonvik configuration$')" || fail "no configuration dialog"
press "$win" Tab space Tab Tab Tab Tab Tab Tab Tab Tab space \
  shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab Up Return
wait_exit "$pid"
[ "$EXIT_CODE" = 1 ] || fail "exit code $EXIT_CODE after OK"
has '"CDDBAutoConfig"=dword:00000001'
has '"CDDBServer"="http://musicbrainz.org/ws/2/"'
has '"CDDBAutoLoad"=dword:00000001'
has '"NameTemplate"="(%6) %2"'
has '"MP3ForceCBR"=dword:00000001'
has '"EjectWhenDone"=dword:00000000'
has '"BeepWhenDone"=dword:00000000'
has '"OpenFolderWhenDone"=dword:00000000'

# 2. Changes, then Escape: exit 2 and every value as it was. "(TrackNo)
#    Title" is checked now, its box disabled: Tab and Space clear auto-load,
#    Tab on over the checked naming button, the help link to "Eject" and
#    Space, to "Open destination folder" and Space; Shift+Tab the three steps
#    back to the naming button and Down to "Custom"; Escape.
cp "$hive" "$SANDBOX/before.reg"
"$STAGE/bin/tonvik-config" 2>"$SANDBOX/err" &
pid=$!
win="$(wait_window '^Tonvik configuration$')" || fail "no configuration dialog the second time"
press "$win" Tab space Tab Tab Tab Tab space Tab space shift+Tab shift+Tab shift+Tab Down Escape
wait_exit "$pid"
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
lookup_answer "$pid" "$win" 1
press "$win" Return
wait_exit "$pid" 300
[ "$EXIT_CODE" = 1 ] || fail "exit code $EXIT_CODE after the job ($(cat "$SANDBOX/err"))"
for t in 1 2 3; do
  f="$music/(0$t) ${titles[$((t - 1))]}.flac"
  [ -f "$f" ] || fail "missing $f; there are: $(ls "$music")"
done

# Configure, third in the Format dialog's keyboard order after Accept and
# Cancel, opens the installed configuration dialog; Escape closes both. The
# lookup has disabled the dialog meanwhile, which takes the focus from Accept
# (unless the dialog only becomes active now and gives it to Accept again),
# and has taken the finished link out of the order: from either, Shift+Tab
# lands on the preset list, the last control now, and Tab comes round to
# Accept, then Cancel and Configure; Space presses it.
startup_lines 6 'D:\' | "$APPDIR/vandral" 2>"$SANDBOX/err" &
pid=$!
win="$(wait_window '^Tonvik$')" || fail "no Format dialog the second time"
lookup_answer "$pid" "$win" 2
press "$win" shift+Tab Tab Tab Tab space
cfg="$(wait_window '^Tonvik configuration$')" || fail "Configure did not start the configuration dialog"
press "$cfg" Escape
wait_gone "$cfg" || fail "Escape did not close the configuration dialog"
press "$win" Escape
wait_exit "$pid"
[ "$EXIT_CODE" = 2 ] || fail "exit code $EXIT_CODE after Escape in the Format dialog"

# 4. The menu entry.
entry="$STAGE/share/applications/tonvik-config.desktop"
desktop-file-validate "$entry" >"$SANDBOX/err-validate" 2>&1 || fail "desktop-file-validate: $(cat "$SANDBOX/err-validate")"
grep -qx "Exec=$STAGE/bin/tonvik-config" "$entry" || fail "the entry does not start the installed program: $(grep ^Exec "$entry")"
grep -qx "Name=Tonvik configuration" "$entry" || fail "the entry's name"
echo "config e2e: ok"
