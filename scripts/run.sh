#!/usr/bin/env bash
# Set-up, build, then open the product on its embedded default: a fresh demo company (SQLite) in
# build/demo, loaded by the host program. Extra arguments go to tarnix-client.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
DEMO_DIR=${TARNIX_DEMO_DIR:-$BUILD_DIR/demo}
rm -rf "$DEMO_DIR"
"$BUILD_DIR/bin/tarnix-demo" "$DEMO_DIR"
DEMO_DIR=$(cd "$DEMO_DIR" && pwd)

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  # No screen here: run the same program offscreen and leave a screenshot to look at.
  echo "No display found: running offscreen; the window is saved to $DEMO_DIR/screenshot.png"
  export QT_QPA_PLATFORM=offscreen
  exec "$BUILD_DIR/bin/tarnix-client" --install "$DEMO_DIR" --screenshot "$DEMO_DIR/screenshot.png" \
    --auto-close 3000 "$@"
fi
exec "$BUILD_DIR/bin/tarnix-client" --install "$DEMO_DIR" "$@"
