#!/usr/bin/env bash
# Builds the Debian packages (vantoro, vantoro-content-server, vantoro-common)
# from a release build and prints their paths.
#   tools/build-packages.sh [build-dir]     (default: build-release)
# The release preset's folder is used as is; another folder is configured with
# the same settings (Release, no tests, no benchmarks).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
build=$(realpath -m "$build")

# Debian's hardening flags (fortified libc calls, stack protector, read-only
# relocations bound at start), as dpkg-buildflags gives them to any package.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cd "$root" # dpkg-buildflags maps the current folder out of the debug paths
flags=(
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
  "-DCMAKE_MODULE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
)
if [[ "$build" == "$root/build-release" ]]; then
  (cd "$root" && cmake --preset release "${flags[@]}" >/dev/null)
else
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    "${flags[@]}" >/dev/null
fi
cmake --build "$build" -j"$(nproc)"

# Packages from an earlier run with another version would be listed too.
rm -f "$build"/packages/*.deb
(cd "$build" && cpack -G DEB --config CPackConfig.cmake >/dev/null)

shopt -s nullglob
debs=("$build"/packages/*.deb)
if ((${#debs[@]} == 0)); then
  echo "build-packages.sh: cpack made no package in $build/packages" >&2
  exit 1
fi
printf '%s\n' "${debs[@]}"
