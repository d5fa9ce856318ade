#!/usr/bin/env bash
# Set-up, build, then open the product on its embedded default: a fresh demo company (SQLite) in
# build/demo, loaded by the host program, which opens the scheduling workbench. Extra arguments go to
# tarnix-client. TARNIX_UI_CODE_PAGE=437 makes the demo an English workstation (default 936, Chinese).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
DEMO_DIR=${TARNIX_DEMO_DIR:-$BUILD_DIR/demo}
rm -rf "$DEMO_DIR"
UI_CODE_PAGE=${TARNIX_UI_CODE_PAGE:-936}
"$BUILD_DIR/bin/tarnix-demo" "$DEMO_DIR" --ui-code-page "$UI_CODE_PAGE"
# The workstation's system has the interface's code page (a Chinese system for the Chinese demo).
export TARNIX_ACP=${TARNIX_ACP:-$UI_CODE_PAGE}
DEMO_DIR=$(cd "$DEMO_DIR" && pwd)

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  # No screen here: run the same program offscreen, query the main factory and leave a screenshot.
  echo "No display found: running offscreen; the workbench is saved to $DEMO_DIR/screenshot.png"
  export QT_QPA_PLATFORM=offscreen
  printf 'query F01\nselect 0\nshot %s\nclose\n' "$DEMO_DIR/screenshot.png" > "$DEMO_DIR/run.script"
  exec "$BUILD_DIR/bin/tarnix-client" --install "$DEMO_DIR" --script "$DEMO_DIR/run.script" "$@"
fi
exec "$BUILD_DIR/bin/tarnix-client" --install "$DEMO_DIR" "$@"
