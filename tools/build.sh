#!/usr/bin/env bash
# Configures (once) and builds everything in build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
[[ -f build/build.ninja ]] || cmake --preset default >/dev/null
cmake --build build
