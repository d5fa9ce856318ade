#!/usr/bin/env bash
# Configures and builds into build/ (BUILD_DIR overrides) with every core.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
WERROR=OFF
[ "${CI:-}" = "true" ] && WERROR=ON
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNIX_WERROR=$WERROR "$@"
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
