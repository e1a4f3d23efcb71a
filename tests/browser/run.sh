#!/usr/bin/env bash
# The palette pages in a real browser: starts the fake outside services of the built-in scenario
# (tw-fake-services) from the given build folder, and for each test file below a program of its
# own, terraweft-host --serve --cloud pointed at them (in a folder of its own: its project,
# download cache, temporary files, settings and logs belong to that file alone, so no file sees
# what another one did); runs the file against it in headless Chromium, then stops the program.
# A second pair of fakes and program, whose county lists no buildings, serves the fallback checks;
# demo_town.js runs against a program started with --demo, which serves its own demo area instead.
# Everything started is stopped, also when a step fails. Screenshots go to
# tests/browser/artifacts/. Prints each file's checks, then the sum "N passed, M failed"; exits
# non-zero on any failure.
#   tests/browser/run.sh BUILD_DIR
#
# Each file is run as `node FILE PAGE_URL PROFILE_DIR ARTIFACTS_DIR` (the point-cloud page's
# address for cloud_page.js, the plan view's for project_views.js, the map page's for the others)
# with, in its environment,
# TW_SCENARIO (the scenario as JSON: its frame, TERYT, a known address, the frame's centre with its
# terrain height and the points of its LiDAR sheets), TW_FALLBACK_PAGE_URL (the map page of the
# program whose county lists no buildings), and TW_HOST_COMMANDS and TW_HOST_OUTPUT: the named
# pipe that is the file's program's standard input (scripted-mode commands such as {"cmd":"dump"}
# and {"cmd":"undo"}) and the file its standard output goes to (their events, report lines and
# alerts).
set -euo pipefail
cd "$(dirname "$0")/../.."

passed=0
failed=0
# Ends the run at once, with the reason on standard error and the checks so far in the sum.
give_up() {
  echo "$1" >&2
  echo "$passed passed, $((failed + 1)) failed"
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

# Starts the fakes (with the given options) as NAME; sets `assignments` to the variables that
# point a program at them and `scenario` to their description.
start_fakes() {
  local name=$1
  shift
  start "$name" "$fakes" "$@"
  await_lines "$name" 2
  read -ra assignments <<<"${lines[0]}"
  scenario=${lines[1]}
}

# Starts a program as NAME, in a folder of its own, with serve mode's option FLAG (--cloud, or
# --demo: the program's own demo area answers instead of the fakes, and both pages open too) and
# the given variable assignments; sets `page_url` to its map page, `cloud_url` to its
# point-cloud page and `plan_url` to its plan view.
start_program() {
  local name=$1 flag=$2
  shift 2
  mkdir -p "$work/$name/home" "$work/$name/tmp"
  start "$name" env "$@" HOME="$work/$name/home" TMPDIR="$work/$name/tmp" \
    XDG_DATA_HOME="$work/$name/home/data" "$program" --serve "$flag"
  await_lines "$name" 4
  page_url=${lines[0]}
  cloud_url=${lines[1]}
  plan_url=${lines[2]}
  [[ "$page_url" =~ ^http://127\.0\.0\.1:[0-9]+/ && "$cloud_url" =~ ^http://127\.0\.0\.1:[0-9]+/ ]] ||
    give_up "$name nie podal adresow stron: $page_url $cloud_url"
}

# Stops the command started last and forgets it; its output stays for the report.
stop_last() {
  local pid=${pids[-1]}
  unset 'pids[-1]'
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

start_fakes fallback-fakes --no-buildings
start_program fallback --cloud "${assignments[@]}"
export TW_FALLBACK_PAGE_URL=$page_url
start_fakes main-fakes
main_assignments=("${assignments[@]}")
export TW_SCENARIO=$scenario

mkdir -p tests/browser/artifacts
# Runs one test file against the map page, the point-cloud page or the plan view (PAGE "map",
# "cloud" or "plan") of a program started for it alone, pointed at the main fakes or, with the
# third argument --demo, serving its demo area. Each file prints its checks and ends with its own
# "N passed, M failed" line.
run_file() {
  local file=$1 page=$2 flag=${3:---cloud} name=${1%.js}
  local assignments=("${main_assignments[@]}")
  [ "$flag" = --demo ] && assignments=()
  echo "--- $file"
  start_program "$name" "$flag" "${assignments[@]}"
  local url=$page_url
  case $page in
    cloud) url=$cloud_url ;;
    plan) url=$plan_url ;;
  esac
  output=$(TW_HOST_COMMANDS="$work/$name.in" TW_HOST_OUTPUT="$work/$name.out" \
    node "tests/browser/$file" "$url" "$work/profile-$name" tests/browser/artifacts) || true
  stop_last
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
  run_file "$file" map
done
run_file cloud_page.js cloud
run_file project_views.js plan
run_file demo_town.js map --demo

if [ "$failed" -ne 0 ]; then
  for name in "${names[@]}"; do
    echo "--- $name:" >&2
    cat "$work/$name.out" "$work/$name.err" >&2
  done
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
