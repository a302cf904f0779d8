# Shared helpers of the process-level tests: a sandbox with its own hives and
# music folder, the installed tree as AppPath, and an X server of its own.
# Sourced by the test scripts; $STAGE is the installed prefix.
set -euo pipefail

fail() { echo "FAIL: $*" >&2; for f in "$SANDBOX"/err* "$SANDBOX"/xvfb.log; do [ -f "$f" ] && { echo "--- $f" >&2; tail -n 20 "$f" >&2; }; done; exit 1; }

sandbox_setup() {
  SANDBOX="$(mktemp -d /tmp/tonvik-e2e-XXXXXX)"
  trap 'sandbox_cleanup' EXIT
  export HOME="$SANDBOX/home" XDG_CONFIG_HOME="$SANDBOX/home/.config" XDG_CONFIG_DIRS="$SANDBOX/etc"
  export XDG_MUSIC_DIR="$SANDBOX/home/Music" XDG_RUNTIME_DIR="$SANDBOX/run"
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_DIRS/Quellbrook" "$XDG_CONFIG_HOME/Quellbrook"
  chmod 700 "$XDG_RUNTIME_DIR"
  APPDIR="$STAGE/lib/tonvik/"
  [ -x "$APPDIR/vandral" ] || fail "no installed vandral in $APPDIR (run cmake --install first)"
  cat > "$XDG_CONFIG_DIRS/Quellbrook/system.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Quellbrook\\vandral]
"AppPath"="$APPDIR"
"HomeURL"="https://tonvik.example/"
REG
}

sandbox_cleanup() {
  if [ -n "${MB_SERVER_PID:-}" ]; then
    kill "$MB_SERVER_PID" 2>/dev/null || true
    wait "$MB_SERVER_PID" 2>/dev/null || true
  fi
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  [ -n "${SANDBOX:-}" ] && rm -rf "$SANDBOX"
}

# Starts an X server of our own; it picks a free display itself (-displayfd) and
# never resets when its last client goes (a reset refuses connections meanwhile).
xvfb_start() {
  local fifo="$SANDBOX/displayfd"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -noreset -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" >"$SANDBOX/xvfb.log" 2>&1 &
  XVFB_PID=$!
  local d=""
  read -r -t 20 d <"$fifo" || true
  [ -n "$d" ] || fail "cannot start Xvfb: $(cat "$SANDBOX/xvfb.log")"
  export DISPLAY=":$d" QT_QPA_PLATFORM=xcb
  for _ in $(seq 50); do
    if xdpyinfo >/dev/null 2>&1; then
      # Still ours and still there a moment later (not a server on its way out).
      sleep 0.3
      kill -0 "$XVFB_PID" 2>/dev/null && xdpyinfo >/dev/null 2>&1 && return 0
    fi
    sleep 0.1
  done
  fail "Xvfb on $DISPLAY does not answer: $(cat "$SANDBOX/xvfb.log")"
}

# Waits for a visible window whose name matches, prints its id.
wait_window() {
  local name="$1" timeout="${2:-20}" id=""
  for _ in $(seq $((timeout * 10))); do
    id="$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -n1 || true)"
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Gives the window the keyboard focus and presses the keys, as a person would.
press() {
  local id="$1"; shift
  xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
  sleep 0.2
  xdotool key --clearmodifiers "$@"
}

# Waits for a child process of this shell; its exit code lands in EXIT_CODE.
wait_exit() {
  local pid="$1" timeout="${2:-30}"
  for _ in $(seq $((timeout * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      EXIT_CODE=0
      wait "$pid" || EXIT_CODE=$?
      return 0
    fi
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
  fail "process $pid did not exit within ${timeout}s"
}

# UTF-16LE start-up lines from arguments, each ended by LF.
startup_lines() {
  printf '%s\n' "$@" | iconv -f UTF-8 -t UTF-16LE
}

# A disc image of audio tracks of the given seconds, mapped to drive D.
make_disc() {
  local cue="$SANDBOX/disc/disc.cue"
  mkdir -p "$SANDBOX/disc"
  "$TOOLS/discimage/make_disc_image" custom "$cue" "$@" || fail "cannot make the disc image"
  map_drive D "$cue"
  DISC_CUE="$cue"
}

map_drive() {
  mkdir -p "$XDG_CONFIG_HOME/Quellbrook"
  cat >> "$XDG_CONFIG_HOME/Quellbrook/user.reg" <<REG

[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral\\Drives]
"$1"="$2"
REG
}

# Sectors of a track of an image made by make_disc (no pregaps): the PCM of
# track n is the bytes from the sum of the earlier lengths.
track_pcm() {
  local n="$1"; shift
  local start=0 i=1
  for s in "$@"; do
    if [ "$i" -eq "$n" ]; then
      dd if="${DISC_CUE%.cue}.bin" bs=2352 skip="$start" count="$((s * 75))" status=none
      return
    fi
    start=$((start + s * 75)); i=$((i + 1))
  done
}

decoded_pcm() { ffmpeg -v error -i "$1" -f s16le -acodec pcm_s16le -; }

# The loopback web service in place of MusicBrainz, as http_proxy: any disc
# ID gets two releases, the first a three-track album (tests/lookup/ws2).
# Stopped with the sandbox.
LOOKUP_RELEASE="00000000-0000-4000-8000-000000000001"
lookup_server_start() {
  local docs
  docs="$(cd "$(dirname "${BASH_SOURCE[0]}")/../lookup/ws2" && pwd)"
  cat > "$SANDBOX/routes" <<ROUTES
* 200 $docs/discid.xml
/ws/2/release/$LOOKUP_RELEASE 200 $docs/release-album.xml
/ws/2/release/00000000-0000-4000-8000-000000000002 200 $docs/release-second.xml
ROUTES
  "$TOOLS/mbserver/mb_loopback_server" "$SANDBOX/routes" "$SANDBOX/port" "$SANDBOX/requests" &
  MB_SERVER_PID=$!
  for _ in $(seq 100); do [ -s "$SANDBOX/port" ] && break; sleep 0.1; done
  [ -s "$SANDBOX/port" ] || fail "the loopback server did not start"
  export http_proxy="http://127.0.0.1:$(cat "$SANDBOX/port")"
}

# Waits until the service has answered the release request the n-th time and
# the dialog had a moment to come back.
wait_loaded() {
  for _ in $(seq 300); do
    local n
    n="$(grep -c "^done .*/ws/2/release/$LOOKUP_RELEASE" "$SANDBOX/requests" 2>/dev/null || true)"
    [ "${n:-0}" -ge "$1" ] && { sleep 1; return 0; }
    sleep 0.1
  done
  fail "the lookup never fetched the release"
}

# Starts the installed vandral with the start-up lines (format, paths...),
# accepts the Format dialog with Return and waits for the job to end; fails
# unless the ripper exits with 1, the progress dialog's result.
rip_accepting() {
  local what="$1"; shift
  startup_lines "$@" | "$APPDIR/vandral" 2>"$SANDBOX/err" &
  local pid=$! win
  win="$(wait_window '^Tonvik$')" || fail "no Format dialog for $what"
  press "$win" Return
  wait_exit "$pid" 60
  [ "$EXIT_CODE" = 1 ] || fail "exit code $EXIT_CODE for $what ($(cat "$SANDBOX/err"))"
}
