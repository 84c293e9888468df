#!/usr/bin/env bash
# The main job: set up and build; build the sample plug-in package with the package builder from
# its UTF-8 setting file and install it silently ("-s") under Wine; then build the sample character
# package and the sample plug-in with two prerequisites (served by a local HTTP server on
# 127.0.0.1) and install each interactively, the wizard tour answering every step as a user would
# and saving a screenshot of each. Before the second package, a second sample character is
# installed silently and both are removed through the uninstaller's windows (the uninstall tour,
# with screenshots), and the prefix is compared with its state before them. Prints what was
# installed, the exit codes and where the screenshots are; fails when any installation or removal
# fails.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/build.sh"
build=${BUILD_DIR:-$here/build}
bin=$build/bin
sample=$here/examples/sample-plugin
work=$build/sample
rm -rf "$work"
mkdir -p "$work"
source "$here/scripts/wine-env.sh"
ensure_wine_prefix
host="$WINEPREFIX/drive_c/Program Files/calderex/Ombrevine"
# The host folder in Windows' spelling.
host_windows='C:\Program Files\calderex\Ombrevine'
# The packages install into the host folder that the host's registry value InstallPath names
# (the install checks of the prerequisites look only there, they do not fall back to the default
# folder): register the host where it lies by default, as an installed host does.
if ! wine reg add 'HKCU\Software\Calderex\MarlethWare2002' /v InstallPath /d "$host_windows" \
    /f >/dev/null 2>&1; then
    echo "cannot register the host folder in the prefix $WINEPREFIX" >&2
    exit 1
fi
wineserver -w  # nothing started here without a display may outlive this step

# --- the sample plug-in, installed silently --------------------------------------------------

# Its setting file is UTF-8 with a byte-order mark, as editors save it: mkpackage packs it in
# Shift-JIS, the encoding the installer reads, and says so.
"$here/scripts/wine-run.sh" "$bin/mkpackage.exe" "$sample/package" "$sample/setting.ini" \
    "$bin/setup.exe" "$work/sample-plugin-setup.exe"
echo "members of the package, in archive order:"
"$here/scripts/wine-run.sh" "$bin/mkpackage.exe" --list "$work/sample-plugin-setup.exe" | iconv -f CP932 -t UTF-8

# With /log, the installer writes what it did to a log in the user's temporary folder, named
# after the package and the time.
temp_folder=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp | head -n 1)
rm -f "$temp_folder"/sample-plugin-setup-*.log
set +e
"$here/scripts/wine-run.sh" "$work/sample-plugin-setup.exe" -s /log
rc=$?
set -e
target="$host/plugin/sample"
echo "installed into $target:"
(cd "$target" 2>/dev/null && find . -type f | sort) || echo "  (nothing)"
echo "sample-plugin-setup.exe exited with $rc"
log=$(ls "$temp_folder"/sample-plugin-setup-*.log 2>/dev/null | head -n 1)
if [ -z "$log" ]; then
    echo "sample-plugin-setup.exe /log left no log in $temp_folder" >&2
    exit 1
fi
echo "its log (Shift-JIS, CR LF): $log"
iconv -f CP932 -t UTF-8 "$log" | tr -d '\r' | sed 's/^/  /'

# --- the sample characters: installed through the wizard, removed through the uninstaller -----

# Each sample character's text files in Shift-JIS with CR LF, as the installer and the host read
# them (the repository keeps UTF-8 with LF; the agreement page shows license.txt as it is).
stage_character() {
    local source=$1 stage=$2 setting=$3
    cp -r "$source/package" "$stage"
    find "$stage" -type f \( -name '*.txt' -o -name '*.mrl' \) -print0 |
        while IFS= read -r -d '' file; do
            sed 's/$/\r/' "$file" | iconv -f UTF-8 -t CP932 > "$file.cp932"
            mv "$file.cp932" "$file"
        done
    iconv -f UTF-8 -t CP932 "$source/setting.ini" > "$setting"
}
# Neither package brings an uninstaller: mkpackage packs ours (build/bin/chruinst.exe, beside it).
character=$here/examples/sample-character
stage_character "$character" "$work/sample-character" "$work/sample-character.ini"
"$here/scripts/wine-run.sh" "$bin/mkpackage.exe" "$work/sample-character" \
    "$work/sample-character.ini" "$bin/setup.exe" "$work/sample-character-setup.exe"
