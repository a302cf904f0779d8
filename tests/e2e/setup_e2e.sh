#!/usr/bin/env bash
# A person installs Tonvik from the setup folder, as root, in a sandbox: the
# machine hive names the program, system modules and menu folders inside it,
# and the setup runs from its own folder as the current directory. Nothing is
# downloaded (the loopback host in http_proxy must see no request). Then the
# installed ripper rips a disc image; then the setup runs again over it, is
# ended by SIGTERM during a download, and finally offers a reboot.
# (An unprivileged user is turned away: tests/install/ui/install_program_e2e.sh.)
STAGE="$(cd "$1" && pwd)"
TOOLS="$(cd "$2" && pwd)"
source "$(dirname "$0")/lib.sh"
SOURCE_DIR="$(cd "$(dirname "$0")/../.." && pwd)"
SETUP_BUILT="$(cd "$STAGE/../setup" && pwd)" || { echo "FAIL: no setup folder beside $STAGE" >&2; exit 1; }
sandbox_setup
xvfb_start
music="$XDG_MUSIC_DIR"
mkdir -p "$music"

setup="$SANDBOX/setup"
cp -r "$SETUP_BUILT" "$setup"
chmod a+rx "$SANDBOX"; chmod -R a+rX "$setup"
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
wait_for 120 test -s "$SANDBOX/port" || fail "the loopback server did not start"
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

# The pages follow one another as windows of their own, all "Tonvik Setup".
# Waits for one that is not the page before, prints its id.
next_page() { wait_window '^Tonvik Setup$' 300 "$1"; }
# The licence page: a click on "I accept the agreement" (dialog units 102,244
# 200x10 of the 533x338 page) checks its radio, then a click on Next (406,314
# 50x14). The page handles the clicks in order, and the first enables Next.
accept_licence() {
  local win="$1"
  eval "$(xdotool getwindowgeometry --shell "$win")"
  xdotool mousemove --window "$win" $((WIDTH * 130 / 533)) $((HEIGHT * 249 / 338)) click 1 \
    mousemove --window "$win" $((WIDTH * 431 / 533)) $((HEIGHT * 321 / 338)) click 1
}
# Starts the setup from the current directory (its pid in pid); the pages
# follow as `next` (Next pressed with Return) and `licence` (accepted).
start_setup() {
  "$setup/install" 2>"$SANDBOX/err-setup" &
  pid=$!
  page=none
}
next() {
  page="$(next_page "$page")" || fail "$1 ($(cat "$SANDBOX/err-setup"))"
  press "$page" Return
}
licence() {
  page="$(next_page "$page")" || fail "$1 ($(cat "$SANDBOX/err-setup"))"
  accept_licence "$page"
}
# No test can ever reach the machine's logind.
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$SANDBOX/no-system-bus"

# 1. Root, from the setup folder: the predecessor page (Next runs its
#    uninstaller), the prerequisites page with both components and their local
#    installers (Next), the licence (accepted), the installation; then the
#    tutorial opens the user guide.
cd "$setup"
start_setup
next "no predecessor page"
next "no prerequisites page"
licence "no licence page after the prerequisites ($(ls "$modules" 2>&1))"
wait_exit "$pid" 120
[ "$EXIT_CODE" = 1 ] || fail "exit code $EXIT_CODE after the setup ($(cat "$SANDBOX/err-setup"))"
cd "$SANDBOX"

[ "$(cat "$SANDBOX/brellum/runs")" = "/SILENT /NORESTART" ] || fail "the predecessor's uninstaller ran as: $(cat "$SANDBOX/brellum/runs")"
cmp -s "$modules/msi.so" "$STAGE/../src/modules/msi/msi.so" || fail "msi.so in the system modules folder is not the one built: $(ls -la "$modules" "$STAGE/../src/modules/msi/msi.so")"
for m in msi.so wmvcore.so; do [ -x "$modules/$m" ] || fail "$m is not in the system modules folder"; done
for f in vandral config tutorial tonvik lame_enc.so pellorin.html; do
  [ -f "$installed$f" ] || fail "the installation lacks $f: $(ls -la "$installed")"
