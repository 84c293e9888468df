#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix, with the Japanese ANSI code page
# (932) and a private Xvfb display, and passes the program's exit code through.
#   wine-run.sh PROGRAM.exe [ARGS...]
# With WINE_RUN_DISPLAY set (the test script starts one display for the whole suite), that
# display is used instead of a new one.
set -u
source "$(dirname "$0")/wine-env.sh"
ensure_wine_prefix

xvfb_pid=
if [ -n "${WINE_RUN_DISPLAY:-}" ]; then
    export DISPLAY=$WINE_RUN_DISPLAY
else
    start_display
    trap stop_display EXIT
fi

wine "$@"
