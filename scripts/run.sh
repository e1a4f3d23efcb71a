#!/usr/bin/env bash
# The main job: builds the stand-in host with the add-on loaded, opens the map palette and
# serves its page on 127.0.0.1; the first line printed is the page's address. With --demo the
# program answers the add-on's requests itself, from a demo town it generates (no outside service
# is asked), and opens the point-cloud page too; without it the add-on asks the real services.
# What setting up and building print goes to standard error, so that standard output holds only
# the program's lines.
#   scripts/run.sh [--demo] [--cloud] [--port N]
set -euo pipefail
cd "$(dirname "$0")/.."
{
  TW_WITH_BROWSER=1 scripts/setup.sh
  cmake -S . -B build -G Ninja
  cmake --build build -j "$(nproc)" --target terraweft-host
} >&2
exec build/tools/terraweft-host --serve "$@"
