#!/usr/bin/env bash
# Installs what is missing, builds, starts the test services and runs every
# check: the format of the C++ files, the full test suite, every test
# function on its own, the sanitizer build's tests, and the Debian packages
# (built, checked, installed, run and removed). Screenshots and other
# artifacts land in artifacts/. Says how long each stage took.
#   tools/run-tests.sh              everything
#   tools/run-tests.sh -R NAME ...  the full suite only, with these ctest options
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
started=$SECONDS

stage() {
  local name=$1 start=$SECONDS status=0
  shift
  "$@" || status=$?
  echo "== stage $name: $((SECONDS - start)) s$([[ $status -eq 0 ]] || echo ", FAILED ($status)")" >&2
  return $status
}

stage install "$here/install-deps.sh"
[[ $# -gt 0 ]] || stage format "$here/check-format.sh"
stage build "$here/build.sh"

# PulseAudio with a virtual microphone. Its failure must stop the run here:
# the audio tests would otherwise fail later for a reason they cannot tell.
if ! services_env=$("$here/test-services.sh" start); then
  echo "error: the test services did not start (PulseAudio with a virtual microphone); see above" >&2
  exit 1
fi
eval "$services_env"
trap '"$here/test-services.sh" stop' EXIT
mkdir -p "$root/artifacts"
export VANTORO_ARTIFACTS="$root/artifacts"
# The virtual microphone is running: the real audio path must be tested.
export VANTORO_REQUIRE_AUDIO=1
# Tests that need a real display get a virtual one; the rest run offscreen.
display=(xvfb-run -a -s "-screen 0 1280x1280x24")
stage test "${display[@]}" ctest --test-dir "$root/build" --output-on-failure -j2 "$@"
if [[ $# -eq 0 ]]; then
  stage isolated "${display[@]}" "$here/run-tests-isolated.sh" "$root/build"
  stage sanitize "$here/run-sanitized-tests.sh"
  stage packages "$here/check-packages.sh"
fi
echo "== all stages: $((SECONDS - started)) s" >&2
