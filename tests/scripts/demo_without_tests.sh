#!/usr/bin/env bash
# The program builds and serves its demo without tests/: copies the work tree (the files git
# tracks and the new ones it does not ignore) less tests/ to a temporary folder, configures it
# with -DTW_TESTS=OFF, builds terraweft-host alone and starts `terraweft-host --serve --demo`;
# its first lines must be the four pages' addresses, and the map page's address search must bring
# the demo town's suggestions, which the demo's geocoder serves. Stops the program and prints
# "N passed, M failed".
#   tests/scripts/demo_without_tests.sh
set -euo pipefail
cd "$(dirname "$0")/../.."

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
fail() {
  echo "demo without tests/: $1" >&2
  cat "$work/host.out" "$work/host.err" >&2 2>/dev/null || true
  failed=$((failed + 1))
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ] && exit 0
  exit 1
}

# Waits up to 30 s until FILE holds PATTERN (an extended regular expression).
wait_for() {
  local _
  for _ in $(seq 300); do
    grep -Eq "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

tree="$work/tree"
mkdir -p "$tree" "$work/data" "$work/tmp"
git ls-files -z --cached --others --exclude-standard -- ':!:tests/' |
  tar --null -T - --ignore-failed-read -cf - | tar -xf - -C "$tree"
ln -s "$PWD/node_modules" "$tree/node_modules"  # the page libraries, installed by npm ci
# A Debug build: what is checked is what the build needs, and unoptimised code compiles faster.
cmake -S "$tree" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTW_TESTS=OFF -DTW_WERROR=ON \
  >"$work/build.log"
cmake --build "$work/build" -j "$(nproc)" --target terraweft-host >>"$work/build.log" ||
  { cat "$work/build.log" >&2; exit 1; }

TMPDIR="$work/tmp" XDG_DATA_HOME="$work/data" \
  "$work/build/tools/terraweft-host" --serve --demo >"$work/host.out" 2>"$work/host.err" &
pids+=($!)
address='http://127\.0\.0\.1:[0-9]+/'
if wait_for "$work/host.out" "${address}3d\.html" &&
   [[ "$(head -4 "$work/host.out" | tr '\n' ' ')" =~ ^${address}map\.html\ ${address}cloud\.html\ ${address}plan\.html\ ${address}3d\.html\ $ ]]; then
  passed=$((passed + 1))
else
  fail "the first lines are not the addresses of the map, point-cloud, plan and 3D pages"
  finish
fi

# The page's side of the channel, as the map page's own script speaks it.
origin=$(head -1 "$work/host.out")
origin=${origin%/map.html}
curl -sN "$origin/__terraweft/events" >"$work/events" &
pids+=($!)
if ! wait_for "$work/events" '.'; then
  fail "the map page's event stream did not open"
  finish
fi
curl -sf -X POST -H 'X-Terraweft-Channel: 1' -H 'Content-Type: text/plain;charset=utf-8' \
  --data '{"type":"searchAddressSuggest","query":"Rynek"}' \
  "$origin/__terraweft/call?o=GIS&f=postMessage&t=string" >/dev/null
if wait_for "$work/events" 'addressSuggestions.*Dynow|Dynow.*addressSuggestions'; then
  passed=$((passed + 1))
else
  fail "the address search brought no suggestion of the demo town"
fi
finish
