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
"$build/tools/discimage/make_disc_image" demo "$demo/disc/demo.cue" >/dev/null

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

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: no display; starting a virtual one (Xvfb) — the windows are not visible." >&2
  echo "      Set DISPLAY to watch them." >&2
  exec xvfb-run -a "$0" "$build"
fi

echo "demo: ripping the demo disc to FLAC; the files land in $demo/home/Music"
set +e
printf '6\nD:\\\n' | iconv -f UTF-8 -t UTF-16LE | "$demo/tonvik/bin/vandral"
code=$?
set -e
echo "demo: vandral exited with $code; files:"
find "$demo/home/Music" -type f -name '*.flac' | sort
