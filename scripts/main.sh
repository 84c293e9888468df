#!/usr/bin/env bash
# The main job: set up, build the installer and run it under Wine; prints its exit code.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/build.sh"
bin=${BUILD_DIR:-$here/build}/bin
set +e
"$here/scripts/wine-run.sh" "$bin/setup.exe" "$@"
rc=$?
set -e
echo "setup.exe exited with $rc"
exit $rc
