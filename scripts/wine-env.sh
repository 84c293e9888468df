# Sourced by the scripts that run Windows programs: the project's Wine environment and a private
# Xvfb display.
wine_env_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$wine_env_root/build/wineprefix}
export WINEARCH=win32
# Wine takes the ANSI code page (932, Shift-JIS) from the locale.
export LC_ALL=ja_JP.UTF-8
export WINEDEBUG=-all
# Never offer to download Mono or Gecko; keep shortcuts as .lnk files inside the prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Creates the prefix once; concurrent callers wait for the first one.
ensure_wine_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.project-ready" ]; then
            rm -rf "$WINEPREFIX"
            wineboot -i >/dev/null 2>&1
            # Xvfb runs no window manager: with managed windows Wine waits up to two seconds
            # for one whenever a window is hidden or destroyed.
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
            wineserver -w
            touch "$WINEPREFIX/.project-ready"
        fi
    ) 9>"$WINEPREFIX.lock"
}

# Starts Xvfb on a free display number (Xvfb picks it and reports it on a pipe) and exports
# DISPLAY; sets xvfb_pid.
start_display() {
    exec 8< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null & echo "pid $!"; wait)
    read -r _ xvfb_pid <&8
    read -r display_no <&8
    export DISPLAY=":$display_no"
}

# Lets every Wine process of the prefix end while its display still exists, then stops Xvfb.
stop_display() {
    [ -n "${xvfb_pid:-}" ] || return 0
    wineserver -w 2>/dev/null
    kill "$xvfb_pid" 2>/dev/null
    exec 8<&- 2>/dev/null
    xvfb_pid=
}
