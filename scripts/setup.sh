#!/usr/bin/env bash
# Installs what building, running and testing need, when it is missing (Debian 12, as root or
# with sudo), and the page libraries from npm.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

packages=(build-essential cmake ninja-build pkg-config git
          nlohmann-json3-dev libpugixml-dev libcurl4-openssl-dev libzip-dev libcgal-dev
          libcpp-httplib-dev libgtest-dev libgmock-dev libbenchmark-dev
          libproj-dev libssl-dev zlib1g-dev zip curl)
# Node.js may come from elsewhere than Debian (with its own npm): ask for it only when missing.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)
if [ "${TW_WITH_BROWSER:-0}" = 1 ]; then
  packages+=(chromium chromium-driver xdg-utils)
fi
# The fuzz build (tests/support/README.md): clang with its libFuzzer and sanitizer runtime.
if [ "${TW_WITH_FUZZ:-0}" = 1 ]; then
  packages+=(clang libclang-rt-14-dev)
fi

# A decimal-comma locale, for the tests that read numbers while the process has one set.
command -v locale-gen >/dev/null 2>&1 || packages+=(locales)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^pl_PL\.utf-\?8$'; then
  $sudo sed -i 's/^# *\(pl_PL\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^pl_PL.UTF-8 UTF-8' /etc/locale.gen || echo 'pl_PL.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi

if [ -f package-lock.json ] && { [ ! -d node_modules ] || [ package-lock.json -nt node_modules/.package-lock.json ]; }; then
  npm ci --no-audit --no-fund
fi
