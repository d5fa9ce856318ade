#!/bin/sh
# Builds and runs the KGantt peer of bench_gantt. Installs libkgantt-dev (Qt 5) when missing; it is
# kept out of the project's package list so that ordinary build machines stay free of Qt 5.
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${BUILD_DIR:-${TMPDIR:-/tmp}/tarnix-kgantt-peer}
if ! dpkg -s libkgantt-dev >/dev/null 2>&1; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd=sudo
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends libkgantt-dev qtbase5-dev
fi
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build"
if [ ! -x "$build/bench_gantt_kgantt" ]; then
    echo "KGantt peer not built (packages missing)" >&2
    exit 0
fi
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bench_gantt_kgantt" "$@"
