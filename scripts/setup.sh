#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on Debian 12, and only what is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git clang-tidy
  qt6-base-dev libqt6opengl6-dev qt6-charts-dev libxkbcommon-dev
  libqt6sql6-sqlite libsqlite3-dev libqt6sql6-psql libqt6sql6-odbc
  libpugixml-dev libopencc-dev opencc libzip-dev
  unixodbc-dev odbc-postgresql tdsodbc
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-wqy-microhei postgresql sqlite3 poppler-utils xvfb xauth python3
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
