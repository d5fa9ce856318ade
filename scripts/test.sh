#!/usr/bin/env bash
# Set-up, build, the naming check and the whole test suite; ends on CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
bash scripts/tidy.sh
BUILD_DIR=${BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
cd "$BUILD_DIR"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
