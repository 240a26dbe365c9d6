#!/usr/bin/env bash
# Configures, builds and runs every test. Widget and GL tests need a display:
# without one the run goes under xvfb-run (Mesa gives a 3.3 core context).
#   scripts/run-tests.sh [BUILD_DIR] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
jobs=$(nproc)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$jobs"

ctest_args=(--test-dir "$build" --output-on-failure -j"$jobs")
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  ctest "${ctest_args[@]}"
else
  xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" ctest "${ctest_args[@]}"
fi
