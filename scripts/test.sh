#!/usr/bin/env bash
# Sets up, builds, and runs the whole test suite under Wine; prints ctest's summary and fails
# when a test fails. Extra arguments go to ctest.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/build.sh"
source "$here/scripts/wine-env.sh"
ensure_wine_prefix
# One display for the whole suite: every test's Wine processes share one wineserver, and none
# may outlive the display it was started on.
start_display
trap stop_display EXIT
export WINE_RUN_DISPLAY=$DISPLAY
cd "${BUILD_DIR:-$here/build}"
# Wine's file operations cost wineserver round trips, several times cheaper on a single CPU.
taskset -c 0 ctest --output-on-failure "$@"
