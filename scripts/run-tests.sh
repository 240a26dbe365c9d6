#!/usr/bin/env bash
# Configures, builds and runs every test. Widget and GL tests run on a
# virtual screen (xvfb-run; Mesa gives a 3.3 core context), so no window
# opens on the user's display. LUMO_TEST_DISPLAY=1 runs them on $DISPLAY
# instead, to watch them.
#   scripts/run-tests.sh [BUILD_DIR] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
jobs=$(nproc)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$jobs"

ctest_args=(--test-dir "$build" --output-on-failure -j"$jobs")
if [ "${LUMO_TEST_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
  ctest "${ctest_args[@]}"
else
  xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" ctest "${ctest_args[@]}"
fi
