#!/usr/bin/env bash
# Stub benchmark (not a test): what every package pays for carrying setup.exe, in one run.
#   1. the stub's size (stripped, as shipped), what its bytes are made of, what it imports at
#      start, against an NSIS installer with nothing in it;
#   2. the time from start to the first question (a plug-in package without arguments) against
#      a minimal program that only shows a message box, the floor of any Win32 program under Wine;
#   3. the three package shapes of extract_bench.sh installed silently by the whole installer,
#      against the bare extraction loop (bench_bare.exe) and NSIS installers of the same files
#      (zlib; and solid LZMA), each as a whole Windows process: seconds and peak working set.
#
#   bench/stub_bench.sh
#
# Environment:
#   BENCH_REPS       counted runs per command and shape (default 3; the start-up takes 5 times
#                    as many), after one warm-up run
#   BENCH_SHAPES     shapes to run (default "a b c", see extract_bench.sh; "" for none)
#   BENCH_NSIS       NSIS compressors to compare (default "zlib lzma"; "lzma" is solid LZMA)
#   BENCH_STUB       the stub to measure (default build/bin/setup.exe), e.g. an older build's
#   BENCH_CPU        processor every measured command is pinned to (default 0)
#   BENCH_DATA       where archives and NSIS installers are cached (default build/bench-data)
#   BENCH_WORK       parent of the extraction folders (default /dev/shm/stub-bench)
#   BENCH_WINEPREFIX the Wine prefix (default build/bench-wineprefix)
# Installs Debian's nsis package (makensis) when it is missing; nothing else needs it.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
data=${BENCH_DATA:-$build/bench-data}
reps=${BENCH_REPS:-3}
cpu=${BENCH_CPU:-0}
shapes=${BENCH_SHAPES-a b c}
nsis_kinds=${BENCH_NSIS-zlib lzma}
stub=${BENCH_STUB:-$build/bin/setup.exe}
if [ -z "${BENCH_WORK:-}" ]; then
    BENCH_WORK=/tmp/stub-bench
    [ -d /dev/shm ] && BENCH_WORK=/dev/shm/stub-bench
fi
work=$BENCH_WORK
export WINEPREFIX=${BENCH_WINEPREFIX:-$build/bench-wineprefix}
# The project's Wine environment and its display helpers (start_display, stop_display).
source "$here/scripts/wine-env.sh"

declare -A shape_text=(
    [a]="5,000 x 1-16 KB, 50 folders"
    [b]="20 x 10 MB, half random"
    [c]="30,000 x 200 B, 100 folders"
)
# The archives are shared with extract_bench.sh, under its version number.
archive_version=$(sed -n 's/^archive_version=\([0-9]*\).*/\1/p' "$here/bench/extract_bench.sh")
nsis_version=1     # bump when the NSIS script below changes

# --- helpers ----------------------------------------------------------------------------------

# Z: is the root of the Linux file system in every Wine prefix.
windows_path() {
    local path=$1
    printf 'Z:%s' "${path//\//\\}"
}

# Runs a Windows program as a whole process through bench_run.exe, pinned to one processor;
# prints bench_run's line ("[first_box_seconds=F ]seconds=S peak_working_set_kb=K exit_code=E").
# Output goes to a file, not a pipe: Wine's background processes inherit it and would hold a
# pipe open long after the program has ended.
bench_run() {
    local log=$work/command.log
    if ! taskset -c "$cpu" "$here/scripts/wine-run.sh" "$build/bin/bench_run.exe" "$@" \
        >"$log" 2>&1; then
        echo "failed: bench_run $*" >&2
        cat "$log" >&2
        return 1
    fi
    grep 'seconds=' "$log" | tail -n 1
}

field() {  # field NAME LINE: the value of NAME=... in the line
    sed -n "s/.*\\b$1=\\([0-9.-]*\\).*/\\1/p" <<<"$2"
}

median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

largest() {
    sort -g | tail -n 1
}

# --- set-up -----------------------------------------------------------------------------------

