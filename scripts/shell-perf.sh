#!/usr/bin/env bash
# Start-up, memory and idle figures of the resident program against a bare Qt tray program, run by
# run in turn, on a private X server and session bus. Not run by CI.
#   scripts/shell-perf.sh [RUNS] [IDLE_SECONDS]      (defaults 10 and 60; BUILD=build)
#   SIZES="10000 100000"   notes files of so many entries (one year is about 10 000)
#   BEFORE=path/to/another/plim   measures that build in the same turns
#   USE=SECONDS   also the memory after the drawer and the notes window were used once, right
#                 after and SECONDS later (the window's rows go once it has been hidden a while)
# Start to tray icon: from `plim --background` started to the resident program's request to dock
# its icon (our own tray host times it). Memory: resident set one second after that. Idle: context
# switches of all the program's threads over IDLE_SECONDS while nothing rings and nothing is shown.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${BUILD:-$root/build}" && pwd)
runs=${1:-10}
idle=${2:-60}
sizes=${SIZES:-10000 100000}
before=${BEFORE:-}
use=${USE:-0}

. "$root/scripts/lib/perf-session.sh"

cc -O2 -o "$work/tray_host" "$root/scripts/perf/tray_host.c" $(pkg-config --cflags --libs xcb)
c++ -O2 -fPIC -std=c++20 -o "$work/bare_tray" "$root/scripts/perf/bare_tray.cpp" \
    $(pkg-config --cflags --libs Qt6Widgets)
. "$root/scripts/lib/notes-desktop.sh"
make_notes_tool

. "$root/scripts/lib/xvfb.sh"
start_xvfb 1280x800x24

# A home of its own with a notes file of N entries (0: none yet).
home() {
    local dir="$work/home-$1"
    mkdir -p "$dir/run" "$dir/config/plim" "$dir/notes"
    chmod 700 "$dir/run"
    printf '[General]\nnotesFilePath=%s\n' "$dir/notes/plim.md" >"$dir/config/plim/plim.conf"
    [ "$1" -gt 0 ] && "$work/make_notes" "$1" >"$dir/notes/plim.md"
    echo "$dir"
}

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
range() { sort -n | awk 'NR==1 {lo=$1} {hi=$1} END {printf "%s–%s", lo, hi}'; }

# label home command...: one start; appends "ms kB switches [kB-after-use kB-later]" to label's runs.
# A run that could not reach the X server is tried again, up to three times.
once() {
    local label=$1 dir=$2
    shift 2
    for _ in 1 2 3; do
        if HOME=$dir XDG_RUNTIME_DIR=$dir/run XDG_CONFIG_HOME=$dir/config "$work/tray_host" 1000 0 "$@" \
            >>"$work/$label.txt"; then
            return
        fi
        echo "$label: a run failed" >&2
    done
}

# label [anchor]: medians and ranges of a label's runs, and their ratio to the anchor's.
report() {
    local label=$1 anchor=${2:-} f="$work/$1.txt"
    local ms mb
    ms=$(cut -d' ' -f1 "$f" | median)
    mb=$(cut -d' ' -f2 "$f" | median | awk '{print $1 / 1024}')
    printf '%-26s start to tray %7.1f ms (%s)   memory %6.1f MB (%s)' "$label" "$ms" "$(cut -d' ' -f1 "$f" | range)" \
        "$mb" "$(cut -d' ' -f2 "$f" | awk '{printf "%.1f\n", $1 / 1024}' | range)"
    if [ -n "$anchor" ]; then
        local a="$work/$anchor.txt"
        printf '\n%26s ratio %.2f (runs %s), memory +%.1f MB' "" \
            "$(awk -v x="$ms" -v y="$(cut -d' ' -f1 "$a" | median)" 'BEGIN {print x / y}')" \
            "$(paste -d' ' <(cut -d' ' -f1 "$f") <(cut -d' ' -f1 "$a") | awk '{printf "%.2f\n", $1 / $2}' | range)" \
            "$(awk -v x="$mb" -v y="$(cut -d' ' -f2 "$a" | median)" 'BEGIN {print x - y / 1024}')"
    fi
    echo
}

empty=$(home 0)
declare -A homes
for n in $sizes; do homes[$n]=$(home "$n"); done

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg); medians of $runs runs, (ranges)"
for _ in $(seq "$runs"); do
    once "bare Qt tray program" "$empty" "$work/bare_tray"
    for n in $sizes; do
        once "plim $n" "${homes[$n]}" "$build/src/plim" --background
        if [ -n "$before" ]; then once "plim before $n" "${homes[$n]}" "$before" --background; fi
    done
done
report "bare Qt tray program"
for n in $sizes; do
    report "plim $n" "bare Qt tray program"
    if [ -n "$before" ]; then report "plim before $n" "bare Qt tray program"; fi
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

if [ "$use" -gt 0 ]; then
    # The drawer shown and hidden, the notes window shown and hidden (as its shortcut does).
    export TRAY_HOST_REST=$use
    for n in $sizes; do
        for program in "$build/src/plim" ${before:+"$before"}; do
            dir=${homes[$n]}
            export TRAY_HOST_THEN="p='$program'; export HOME='$dir' XDG_RUNTIME_DIR='$dir/run' \
XDG_CONFIG_HOME='$dir/config'; \$p capture && sleep 1 && \$p capture && sleep 0.5 && \$p notes && sleep 2 && \
\$p notes && sleep 1"
            line=$(HOME=$dir XDG_RUNTIME_DIR=$dir/run XDG_CONFIG_HOME=$dir/config \
                "$work/tray_host" 1000 0 "$program" --background)
            echo "$line" | awk -v label="$([ "$program" = "$before" ] && echo "plim before $n" || echo "plim $n")" \
                -v rest="$use" '{printf "%-26s memory at start %.1f MB, after the drawer and the notes window " \
                "%.1f MB, %d s later %.1f MB\n", label, $2 / 1024, $4 / 1024, rest, $5 / 1024}'
        done
    done
    unset TRAY_HOST_THEN TRAY_HOST_REST
fi

if [ "$idle" -gt 0 ]; then
    n=${sizes%% *}
    bare=$(HOME=$empty XDG_RUNTIME_DIR=$empty/run XDG_CONFIG_HOME=$empty/config \
        "$work/tray_host" 1000 "$idle" "$work/bare_tray" | cut -d' ' -f3)
    plim=$(HOME=${homes[$n]} XDG_RUNTIME_DIR=${homes[$n]}/run XDG_CONFIG_HOME=${homes[$n]}/config \
        "$work/tray_host" 1000 "$idle" "$build/src/plim" --background | cut -d' ' -f3)
    echo "context switches over ${idle} s idle: bare $bare, plim ($n entries) $plim"
fi
