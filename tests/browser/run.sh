#!/usr/bin/env bash
# The palette pages in a real browser: starts terraweft-host --serve from the given build folder
# (in a folder of its own: temporary files, settings and logs stay there), drives the map page in
# headless Chromium (palette_pages.js, then the channel's speed: ping_round_trips.js) and stops the
# program. The screenshot goes to tests/browser/artifacts/. Each script prints "N passed, M
# failed"; exits non-zero on any failure.
#   tests/browser/run.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:?"uzycie: tests/browser/run.sh BUILD_DIR"}
program="$build/tools/terraweft-host"
if [ ! -x "$program" ]; then
  echo "Brak $program: najpierw zbuduj projekt." >&2
  echo "0 passed, 1 failed"
  exit 1
fi

work=$(mktemp -d)
host_pid=""
cleanup() {
  if [ -n "$host_pid" ]; then
    kill -TERM "$host_pid" 2>/dev/null || true
    wait "$host_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/home" "$work/tmp"
HOME="$work/home" TMPDIR="$work/tmp" XDG_DATA_HOME="$work/home/data" \
  "$program" --serve >"$work/host.out" 2>"$work/host.err" &
host_pid=$!

# The first line of output is the page's address.
url=""
for _ in $(seq 300); do
  url=$(head -n 1 "$work/host.out" | grep -E '^http://127\.0\.0\.1:[0-9]+/' || true)
  [ -n "$url" ] && break
  kill -0 "$host_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$url" ]; then
  echo "terraweft-host nie podal adresu strony:" >&2
  cat "$work/host.out" "$work/host.err" >&2
  echo "0 passed, 1 failed"
  exit 1
fi

mkdir -p tests/browser/artifacts
status=0
node tests/browser/palette_pages.js "$url" "$work/profile" tests/browser/artifacts || status=$?
node tests/browser/ping_round_trips.js "$url" "$work/profile-ping" || status=$?
if [ "$status" -ne 0 ]; then
  echo "--- terraweft-host:" >&2
  cat "$work/host.out" "$work/host.err" >&2
fi
exit "$status"