prepare_tools() {
    # In the C locale: the linker writes the map's headings in the locale's language, and Wine's
    # locale is Japanese (stub_bytes.py reads the English ones).
    LC_ALL=C cmake --build "$build" -j2 --target installer mkpackage bench_bare bench_run \
        bench_seal message_box_floor >/dev/null
    local missing=()
    command -v makensis >/dev/null || missing+=(nsis)
    command -v unzip >/dev/null || missing+=(unzip)
    if [ ${#missing[@]} -gt 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

# The file tree of shape $1 (make_shapes.py writes the same bytes every time) in $data/tree-$1.
make_tree() {
    local tree=$data/tree-$1
    rm -rf "$tree"
    mkdir -p "$data"
    python3 "$here/bench/make_shapes.py" "$1" "$tree"
}

# Prints the archive of shape $1, built on first use as extract_bench.sh builds it (a plug-in
# package without an install folder of its own, packed by mkpackage --zip).
shape_archive() {
    local shape=$1
    local archive=$data/shape-$shape.v$archive_version.zip
    if [ ! -f "$archive" ]; then
        echo "building shape $shape ..." >&2
        make_tree "$shape"
        printf '[options]\r\nInstallMode=1\r\nAppName=bench\r\n' >"$data/bench.ini"
        "$here/scripts/wine-run.sh" "$build/bin/mkpackage.exe" --zip \
            "$(windows_path "$data/tree-$shape")" "$(windows_path "$data/bench.ini")" \
            "$(windows_path "$archive.part")" >/dev/null
        mv "$archive.part" "$archive"
    fi
    echo "$archive"
}

# The installer of shape $1: the measured stub with the shape's archive appended, sealed anew
# (the seal covers the program too, as mkpackage makes it).
shape_installer() {
    local archive installer
    archive=$(shape_archive "$1")
    installer=$work/shape-$1-setup.exe
    cat "$stub" "$archive" >"$installer"
    "$here/scripts/wine-run.sh" "$build/bin/bench_seal.exe" --seal "$(windows_path "$installer")" \
        >/dev/null
    echo "$installer"
}

# Prints an NSIS installer of shape $1 with compressor $2 (zlib, or lzma: solid LZMA), built on
# first use from the shape's file tree. Silent, per user, into the folder given with /D=.
nsis_installer() {
    local shape=$1 kind=$2
    local exe=$data/shape-$shape.nsis-$kind.v$nsis_version.exe
    if [ ! -f "$exe" ]; then
        echo "building the NSIS $kind installer of shape $shape ..." >&2
        [ -d "$data/tree-$shape" ] || make_tree "$shape"
        local compressor=zlib
        [ "$kind" = lzma ] && compressor="/SOLID lzma"
        nsis_script "$compressor" "$data/tree-$shape" "$exe.part" >"$data/bench.nsi"
        makensis -V1 "$data/bench.nsi" >/dev/null
        mv "$exe.part" "$exe"
    fi
    echo "$exe"
}

nsis_script() {  # nsis_script COMPRESSOR TREE OUTPUT ("" as TREE: an installer of nothing)
    cat <<EOF
Unicode true
SetCompressor $1
Name "bench"
OutFile "$3"
InstallDir "\$TEMP\\bench"
RequestExecutionLevel user
SilentInstall silent
Section
  SetOutPath "\$INSTDIR"
EOF
    [ -n "$2" ] && echo "  File /r \"$2/*\""
    echo "SectionEnd"
}

# The plug-in package whose first question is timed: the sample plug-in, packed with the stub
# (its setting file is UTF-8 with a BOM, which mkpackage converts).
startup_package() {
    local package=$work/startup-setup.exe
    "$here/scripts/wine-run.sh" "$build/bin/mkpackage.exe" \
        "$(windows_path "$here/examples/sample-plugin/package")" \
        "$(windows_path "$here/examples/sample-plugin/setting.ini")" "$(windows_path "$stub")" \
        "$(windows_path "$package")" >/dev/null
    echo "$package"
}

# Points the host folder of the benchmark's prefix at the destination of every run: the shape
# packages have no install folder of their own and install into the host's.
prepare_host_folder() {
    "$here/scripts/wine-run.sh" reg add 'HKCU\Software\Calderex\MarlethWare2002' /v InstallPath \
        /d "$(windows_path "$work/dest")" /f >/dev/null 2>&1
}

cleanup() {
    wineserver -k 2>/dev/null || true
    stop_display
    rm -rf "$work"
}

# --- 1. the stub ------------------------------------------------------------------------------

report_stub() {
    local nsis_empty=$work/nsis-empty.exe
    nsis_script zlib "" "$nsis_empty" >"$work/empty.nsi"
    makensis -V1 "$work/empty.nsi" >/dev/null
    local size nsis_size
    size=$(stat -c %s "$stub")
    nsis_size=$(stat -c %s "$nsis_empty")
    echo "== the stub"
    printf '%-44s %9d bytes (%.1f KiB)\n' "$(basename "$stub")" "$size" "$(awk -v s="$size" 'BEGIN { print s / 1024 }')"
    printf '%-44s %9d bytes (%.1f KiB)\n' "NSIS 3 installer of nothing (zlib)" "$nsis_size" "$(awk -v s="$nsis_size" 'BEGIN { print s / 1024 }')"
    printf 'ratio to NSIS: %.2f; targets: at most 150 KiB, below NSIS the aim\n' \
        "$(awk -v a="$size" -v b="$nsis_size" 'BEGIN { print a / b }')"
    echo "imported at start: $(objdump -p "$stub" | sed -n 's/.*DLL Name: //p' | tr '\n' ' ')"
    local map=${stub%.exe}.map
    if [ -f "$map" ]; then
        echo
        echo "what the bytes are made of (link map $map):"
        python3 "$here/bench/stub_bytes.py" "$map" --objects 12 | sed 's/^/  /'
    fi
}

# --- 2. start to the first question -----------------------------------------------------------

declare -A startup_s startup_peak

measure_startup() {  # measure_startup NAME PROGRAM: the first dialog box is answered No (7)
    local name=$1 program=$2 r line seconds=() peaks=()
    bench_run --first-box 7 "$program" >/dev/null  # warm-up
    for ((r = 1; r <= reps * 5; r++)); do
        line=$(bench_run --first-box 7 "$program")
        seconds+=("$(field first_box_seconds "$line")")
        peaks+=("$(field peak_working_set_kb "$line")")
    done
    startup_s[$name]=$(printf '%s\n' "${seconds[@]}" | median)
    startup_peak[$name]=$(printf '%s\n' "${peaks[@]}" | largest)
}

report_startup() {
    local package
    package=$(startup_package)
    measure_startup floor "$build/bin/message_box_floor.exe"
    measure_startup installer "$package"
    echo
    echo "== start to the first question (median of $((reps * 5)) runs)"
    printf '%-44s %8.1f ms  peak %.1f MiB\n' "minimal message-box program (the floor)" \
        "$(awk -v s="${startup_s[floor]}" 'BEGIN { print s * 1000 }')" \
        "$(awk -v k="${startup_peak[floor]}" 'BEGIN { print k / 1024 }')"
    printf '%-44s %8.1f ms  peak %.1f MiB\n' "installer, sample plug-in, no arguments" \
        "$(awk -v s="${startup_s[installer]}" 'BEGIN { print s * 1000 }')" \
        "$(awk -v k="${startup_peak[installer]}" 'BEGIN { print k / 1024 }')"
    printf 'ratio installer/floor: %.2f (target: at most 1.2)\n' \
        "$(awk -v a="${startup_s[installer]}" -v b="${startup_s[floor]}" 'BEGIN { print a / b }')"
}

# --- 3. the shapes ----------------------------------------------------------------------------

declare -A shape_s shape_peak entries megabytes

# One measured run into a fresh empty folder; prints bench_run's line.
measure_once() {
    local method=$1 shape=$2
    local dest=$work/dest
    rm -rf "$dest"
    mkdir -p "$dest"
    sync
    case $method in
        installer) bench_run "$work/shape-$shape-setup.exe" -s ;;
        bare) bench_run "$build/bin/bench_bare.exe" "$(windows_path "$(shape_archive "$shape")")" \
                  "$(windows_path "$dest")" ;;
        nsis-*) bench_run "$(nsis_installer "$shape" "${method#nsis-}")" /S \
                    "/D=$(windows_path "$dest")" ;;
    esac
}

shape_methods() {
    local kind
    echo installer bare
    for kind in $nsis_kinds; do echo "nsis-$kind"; done
}

run_shape() {
    local shape=$1 archive method r line files got
    archive=$(shape_archive "$shape")
    shape_installer "$shape" >/dev/null
    for method in $(shape_methods); do
        [[ $method == nsis-* ]] && nsis_installer "$shape" "${method#nsis-}" >/dev/null
    done
    rm -rf "$data/tree-$shape"
    entries[$shape]=$(unzip -Z1 "$archive" | wc -l)
    files=$(unzip -Z1 "$archive" | grep -vc '/$' || true)
    megabytes[$shape]=$(unzip -Zt "$archive" | awk '{ printf "%.0f", $3 / 1048576 }')

    local -A seconds peaks
    for method in $(shape_methods); do
        # Warm-up, and a check that every method installs every file (the archive's setting
        # file stays in the installer's temporary folder, and is not in NSIS's installers).
        line=$(measure_once "$method" "$shape")
        got=$(find "$work/dest" -type f | wc -l)
        local expected=$((files - 1))
        [ "$method" = bare ] && expected=$files
        if [ "$got" != "$expected" ] || [ "$(field exit_code "$line")" != 0 ]; then
            echo "$method installed $got files of $expected from shape $shape: $line" >&2
            exit 1
        fi
    done
    for ((r = 1; r <= reps; r++)); do
        for method in $(shape_methods); do
            line=$(measure_once "$method" "$shape")
            seconds[$method]+="$(field seconds "$line")"$'\n'
            peaks[$method]+="$(field peak_working_set_kb "$line")"$'\n'
        done
        echo "shape $shape: run $r of $reps done" >&2
    done
    for method in $(shape_methods); do
        shape_s[$shape:$method]=$(printf '%s' "${seconds[$method]}" | median)
        shape_peak[$shape:$method]=$(printf '%s' "${peaks[$method]}" | largest)
    done
}

report_shapes() {
    [ -n "$shapes" ] || return 0
    local shape method
    for shape in $shapes; do run_shape "$shape"; done
    echo
    echo "== the package shapes, installed silently (median seconds of $reps runs; peak working set)"
    printf '%-5s %-28s %7s %5s' shape content entries MB
    for method in $(shape_methods); do printf ' %11s' "$method s"; done
    printf ' %9s' inst/bare
    for method in $(shape_methods); do [[ $method == nsis-* ]] && printf ' %11s' "inst/$method"; done
    for method in $(shape_methods); do printf ' %11s' "$method MB"; done
    printf '\n'
    for shape in $shapes; do
        printf '%-5s %-28s %7s %5s' "$shape" "${shape_text[$shape]}" "${entries[$shape]}" \
            "${megabytes[$shape]}"
        for method in $(shape_methods); do printf ' %11.3f' "${shape_s[$shape:$method]}"; done
        printf ' %9.2f' "$(awk -v a="${shape_s[$shape:installer]}" -v b="${shape_s[$shape:bare]}" 'BEGIN { print a / b }')"
        for method in $(shape_methods); do
            [[ $method == nsis-* ]] || continue
            printf ' %11.2f' "$(awk -v a="${shape_s[$shape:installer]}" -v b="${shape_s[$shape:$method]}" 'BEGIN { print a / b }')"
        done
        for method in $(shape_methods); do
            printf ' %11.1f' "$(awk -v k="${shape_peak[$shape:$method]}" 'BEGIN { print k / 1024 }')"
        done
        printf '\n'
    done
    cat <<EOF

Each figure is a whole Windows process, from CreateProcess to its end as bench_run.exe sees it
inside Wine (so Wine's own start-up is not in it), pinned to processor $cpu, extracting into a
fresh empty folder under $work. "installer": setup.exe with the shape appended, run with -s
(settings, pre-extraction, main window, progress dialog, installed-file list); "bare":
bench_bare.exe, minizip and CreateFileA/WriteFile alone; "nsis-zlib", "nsis-lzma": NSIS 3
installers of the same files (zlib; solid LZMA), run with /S. Targets: installer/bare at most
1.2, installer ahead of nsis-zlib, peak working set no higher than nsis-zlib's.
EOF
}

# --- the run ----------------------------------------------------------------------------------

trap cleanup EXIT
prepare_tools
rm -rf "$work"
mkdir -p "$work"
# One display for every Wine run, and Wine's server and system processes kept between the runs,
# as Windows keeps its own: each run then pays for its program, not for booting Wine.
start_display
export WINE_RUN_DISPLAY=$DISPLAY
ensure_wine_prefix
wineserver -p
prepare_host_folder
report_stub
report_startup
report_shapes
