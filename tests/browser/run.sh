#!/usr/bin/env bash
# The palette pages in a real browser: starts the fake LiDAR services (tw_fake_lidar) and
# terraweft-host --serve --cloud from the given build folder (in a folder of its own: temporary
# files, settings and logs stay there), drives the map page (palette_pages.js) and the
# point-cloud page (cloud_page.js) in headless Chromium and stops the programs. Screenshots go
# to tests/browser/artifacts/. Prints "N passed, M failed"; exits non-zero on any failure.
#   tests/browser/run.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:?"uzycie: tests/browser/run.sh BUILD_DIR"}
program="$build/tools/terraweft-host"
fake="$build/tests/tw_fake_lidar"
for needed in "$program" "$fake"; do
  if [ ! -x "$needed" ]; then
    echo "Brak $needed: najpierw zbuduj projekt." >&2
    echo "0 passed, 1 failed"
    exit 1
  fi
done

work=$(mktemp -d)
host_pid=""
fake_pid=""
cleanup() {
  for pid in $host_pid $fake_pid; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Waits until the file has at least n lines, while the process lives.
wait_lines() {
  local file=$1 n=$2 pid=$3
  for _ in $(seq 300); do
    [ "$(wc -l <"$file")" -ge "$n" ] && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

"$fake" >"$work/fake.out" 2>"$work/fake.err" &
fake_pid=$!
if ! wait_lines "$work/fake.out" 2 "$fake_pid"; then
  echo "tw_fake_lidar nie wystartowal:" >&2
  cat "$work/fake.out" "$work/fake.err" >&2
  echo "0 passed, 1 failed"
  exit 1
fi
lidar_url=$(sed -n 1p "$work/fake.out")
points=$(sed -n 2p "$work/fake.out")

mkdir -p "$work/home" "$work/tmp"
HOME="$work/home" TMPDIR="$work/tmp" XDG_DATA_HOME="$work/home/data" \
  TERRAWEFT_GEOPORTAL_URL="$lidar_url" \
  "$program" --serve --cloud >"$work/host.out" 2>"$work/host.err" &
host_pid=$!

# The first two lines of output are the pages' addresses: the map's, then the point cloud's.
if ! wait_lines "$work/host.out" 2 "$host_pid" ||
  ! head -n 2 "$work/host.out" | grep -qE '^http://127\.0\.0\.1:[0-9]+/cloud\.html$'; then
  echo "terraweft-host nie podal adresow stron:" >&2
  cat "$work/host.out" "$work/host.err" >&2
  echo "0 passed, 1 failed"
  exit 1
fi
map_url=$(sed -n 1p "$work/host.out")
cloud_url=$(sed -n 2p "$work/host.out")

mkdir -p tests/browser/artifacts
status=0
total_passed=0
total_failed=0
# Runs one page's script, showing its lines; adds its closing counts to the totals.
run_page() {
  local out=$work/page.out code=0
  node "$@" | tee "$out" | grep -vE '^[0-9]+ passed, [0-9]+ failed$' || true
  code=${PIPESTATUS[0]}
  local counts
  counts=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$out" | tail -n 1 || true)
  if [ -n "$counts" ]; then
    total_passed=$((total_passed + ${counts%% *}))
    counts=${counts#*, }
    total_failed=$((total_failed + ${counts%% *}))
  else
    total_failed=$((total_failed + 1))
  fi
  [ "$code" -eq 0 ] || status=$code
}
run_page tests/browser/palette_pages.js "$map_url" "$work/profile" tests/browser/artifacts
run_page tests/browser/cloud_page.js "$cloud_url" "$work/profile-cloud" tests/browser/artifacts \
  "$work/host.out" "$points"
if [ "$status" -ne 0 ]; then
  echo "--- terraweft-host:" >&2
  cat "$work/host.out" "$work/host.err" >&2
fi
echo "$total_passed passed, $total_failed failed"
exit "$status"