done
[ -x "$installed/vandral" ] && [ ! -x "$installed/pellorin.html" ] || fail "the installed files' modes"
hive="$(cat "$XDG_CONFIG_DIRS/Quellbrook/system.reg")"
grep -qF "\"AppPath\"=\"$installed\"" <<<"$hive" || fail "no AppPath in the machine hive: $hive"
grep -qF '"HomeURL"="http://www.quellbrook.com/"' <<<"$hive" || fail "no HomeURL in the machine hive"
# The menu entries start the installed programs and show their pictures.
for entry in "Tonvik:tonvik" "Tonvik Options:config"; do
  file="$menu/${entry%%:*}.desktop" program="${entry#*:}"
  desktop-file-validate "$file" >"$SANDBOX/err-validate" 2>&1 || fail "desktop-file-validate: $(cat "$SANDBOX/err-validate")"
  grep -qx "Exec=$installed$program" "$file" || fail "the menu entry $file: $(cat "$file")"
  grep -qx "Icon=$installed$program.png" "$file" && [ -s "$installed$program.png" ] || fail "the icon of $file"
done
wait_for 120 test -s "$SANDBOX/opened" || fail "the tutorial did not open the user guide"
grep -q "pellorin.html" "$SANDBOX/opened" 2>/dev/null || fail "the tutorial did not open the user guide"

# 2. The installed ripper rips a disc image to FLAC, MP3 and WMA (wmvcore.so
#    from the system modules folder).
APPDIR="$installed"
# The ripper asks the AccurateRip database for the disc's record; that is not
# the setup asking the maker's host, so it goes nowhere rather than there.
maker_proxy="$http_proxy"
export http_proxy="http://127.0.0.1:9"
lengths=(2 3)
make_disc "${lengths[@]}"
rip_accepting "FLAC" 6 'D:\'
for t in 1 2; do
  cmp -s <(decoded_pcm "$music/Track 0$t.flac") <(track_pcm "$t" "${lengths[@]}") || fail "FLAC track $t is not the disc's audio"
