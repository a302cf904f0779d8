#!/usr/bin/env bash
# Rebuilds the artwork generator and rewrites resources/png, icon and sound.
# Usage: tools/artwork/regenerate.sh [build folder]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$here/build}"
cmake --build "$build" --target tonvik_artwork -j2
"$build/tools/artwork/tonvik_artwork" "$here/resources"