echo "members of the character package, in archive order:"
"$here/scripts/wine-run.sh" "$bin/mkpackage.exe" --list "$work/sample-character-setup.exe" |
    iconv -f CP932 -t UTF-8
stage_character "$here/examples/sample-character-2" "$work/sample-character-2" \
    "$work/sample-character-2.ini"
"$here/scripts/wine-run.sh" "$bin/mkpackage.exe" "$work/sample-character-2" \
    "$work/sample-character-2.ini" "$bin/setup.exe" "$work/sample-character-2-setup.exe"

# Whatever an earlier run left of the samples goes first, so that the prefix is compared with a
# state without them.
programs_menu=$(find "$WINEPREFIX/drive_c/users" -type d -path '*/Start Menu/Programs' | head -n 1)
rm -rf "$host/samplehouse" "$host/chruinst.exe" "$programs_menu/Ombrevine こはく" \
    "$programs_menu/Ombrevine るり"
# The prefix as a list of files (type, size, checksum, path) outside Windows' own folder and the
# temporary folders, and the host's registry key: what installing and removing must give back.
prefix_files() {
    (cd "$WINEPREFIX/drive_c" &&
        find . \( -path ./windows -o -path '*/Temp' \) -prune -o -printf '%y %s %p\n' |
        LC_ALL=C sort)
    (cd "$WINEPREFIX/drive_c" &&
        find . \( -path ./windows -o -path '*/Temp' \) -prune -o -type f -print0 |
        xargs -0 -r md5sum | LC_ALL=C sort -k 2)
    wine reg query 'HKCU\Software\Calderex' /s 2>/dev/null | tr -d '\r'
    wineserver -w  # nothing started here without a display may outlive this step
}
before_characters=$work/prefix-before-characters.txt
prefix_files > "$before_characters"

screenshots=$build/screenshots
rm -rf "$screenshots"
mkdir -p "$screenshots/character" "$screenshots/uninstall" "$screenshots/prerequisites"
set +e
"$here/scripts/wine-run.sh" "$bin/wizard_tour.exe" "$work/sample-character-setup.exe" \
    "$work/sample-character.ini" "$screenshots/character" 2>&1 | iconv -f CP932 -t UTF-8
character_rc=${PIPESTATUS[0]}
"$here/scripts/wine-run.sh" "$work/sample-character-2-setup.exe" -s
character2_rc=$?
set -e
echo "installed into $host:"
(cd "$host" 2>/dev/null && find samplehouse chruinst.exe -type f 2>/dev/null | sort) || true
echo "screenshots of the wizard in $screenshots/character:"
ls -1 "$screenshots/character" | sed 's/^/  /'
echo "wizard tour of sample-character-setup.exe exited with $character_rc," \
    "sample-character-2-setup.exe -s with $character2_rc"

# The user changed a file of the second character since: the uninstaller keeps it and says so.
changed="$host/samplehouse/ruri/shell/descript.txt"
printf '書き足した一行です。\r\n' | iconv -f UTF-8 -t CP932 >> "$changed"
# The uninstaller the start-menu shortcut starts, without arguments: it lists both characters;
# the tour removes one after the other through its windows.
set +e
"$here/scripts/wine-run.sh" "$bin/uninstall_tour.exe" "$host_windows\\chruinst.exe" \
    "$screenshots/uninstall" "サンプルキャラクター こはく" "サンプルキャラクター るり" 2>&1 |
    iconv -f CP932 -t UTF-8
