#!/usr/bin/env bash
# Sets up, builds, and runs the whole test suite under Wine; prints ctest's summary and fails
# when a test fails.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/build.sh"
cd "${BUILD_DIR:-$here/build}"
# Wine's file operations cost wineserver round trips, several times cheaper on a single CPU.
taskset -c 0 ctest --output-on-failure "$@"
