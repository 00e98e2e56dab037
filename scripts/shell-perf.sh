#!/usr/bin/env bash
# Start-up, memory and idle figures of the resident program against a bare Qt tray program, on a
# private X server and session bus. Not run by CI.
#   scripts/shell-perf.sh [RUNS] [IDLE_SECONDS]      (defaults 10 and 60; BUILD=build)
# Start to tray icon: from starting the program to its request to dock its icon (our own tray host
# times it). Memory: resident set one second after that. Idle: context switches of all the
# program's threads over IDLE_SECONDS while nothing rings and nothing is shown.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${BUILD:-$root/build}" && pwd)
runs=${1:-10}
idle=${2:-60}

if [ -z "${PLIM_PERF_INNER:-}" ]; then
    exec dbus-run-session -- env PLIM_PERF_INNER=1 BUILD="$build" "$0" "$@"
fi

work=$(mktemp -d)
xvfb=""
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cc -O2 -o "$work/tray_host" "$root/scripts/perf/tray_host.c" $(pkg-config --cflags --libs xcb)
c++ -O2 -fPIC -std=c++20 -o "$work/bare_tray" "$root/scripts/perf/bare_tray.cpp" \
    $(pkg-config --cflags --libs Qt6Widgets)
c++ -O2 -fPIC -std=c++20 -I "$root/bench" -o "$work/make_notes" "$root/scripts/perf/make_notes.cpp" \
    "$root/bench/SyntheticNotes.cpp" $(pkg-config --cflags --libs Qt6Core)

exec {displayfd}>"$work/display"
Xvfb -displayfd "$displayfd" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(tr -d '\n' <"$work/display")"

# A home of its own with a notes file of N entries (0: none yet).
home() {
    local dir="$work/home-$1"
    mkdir -p "$dir/run" "$dir/config/plim" "$dir/notes"
    chmod 700 "$dir/run"
    printf '[General]\nnotesFilePath=%s\n' "$dir/notes/plim.md" >"$dir/config/plim/plim.conf"
    [ "$1" -gt 0 ] && "$work/make_notes" "$1" >"$dir/notes/plim.md"
    echo "$dir"
}
empty=$(home 0)
year=$(home 10000)

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }

# label home command...: RUNS starts; prints the medians of time to dock (ms) and memory (MB).
measure() {
    local label=$1 dir=$2
    shift 2
    local out="$work/$label.txt"
    : >"$out"
    # A run that could not reach the X server is tried again, up to as many times as there are runs.
    local tries=0
    while [ "$(wc -l <"$out")" -lt "$runs" ] && [ "$tries" -lt $((2 * runs)) ]; do
        tries=$((tries + 1))
        HOME=$dir XDG_RUNTIME_DIR=$dir/run XDG_CONFIG_HOME=$dir/config "$work/tray_host" 1000 0 "$@" >>"$out" ||
            echo "$label: a run failed" >&2
    done
    echo "$label:" $(cut -d' ' -f1 "$out") >>"$work/raw.txt"
    printf '%-26s start to tray %7.1f ms   memory %6.1f MB\n' "$label" \
        "$(cut -d' ' -f1 "$out" | median)" "$(cut -d' ' -f2 "$out" | median | awk '{print $1/1024}')"
}

# The one-year file's share of the start is the difference between the two plim lines.
echo "medians of $runs runs"
measure "bare Qt tray program" "$empty" "$work/bare_tray"
measure "plim, empty notes file" "$empty" "$build/src/plim" --resident
measure "plim, one-year file" "$year" "$build/src/plim" --resident

sed 's/^/  runs (ms) /' "$work/raw.txt"

if [ "$idle" -gt 0 ]; then
    bare=$(HOME=$empty XDG_RUNTIME_DIR=$empty/run XDG_CONFIG_HOME=$empty/config \
        "$work/tray_host" 1000 "$idle" "$work/bare_tray" | cut -d' ' -f3)
    plim=$(HOME=$empty XDG_RUNTIME_DIR=$empty/run XDG_CONFIG_HOME=$empty/config \
        "$work/tray_host" 1000 "$idle" "$build/src/plim" --resident | cut -d' ' -f3)
    echo "context switches over ${idle} s idle: bare $bare, plim $plim"
fi