uninstall_rc=${PIPESTATUS[0]}
set -e
# It removes itself once it has ended (through a copy of itself in the temporary folder).
for _ in $(seq 300); do
    [ -e "$host/chruinst.exe" ] || break
    sleep 0.1
done
echo "screenshots of the uninstaller in $screenshots/uninstall:"
ls -1 "$screenshots/uninstall" | sed 's/^/  /'
echo "uninstall tour exited with $uninstall_rc"
# The prefix is as it was before the characters, but for the file the user changed (and the
# folders that hold it) and the host's values Distributor and Attr, which the installation wrote
# into the host's key and which stay the host's.
after_characters=$work/prefix-after-characters.txt
prefix_files > "$after_characters"
kept='samplehouse/ruri/shell/descript.txt'
differences=$(diff "$before_characters" "$after_characters" | grep '^[<>]' || true)
unexpected=$(grep -v -e '/samplehouse$' -e '/samplehouse/ruri$' -e '/samplehouse/ruri/shell$' \
    -e "/$kept\$" -e '^> *\(Distributor\|Attr\) *REG_SZ' <<<"$differences" || true)
echo "the prefix after removing both characters, against before installing them:"
sed 's/^/  /' <<<"$differences"
if [ -n "$unexpected" ]; then
    echo "  differs in more than the kept file $kept and the host's values" >&2
    uninstall_rc=1
else
    echo "  back as it was, but for the file the user changed ($kept), kept, and the host's"
    echo "  values Distributor and Attr (when they were not there before)"
fi

# --- the same characters on a Windows that is not Japanese -----------------------------------
# Once more with code page 1252 for non-Unicode programs (Wine in the C.UTF-8 locale, as on an
# English Windows): the wizard, the boxes and the uninstaller's windows show the same Japanese
# texts, in screenshots beside the others.
mkdir -p "$screenshots/character-cp1252" "$screenshots/uninstall-cp1252"
set +e
WINE_LOCALE=C.UTF-8 "$here/scripts/wine-run.sh" "$bin/wizard_tour.exe" \
    "$work/sample-character-setup.exe" "$work/sample-character.ini" \
    "$screenshots/character-cp1252" 2>&1 | iconv -c -f CP932 -t UTF-8
cp1252_rc=${PIPESTATUS[0]}
WINE_LOCALE=C.UTF-8 "$here/scripts/wine-run.sh" "$work/sample-character-2-setup.exe" -s
[ "$?" = 0 ] || cp1252_rc=1
WINE_LOCALE=C.UTF-8 "$here/scripts/wine-run.sh" "$bin/uninstall_tour.exe" \
    "$host_windows\\chruinst.exe" "$screenshots/uninstall-cp1252" \
    "サンプルキャラクター こはく" "サンプルキャラクター るり" 2>&1 | iconv -c -f CP932 -t UTF-8
[ "${PIPESTATUS[0]}" = 0 ] || cp1252_rc=1
set -e
for _ in $(seq 300); do
    [ -e "$host/chruinst.exe" ] || break
    sleep 0.1
done
echo "screenshots on code page 1252 in $screenshots/character-cp1252 and" \
    "$screenshots/uninstall-cp1252:"
ls -1 "$screenshots/character-cp1252" "$screenshots/uninstall-cp1252" | sed 's/^/  /'
echo "wizard and uninstall tours on code page 1252 exited with $cp1252_rc"

# --- the sample plug-in with two prerequisites, fetched from a local server ------------------

prerequisites=$here/examples/sample-prerequisites

# The two programs the server offers: copies of our stand-in installer, which leaves the file
# named on its command line behind. Each carries a payload of its own size after its image (as
# a real installer carries its program), so that the sizes on the page differ and the engine's
# download takes many blocks.
served=$work/prerequisite-server
mkdir -p "$served"
cp "$bin/sample_prerequisite.exe" "$served/readaloud-engine-setup.exe"
head -c 1048576 /dev/zero >> "$served/readaloud-engine-setup.exe"
cp "$bin/sample_prerequisite.exe" "$served/readaloud-voice-kohaku-setup.exe"
head -c 262144 /dev/zero >> "$served/readaloud-voice-kohaku-setup.exe"

