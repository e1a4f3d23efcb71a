#!/usr/bin/env bash
# The palette pages in a real browser: starts terraweft-host --serve from the given build folder
# (in a folder of its own: temporary files, settings and logs stay there), runs each test file
# below against it in headless Chromium, one after another, and stops the program; then the
# same for the point-cloud page, with a second terraweft-host (--serve --cloud) pointed at the
# fake outside services (tw-fake-services). Screenshots go to tests/browser/artifacts/. Prints
# each file's checks, then the sum "N passed, M failed"; exits non-zero on any failure.
#   tests/browser/run.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:?"uzycie: tests/browser/run.sh BUILD_DIR"}
program="$build/tools/terraweft-host"
fakes="$build/tests/tw-fake-services"
for needed in "$program" "$fakes"; do
  if [ ! -x "$needed" ]; then
    echo "Brak $needed: najpierw zbuduj projekt." >&2
    echo "0 passed, 1 failed"
    exit 1
  fi
done

work=$(mktemp -d)
host_pid=""
cloud_pid=""
fakes_pid=""
cleanup() {
  for pid in $host_pid $cloud_pid $fakes_pid; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
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

# The point-cloud page's program: the fakes print the environment that points it at them, then
# their scenario (with the number of points in its LiDAR sheets); its output's second line is
# the point-cloud page's address.
"$fakes" >"$work/fakes.out" 2>"$work/fakes.err" &
fakes_pid=$!
cloud_url=""
for _ in $(seq 300); do
  [ "$(wc -l <"$work/fakes.out")" -ge 2 ] && break
  kill -0 "$fakes_pid" 2>/dev/null || break
  sleep 0.1
done
read -r -a fake_environment <"$work/fakes.out" || true
lidar_points=$(sed -n 2p "$work/fakes.out" | grep -oE '"lidarPoints":[0-9]+' | cut -d: -f2 || true)
mkdir -p "$work/cloud/home" "$work/cloud/tmp"
env HOME="$work/cloud/home" TMPDIR="$work/cloud/tmp" XDG_DATA_HOME="$work/cloud/home/data" \
  "${fake_environment[@]}" "$program" --serve --cloud >"$work/cloud.out" 2>"$work/cloud.err" &
cloud_pid=$!
for _ in $(seq 300); do
  cloud_url=$(sed -n 2p "$work/cloud.out" | grep -E '^http://127\.0\.0\.1:[0-9]+/cloud\.html$' || true)
  [ -n "$cloud_url" ] && break
  kill -0 "$cloud_pid" 2>/dev/null || break
  sleep 0.1
done

mkdir -p tests/browser/artifacts
passed=0
failed=0
# Runs one test file against a page: FILE URL [further arguments]. Each file prints its checks
# and ends with its own "N passed, M failed" line.
run_file() {
  local file=$1 page=$2
  shift 2
  echo "--- $file"
  output=$(node "tests/browser/$file" "$page" "$work/profile-${file%.js}" tests/browser/artifacts "$@") || true
  echo "$output" | sed '$d'
  summary=$(echo "$output" | tail -n 1)
  if [[ "$summary" =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
  else
    echo "FAIL $file ended without its summary: $summary"
    failed=$((failed + 1))
  fi
}

for file in palette_pages.js map_import.js ping_round_trips.js; do
  run_file "$file" "$url"
done
if [ -n "$cloud_url" ] && [ -n "$lidar_points" ]; then
  # The point-cloud page also reads the program's output (its alerts) and the sheets' points.
  run_file cloud_page.js "$cloud_url" "$work/cloud.out" "$lidar_points"
else
  echo "FAIL cloud_page.js: the fakes or the point-cloud page did not start"
  cat "$work/fakes.out" "$work/fakes.err" "$work/cloud.out" "$work/cloud.err" >&2
  failed=$((failed + 1))
fi

if [ "$failed" -ne 0 ]; then
  echo "--- terraweft-host:" >&2
  cat "$work/host.out" "$work/host.err" "$work/cloud.out" "$work/cloud.err" >&2
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
