#!/usr/bin/env bash
# Configures and builds into build/ (BUILD_DIR overrides) with every core. CI treats warnings as errors;
# elsewhere the build directory keeps whatever it was configured with.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
options=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
[ "${CI:-}" = "true" ] && options+=(-DTARNIX_WERROR=ON)
if [ -f "$BUILD_DIR/CMakeCache.txt" ] && ! grep -q "CMAKE_GENERATOR:INTERNAL=Ninja" "$BUILD_DIR/CMakeCache.txt"; then
  echo "$BUILD_DIR was configured with another generator; configure it anew or set BUILD_DIR" >&2
  exit 1
fi
cmake -S . -B "$BUILD_DIR" "${options[@]}" "$@"
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
