#!/usr/bin/env bash
# ./run demo: a sandbox of its own (hives, music folder, drive mapping), a tree
# installed into it, a generated five-track demo disc in drive D, and vandral
# started with the start-up lines for FLAC and the drive root.
set -euo pipefail
build="${1:?build folder}"
here="$(cd "$(dirname "$0")/.." && pwd)"
demo="$here/build/demo"
rm -rf "$demo"
mkdir -p "$demo/home/Music" "$demo/etc/Quellbrook" "$demo/home/.config/Quellbrook" "$demo/run"
chmod 700 "$demo/run"
cmake --install "$build" --prefix "$demo/tonvik" >/dev/null
mkdir -p "$demo/disc"
"$build/tools/discimage/make_disc_image" demo "$demo/disc/demo.cue"
# Read at about 27x, so that the progress dialog can be watched.
echo "speed 2000" > "$demo/disc/demo.faults"
export TONVIK_FAULTS="$demo/disc/demo.faults"

export HOME="$demo/home" XDG_CONFIG_HOME="$demo/home/.config" XDG_CONFIG_DIRS="$demo/etc"
export XDG_MUSIC_DIR="$demo/home/Music" XDG_RUNTIME_DIR="$demo/run"
cat > "$demo/etc/Quellbrook/system.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Quellbrook\\vandral]
"AppPath"="$demo/tonvik/lib/tonvik/"
"HomeURL"="https://tonvik.example/"
REG
cat > "$demo/home/.config/Quellbrook/user.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral\\Drives]
"D"="$demo/disc/demo.cue"
REG

# The disc lookup asks a loopback server in place of MusicBrainz (as http_proxy),
# which knows the demo disc as "Five Small Pieces".
"$build/tools/mbserver/mb_loopback_server" "$here/tools/mbserver/demo/routes" "$demo/mbserver.port" \
  "$demo/mbserver.log" &
mbserver=$!
for _ in $(seq 100); do [ -s "$demo/mbserver.port" ] && break; sleep 0.05; done
export http_proxy="http://127.0.0.1:$(cat "$demo/mbserver.port")"
stop_all() { kill "$mbserver" 2>/dev/null || true; [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true; }
trap stop_all EXIT

feed() { printf '6\nD:\\\n' | iconv -f UTF-8 -t UTF-16LE; }

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: the Format dialog opens; click the link at its foot to load the titles from the"
  echo "demo: loopback service, then press Accept and watch the progress dialog."
  echo "demo: the FLAC files land in $demo/home/Music"
  set +e
  feed | "$demo/tonvik/bin/vandral"
  code=$?
  set -e
else
  # No desktop: a virtual one, and the keys a person would press.
  echo "demo: no display found; running on a virtual one (Xvfb), loading the titles and pressing Accept for you."
  # CDDBAutoLoad does what a click on the link would do, half a second after the dialog opens.
  printf '\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral]\n"CDDBAutoLoad"=dword:00000001\n' \
    >> "$demo/home/.config/Quellbrook/user.reg"
  mkfifo "$demo/displayfd"
  Xvfb -displayfd 3 -noreset -screen 0 1280x800x24 -nolisten tcp 3>"$demo/displayfd" >"$demo/xvfb.log" 2>&1 &
  xvfb=$!
  read -r -t 20 d <"$demo/displayfd"
  export DISPLAY=":$d" QT_QPA_PLATFORM=xcb
  feed | "$demo/tonvik/bin/vandral" &
  pid=$!
  win=""
  for _ in $(seq 200); do
    win="$(xdotool search --onlyvisible --name '^Tonvik$' 2>/dev/null | head -n1 || true)"
    [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || { echo "demo: the Format dialog did not appear" >&2; exit 1; }
  for _ in $(seq 300); do
    grep -q '^done .*/ws/2/release/' "$demo/mbserver.log" 2>/dev/null && break
    sleep 0.1
  done
  sleep 1
  echo "demo: titles loaded from the loopback service; pressing Accept"
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  sleep 0.3
  xdotool key Return
  echo "demo: ripping..."
  set +e
  wait "$pid"
  code=$?
  set -e
fi
echo "demo: vandral exited with $code; the FLAC files in $demo/home/Music:"
find "$demo/home/Music" -type f -name '*.flac' -printf '  %P  (%s bytes)\n' | sort
echo "demo: their tags, as metaflac reads the first one:"
first="$(find "$demo/home/Music" -type f -name '*.flac' | sort | head -n1)"
if [ -n "$first" ]; then metaflac --export-tags-to=- "$first" | sed 's/^/  /'; fi
