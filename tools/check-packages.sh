#!/usr/bin/env bash
# Builds the Debian packages and checks them as a user and an operator
# would meet them: lintian, the desktop entry and the AppStream metadata
# validated, both installed with apt-get, the installed application started
# under a virtual display until its window shows, the installed content
# server started and asked for a page, and both removed again without a
# file of theirs left behind. Needs root (or sudo) for the install.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
work=$(mktemp -d)
server_pid=""
cleanup() {
  [[ -z "$server_pid" ]] || kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "check-packages: $*" >&2; exit 1; }

# vantoro and vantoro-content-server, and vantoro-common with the files
# both read (the strings and the sample content).
packages=(vantoro vantoro-content-server vantoro-common)
mapfile -t debs < <("$here/build-packages.sh" | grep '\.deb$')
[[ ${#debs[@]} -eq 3 ]] || fail "expected three packages, got: ${debs[*]:-none}"
app_deb=$(printf '%s\n' "${debs[@]}" | grep '/vantoro_')

echo "== lintian"
for deb in "${debs[@]}"; do
  lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian found errors in $deb"
done

echo "== desktop entry and AppStream metadata"
dpkg-deb -x "$app_deb" "$work/app"
desktop-file-validate "$work/app/usr/share/applications/app.vantoro.Vantoro.desktop"
appstreamcli validate --no-net "$work/app/usr/share/metainfo/app.vantoro.Vantoro.metainfo.xml"

echo "== install"
$sudo apt-get install -y -qq "${debs[@]}" >/dev/null
dpkg -L "${packages[@]}" | sort -u > "$work/files"
vantoro --help >/dev/null || fail "the installed vantoro --help failed"
grep -q '/man1/vantoro.1.gz$' "$work/files" &&
  grep -q '/man1/vantoro-content-server.1.gz$' "$work/files" || fail "a manual page is missing"

echo "== the installed application shows its window"
xvfb-run -a -s "-screen 0 1280x1280x24" bash -c '
  vantoro --level-trace "$1" >"$2/app.log" 2>&1 &
  app=$!
  for _ in $(seq 1 60); do
    if xwininfo -root -tree | grep -q "\"Vantoro\""; then kill $app; exit 0; fi
    sleep 0.5
  done
  kill $app; cat "$2/app.log" >&2; exit 1
' _ "$root/tools/traces/strong-blow.txt" "$work" || fail "the installed application showed no window"

echo "== the installed content server answers"
vantoro-content-server --port 0 --data "$work/server" >"$work/server.out" 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 1 50); do [[ -s "$work/server.out" ]] && break; sleep 0.2; done
base=$(head -1 "$work/server.out")
[[ "$base" == http://127.0.0.1:* ]] || fail "the installed server did not start: $(cat "$work/server.log")"
curl -fsS "$base/wechat/getPm25CentralIssue.do" | grep -q "空气质量热点" ||
  fail "the installed server did not serve the hot-issue page"
curl -fsS "$base/healthz" >/dev/null || fail "the installed server is not healthy"
kill "$server_pid"
wait "$server_pid" || true
server_pid=""

echo "== remove"
$sudo apt-get purge -y -qq "${packages[@]}" >/dev/null
left=()
while read -r path; do
  [[ -e "$path" && ! -d "$path" ]] && left+=("$path")
done < "$work/files"
[[ ${#left[@]} -eq 0 ]] || fail "files left after removal: ${left[*]}"
echo "packages checked: ${debs[*]}"
