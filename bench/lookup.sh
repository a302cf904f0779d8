#!/usr/bin/env bash
# The disc lookup against the loopback web service (tools/mbserver as
# http_proxy): the lookup's wall time (disc ID and the two requests, parsed
# and mapped) under a host the library does not space; the same two lookups
# naming musicbrainz.org, where the library spaces requests 2 s apart (proxy
# or not); and, with a service that accepts and never answers, the time from
# the link's click to the Format dialog being usable again (target: the
# 30 s bound, never more). Runs: $LOOKUP_BENCH_RUNS (default 50).
set -euo pipefail
build="$(cd "${1:?build folder}" && pwd)"
here="$(cd "$(dirname "$0")/.." && pwd)"
bench="$build/bench/lookup/lookup_bench"
server="$build/tools/mbserver/mb_loopback_server"
for exe in "$bench" "$server"; do
  [ -x "$exe" ] || { echo "lookup: $exe not built" >&2; exit 1; }
done
work="$(mktemp -d /tmp/tonvik-bench-lookup-XXXXXX)"
pid=""
stop() { [ -n "$pid" ] && { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }; pid=""; }
trap 'stop; rm -rf "$work"' EXIT
mkdir -p "$work/etc" "$work/home"
mkdir -p "$work/run" && chmod 700 "$work/run"
export XDG_CONFIG_DIRS="$work/etc" XDG_CONFIG_HOME="$work/home" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen

serve() {  # <answer for the disc>
  stop
  rm -f "$work/port"
  docs="$here/tests/lookup/ws2"
  printf '* %s\n/ws/2/release/00000000-0000-4000-8000-000000000001 200 %s\n' "$1" "$docs/release-album.xml" > "$work/routes"
  "$server" "$work/routes" "$work/port" &
  pid=$!
  for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
  export http_proxy="http://127.0.0.1:$(cat "$work/port")"
}

serve "200 $here/tests/lookup/ws2/discid.xml"
read -r best mean < <("$bench" service "${LOOKUP_BENCH_RUNS:-50}")
read -r spaced < <("$bench" spacing)
serve hang
read -r usable bound < <("$bench" stalled)
stop

printf "%-44s %10s %s\n" "measure" "ms" "target"
printf "%-44s %10s %s\n" "lookup, loopback service (best)" "$best" ""
printf "%-44s %10s %s\n" "lookup, loopback service (mean)" "$mean" ""
printf "%-44s %10s %s\n" "2nd lookup naming musicbrainz.org (spaced)" "$spaced" "library: 2 s between requests"
status=0
verdict="ok"
[ "$usable" -le $((bound + 1000)) ] || { verdict="OVER"; status=1; }
printf "%-44s %10s %s\n" "click to usable dialog, service never answers" "$usable" "<= bound $bound ($verdict)"
exit $status
