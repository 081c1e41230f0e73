#!/usr/bin/env bash
# Builds the Qt-Core-only libraries (blow, sound, analytics, results, the
# platform's system and audio rooms) and the content server with the address
# and undefined-behaviour sanitizers, in build-sanitize/, and runs their tests
# (those labelled "core"). Any report fails the run. Then the parsers' fuzz
# harnesses, built with clang in build-fuzz/, run for a short while each
# (tools/run-fuzzers.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=build-sanitize
[[ -f $build/build.ninja ]] || cmake --preset sanitize >/dev/null
cmake --preset sanitize >/dev/null
mapfile -t targets < <(ctest --test-dir "$build" -N -L core -LE whole-suite-only |
                       sed -n 's/^ *Test *#[0-9]*: *//p')
if [[ ${#targets[@]} -eq 0 ]]; then
  echo "error: no tests labelled core in $build" >&2
  exit 1
fi
echo "sanitized tests: ${targets[*]}"
cmake --build "$build" --target "${targets[@]}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --preset sanitize -j2
"$root/tools/run-fuzzers.sh"