done
rm -rf "$music"/*
rip_accepting "MP3" 2 'D:\'
rip_accepting "WMA" 3 'D:\'
for t in 1 2; do
  for ext in mp3 wma; do
    f="$music/Track 0$t.$ext"
    [ -f "$f" ] || fail "missing $f ($(ls "$music"))"
    samples=$(( $(decoded_pcm "$f" | wc -c) / 4 ))
    want=$(( lengths[t - 1] * 44100 ))
    [ "$samples" -ge $((want - 4410)) ] && [ "$samples" -le $((want + 4410)) ] || fail "$f decodes to $samples samples, not about $want"
  done
done
export http_proxy="$maker_proxy"

# 3. The setup again over the installation: the components are there now, so
#    the prerequisites page ends by itself; the packages go in as a reinstall
#    and put back a file the user changed.
echo "changed" >> "$installed/pellorin.html"
rm "$installed/config"
rm -f "$SANDBOX/opened"
cd "$setup"
start_setup
next "no predecessor page the second time"
licence "no licence page the second time"
wait_exit "$pid" 120
[ "$EXIT_CODE" = 1 ] || fail "exit code $EXIT_CODE after the second setup ($(cat "$SANDBOX/err-setup"))"
cd "$SANDBOX"
[ "$(wc -l < "$SANDBOX/brellum/runs")" = 2 ] || fail "the uninstaller did not run the second time"
cmp -s "$installed/pellorin.html" "$SOURCE_DIR/resources/help/pellorin.html" || fail "the reinstall did not restore pellorin.html"
[ -x "$installed/config" ] || fail "the reinstall did not restore config"
wait_for 120 test -s "$SANDBOX/opened" || fail "the tutorial did not open the guide the second time"

# Nothing came from the network.
[ ! -s "$SANDBOX/requests" ] || fail "the setup asked the network: $(cat "$SANDBOX/requests")"

# 4. Ended by SIGTERM in the middle of a download: the setup removes the
#    temporary file it was downloading into. (A fresh modules folder and a
#    current directory without local installers make it download.)
mkdir -p "$SANDBOX/modules2" "$SANDBOX/elsewhere" "$SANDBOX/tmp"
sed -i "s|^\"SystemModulesDir\"=.*|\"SystemModulesDir\"=\"$SANDBOX/modules2\"|" "$XDG_CONFIG_DIRS/Quellbrook/system.reg"
head -c 3000000 /dev/zero > "$SANDBOX/instmsiw.served"
printf 'MSIUNICODE=http://www.quellbrook.com/redist/instmsiw\nWMFDISTXP=http://www.quellbrook.com/redist/wmfdist95\n' > "$SANDBOX/redist.txt"
cat > "$SANDBOX/routes" <<ROUTES
/redist/redist.txt 200 $SANDBOX/redist.txt
/redist/instmsiw slow 1024 100 $SANDBOX/instmsiw.served
ROUTES
# (At 10 KiB/s the download would outlast the test's own time limit: it is
# still under way when the signal comes, however slow the machine.)
kill "$MB_SERVER_PID"; wait "$MB_SERVER_PID" 2>/dev/null || true
rm -f "$SANDBOX/port"
"$TOOLS/mbserver/mb_loopback_server" "$SANDBOX/routes" "$SANDBOX/port" "$SANDBOX/requests" &
MB_SERVER_PID=$!
wait_for 120 test -s "$SANDBOX/port" || fail "the loopback server did not start"
export http_proxy="http://127.0.0.1:$(cat "$SANDBOX/port")"
cd "$SANDBOX/elsewhere"
TMPDIR="$SANDBOX/tmp" start_setup
next "no predecessor page the third time"
next "no prerequisites page to download from"
download_started() { ls "$SANDBOX/tmp" | grep -q '^RCI'; }
wait_for 120 download_started || fail "no download started: $(cat "$SANDBOX/requests")"
kill -TERM "$pid"
wait_exit "$pid"
[ "$EXIT_CODE" = $((128 + 15)) ] || fail "exit code $EXIT_CODE after SIGTERM"
[ -z "$(ls "$SANDBOX/tmp")" ] || fail "SIGTERM left $(ls "$SANDBOX/tmp")"
cd "$SANDBOX"

# 5. A component that asks for a restart: the WMA runtime in the system
#    modules folder is too old (8.0) and a running program uses it, so
#    wmfdist95 replaces it and answers 3010. After the installation the setup
#    offers the reboot instead of the tutorial, and "Reboot now" (the
#    default) asks logind: a recording stand-in on a private bus.
modules3="$SANDBOX/modules3"
mkdir -p "$modules3"
cp "$modules/msi.so" "$modules3/msi.so"
cp "$STAGE/../tests/install/version_8.0.0/module.so" "$modules3/wmvcore.so"
sed -i "s|^\"SystemModulesDir\"=.*|\"SystemModulesDir\"=\"$modules3\"|" "$XDG_CONFIG_DIRS/Quellbrook/system.reg"
LD_PRELOAD="$modules3/wmvcore.so" sleep infinity &
user_pid=$!
dbus-daemon --config-file="$SOURCE_DIR/tools/fake_login1/private_system_bus.conf" \
  --address="unix:path=$SANDBOX/system_bus_socket" --nofork --print-address >"$SANDBOX/bus-address" &
bus_pid=$!
trap 'kill $user_pid $bus_pid ${logind_pid:-} 2>/dev/null || true; sandbox_cleanup' EXIT
wait_for 120 test -s "$SANDBOX/bus-address" || fail "the private bus did not start"
export DBUS_SYSTEM_BUS_ADDRESS="$(head -n1 "$SANDBOX/bus-address")"
case "$DBUS_SYSTEM_BUS_ADDRESS" in *"$SANDBOX"*) ;; *) fail "the private bus did not start";; esac
"$TOOLS/fake_login1/fake_login1" "$DBUS_SYSTEM_BUS_ADDRESS" "$SANDBOX/reboot.log" >"$SANDBOX/logind.out" &
logind_pid=$!
wait_for 120 grep -q ready "$SANDBOX/logind.out" || fail "the stand-in logind did not start"
rm -f "$SANDBOX/opened"
cd "$setup"
start_setup
next "no predecessor page the fourth time"
next "no prerequisites page for the old WMA runtime"
licence "no licence page after the WMA runtime"
# The offer is the small window among the setup's.
offer=""
deadline=$((SECONDS + 120))
while [ -z "$offer" ] && [ "$SECONDS" -lt "$deadline" ]; do
  for id in $(xdotool search --onlyvisible --name '^Tonvik Setup$' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    [ "$WIDTH" -lt 600 ] && offer="$id"
  done
  [ -n "$offer" ] || sleep 0.1
done
[ -n "$offer" ] || fail "no reboot offer ($(cat "$SANDBOX/err-setup"))"
press "$offer" Return
wait_exit "$pid"
[ "$EXIT_CODE" = 1 ] || fail "exit code $EXIT_CODE after the reboot offer"
[ "$(cat "$SANDBOX/reboot.log" 2>/dev/null)" = "Reboot false" ] || fail "logind was not asked to reboot"
cmp -s "$modules3/wmvcore.so" "$modules/wmvcore.so" || fail "wmfdist95 did not replace the old runtime"
[ ! -e "$SANDBOX/opened" ] || fail "the tutorial started although a restart is due"
cd "$SANDBOX"
echo "setup e2e: ok"
