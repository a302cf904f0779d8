#!/usr/bin/env bash
# Hive writes under contention: 1, 2 and 4 processes each writing their own
# value into one user hive (every write locks the hive, re-reads it,
# replaces it and syncs it). Writes per second over all processes; "lost"
# counts processes whose last value is missing (target: 0). Writes per
# process: $REGISTRY_BENCH_WRITES (default 300).
set -euo pipefail
build="$(cd "${1:?build folder}" && pwd)"
bench="$build/bench/registry/registry_bench"
[ -x "$bench" ] || { echo "registry: $bench not built" >&2; exit 1; }
work="$(mktemp -d /tmp/tonvik-bench-registry-XXXXXX)"
trap 'rm -rf "$work"' EXIT
writes="${REGISTRY_BENCH_WRITES:-300}"

printf "%-10s %8s %10s %10s %6s\n" "processes" "writes" "seconds" "writes/s" "lost"
status=0
for processes in 1 2 4; do
  rm -rf "$work/home" "$work/etc"
  mkdir -p "$work/home" "$work/etc"
  read -r seconds rate lost < <(XDG_CONFIG_HOME="$work/home" XDG_CONFIG_DIRS="$work/etc" \
    "$bench" "$processes" "$writes") || status=1
  printf "%-10s %8s %10s %10s %6s\n" "$processes" "$((processes * writes))" "$seconds" "$rate" "$lost"
done
exit $status
