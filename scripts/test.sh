#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, runs every test, checks that
# scripts/run.sh prints the page's address first and that the program builds and serves its demo
# without tests/; then builds the tests again with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs them; then runs the browser test of the palette pages.
set -euo pipefail
cd "$(dirname "$0")/.."
TW_WITH_BROWSER=1 scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DTW_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
tests/scripts/run_first_line.sh
tests/scripts/demo_without_tests.sh

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTW_SANITIZE=ON -DTW_BENCHMARKS=OFF -DTW_WERROR=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

if [ -x tests/browser/run.sh ]; then
  tests/browser/run.sh build
fi
