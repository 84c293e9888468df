#!/usr/bin/env bash
# Uninstall benchmark (not a test). Times the removal of one installation of many small files by
# the uninstaller ("chruinst.exe -s PATH\uinstall.ini") against a bare DeleteFileA loop over the
# same files (bench_delete.exe), both under Wine, and prints medians and their ratio.
#
#   bench/uninstall_bench.sh
#
# Environment:
#   BENCH_REPS       counted runs per command (default 5), after one warm-up run of each
#   BENCH_FILES      files of the installation (default 30000), 200 bytes each
#   BENCH_FOLDERS    folders they are spread over (default 100)
#   BENCH_METHODS    measured commands (default "bare uninstaller uninstaller_unchecked", and
#                    "compared" when BENCH_COMPARE is set):
#                      bare                  DeleteFileA on every file, nothing else
#                      uninstaller           the uninstaller on the uinstall.ini the installer
#                                            leaves: each file opened through its checked folder,
#                                            read for its CRC-32, deleted through its handle; then
#                                            the folders and uinstall.ini
#                      uninstaller_unchecked the same on an older uinstall.ini without sizes and
#                                            CRCs (nothing is read)
#                      compared              the uninstaller BENCH_COMPARE names (another build,
#                                            e.g. main's), as "uninstaller"
#                      floor                 the uninstaller's system calls alone on each file
#                                            (uninstall_floor.exe): open relative to the folder,
#                                            the attribute and name queries, the read, the
#                                            deletion mark, the close: the floor of its design
#                      floor_unnamed         the same without the name query
#                      floor_unread          the same without the attribute query and the read
#   BENCH_COMPARE    a second chruinst.exe, for before-and-after figures from one interleaved run
#   BENCH_CPU        processor every measured command is pinned to (default 0)
#   BENCH_SERVER_CPU processor Wine's server is pinned to (default none: the system places it).
#                    Each request of a program waits for the server: on another processor every
#                    request also pays a wake-up across processors, which on a virtual machine
#                    costs more than most requests; BENCH_SERVER_CPU=$BENCH_CPU leaves it out.
#   BENCH_WORK       where the installation is written before each run (default
#                    /dev/shm/uninstall-bench: on tmpfs the figures are the programs' own costs)
#   BENCH_WINEPREFIX the Wine prefix (default build/bench-wineprefix, the extraction benchmark's)
#
# After the figures it shows what Wine tells of a Unix symbolic link (made with ln -s, as a user
# could) in a folder's listing and on a handle opened the uninstaller's way
# (uninstall_link_probe.exe): whether a listing could prove, in place of the name query on every
# file, that no link was followed.
#
# Every run gets a fresh installation, written natively by bench/make_installation.py; the
# commands take turns run by run, so that a drifting machine load weighs on each alike. Times are
# whole processes (Wine's start included; the helpers' own timing of their loops is shown too).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
reps=${BENCH_REPS:-5}
files=${BENCH_FILES:-30000}
folders=${BENCH_FOLDERS:-100}
cpu=${BENCH_CPU:-0}
if [ -z "${BENCH_WORK:-}" ]; then
    BENCH_WORK=/tmp/uninstall-bench
    [ -d /dev/shm ] && BENCH_WORK=/dev/shm/uninstall-bench
fi
work=$BENCH_WORK
export WINEPREFIX=${BENCH_WINEPREFIX:-$build/bench-wineprefix}
source "$here/scripts/wine-env.sh"
default_methods="bare uninstaller uninstaller_unchecked${BENCH_COMPARE:+ compared}"
read -r -a methods <<<"${BENCH_METHODS:-$default_methods}"

# Z: is the root of the Linux file system in every Wine prefix.
windows_path() {
    local path=$1
    printf 'Z:%s' "${path//\//\\}"
}

# A fresh installation in $work/install; with --no-checks its uinstall.ini has no check section.
make_installation() {
    rm -rf "$work/install"
    python3 "$here/bench/make_installation.py" "$work/install" "$(windows_path "$work/install")" \
        "$files" "$folders" "$@"
}

measure_bare() {
    make_installation
    timed taskset -c "$cpu" "$here/scripts/wine-run.sh" "$build/bin/bench_delete.exe" \
        "$(windows_path "$work/install")" "$(windows_path "$work/install/list.txt")"
}

measure_uninstaller() {
    make_installation
    timed taskset -c "$cpu" "$here/scripts/wine-run.sh" "$build/bin/chruinst.exe" -s \
        "$(windows_path "$work/install/bench/files/uinstall.ini")"
}

measure_compared() {
    make_installation
    timed taskset -c "$cpu" "$here/scripts/wine-run.sh" "$BENCH_COMPARE" -s \
        "$(windows_path "$work/install/bench/files/uinstall.ini")"
}

# The floor helper on the files of list.txt, with its extra arguments after the method's name;
# its time a file for each step goes to $work/steps.METHOD, a line a run.
measure_floor_with() {
    local method=$1
    shift
    make_installation
    timed taskset -c "$cpu" "$here/scripts/wine-run.sh" "$build/bin/uninstall_floor.exe" \
        "$(windows_path "$work/install")" "$(windows_path "$work/install/list.txt")" "$@"
    sed -n 's/^microseconds a file: //p' "$work/command.log" >>"$work/steps.$method"
}

measure_floor() { measure_floor_with floor; }
measure_floor_unnamed() { measure_floor_with floor_unnamed --without name; }
measure_floor_unread() { measure_floor_with floor_unread --without read; }

