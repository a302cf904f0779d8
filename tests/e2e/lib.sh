# Shared helpers of the process-level tests: a sandbox with its own hives and
# music folder, the installed tree as AppPath, and an X server of its own.
# Sourced by the test scripts; $STAGE is the installed prefix.
set -euo pipefail

fail() { echo "FAIL: $*" >&2; for f in "$SANDBOX"/err* "$SANDBOX"/xvfb.log; do [ -f "$f" ] && { echo "--- $f" >&2; tail -n 20 "$f" >&2; }; done; exit 1; }

# With a folder given (the demo), the sandbox is that folder, emptied first
# and kept at the end for the user to look into.
sandbox_setup() {
  if [ -n "${1:-}" ]; then
    rm -rf "$1"
    mkdir -p "$1"
    SANDBOX="$(cd "$1" && pwd)" KEEP_SANDBOX=1
  else
    SANDBOX="$(mktemp -d /tmp/tonvik-e2e-XXXXXX)"
  fi
  trap 'sandbox_cleanup' EXIT
  export HOME="$SANDBOX/home" XDG_CONFIG_HOME="$SANDBOX/home/.config" XDG_CONFIG_DIRS="$SANDBOX/etc"
  export XDG_MUSIC_DIR="$SANDBOX/home/Music" XDG_RUNTIME_DIR="$SANDBOX/run"
  # No request reaches the internet: nothing listens there (lookup_server_start
  # points it at the loopback service instead).
  export http_proxy="http://127.0.0.1:9"
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

# The start most scripts share: the sandbox, an X server of its own and an
# empty music folder ($music).
e2e_start() {
  sandbox_setup
  xvfb_start
  music="$XDG_MUSIC_DIR"
  mkdir -p "$music"
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
  if [ -n "${SANDBOX:-}" ] && [ -z "${KEEP_SANDBOX:-}" ]; then rm -rf "$SANDBOX"; fi
}

# Starts an X server of our own; it picks a free display itself (-displayfd),
# writes the number once it accepts connections, and never resets when its
# last client goes (a reset refuses connections meanwhile).
xvfb_start() {
  local fifo="$SANDBOX/displayfd"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -noreset -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" >"$SANDBOX/xvfb.log" 2>&1 &
  XVFB_PID=$!
  local d=""
  read -r -t 120 d <"$fifo" || true
  [ -n "$d" ] || fail "cannot start Xvfb: $(cat "$SANDBOX/xvfb.log")"
  export DISPLAY=":$d" QT_QPA_PLATFORM=xcb
  xdpyinfo >/dev/null 2>&1 && kill -0 "$XVFB_PID" 2>/dev/null || fail "Xvfb on $DISPLAY does not answer: $(cat "$SANDBOX/xvfb.log")"
}

# Waits for a visible window whose name matches and that is none of the ids
# given after the bound (seconds, only a failure bound); prints its id.
wait_window() {
  local name="$1" bound="${2:-120}" id=""
  shift 2 2>/dev/null || shift $#
  local deadline=$((SECONDS + bound))
  while [ "$SECONDS" -lt "$deadline" ]; do
    # --sync blocks until a matching window is visible.
    for id in $(timeout "$((deadline - SECONDS + 1))" xdotool search --sync --onlyvisible --name "$name" 2>/dev/null); do
      case " $* " in *" $id "*) ;; *) echo "$id"; return 0 ;; esac
    done
    sleep 0.1  # only windows we are to pass over are up: look again
  done
  return 1
}

# Runs the command until it succeeds; false once the bound (seconds, only a
# failure bound) has passed without.
wait_for() {
  local bound="$1"; shift
  local deadline=$((SECONDS + bound))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# Waits until the window is no longer on screen (hidden or gone).
wait_gone() {
  local id="$1" bound="${2:-120}"
  local deadline=$((SECONDS + bound))
  while xwininfo -id "$id" 2>/dev/null | grep -q "Map State: IsViewable"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# Waits for a visible window of the process that is none of the given ids;
# prints its id.
wait_window_of() {
  local pid="$1" bound="$2" id=""
  shift 2
  local deadline=$((SECONDS + bound))
  while [ "$SECONDS" -lt "$deadline" ]; do
    for id in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
      case " $* " in *" $id "*) ;; *) echo "$id"; return 0 ;; esac
    done
    sleep 0.1
  done
  return 1
}

# Gives the window the keyboard focus and presses the keys, as a person
# would. The keys are read by the program in order after the focus change.
press() {
  local id="$1"; shift
  xdotool windowfocus --sync "$id" || fail "cannot give window $id the focus"
  xdotool key --clearmodifiers "$@"
}

# Waits for a child process of this shell; its exit code lands in EXIT_CODE.
wait_exit() {
  local pid="$1" bound="${2:-120}"
  local deadline=$((SECONDS + bound))
  while kill -0 "$pid" 2>/dev/null; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      kill "$pid" 2>/dev/null || true
      fail "process $pid did not exit within ${bound}s"
    fi
    sleep 0.1
  done
  EXIT_CODE=0
  wait "$pid" || EXIT_CODE=$?
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
# The answer for the disc waits until $SANDBOX/gate exists (lookup_answer),
# so a test knows the lookup is under way. Stopped with the sandbox.
LOOKUP_RELEASE="00000000-0000-4000-8000-000000000001"
lookup_server_start() {
  local docs
  docs="$(cd "$(dirname "${BASH_SOURCE[0]}")/../lookup/ws2" && pwd)"
  cat > "$SANDBOX/routes" <<ROUTES
* gate $SANDBOX/gate $docs/discid.xml
/ws/2/release/$LOOKUP_RELEASE 200 $docs/release-album.xml
/ws/2/release/00000000-0000-4000-8000-000000000002 200 $docs/release-second.xml
ROUTES
  "$TOOLS/mbserver/mb_loopback_server" "$SANDBOX/routes" "$SANDBOX/port" "$SANDBOX/requests" &
  MB_SERVER_PID=$!
  wait_for 120 test -s "$SANDBOX/port" || fail "the loopback server did not start"
  export http_proxy="http://127.0.0.1:$(cat "$SANDBOX/port")"
}

# The lookup of the ripper (process $1, Format dialog $2): waits for its
# loading window, lets the service answer, and waits for the window to go,
# which happens as the lookup ends and gives the dialog back. The release
# must then have been asked for the n-th time ($3).
lookup_answer() {
  local pid="$1" dialog="$2" n="$3" loading asked
  loading="$(wait_window_of "$pid" 120 "$dialog")" || fail "no loading window for lookup $n"
  touch "$SANDBOX/gate"
  wait_gone "$loading" || fail "the loading window of lookup $n stayed"
  rm -f "$SANDBOX/gate"
  asked="$(grep -c "^[^d].*/ws/2/release/$LOOKUP_RELEASE" "$SANDBOX/requests" || true)"
  [ "${asked:-0}" -ge "$n" ] || fail "lookup $n did not fetch the release"
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
  wait_exit "$pid" 300
  [ "$EXIT_CODE" = 1 ] || fail "exit code $EXIT_CODE for $what ($(cat "$SANDBOX/err"))"
}
