#!/usr/bin/env bash
# scripts/run.sh as a user starts it: the first line on its standard output must be the map
# page's address, whatever setting up and building print. Runs the script in a temporary data
# and temporary-files folder, stops the program and prints "N passed, M failed".
#   tests/scripts/run_first_line.sh
set -euo pipefail
cd "$(dirname "$0")/../.."

work=$(mktemp -d)
run_pid=""
cleanup() {
  if [ -n "$run_pid" ]; then
    kill -TERM "$run_pid" 2>/dev/null || true
    wait "$run_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/data" "$work/tmp"
TMPDIR="$work/tmp" XDG_DATA_HOME="$work/data" \
  scripts/run.sh >"$work/run.out" 2>"$work/run.err" &
run_pid=$!

# Setting up and building may take a while when the build is not done yet.
for _ in $(seq 6000); do
  [ "$(wc -l <"$work/run.out")" -ge 1 ] && break  # a whole first line
  kill -0 "$run_pid" 2>/dev/null || break
  sleep 0.1
done
first=$(head -n 1 "$work/run.out")
if [[ "$first" =~ ^http://127\.0\.0\.1:[0-9]+/map\.html$ ]]; then
  echo "scripts/run.sh: first line $first"
  echo "1 passed, 0 failed"
else
  echo "scripts/run.sh: first line is not the page's address: '$first'" >&2
  cat "$work/run.out" "$work/run.err" >&2
  echo "0 passed, 1 failed"
  exit 1
fi
