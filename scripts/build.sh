#!/usr/bin/env bash
# Sets up the machine (when needed), configures and builds everything into build/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
build=${BUILD_DIR:-$here/build}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" >/dev/null
fi
cmake --build "$build" -j "$(nproc)" >"$build/build.log" 2>&1 || { tail -n 60 "$build/build.log"; exit 1; }
echo "build: exes in $build/bin"
