#!/usr/bin/env bash
# Runs every benchmark script beside this file against a built tree and prints
# their tables. Each script takes the build folder as its only argument.
set -euo pipefail
build="${1:?build folder}"
here="$(cd "$(dirname "$0")" && pwd)"
status=0
shopt -s nullglob
for script in "$here"/*.sh; do
  [ "$(basename "$script")" = run_all.sh ] && continue
  echo "== $(basename "$script" .sh)"
  "$script" "$build" || status=1
  echo
done
exit $status
