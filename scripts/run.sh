#!/usr/bin/env bash
# Set-up, build, then run the product on its embedded default.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
exec "$BUILD_DIR/bin/tarnix-selfcheck" "$@"
