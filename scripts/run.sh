#!/usr/bin/env bash
# Builds (Release) and starts yuvlumo. Without a display it starts under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DLUMO_BUILD_TESTS=OFF -DLUMO_BUILD_BENCH=OFF >/dev/null
cmake --build build-release -j"$(nproc)" --target yuvlumo
if [ -n "${DISPLAY:-}" ]; then
  exec ./build-release/app/yuvlumo
else
  exec xvfb-run -a -s "-screen 0 1920x1080x24" ./build-release/app/yuvlumo
fi
