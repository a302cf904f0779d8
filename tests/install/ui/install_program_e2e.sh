#!/bin/bash
# The program install under Xvfb, driven by keys: run by an ordinary user it
# refuses with the administrator message and exits 0; run by root it opens its
# first page, and Escape with Yes to the question ends it with 2.
#   install_program_e2e.sh <path of install>
# Needs root (CI runs as root) to run the refusal as user 65534 with setpriv;
# otherwise it is skipped (exit 77).
PROGRAM="$1"
source "$(dirname "${BASH_SOURCE[0]}")/../../e2e/lib.sh"

[ "$(id -u)" = 0 ] || { echo "SKIP: needs root to run as another user"; exit 77; }
command -v setpriv >/dev/null || { echo "SKIP: no setpriv"; exit 77; }

SANDBOX="$(mktemp -d /tmp/tonvik-setup-e2e-XXXXXX)"
trap 'sandbox_cleanup' EXIT
chmod 755 "$SANDBOX"
# A setup folder of its own, readable by the other user too.
mkdir -p "$SANDBOX/setup" "$SANDBOX/etc/Quellbrook" "$SANDBOX/home" "$SANDBOX/run" "$SANDBOX/modules" "$SANDBOX/opt"
cp "$PROGRAM" "$SANDBOX/setup/install"
chmod -R a+rX "$SANDBOX/setup"
chown 65534:65534 "$SANDBOX/home" "$SANDBOX/run"
chmod 700 "$SANDBOX/run"
cat > "$SANDBOX/etc/Quellbrook/system.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]
"ProgramFilesDir"="$SANDBOX/opt"
"SystemModulesDir"="$SANDBOX/modules"
REG
chmod -R a+rX "$SANDBOX/etc"
export HOME="$SANDBOX/home" XDG_CONFIG_HOME="$SANDBOX/home/.config" XDG_CONFIG_DIRS="$SANDBOX/etc"
export XDG_RUNTIME_DIR="$SANDBOX/run"
# The setup must never reach the machine's system bus from here.
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$SANDBOX/no-system-bus"
xvfb_start

# The width of a visible window named "Tonvik Setup".
window_width() { xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p'; }

# 1. An ordinary user: only the message box, then exit code 0.
cd "$SANDBOX/setup"
setpriv --reuid=65534 --regid=65534 --clear-groups ./install 2>"$SANDBOX/err-user" &
pid=$!
win="$(wait_window '^Tonvik Setup$')" || fail "no message for an ordinary user"
width="$(window_width "$win")"
[ "$width" -lt 600 ] || fail "a window $width pixels wide: a page, not the administrator message"
press "$win" Return
wait_exit "$pid"
[ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE for an ordinary user, not 0"

# 2. Root: the first page; Escape asks, Return answers Yes, and the setup stops with 2.
./install 2>"$SANDBOX/err-root" &
pid=$!
page="$(wait_window '^Tonvik Setup$')" || fail "no page for root"
width="$(window_width "$page")"
[ "$width" -ge 600 ] || fail "a window $width pixels wide: not a page"
press "$page" Escape
question="$(wait_window '^Tonvik Setup$' 120 "$page")" || fail "Escape did not ask"
press "$question" Return
wait_exit "$pid"
[ "$EXIT_CODE" = 2 ] || fail "exit code $EXIT_CODE after Escape and Yes, not 2"
echo "PASS"
