#!/usr/bin/env bash
# Installs what building, running and testing need, when it is missing (Debian 12, as root or
# with sudo), and the page libraries from npm.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake ninja-build pkg-config git
          nlohmann-json3-dev libpugixml-dev libcurl4-openssl-dev libzip-dev libcgal-dev
          libcpp-httplib-dev libgtest-dev libgmock-dev libbenchmark-dev
          libproj-dev libssl-dev zip)
# Node.js may come from elsewhere than Debian (with its own npm): ask for it only when missing.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)
if [ "${TW_WITH_BROWSER:-0}" = 1 ]; then
  packages+=(chromium chromium-driver xdg-utils)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

if [ -f package-lock.json ] && { [ ! -d node_modules ] || [ package-lock.json -nt node_modules/.package-lock.json ]; }; then
  npm ci --no-audit --no-fund
fi
