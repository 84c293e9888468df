#!/usr/bin/env bash
# Extraction benchmark (not a test). Builds four package shapes once and times, for each, a full
# installation by the installer ("-s"), a full extraction by the installer's extractor
# (TZlibArchiver) under Wine, by a bare minizip loop under Wine and by native unzip; prints
# medians, ratios, the Wine programs' peak memory, and how the small-file shapes c and d scale.
#
#   bench/extract_bench.sh
#
# Environment:
#   BENCH_REPS       counted runs per command and shape (default 3), after one warm-up run
#   BENCH_METHODS    measured commands (default "installer extractor bare unzip"); "installer" is
#                    the whole installer, setup.exe with the shape appended, run with "-s"; also
#                    "installer_unsealed", the same installer with its seal made unrecognisable
#                    (so that it skips the seal's check: installer/installer_unsealed is the
#                    check's cost), "seal", the seal's check alone (bench_seal.exe on that
#                    installer: seal/installer_unsealed is its share of the installation), and
#                    "installer_log", the installer writing its log (/log=PATH: installer_log/
#                    installer is the log's cost), "bare_reader", the
#                    bare loop reading with the installer's ZipReader, which tells the
#                    reader's own cost from the extractor's
#   BENCH_SHAPES     shapes to run (default "a b c d"):
#                      a: 5,000 files of 1-16 KB in 50 folders, text-like
#                      b: 20 files of 10 MB, half text-like, half random
#                      c: 30,000 files of 200 bytes in 100 folders
#                      d: 100,000 files of 200 bytes in 334 folders (ZIP64: over 65,535 entries)
#                    With c and d both run, a scaling table shows each command's cost per file
#                    and its d/c time ratio, against the 100,000/30,000 = 3.33 of linear growth
#                    (the bound is 3.6).
#   BENCH_CPU        processor every measured command is pinned to (default 0)
#   BENCH_DATA       where the archives are cached (default build/bench-data)
#   BENCH_WORK       parent of the extraction folders (default /dev/shm/extract-bench: on tmpfs
#                    the figures are the programs' own costs, not the disk's)
#   BENCH_WINEPREFIX the Wine prefix (default build/bench-wineprefix, of the benchmark's own, so
#                    that test runs in the project's prefix share no wineserver with it)
#
# Each measured command has a function measure_NAME ARCHIVE DEST that extracts ARCHIVE into the
# empty folder DEST once; to add a command, write its function and add NAME to `methods` (and any
# ratio to `ratios`).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
data=${BENCH_DATA:-$build/bench-data}
reps=${BENCH_REPS:-3}
cpu=${BENCH_CPU:-0}
shapes=${BENCH_SHAPES:-a b c d}
if [ -z "${BENCH_WORK:-}" ]; then
    BENCH_WORK=/tmp/extract-bench
    [ -d /dev/shm ] && BENCH_WORK=/dev/shm/extract-bench
fi
work=$BENCH_WORK
export WINEPREFIX=${BENCH_WINEPREFIX:-$build/bench-wineprefix}
# The project's Wine environment and its display helpers (start_display, stop_display).
source "$here/scripts/wine-env.sh"

read -r -a methods <<<"${BENCH_METHODS:-installer extractor bare unzip}"
# Ratios of the figures, shown when both commands were measured. The installer reports no
# timing of its own: its ratios compare whole processes, Wine's start included on both sides.
all_ratios=(installer/bare installer/unzip installer/installer_unsealed seal/installer_unsealed
            installer_log/installer
            extractor/bare extractor/unzip bare/unzip
            extractor/bare_reader bare_reader/bare)
# Commands whose peak working set is shown, when measured.
all_memory_methods=(extractor bare bare_reader)
# Wine commands whose peak resident set (the process's own and its waited-for children's, from
# /usr/bin/time) is shown: one measure for the installer, which reports nothing itself, and the
# bare loop it is compared with.
all_rss_methods=(installer bare)

measured() {
    local method
    for method in "${methods[@]}"; do [ "$method" = "$1" ] && return 0; done
    return 1
}
ratios=()
for ratio in "${all_ratios[@]}"; do
    measured "${ratio%/*}" && measured "${ratio#*/}" && ratios+=("$ratio")
done
memory_methods=()
for method in "${all_memory_methods[@]}"; do
    measured "$method" && memory_methods+=("$method")
done
rss_methods=()
for method in "${all_rss_methods[@]}"; do
    measured "$method" && rss_methods+=("$method")
done

declare -A shape_text=(
    [a]="5,000 x 1-16 KB, 50 folders"
    [b]="20 x 10 MB, half random"
    [c]="30,000 x 200 B, 100 folders"
    [d]="100,000 x 200 B, 334 folders"
)
archive_version=2  # bump when make_shapes.py or the archive layout changes (2: sealed)

