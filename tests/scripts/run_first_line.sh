#!/usr/bin/env bash
# scripts/run.sh as a user starts it, with the real services and with --demo: the first line on
# its standard output must be the map page's address, whatever setting up and building print;
# with --demo the point-cloud page's, the plan view's and the 3D view's addresses follow. Runs the
# script in a temporary data and temporary-files folder, stops the program and prints
# "N passed, M failed".
#   tests/scripts/run_first_line.sh
set -euo pipefail
cd "$(dirname "$0")/../.."

work=$(mktemp -d)
run_pid=""
stop_run() {
  if [ -n "$run_pid" ]; then
    kill -TERM "$run_pid" 2>/dev/null || true
    wait "$run_pid" 2>/dev/null || true
    run_pid=""
  fi
}
cleanup() {
  stop_run
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
# Starts scripts/run.sh with the given options and checks that its first lines are addresses of
# the pages PAGES (space-separated file names, in order).
check_first_lines() {
  local pages=$1
  shift
  local wanted
  read -ra wanted <<<"$pages"
  rm -rf "$work/data" "$work/tmp"
  mkdir -p "$work/data" "$work/tmp"
  TMPDIR="$work/tmp" XDG_DATA_HOME="$work/data" \
    scripts/run.sh "$@" >"$work/run.out" 2>"$work/run.err" &
  run_pid=$!
  # Setting up and building may take a while when the build is not done yet.
  for _ in $(seq 6000); do
    [ "$(wc -l <"$work/run.out")" -ge "${#wanted[@]}" ] && break  # whole lines
    kill -0 "$run_pid" 2>/dev/null || break
    sleep 0.1
  done
  stop_run
  local lines i
  mapfile -t lines < <(head -n "${#wanted[@]}" "$work/run.out")
  for i in "${!wanted[@]}"; do
    if ! [[ "${lines[i]:-}" =~ ^http://127\.0\.0\.1:[0-9]+/${wanted[i]//./\\.}$ ]]; then
      echo "scripts/run.sh${*:+ $*}: line $((i + 1)) is not the ${wanted[i]} address: '${lines[i]:-}'" >&2
      cat "$work/run.out" "$work/run.err" >&2
      failed=$((failed + 1))
      return
    fi
  done
  echo "scripts/run.sh${*:+ $*}: first lines ${lines[*]}"
  passed=$((passed + 1))
}

check_first_lines "map.html"
check_first_lines "map.html cloud.html plan.html 3d.html" --demo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
