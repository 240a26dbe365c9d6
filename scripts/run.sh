#!/usr/bin/env bash
# Builds (Release) yuvlumo, yuvlumo-cli and lumo-service, then starts yuvlumo
# with the local web service beside it (unless something already listens on
# its port). Without a display the program starts under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLUMO_BUILD_TESTS=OFF -DLUMO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target yuvlumo yuvlumo-cli lumo-service

data="${XDG_DATA_HOME:-$HOME/.local/share}/yuvlumo"
mkdir -p "$data"
# If the port is taken (a service already running), this one just exits.
"./$build/service/lumo-service" --db "$data/lumo-service.sqlite" --quiet >"$data/lumo-service.log" 2>&1 &
service_pid=$!
trap 'kill "$service_pid" 2>/dev/null || true' EXIT

if [ -n "${DISPLAY:-}" ]; then
  "./$build/app/yuvlumo"
else
  xvfb-run -a -s "-screen 0 1920x1080x24" "./$build/app/yuvlumo"
fi