# --- helpers ----------------------------------------------------------------------------------

# Z: is the root of the Linux file system in every Wine prefix.
windows_path() {
    local path=$1
    printf 'Z:%s' "${path//\//\\}"
}

run_wine() {
    local exe=$1
    shift
    taskset -c "$cpu" "$here/scripts/wine-run.sh" "$build/bin/$exe" "$@"
}

# Runs a command and prints "WALL INNER PEAK_KB RSS_KB": the wall seconds around the command,
# the seconds and peak working set that it reports itself, and the peak resident set that
# /usr/bin/time saw ("-" for what is not there).
timed() {
    local start end out inner peak rss
    # Output goes to a file, not a pipe: Wine's background processes (wineserver, the desktop
    # process of a program with windows) inherit it and would hold a pipe open long after the
    # program has ended.
    local log=$work/command.log
    start=$(date +%s%N)
    if ! "$@" >"$log" 2>&1; then
        echo "failed: $*" >&2
        cat "$log" >&2
        return 1
    fi
    end=$(date +%s%N)
    out=$(cat "$log")
    inner=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$out")
    peak=$(sed -n 's/.*peak_working_set_kb=\([0-9]*\).*/\1/p' <<<"$out")
    rss=$(sed -n 's/.*peak_rss_kb=\([0-9]*\).*/\1/p' <<<"$out")
    awk -v ns=$((end - start)) -v inner="${inner:--}" -v peak="${peak:--}" -v rss="${rss:--}" \
        'BEGIN { printf "%.3f %s %s %s\n", ns / 1e9, inner, peak, rss }'
}

# Runs a program (not a shell function) under /usr/bin/time, which adds "peak_rss_kb=K" to its
# output (when installed).
with_rss() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f 'peak_rss_kb=%M' "$@"
    else
        "$@"
    fi
}

median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

largest() {
    sort -g | tail -n 1
}

# --- measured commands ------------------------------------------------------------------------

# The installer's extractor: constructor, SetKeepFolders(1), SetConfirmOverwrite(0),
# OpenArchive and ExtractNext until the end.
measure_extractor() {
    timed run_wine bench_extract.exe "$(windows_path "$1")" "$(windows_path "$2")"
}

# minizip and CreateFileA/WriteFile, nothing else.
measure_bare() {
    timed with_rss taskset -c "$cpu" "$here/scripts/wine-run.sh" "$build/bin/bench_bare.exe" \
        "$(windows_path "$1")" "$(windows_path "$2")"
}

# The bare loop with the archive read by the installer's ZipReader.
measure_bare_reader() {
    timed run_wine bench_bare.exe --zip-reader "$(windows_path "$1")" "$(windows_path "$2")"
}

# The whole installer, silent: settings, pre-extraction, main window, progress dialog, the
# installed-file list. The package has no install folder of its own, so it installs into the
# host folder, which the prefix's registry names as the destination (see prepare_installer).
measure_installer() {
    timed with_rss taskset -c "$cpu" "$here/scripts/wine-run.sh" "${1%.zip}.exe" -s
}

# The same installation writing its log (/log), beside the extraction folder.
measure_installer_log() {
    timed with_rss taskset -c "$cpu" "$here/scripts/wine-run.sh" "${1%.zip}.exe" -s \
        "/log=$(windows_path "${2%/}.log")"
}

# The installer's seal check alone, over the same installer.
measure_seal() {
    timed run_wine bench_seal.exe "$(windows_path "${1%.zip}.exe")"
}

# The same installer without a seal to check.
measure_installer_unsealed() {
    timed with_rss taskset -c "$cpu" "$here/scripts/wine-run.sh" "${1%.zip}-unsealed.exe" -s
}

measure_unzip() {
    timed taskset -c "$cpu" unzip -q -o "$1" -d "$2"
}

# --- set-up -----------------------------------------------------------------------------------

prepare_tools() {
    cmake --build "$build" -j2 --target installer mkpackage bench_extract bench_bare bench_seal \
        >/dev/null
    if ! command -v unzip >/dev/null; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq unzip >/dev/null
    fi
}

# Prints the path of the archive of shape $1, building it on first use: the file tree from
# make_shapes.py, packed by mkpackage --zip as a plug-in package (no uninstaller needed), so that
# the installer itself can also run it.
shape_archive() {
    local shape=$1
    local archive=$data/shape-$shape.v$archive_version.zip
    if [ ! -f "$archive" ]; then
        local tree=$data/tree-$shape
        echo "building shape $shape ..." >&2
        mkdir -p "$data"
        rm -rf "$tree"
        python3 "$here/bench/make_shapes.py" "$shape" "$tree"
        printf '[options]\r\nInstallMode=1\r\nAppName=bench\r\n' >"$data/bench.ini"
        "$here/scripts/wine-run.sh" "$build/bin/mkpackage.exe" --zip "$(windows_path "$tree")" \
            "$(windows_path "$data/bench.ini")" "$(windows_path "$archive.part")" >/dev/null
        mv "$archive.part" "$archive"
        rm -rf "$tree"
    fi
    echo "$archive"
}

