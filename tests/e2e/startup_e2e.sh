#!/usr/bin/env bash
# vandral started by hand (empty standard input): one message, in the window
# and on standard error, dismissed with a key; exit code 0. And a broken
# install: the installation message.
STAGE="$1"
source "$(dirname "$0")/lib.sh"
sandbox_setup
xvfb_start

expected="vandral: Tonvik is not intended to be launched directly. Please use Windows Explorer as described in quick introduction."
"$APPDIR/vandral" </dev/null 2>"$SANDBOX/err" &
pid=$!
win="$(wait_window "Tonvik 1.13")" || fail "no message box appeared"
press "$win" Return
wait_exit "$pid"; code=$EXIT_CODE
[ "$code" = 0 ] || fail "exit code $code, expected 0"
[ "$(cat "$SANDBOX/err")" = "$expected" ] || fail "standard error was: $(cat "$SANDBOX/err")"

# A closed standard input behaves the same.
"$APPDIR/vandral" <&- 2>"$SANDBOX/err2" &
pid=$!
win="$(wait_window "Tonvik 1.13")" || fail "no message box for a closed input"
press "$win" space
wait_exit "$pid"; code=$EXIT_CODE
[ "$code" = 0 ] || fail "exit code $code for a closed input"
[ "$(cat "$SANDBOX/err2")" = "$expected" ] || fail "standard error was: $(cat "$SANDBOX/err2")"

# Without the machine key the installation message comes first, whatever the input.
rm "$XDG_CONFIG_DIRS/Quellbrook/system.reg"
startup_lines 6 'D:\' | "$APPDIR/vandral" 2>"$SANDBOX/err3" &
pid=$!
win="$(wait_window "Tonvik 1.13")" || fail "no message box for a broken install"
press "$win" Return
wait_exit "$pid"; code=$EXIT_CODE
[ "$code" = 0 ] || fail "exit code $code for a broken install"
grep -qx "vandral: Tonvik is probably incorrectly installed. Please, reinstall Tonvik. If problem persists, contact Quellbrook support." "$SANDBOX/err3" \
  || fail "standard error was: $(cat "$SANDBOX/err3")"
[ ! -e "$XDG_CONFIG_HOME/Quellbrook/user.reg" ] || fail "a failed start-up wrote the user hive"
echo "startup e2e: ok"
