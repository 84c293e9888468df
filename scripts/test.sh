#!/usr/bin/env bash
# Sets up, builds, and runs the whole test suite under Wine; prints ctest's summary and fails
# when a test fails. Extra arguments go to ctest.
#   TEST_ROUNDS=N        runs the suite N times in a row, stopping at the first failing round.
#   TEST_FOREIGN_BOX=1   keeps a program that is not the suite's waiting at its question box
#                        (captioned 確認) on the suite's display throughout, and fails when a test
#                        answered or closed it: tests touch only the windows of their own programs.
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
build_dir=${BUILD_DIR:-$here/build}
cd "$build_dir"

foreign_pid=
if [ "${TEST_FOREIGN_BOX:-0}" = 1 ]; then
    # The sample plug-in's installer, which asks first whether to install: it stays at that box.
    foreign=$build_dir/foreign-box
    rm -rf "$foreign" && mkdir -p "$foreign"
    sample=$here/examples/sample-plugin
    wine "$build_dir/bin/mkpackage.exe" "$sample/package" "$sample/setting.ini" \
        "$build_dir/bin/setup.exe" "$foreign/setup.exe" >/dev/null 2>&1
    wine "$foreign/setup.exe" </dev/null >/dev/null 2>&1 &
    foreign_pid=$!
    until xwininfo -root -tree | grep -q '"確認": ("setup.exe"'; do
        kill -0 "$foreign_pid" 2>/dev/null || { echo "test: the foreign program ended" >&2; exit 1; }
        sleep 0.2
    done
    trap 'kill $foreign_pid 2>/dev/null; wineserver -k 2>/dev/null; stop_display' EXIT
fi

# Two tests at a time: what tests share and cannot own is declared as RESOURCE_LOCK
# (tests/CMakeLists.txt), so that ctest never runs two of its users at once.
rounds=${TEST_ROUNDS:-1}
for ((round = 1; round <= rounds; round++)); do
    [ "$rounds" = 1 ] || echo "test: round $round of $rounds"
    ctest -j2 --output-on-failure "$@"
done
if [ -n "$foreign_pid" ] && ! kill -0 "$foreign_pid" 2>/dev/null; then
    echo "test: the foreign program's question box was answered or closed during the suite" >&2
    exit 1
fi
