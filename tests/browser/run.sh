#!/usr/bin/env bash
# The palette pages in a real browser: starts terraweft-host --serve from the given build folder
# (in a folder of its own: temporary files, settings and logs stay there), runs each test file
# below against it in headless Chromium, one after another, and stops the program. Screenshots
# go to tests/browser/artifacts/. Prints each file's checks, then the sum "N passed, M failed";
# exits non-zero on any failure.
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

# Each file prints its checks and ends with its own "N passed, M failed" line.
files=(palette_pages.js map_import.js)

mkdir -p tests/browser/artifacts
passed=0
failed=0
for file in "${files[@]}"; do
  echo "--- $file"
  output=$(node "tests/browser/$file" "$url" "$work/profile-${file%.js}" tests/browser/artifacts) || true
  echo "$output" | sed '$d'
  summary=$(echo "$output" | tail -n 1)
  if [[ "$summary" =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
  else
    echo "FAIL $file ended without its summary: $summary"
    failed=$((failed + 1))
  fi
done

if [ "$failed" -ne 0 ]; then
  echo "--- terraweft-host:" >&2
  cat "$work/host.out" "$work/host.err" >&2
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
