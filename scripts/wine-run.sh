#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix, with the Japanese ANSI code page
# (932, taken from LC_ALL) and a private Xvfb display, and passes the program's exit code through.
#   wine-run.sh PROGRAM.exe [ARGS...]
# WINEPREFIX may be set by the caller; otherwise the prefix lives beside the build tree.
set -u

here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEARCH=win32
export LC_ALL=ja_JP.UTF-8
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Create the prefix once; concurrent runners wait for the first one to finish.
mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/.project-ready" ]; then
        rm -rf "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.project-ready"
    fi
) 9>"$WINEPREFIX.lock"

# A private display: Xvfb picks a free display number and reports it on a pipe.
xvfb_pid=
if [ -z "${WINE_RUN_DISPLAY:-}" ]; then
    exec 8< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null & echo "pid $!"; wait)
    read -r _ xvfb_pid <&8
    read -r display_no <&8
    export DISPLAY=":$display_no"
else
    export DISPLAY=$WINE_RUN_DISPLAY
fi

stop_display() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    exec 8<&- 2>/dev/null
}
trap stop_display EXIT

wine "$@"
