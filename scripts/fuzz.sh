#!/usr/bin/env bash
# Fuzzes the seal check, the archive reader, the extractor and the member-name check for a
# bounded time: random mutations of the tests' archives (hostile, damaged and sealed ones among
# them) fed to the installer's own code under Wine. Not part of the tests. Prints executions and
# crashes; a crashing input is kept in build/fuzz/crash-N.bin.
#   scripts/fuzz.sh [SECONDS] [RANDOM_SEED]     (default 300 seconds)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
random_seed=${2:-$RANDOM}
bash "$here/scripts/setup.sh" >/dev/null
build=${BUILD_DIR:-$here/build}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target archive_fuzz archive_fixtures >/dev/null
source "$here/scripts/wine-env.sh"
ensure_wine_prefix
out=$build/fuzz
mkdir -p "$out"
seeds=$(winepath -w "$build/test-data/archive")
crashes=$(winepath -w "$out")
echo "fuzzing for $seconds s with random seed $random_seed"
set +e
"$here/scripts/wine-run.sh" "$build/bin/archive_fuzz.exe" "$seeds" "$crashes" "$seconds" "$random_seed"
rc=$?
set -e
ls "$out"/crash-*.bin 2>/dev/null && echo "crashing inputs kept in $out" || true
exit $rc
