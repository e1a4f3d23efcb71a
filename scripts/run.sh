#!/usr/bin/env bash
# The main job: builds the stand-in host with the add-on loaded, opens the map palette and
# serves its page on 127.0.0.1; the first line printed is the page's address. What setting up
# and building print goes to standard error, so that standard output holds only the program's
# lines.
set -euo pipefail
cd "$(dirname "$0")/.."
{
  TW_WITH_BROWSER=1 scripts/setup.sh
  cmake -S . -B build -G Ninja
  cmake --build build -j "$(nproc)" --target terraweft-host
} >&2
exec build/tools/terraweft-host --serve "$@"
