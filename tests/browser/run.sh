#!/usr/bin/env bash
# The palette pages in a real browser: starts the fake outside services of the built-in scenario
# (tw-fake-services) and terraweft-host --serve --cloud pointed at them, both from the given build folder
# (the program in a folder of its own: temporary files, settings and logs stay there), runs each
# test file below against it in headless Chromium, one after another, and stops them all, also
# when a step fails. A second pair, whose county lists no buildings, serves the fallback checks.
# Screenshots go to tests/browser/artifacts/. Prints each file's checks, then the sum
# "N passed, M failed"; exits non-zero on any failure.
#   tests/browser/run.sh BUILD_DIR
#
# Each file is run as `node FILE PAGE_URL PROFILE_DIR ARTIFACTS_DIR` (the point-cloud page's
# address for cloud_page.js, the plan view's for project_views.js, the map page's for the others)
# with, in its environment,
# TW_SCENARIO (the scenario as JSON: its frame, TERYT, a known address, the frame's centre with its
# terrain height and the points of its LiDAR sheets), TW_FALLBACK_PAGE_URL (the map page of the
# program whose county lists no buildings), and TW_HOST_COMMANDS and TW_HOST_OUTPUT: the named
# pipe that is the main program's standard input (scripted-mode commands such as {"cmd":"dump"}
# and {"cmd":"undo"}) and the file its standard output goes to (their events, report lines and
# alerts).
set -euo pipefail
cd "$(dirname "$0")/../.."

# Ends the run before any test file, with the reason on standard error.
give_up() {
  echo "$1" >&2
  echo "0 passed, 1 failed"
  exit 1
}

build=${1:?"uzycie: tests/browser/run.sh BUILD_DIR"}
program="$build/tools/terraweft-host"
fakes="$build/tests/tw-fake-services"
for needed in "$program" "$fakes"; do
  [ -x "$needed" ] || give_up "Brak $needed: najpierw zbuduj projekt."
done

work=$(mktemp -d)
names=() # the started programs, in order
pids=()

# Stops the programs, the last started first, so that no program outlives the fakes it asks.
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Starts a command in the background as NAME; its output goes to $work/NAME.out and .err, its
# input comes from the named pipe $work/NAME.in (held open by the command itself, so that writers
# come and go).
start() {
  local name=$1
  shift
  mkfifo "$work/$name.in"
  "$@" <>"$work/$name.in" >"$work/$name.out" 2>"$work/$name.err" &
  names+=("$name")
  pids+=($!)
}

# Waits for the first COUNT lines of the output of NAME, the program started last (it prints them
# when ready), and puts them in the array `lines`; gives up when the program ends or takes more
# than 30 s.
await_lines() {
  local name=$1 count=$2 pid=${pids[-1]}
  for _ in $(seq 300); do
    if [ "$(wc -l <"$work/$name.out")" -ge "$count" ]; then
      mapfile -t lines < <(head -n "$count" "$work/$name.out")
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  give_up "$name nie wystartowal: $(cat "$work/$name.out" "$work/$name.err")"
}

# Starts the fakes (with the given options) and a program pointed at them as NAME; sets
# `page_url` to the program's map page, `cloud_url` to its point-cloud page, `plan_url` to its
# plan view and `scenario` to the fakes' description.
start_pair() {
  local name=$1
  shift
  start "$name-fakes" "$fakes" "$@"
  await_lines "$name-fakes" 2
  local assignments
  read -ra assignments <<<"${lines[0]}"
  scenario=${lines[1]}
  mkdir -p "$work/$name/home" "$work/$name/tmp"
  start "$name" env "${assignments[@]}" HOME="$work/$name/home" TMPDIR="$work/$name/tmp" \
    XDG_DATA_HOME="$work/$name/home/data" "$program" --serve --cloud
  await_lines "$name" 4
  page_url=${lines[0]}
  cloud_url=${lines[1]}
  plan_url=${lines[2]}
  [[ "$page_url" =~ ^http://127\.0\.0\.1:[0-9]+/ && "$cloud_url" =~ ^http://127\.0\.0\.1:[0-9]+/ ]] ||
    give_up "$name nie podal adresow stron: $page_url $cloud_url"
}

start_pair fallback --no-buildings
export TW_FALLBACK_PAGE_URL=$page_url
start_pair main
export TW_SCENARIO=$scenario
export TW_HOST_COMMANDS=$work/main.in TW_HOST_OUTPUT=$work/main.out

mkdir -p tests/browser/artifacts
passed=0
failed=0
# Runs one test file against a page. Each file prints its checks and ends with its own
# "N passed, M failed" line.
run_file() {
  local file=$1 url=$2
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
}

for file in palette_pages.js map_import.js ping_round_trips.js; do
  run_file "$file" "$page_url"
done
run_file cloud_page.js "$cloud_url"
run_file project_views.js "$plan_url"

if [ "$failed" -ne 0 ]; then
  for name in "${names[@]}"; do
    echo "--- $name:" >&2
    cat "$work/$name.out" "$work/$name.err" >&2
  done
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
