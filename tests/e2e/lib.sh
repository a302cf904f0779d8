# Shared helpers of the process-level tests: a sandbox with its own hives and
# music folder, the installed tree as AppPath, and an X server of its own.
# Sourced by the test scripts; $STAGE is the installed prefix.
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }

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
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
  [ -n "${SANDBOX:-}" ] && rm -rf "$SANDBOX"
}

# Starts an X server on a free display and exports DISPLAY.
xvfb_start() {
  for d in $(seq 90 140); do
    if [ ! -e "/tmp/.X$d-lock" ] && [ ! -e "/tmp/.X11-unix/X$d" ]; then
      Xvfb ":$d" -screen 0 1280x800x24 -nolisten tcp >"$SANDBOX/xvfb.log" 2>&1 &
      XVFB_PID=$!
      export DISPLAY=":$d"
      for _ in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && { export QT_QPA_PLATFORM=xcb; return 0; }
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
      done
    fi
  done
  fail "cannot start Xvfb"
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

# Waits for a process and prints its exit code.
wait_exit() {
  local pid="$1" timeout="${2:-30}"
  for _ in $(seq $((timeout * 10))); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; echo $?; return 0; } 2>/dev/null
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
  fail "process $pid did not exit within ${timeout}s"
}

# UTF-16LE start-up lines from arguments, each ended by LF.
startup_lines() {
  printf '%s\n' "$@" | iconv -f UTF-8 -t UTF-16LE
}
