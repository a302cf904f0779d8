#!/usr/bin/env bash
# A person installs Tonvik from the setup folder, as root, in a sandbox: the
# machine hive names the program, system modules and menu folders inside it,
# and the setup runs from its own folder as the current directory. Nothing is
# downloaded (the loopback host in http_proxy must see no request). Then the
# installed ripper rips a disc image; then the setup runs again over it.
# First, an unprivileged user is turned away.
STAGE="$1"
TOOLS="$2"
source "$(dirname "$0")/lib.sh"
SETUP_BUILT="$(cd "$STAGE/../setup" && pwd)" || { echo "FAIL: no setup folder beside $STAGE" >&2; exit 1; }
sandbox_setup
xvfb_start
music="$XDG_MUSIC_DIR"
mkdir -p "$music"

setup="$SANDBOX/setup"
cp -r "$SETUP_BUILT" "$setup"
chmod -R a+rX "$SANDBOX"
programs="$SANDBOX/programs" modules="$SANDBOX/modules" menu="$SANDBOX/menu"
installed="$programs/Tonvik/"
cat > "$XDG_CONFIG_DIRS/Quellbrook/system.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]
"ProgramFilesDir"="$programs"
"SystemModulesDir"="$modules"
"ProgramMenuDir"="$menu"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brellum_is1]
"DisplayVersion"="2.4"
"UninstallString"="$SANDBOX/brellum/unins000"
REG
mkdir -p "$SANDBOX/brellum"
cat > "$SANDBOX/brellum/unins000" <<SH
#!/bin/sh
echo "\$@" >> "$SANDBOX/brellum/runs"
SH
chmod +x "$SANDBOX/brellum/unins000"

# The maker's host: answers nothing, logs every request.
echo '* 404' > "$SANDBOX/routes"
"$TOOLS/mbserver/mb_loopback_server" "$SANDBOX/routes" "$SANDBOX/port" "$SANDBOX/requests" &
MB_SERVER_PID=$!
for _ in $(seq 100); do [ -s "$SANDBOX/port" ] && break; sleep 0.1; done
export http_proxy="http://127.0.0.1:$(cat "$SANDBOX/port")"

# The user guide opens in "the browser": a script that records the address.
export XDG_DATA_HOME="$SANDBOX/home/.local/share" XDG_DATA_DIRS="$SANDBOX/share"
mkdir -p "$XDG_DATA_HOME" "$XDG_DATA_DIRS"
cat > "$SANDBOX/browser" <<SH
#!/bin/sh
echo "\$@" >> "$SANDBOX/opened"
SH
chmod +x "$SANDBOX/browser"
export BROWSER="$SANDBOX/browser"

# 1. Not root: the administrator message, exit 0, nothing installed.
setpriv --reuid=65534 --regid=65534 --clear-groups "$setup/install" 2>"$SANDBOX/err-nobody" &
pid=$!
win="$(wait_window '^Tonvik Setup$')" || fail "no message for a user who is not root"
press "$win" Return
wait_exit "$pid" 20
[ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE for a user who is not root"
[ ! -e "$programs" ] && [ ! -e "$modules" ] || fail "something was installed for a user who is not root"

echo "setup e2e: ok"
