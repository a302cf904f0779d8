# Sourced by the benchmarks that serve an AccurateRip record: the loopback
# server answering every request for "$record_path" with one route. Needs
# $server (mb_loopback_server), $record_path (the record's URL path) and
# $work (a scratch folder); sets http_proxy to the server.
server_pid=""
serve() {  # route kind: "200 <file>", "404", "hang"
  unserve
  printf '%s %s\n' "$record_path" "$1" > "$work/routes"
  rm -f "$work/port"
  "$server" "$work/routes" "$work/port" "$work/requests" &
  server_pid=$!
  for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.05; done
  export http_proxy="http://127.0.0.1:$(cat "$work/port")"
}
# Stops the server; requests then go nowhere.
unserve() {
  [ -z "$server_pid" ] || { kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null || true; }
  server_pid=""
  export http_proxy="http://127.0.0.1:9"
}
