#!/usr/bin/env bash
# Installs what is missing, builds, starts the test services and runs every
# test. Screenshots and other artifacts land in artifacts/. Says how long each
# stage took.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)

stage() {
  local name=$1 start=$SECONDS status=0
  shift
  "$@" || status=$?
  echo "== stage $name: $((SECONDS - start)) s" >&2
  return $status
}

stage install "$here/install-deps.sh"
stage build "$here/build.sh"

eval "$("$here/test-services.sh" start)"
trap '"$here/test-services.sh" stop' EXIT
mkdir -p "$root/artifacts"
export VANTORO_ARTIFACTS="$root/artifacts"
# The virtual microphone is running: the real audio path must be tested.
export VANTORO_REQUIRE_AUDIO=1
# Tests that need a real display get a virtual one; the rest run offscreen.
stage test xvfb-run -a -s "-screen 0 1280x1280x24" \
  ctest --test-dir "$root/build" --output-on-failure -j2 "$@"
