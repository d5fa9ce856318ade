#!/usr/bin/env bash
# The naming check of .clang-tidy (parameters camelCase) over the project's own sources.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
ROOT=$(pwd)

# Every folder of the project's own sources.
FOLDERS=(platform support lang controls gantt frame optionforms workbench plugin host bench)

if [ ! -f "$BUILD_DIR/compile_commands.json" ]; then
  echo "tidy: $BUILD_DIR/compile_commands.json is missing; configure the build first" >&2
  exit 1
fi

# The sources of those folders that this build compiles (an optional peer benchmark may be left out).
folders="$(IFS='|'; echo "${FOLDERS[*]}")"
mapfile -t sources < <(grep -o '"file": "[^"]*\.cpp"' "$BUILD_DIR/compile_commands.json" | sed 's/^"file": "//; s/"$//' |
  grep -E "^$ROOT/($folders)/" | grep -v '_autogen/' | sort -u)
filter="^$ROOT/($folders)/.*\$"

# One clang-tidy per core; any finding fails the run.
printf '%s\n' "${sources[@]}" |
  xargs -P "$(nproc)" -n 4 clang-tidy -p "$BUILD_DIR" --quiet --header-filter="$filter"
