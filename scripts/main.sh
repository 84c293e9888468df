#!/usr/bin/env bash
# The main job: set up, build the installer and the package builder, build the sample plug-in
# package with the builder, and install it silently ("-s") under Wine. Prints what was installed
# and the installer's exit code.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/build.sh"
build=${BUILD_DIR:-$here/build}
bin=$build/bin
sample=$here/examples/sample-plugin
work=$build/sample
rm -rf "$work"
mkdir -p "$work"

# The installer reads its setting file in Shift-JIS.
iconv -f UTF-8 -t CP932 "$sample/setting.ini" > "$work/setting.ini"
"$here/scripts/wine-run.sh" "$bin/mkpackage.exe" "$sample/package" "$work/setting.ini" \
    "$bin/setup.exe" "$work/sample-plugin-setup.exe"
echo "members of the package, in archive order:"
"$here/scripts/wine-run.sh" "$bin/mkpackage.exe" --list "$work/sample-plugin-setup.exe" | iconv -f CP932 -t UTF-8

set +e
"$here/scripts/wine-run.sh" "$work/sample-plugin-setup.exe" -s
rc=$?
set -e
source "$here/scripts/wine-env.sh"
target="$WINEPREFIX/drive_c/Program Files/calderex/Ombrevine/plugin/sample"
echo "installed into $target:"
(cd "$target" 2>/dev/null && find . -type f | sort) || echo "  (nothing)"
echo "sample-plugin-setup.exe exited with $rc"
exit $rc