# Points the host folder of the benchmark's prefix at the destination of every run.
prepare_installer() {
    measured installer || measured installer_unsealed || return 0
    "$here/scripts/wine-run.sh" reg add 'HKCU\Software\Calderex\MarlethWare2002' /v InstallPath \
        /d "$(windows_path "$work/dest")" /f >/dev/null 2>&1
}

# The installer of shape $1: setup.exe with the shape's archive appended and sealed anew (the
# seal covers the program too, as mkpackage makes it); and a copy whose archive comment, the
# seal, starts with another byte, which makes it an ordinary comment.
shape_installer() {
    local archive exe seal_size=84
    archive=$(shape_archive "$1")
    exe=${archive%.zip}.exe
    if [ ! -f "$exe" ] || [ "$build/bin/setup.exe" -nt "$exe" ]; then
        cat "$build/bin/setup.exe" "$archive" >"$exe"
        "$here/scripts/wine-run.sh" "$build/bin/bench_seal.exe" --seal "$(windows_path "$exe")"
        cp "$exe" "${exe%.exe}-unsealed.exe"
        if [ "$(tail -c $seal_size "$exe" | head -c 12)" != "MarlethSeal " ]; then
            echo "shape $1: the archive carries no seal" >&2
            exit 1
        fi
        printf 'X' | dd of="${exe%.exe}-unsealed.exe" bs=1 conv=notrunc status=none \
            seek=$(($(stat -c %s "$exe") - seal_size))
    fi
}

cleanup() {
    wineserver -k 2>/dev/null || true
    stop_display
    rm -rf "$work"
}

# Extracts with one method into a fresh empty folder; prints "WALL INNER PEAK_KB RSS_KB".
measure_once() {
    local method=$1 archive=$2
    local dest=$work/dest
    rm -rf "$dest"
    mkdir -p "$dest"
    sync
    "measure_$method" "$archive" "$dest"
}

# --- the run ----------------------------------------------------------------------------------

declare -A figure wall peak rss entries megabytes

# Samples of every run, by shape:method, one value a line.
declare -A walls inners peaks rsses

# Warm-up of one shape: Wine, the page cache and the archive; also checks that every method
# extracts every file.
warm_up_shape() {
    local shape=$1 archive method files
    archive=$(shape_archive "$shape")
    entries[$shape]=$(unzip -Z1 "$archive" | wc -l)
    files=$(unzip -Z1 "$archive" | grep -vc '/$' || true)
    megabytes[$shape]=$(unzip -Zt "$archive" | awk '{ printf "%.0f", $3 / 1048576 }')
    for method in "${methods[@]}"; do
        measure_once "$method" "$archive" >/dev/null
        local got expected=$files
        got=$(find "$work/dest" -type f | wc -l)
        # The installer takes the setting file out before the pages and does not install it.
        [[ "$method" == installer* ]] && expected=$((files - 1))
        [ "$method" = seal ] && expected=0  # checks, extracts nothing
        if [ "$got" != "$expected" ]; then
            echo "$method extracted $got files of $files from shape $shape" >&2
            exit 1
        fi
    done
}

# One counted run of every method on one shape.
measure_shape() {
    local shape=$1 archive method result w i p m
    archive=$(shape_archive "$shape")
    for method in "${methods[@]}"; do
        result=$(measure_once "$method" "$archive")
        read -r w i p m <<<"$result"
        walls[$shape:$method]+="$w"$'\n'
        inners[$shape:$method]+="$i"$'\n'
        peaks[$shape:$method]+="$p"$'\n'
        rsses[$shape:$method]+="$m"$'\n'
    done
}

# Medians of the times, largest of the memory figures.
summarize_shape() {
    local shape=$1 method key
    for method in "${methods[@]}"; do
        key=$shape:$method
        wall[$key]=$(printf '%s' "${walls[$key]}" | median)
        if grep -q '^-$' <<<"${inners[$key]}"; then
            figure[$key]=${wall[$key]}
        else
            figure[$key]=$(printf '%s' "${inners[$key]}" | median)
        fi
        if grep -q '^-$' <<<"${peaks[$key]}"; then
            peak[$key]=-
        else
            peak[$key]=$(printf '%s' "${peaks[$key]}" | largest)
        fi
        if grep -q '^-$' <<<"${rsses[$key]}"; then
            rss[$key]=-
        else
            rss[$key]=$(printf '%s' "${rsses[$key]}" | largest)
        fi
    done
}

