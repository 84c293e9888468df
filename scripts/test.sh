#!/usr/bin/env bash
# Sets up, builds, and runs the whole test suite under Wine; prints ctest's summary and fails
# when a test fails. Extra arguments go to ctest.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/build.sh"
# Includes run one way, from the program bodies down to the utilities (README, Layout). After the
# build, whose set-up installs python3 on a fresh machine.
python3 "$here/scripts/include_layers.py" "$here"
source "$here/scripts/wine-env.sh"
ensure_wine_prefix
# One display for the whole suite: every test's Wine processes share one wineserver, and none
# may outlive the display it was started on.
start_display
# The Wine server for the whole suite, and Wine's own background processes (services, and the
# desktop's, which the first window starts), started here with no test's output: whichever test
# started them would otherwise lend them its output pipe, and ctest would count that test running
# until the end of the suite.
wineserver -k 2>/dev/null || true
wineserver -p </dev/null >/dev/null 2>&1
wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null; stop_display' EXIT
export WINE_RUN_DISPLAY=$DISPLAY
cd "${BUILD_DIR:-$here/build}"
# Two tests at a time: what tests share and cannot own is declared as RESOURCE_LOCK
# (tests/CMakeLists.txt), so that ctest never runs two of its users at once.
ctest -j2 --output-on-failure "$@"