# "open=M attributes=M ...": the median of each step over the counted runs of a floor method.
step_medians() {
    local steps=$work/steps.$1 step
    for step in open attributes name read mark close; do
        printf '%s=%s ' "$step" "$(sed -n "s/.*\b$step=\([0-9.]*\).*/\1/p" "$steps" | median)"
    done
}

measure_uninstaller_unchecked() {
    make_installation --no-checks
    timed taskset -c "$cpu" "$here/scripts/wine-run.sh" "$build/bin/chruinst.exe" -s \
        "$(windows_path "$work/install/bench/files/uinstall.ini")"
}

# Runs a command and prints "WALL INNER": wall seconds around it and the seconds it reports
# itself ("-" when it reports none). Fails when it fails or leaves a listed file behind.
timed() {
    local start end log=$work/command.log inner
    sync
    start=$(date +%s%N)
    if ! "$@" >"$log" 2>&1; then
        echo "failed: $*" >&2
        cat "$log" >&2
        return 1
    fi
    end=$(date +%s%N)
    local left
    left=$(find "$work/install" -name 'file*.txt' | wc -l)
    if [ "$left" != 0 ]; then
        echo "$* left $left files" >&2
        return 1
    fi
    inner=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' "$log")
    awk -v ns=$((end - start)) -v inner="${inner:--}" 'BEGIN { printf "%.3f %s\n", ns / 1e9, inner }'
}

# A plain file, a linked file and a linked folder side by side, as the probe sees them.
show_links() {
    local links=$work/links
    rm -rf "$links"
    mkdir -p "$links/inside" "$links/outside/folder"
    echo plain >"$links/inside/plain.txt"
    echo target >"$links/outside/target.txt"
    ln -s ../outside/target.txt "$links/inside/linked-file.txt"
    ln -s ../outside/folder "$links/inside/linked-folder"
    "$here/scripts/wine-run.sh" "$build/bin/uninstall_link_probe.exe" \
        "$(windows_path "$links/inside")" plain.txt linked-file.txt linked-folder
}

median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

cleanup() {
    wineserver -k 2>/dev/null || true
    stop_display
    rm -rf "$work"
}

cmake --build "$build" -j2 --target uninstaller bench_delete uninstall_floor \
    uninstall_link_probe >/dev/null
trap cleanup EXIT
ensure_wine_prefix
start_display
export WINE_RUN_DISPLAY=$DISPLAY
# Wine's server and system processes stay between the runs, as Windows keeps its own.
if [ -n "${BENCH_SERVER_CPU:-}" ]; then
    wineserver -k 2>/dev/null || true
    taskset -c "$BENCH_SERVER_CPU" wineserver -p
else
    wineserver -p
fi
mkdir -p "$work"

declare -A walls inners
for method in "${methods[@]}"; do "measure_$method" >/dev/null; done  # warm-up
rm -f "$work"/steps.*
for ((r = 1; r <= reps; r++)); do
    for method in "${methods[@]}"; do
        read -r w i <<<"$("measure_$method")"
        walls[$method]+="$w"$'\n'
        inners[$method]+="$i"$'\n'
    done
    echo "run $r of $reps done" >&2
done

printf '\n%-22s %10s %10s %12s %12s   %s\n' command "wall s" "own s" "wall / bare" "run ratios" \
    "wall seconds of every run"
bare_wall=$(printf '%s' "${walls[bare]:-}" | median)
for method in "${methods[@]}"; do
    wall=$(printf '%s' "${walls[$method]}" | median)
    own=-
    grep -q '^-$' <<<"${inners[$method]}" || own=$(printf '%s' "${inners[$method]}" | median)
    ratio=-
    run_ratio=-
    if [ "$bare_wall" != - ]; then
        ratio=$(awk -v a="$wall" -v b="$bare_wall" 'BEGIN { printf "%.2f", a / b }')
        # Each run's time against the bare loop's of the same round: the load of a busy machine
        # drifts less within a round than over the whole benchmark.
        run_ratio=$(paste -d ' ' <(printf '%s' "${walls[$method]}") <(printf '%s' "${walls[bare]}") |
            awk '{ printf "%.3f\n", $1 / $2 }' | median)
    fi
    printf '%-22s %10s %10s %12s %12s   %s\n' "$method" "$wall" "$own" "$ratio" "$run_ratio" \
        "$(printf '%s' "${walls[$method]}" | tr '\n' ' ')"
done
cat <<EOF

$files files of 200 bytes in $folders folders under $work, written anew before every run;
medians of $reps runs after one warm-up, the commands taking turns, pinned to processor $cpu;
Wine's server ${BENCH_SERVER_CPU:+pinned to processor $BENCH_SERVER_CPU}${BENCH_SERVER_CPU:-placed by the system}; load average at the end $(cut -d ' ' -f 1-3 /proc/loadavg).
Wall: the whole process, Wine's start included; own: the helpers' timing of their loops alone;
run ratios: the median of each run's wall time over the bare loop's in the same round.
EOF
for method in "${methods[@]}"; do
    if [ -f "$work/steps.$method" ]; then
        printf 'microseconds a file, %s: %s\n' "$method" "$(step_medians "$method")"
    fi
done
cat <<EOF

What a folder's listing and a handle opened inside it show of plain.txt, a file, and of a Unix
symbolic link to a file and one to a folder (ids: the system's file ids):
EOF
show_links
