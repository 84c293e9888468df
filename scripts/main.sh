#!/usr/bin/env bash
# The main job: set up and build; build the sample plug-in package with the package builder and
# install it silently ("-s") under Wine; then build the sample character package and install it
# interactively, the wizard tour answering every step as a user would and saving a screenshot of
# each. Prints what was installed, the exit codes and where the screenshots are; fails when
# either installation fails.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/build.sh"
build=${BUILD_DIR:-$here/build}
bin=$build/bin
sample=$here/examples/sample-plugin
work=$build/sample
rm -rf "$work"
mkdir -p "$work"

# --- the sample plug-in, installed silently --------------------------------------------------

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

# --- the sample character, installed through the wizard -------------------------------------

character=$here/examples/sample-character
stage=$work/sample-character
cp -r "$character/package" "$stage"
# The repository keeps text in UTF-8 with LF; the installer and the host read Shift-JIS with
# CR LF (the agreement page shows license.txt as it is).
find "$stage" -type f \( -name '*.txt' -o -name '*.mrl' \) -print0 |
    while IFS= read -r -d '' file; do
        sed 's/$/\r/' "$file" | iconv -f UTF-8 -t CP932 > "$file.cp932"
        mv "$file.cp932" "$file"
    done
iconv -f UTF-8 -t CP932 "$character/setting.ini" > "$work/sample-character.ini"
# The package's uninstaller is our own small program, packed under the name the installer expects.
cp "$bin/sample_uninstaller.exe" "$stage/\$preextractdir\$/chruinst.ex_"
"$here/scripts/wine-run.sh" "$bin/mkpackage.exe" "$stage" "$work/sample-character.ini" \
    "$bin/setup.exe" "$work/sample-character-setup.exe"
echo "members of the character package, in archive order:"
"$here/scripts/wine-run.sh" "$bin/mkpackage.exe" --list "$work/sample-character-setup.exe" |
    iconv -f CP932 -t UTF-8

screenshots=$build/screenshots
rm -rf "$screenshots"
mkdir -p "$screenshots"
set +e
"$here/scripts/wine-run.sh" "$bin/wizard_tour.exe" "$work/sample-character-setup.exe" \
    "$work/sample-character.ini" "$screenshots" 2>&1 | iconv -f CP932 -t UTF-8
character_rc=${PIPESTATUS[0]}
set -e
host="$WINEPREFIX/drive_c/Program Files/calderex/Ombrevine"
echo "installed into $host:"
(cd "$host" 2>/dev/null && find samplehouse chruinst.exe -type f 2>/dev/null | sort) || true
echo "screenshots of the wizard in $screenshots:"
ls -1 "$screenshots" | sed 's/^/  /'
echo "wizard tour of sample-character-setup.exe exited with $character_rc"

[ "$rc" = 0 ] || exit "$rc"
exit "$character_rc"
