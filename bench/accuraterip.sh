#!/usr/bin/env bash
# AccurateRip track sums: TrackChecksum (v1, v2, sector 450 and CRC32 in one
# pass) fed 2352 bytes at a time, for a middle track and the disc's last
# track, against zlib's crc32 alone over the same PCM in one call. MB/s are
# 10^6 bytes a second, best of $ACCURATERIP_BENCH_RUNS (default 5) over
# $ACCURATERIP_BENCH_SECONDS (default 300) seconds of PCM; ratio = ours / crc32.
set -euo pipefail
build="$(cd "${1:?build folder}" && pwd)"
bench="$build/bench/accuraterip/accuraterip_bench"
[ -x "$bench" ] || { echo "accuraterip: $bench not built" >&2; exit 1; }
one_core=()
command -v taskset >/dev/null && one_core=(taskset -c 0)
"${one_core[@]}" "$bench" "${ACCURATERIP_BENCH_SECONDS:-300}" "${ACCURATERIP_BENCH_RUNS:-5}"
