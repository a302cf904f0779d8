#!/usr/bin/env bash
# CTDB CRCs: DiscCrc (the running CRC and the states kept around every window
# edge) fed 2352 bytes at a time over a whole disc, against zlib's crc32
# alone over the same PCM; then the time the +-5879 shift search and the
# verdict take once the disc has streamed. Disc length $CTDB_BENCH_MINUTES
# (default 74), best of $CTDB_BENCH_RUNS (default 3).
set -euo pipefail
build="$(cd "${1:?build folder}" && pwd)"
bench="$build/bench/ctdb/ctdb_bench"
[ -x "$bench" ] || { echo "ctdb: $bench not built" >&2; exit 1; }
one_core=()
command -v taskset >/dev/null && one_core=(taskset -c 0)
"${one_core[@]}" "$bench" "${CTDB_BENCH_MINUTES:-74}" "${CTDB_BENCH_RUNS:-3}"
