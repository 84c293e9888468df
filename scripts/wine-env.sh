# Sourced by the scripts that run Windows programs: the project's Wine environment and a private
# Xvfb display.
wine_env_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$wine_env_root/build/wineprefix}
export WINEARCH=win32
# Wine takes the ANSI code page (932, Shift-JIS) from the locale. WINE_LOCALE names another one
# for a run (C.UTF-8: code page 1252, as on an English Windows).
export LC_ALL=${WINE_LOCALE:-ja_JP.UTF-8}
export WINEDEBUG=-all
# Never offer to download Mono or Gecko; keep shortcuts as .lnk files inside the prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# The prefix is made once and then set up; its marker holds the version of the set-up below, so
# that a prefix set up by an older version (or before versions: an empty marker) is set up again
# in place. Bump the version whenever the set-up changes; every step may run again.
wine_prefix_version=2
# Where Debian's fonts-wine puts Wine's own fonts.
wine_fonts_dir=/usr/share/wine/fonts

# Creates and sets up the prefix once; concurrent callers wait for the first one.
ensure_wine_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        local marker=$WINEPREFIX/.project-ready
        if [ ! -f "$marker" ]; then
            rm -rf "$WINEPREFIX"
            wineboot -i >/dev/null 2>&1
        fi
        if [ "$(cat "$marker" 2>/dev/null)" != "$wine_prefix_version" ]; then
            # Xvfb runs no window manager: with managed windows Wine waits up to two seconds
            # for one whenever a window is hidden or destroyed.
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
            # Title-bar buttons are drawn with Wine's Marlett font. This Wine looks for it in the
            # prefix's Fonts folder, which wineboot leaves empty.
            cp "$wine_fonts_dir/marlett.ttf" "$WINEPREFIX/drive_c/windows/Fonts/"
            # The dialogs ask for "ＭＳ ゴシック" (MS Gothic): draw it with IPAGothic from
            # fonts-ipafont-gothic. reg reads the Japanese name in the locale's encoding (UTF-8).
            for face in 'ＭＳ ゴシック' 'MS Gothic'; do
                wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d IPAGothic /f \
                    >/dev/null 2>&1
            done
            # Nothing started here may outlive it: later programs start on their own display.
            wineserver -w
            echo "$wine_prefix_version" > "$marker"
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
