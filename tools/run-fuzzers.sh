#!/usr/bin/env bash
# Builds the libFuzzer harnesses of the content server's parsers (fuzz/) with
# clang into build-fuzz/, then runs each for a while on a copy of its seed
# corpus, so that the inputs it adds stay out of the repository. Says how
# long each took and how fast it ran. A crash, a leak, undefined behaviour or
# a failed check fails the run; the input that found it is kept in
# build-fuzz/findings/, and the harness run on that file alone replays it.
#   tools/run-fuzzers.sh                    every harness, 20 s each
#   tools/run-fuzzers.sh reportparser ...   those harnesses only
#   FUZZ_SECONDS=600 tools/run-fuzzers.sh   longer runs
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=build-fuzz
seconds=${FUZZ_SECONDS:-20}

started=$SECONDS
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
echo "fuzz build: $((SECONDS - started)) s"

if [[ $# -gt 0 ]]; then
  names=("$@")
else
  mapfile -t names < <(find fuzz -maxdepth 1 -name 'fuzz_*.cpp' -printf '%f\n' |
                       sed 's/^fuzz_//; s/\.cpp$//' | sort)
fi
findings=$root/$build/findings
logs=$root/$build/fuzz-logs
mkdir -p "$findings" "$logs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The figure libFuzzer closes its run with (-print_final_stats=1).
final_stat() {
  sed -n "s/^stat::$1: *//p" "$2" | tail -n 1
}

failed=()
for name in "${names[@]}"; do
  harness=$build/fuzz/fuzz_$name
  if [[ ! -x $harness || ! -d fuzz/corpus/$name ]]; then
    echo "error: no harness fuzz/fuzz_$name.cpp with a corpus fuzz/corpus/$name/" >&2
    exit 1
  fi
  corpus=$work/$name
  mkdir -p "$corpus"
  cp fuzz/corpus/"$name"/* "$corpus"/
  log=$logs/$name.log
  rm -f "$findings/$name"-*
  start=$SECONDS
  status=0
  "$harness" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$findings/$name-" "$corpus" >"$log" 2>&1 || status=$?
  echo "fuzz_$name: $((SECONDS - start)) s, $(final_stat average_exec_per_sec "$log") exec/s," \
       "$(final_stat number_of_executed_units "$log") inputs run, corpus $(ls "$corpus" | wc -l) files"
  if [[ $status -ne 0 ]]; then
    tail -n 40 "$log" >&2
    echo "error: fuzz_$name failed ($status); its log is $log, its input in $findings/" >&2
    failed+=("$name")
  fi
done
echo "fuzz stage: $((SECONDS - started)) s"
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "error: the fuzzers found faults in: ${failed[*]}" >&2
  exit 1
fi