# Prints one right-aligned table cell, as wide as its column's heading (at least min).
cell() {
    local heading=$1 text=$2 min=${3:-8}
    local width=$((${#heading} > min ? ${#heading} : min))
    printf ' %*s' "$width" "$text"
}

print_table() {
    local shape method ratio
    printf '\n%-5s %-28s %7s %5s' shape content entries MB
    for method in "${methods[@]}"; do cell "$method s" "$method s" 15; done
    for ratio in "${ratios[@]}"; do cell "$ratio" "$ratio"; done
    for method in "${memory_methods[@]}"; do cell "$method MB" "$method MB"; done
    for method in "${rss_methods[@]}"; do cell "$method RSS MB" "$method RSS MB"; done
    printf '\n'
    for shape in $shapes; do
        printf '%-5s %-28s %7s %5s' "$shape" "${shape_text[$shape]}" "${entries[$shape]}" "${megabytes[$shape]}"
        for method in "${methods[@]}"; do
            cell "$method s" "$(awk -v f="${figure[$shape:$method]}" -v w="${wall[$shape:$method]}" \
                'BEGIN { if (f == w) printf "%.3f", f; else printf "%.3f (%.2f)", f, w }')" 15
        done
        for ratio in "${ratios[@]}"; do
            local kind=figure
            [[ "${ratio%/*}" == installer* ]] && kind=wall
            local -n side=$kind
            cell "$ratio" "$(awk -v a="${side[$shape:${ratio%/*}]}" -v b="${side[$shape:${ratio#*/}]}" \
                'BEGIN { printf "%.2f", a / b }')"
            unset -n side
        done
        for method in "${memory_methods[@]}"; do
            cell "$method MB" "$(awk -v k="${peak[$shape:$method]}" \
                'BEGIN { if (k == "-") print "-"; else printf "%.1f", k / 1024 }')"
        done
        for method in "${rss_methods[@]}"; do
            cell "$method RSS MB" "$(awk -v k="${rss[$shape:$method]}" \
                'BEGIN { if (k == "-") print "-"; else printf "%.1f", k / 1024 }')"
        done
        printf '\n'
    done
    cat <<EOF

Seconds are medians of $reps runs (after one warm-up; the runs go round all shapes in turn),
each into a fresh empty folder under $work,
pinned to processor $cpu. For the Wine programs the first figure is the program's own timing of
the extraction (from opening the archive to the last member) and the one in parentheses the
whole process, Wine's start included; ratios use the first figure, except the installer's,
which compare whole processes. MB: uncompressed size;
peak working set: the largest of the runs (GetProcessMemoryInfo); RSS: the largest peak resident
set of the runs (/usr/bin/time, Wine's shared libraries included).
EOF
}

# How the small-file shapes scale: c and d differ only in the number of files (30,000 and
# 100,000, 300 a folder), so a linear command takes 3.33 times as long for d.
print_scaling() {
    [[ " $shapes " == *" c "* && " $shapes " == *" d "* ]] || return 0
    local method kind files_c=30000 files_d=100000
    printf '\n%-12s %12s %12s %14s %14s %9s\n' command "c s" "d s" "c us/file" "d us/file" "d/c"
    for method in "${methods[@]}"; do
        kind=figure
        [[ "$method" == installer* ]] && kind=wall
        local -n side=$kind
        awk -v m="$method" -v c="${side[c:$method]}" -v d="${side[d:$method]}" \
            -v fc=$files_c -v fd=$files_d \
            'BEGIN { printf "%-12s %12.3f %12.3f %14.1f %14.1f %9.2f%s\n", m, c, d, c / fc * 1e6,
                     d / fd * 1e6, d / c, (d / c > 3.6 ? "  over the 3.6 bound" : "") }'
        unset -n side
    done
    echo "(linear: d/c = 3.33; the bound is 3.6. The installer's figures are whole processes.)"
}

trap cleanup EXIT
prepare_tools
for shape in $shapes; do shape_archive "$shape" >/dev/null; done
if measured installer || measured installer_unsealed || measured seal; then
    for shape in $shapes; do shape_installer "$shape"; done
fi
# One display for every Wine run, so that no run pays for starting one.
start_display
export WINE_RUN_DISPLAY=$DISPLAY
# Keep Wine's server and system processes (the desktop among them) running between the runs, as
# Windows keeps its own: each run then pays for its program, not for booting Wine.
wineserver -p
mkdir -p "$work"
prepare_installer
for shape in $shapes; do warm_up_shape "$shape"; done
# Rounds over all shapes rather than all runs of one shape after another: a machine whose load
# drifts during the benchmark then weighs on every shape alike, and the ratios between shapes
# (the scaling of c to d above all) stay fair.
for ((r = 1; r <= reps; r++)); do
    for shape in $shapes; do measure_shape "$shape"; done
    echo "run $r of $reps done" >&2
done
for shape in $shapes; do summarize_shape "$shape"; done
print_table
print_scaling
