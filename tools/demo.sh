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
echo "speed 2000" > "$demo/disc/demo.cue.faults"

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

feed() { printf '6\nD:\\\n' | iconv -f UTF-8 -t UTF-16LE; }

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: the Format dialog opens; press Accept and watch the progress dialog."
  echo "demo: the FLAC files land in $demo/home/Music"
  set +e
  feed | "$demo/tonvik/bin/vandral"
  code=$?
  set -e
else
  # No desktop: a virtual one, and the keys a person would press.
  echo "demo: no display found; running on a virtual one (Xvfb) and pressing Accept for you."
  mkfifo "$demo/displayfd"
  Xvfb -displayfd 3 -noreset -screen 0 1280x800x24 -nolisten tcp 3>"$demo/displayfd" >"$demo/xvfb.log" 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true' EXIT
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
  echo "demo: Format dialog shown; pressing Accept"
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
