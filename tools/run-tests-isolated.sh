#!/usr/bin/env bash
# Runs every function of every test executable on its own, two at a time,
# so that a function which passes only after the ones before it is found.
# The test list comes from the build (build/tests/test-list.tsv); tests that
# say WHOLE_SUITE_ONLY are left to the full suite, with the reason printed.
# Needs the same services as the full suite: run it inside
# tools/run-tests.sh's environment, or after `tools/test-services.sh start`
# under a display.
#   tools/run-tests-isolated.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
list="$build/tests/test-list.tsv"
[[ -f "$list" ]] || { echo "error: no test list at $list: build first" >&2; exit 2; }
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# One function of one test: NAME EXE DIR TIMEOUT FUNCTION ENV...
run_one() {
  local name=$1 exe=$2 dir=$3 limit=$4 fn=$5
  shift 5
  local log="$logs/$name.$fn.log"
  # A home of its own: two functions of one test run side by side would
  # otherwise share the test's folders (Qt's test mode puts them under it).
  local home="$logs/home.$name.$fn"
  mkdir -p "$home"
  if (cd "$dir" && HOME=$home timeout "$limit" env "$@" "$exe" "$fn") >"$log" 2>&1; then
    rm -f "$log"
  else
    echo "FAIL $name $fn" >&2
  fi
  rm -rf "$home"
}
export -f run_one
export logs

# One job per line: the fields of run_one, separated by tabs.
jobs_file="$logs/jobs"
: >"$jobs_file"
skipped=0
while IFS=$'\t' read -r name exe dir limit reason envs; do
  [[ -n "$name" ]] || continue
  if [[ "$reason" != "-" ]]; then
    echo "left to the full suite: $name ($reason)"
    skipped=$((skipped + 1))
    continue
  fi
  IFS=$'\t' read -r -a env_list <<<"$envs"
  functions=$(cd "$dir" && env "${env_list[@]}" "$exe" -functions | sed -n 's/^\([A-Za-z_0-9]*\)()$/\1/p')
  if [[ -z "$functions" ]]; then
    echo "error: $name lists no test functions" >&2
    exit 1
  fi
  for fn in $functions; do
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$exe" "$dir" "$limit" "$fn" "$envs" >>"$jobs_file"
  done
done <"$list"

count=$(wc -l <"$jobs_file")
echo "running $count test functions one by one ($skipped tests left to the full suite)"
xargs -d '\n' -P 2 -n 1 bash -c 'IFS=$'"'"'\t'"'"' read -r -a job <<<"$1"; run_one "${job[@]}"' _ <"$jobs_file"

shopt -s nullglob
failed_logs=("$logs"/*.log)
failed=${#failed_logs[@]}
for log in "${failed_logs[@]}"; do
  echo "---- $(basename "$log" .log)"
  tail -n 30 "$log"
done
echo "$((count - failed)) of $count test functions passed on their own"
[[ $failed -eq 0 ]]
