#!/usr/bin/env bash
# Installs what is missing, builds, and starts the application. Extra
# arguments go to the application (see `vantoro --help`).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/install-deps.sh"
"$here/build.sh"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display: starting on a virtual one (xvfb-run); nothing will be visible." >&2
  exec xvfb-run -a -s "-screen 0 1280x1280x24" "$here/../build/vantoro" "$@"
fi
exec "$here/../build/vantoro" "$@"