# The server listens on 127.0.0.1 only, at a free port it reports in a file, and holds the
# engine's download half-way until the wizard tour has pictured it. It is stopped on every way
# out of this script (and ends by itself should the script be killed).
server_pid=
stop_server() {
    [ -n "$server_pid" ] || return 0
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
    server_pid=
}
trap stop_server EXIT
trap 'exit 1' INT TERM HUP
port_file=$work/prerequisite-server.port
python3 "$here/tests/tour/prerequisite_server.py" "$served" "$port_file" \
    --hold readaloud-engine-setup.exe 2>"$work/prerequisite-server.log" &
server_pid=$!

# Whether the server answers a request for its folder's listing.
server_answers() {
    python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], timeout=2)' \
        "$1/" 2>/dev/null
}
server=
for _ in $(seq 100); do
    kill -0 "$server_pid" 2>/dev/null || break
    if [ -s "$port_file" ]; then
        server=http://127.0.0.1:$(cat "$port_file")
        server_answers "$server" && break
        server=
    fi
    sleep 0.1
done
if [ -z "$server" ]; then
    echo "the prerequisites' server did not answer:" >&2
    cat "$work/prerequisite-server.log" >&2
    exit 1
fi
echo "prerequisites served at $server"

# The setting file from its template, with the server's address, the host folder and the
# served programs' sizes and hash; then in Shift-JIS. (sed takes a backslash in a replacement
# as an escape: the folder's are doubled.)
engine=$served/readaloud-engine-setup.exe
voice=$served/readaloud-voice-kohaku-setup.exe
sed -e "s|@SERVER@|$server|g" \
    -e "s|@HOST@|${host_windows//\\/\\\\}|g" \
    -e "s|@ENGINE_SIZE@|$(stat -c %s "$engine")|g" \
    -e "s|@ENGINE_SHA256@|$(sha256sum "$engine" | cut -d ' ' -f 1)|g" \
    -e "s|@VOICE_SIZE@|$(stat -c %s "$voice")|g" \
    "$prerequisites/setting.ini.in" | iconv -f UTF-8 -t CP932 > "$work/sample-prerequisites.ini"
stage=$work/sample-prerequisites
cp -r "$prerequisites/package" "$stage"
"$here/scripts/wine-run.sh" "$bin/mkpackage.exe" "$stage" "$work/sample-prerequisites.ini" \
    "$bin/setup.exe" "$work/sample-prerequisites-setup.exe"

# The programs and the plug-in must be missing, so that the installer offers both programs as
# on a first run.
rm -rf "$host/readaloud" "$host/plugin/readaloud"

set +e
"$here/scripts/wine-run.sh" "$bin/wizard_tour.exe" "$work/sample-prerequisites-setup.exe" \
    "$work/sample-prerequisites.ini" "$screenshots/prerequisites" "$server" 2>&1 |
    iconv -f CP932 -t UTF-8
prerequisites_rc=${PIPESTATUS[0]}
set -e
stop_server
echo "requests to the prerequisites' server:"
sed 's/^/  /' "$work/prerequisite-server.log"
echo "installed into $host:"
(cd "$host" 2>/dev/null && find readaloud plugin/readaloud -type f 2>/dev/null | sort) || true
echo "screenshots of the wizard in $screenshots/prerequisites:"
ls -1 "$screenshots/prerequisites" | sed 's/^/  /'
echo "wizard tour of sample-prerequisites-setup.exe exited with $prerequisites_rc"

[ "$rc" = 0 ] || exit "$rc"
[ "$character_rc" = 0 ] || exit "$character_rc"
[ "$character2_rc" = 0 ] || exit "$character2_rc"
[ "$uninstall_rc" = 0 ] || exit "$uninstall_rc"
[ "$cp1252_rc" = 0 ] || exit "$cp1252_rc"
exit "$prerequisites_rc"
