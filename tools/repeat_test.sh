#!/usr/bin/env bash
# Runs one test binary (with its arguments) COUNT times in a row and counts
# the runs that failed, by exit status or signal; the output of the first
# failing run is kept. For faults that show only now and then:
#   tools/repeat_test.sh 300 build/tests/modules/msi/modules_msi \
#       --gtest_filter=MsiDatabaseTest.HandlesFromSeveralThreads
set -uo pipefail
if [ "$#" -lt 2 ]; then
  echo "usage: tools/repeat_test.sh COUNT BINARY [ARGUMENTS...]" >&2
  exit 2
fi
count="$1"
shift
log="$(mktemp)"
failed=0
first=""
for ((i = 1; i <= count; i++)); do
  "$@" >"$log" 2>&1
  status=$?
  if [ "$status" -ne 0 ]; then
    failed=$((failed + 1))
    if [ -z "$first" ]; then
      first="$(mktemp)"
      cp "$log" "$first"
      echo "run $i failed with status $status (output kept in $first)" >&2
    fi
  fi
done
rm -f "$log"
echo "$count runs, $failed failed"
[ "$failed" -eq 0 ]
