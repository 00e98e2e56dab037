#!/usr/bin/env bash
# How fast the drawer takes the keyboard: from the capture shortcut pressed to the focus on the
# drawer, against a bare Qt program that shows a window with an editor on a key grabbed the same
# way (its floor), press by press in turn. The resident program runs with a notes file of each size
# on a private X server with openbox; `plim capture` started in a terminal is timed too. Not run by
# CI; needs libxcb-xtest0-dev.
#   scripts/drawer-perf.sh [RUNS]      (default 12; BUILD=build, SIZES="10000 100000")
#   BEFORE=path/to/another/plim also times that build in the same rounds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${BUILD:-$root/build}" && pwd)
runs=${1:-12}
sizes=${SIZES:-10000 100000}
before=${BEFORE:-}

. "$root/scripts/lib/perf-session.sh"

cc -O2 -o "$work/focus_timer" "$root/scripts/perf/focus_timer.c" $(pkg-config --cflags --libs xcb xcb-xtest)
c++ -O2 -fPIC -std=c++20 -o "$work/bare_drawer" "$root/scripts/perf/bare_drawer.cpp" \
    $(pkg-config --cflags --libs Qt6Widgets xcb)
. "$root/scripts/lib/notes-desktop.sh"
make_notes_tool

. "$root/scripts/lib/xvfb.sh"
start_xvfb 1280x800x24
openbox >/dev/null 2>&1 &
pids+=($!)

xmessage -geometry 400x200+100+400 "the other program" &
pids+=($!)
other=$(xdotool search --sync --class xmessage | head -n 1)
# Keycodes on Xvfb's map: 65 Space, 56 b. Masks: 1 Shift, 4 Ctrl, 8 Alt.
"$work/bare_drawer" 56 12 &
pids+=($!)

# A home of its own for one program and size; `capture` is the capture shortcut as stored.
home() {
    local dir="$work/home-$1-$2" capture=$3
    mkdir -p "$dir/run" "$dir/config/plim" "$dir/notes"
    chmod 700 "$dir/run"
    {
        printf '[General]\nnotesFilePath=%s\n' "$dir/notes/plim.md"
        printf 'KeyboardShortcuts_capture="{\\"carbonKeyCode\\":49,\\"carbonModifiers\\":%s}"\n' "$capture"
        printf 'KeyboardShortcuts_manage=false\nKeyboardShortcuts_captureClipboard=false\n'
    } >"$dir/config/plim/plim.conf"
    "$work/make_notes" "$2" >"$dir/notes/plim.md"
    echo "$dir"
}

# dir program: starts the resident program there and waits until it listens and has settled.
resident() {
    HOME=$1 XDG_RUNTIME_DIR=$1/run XDG_CONFIG_HOME=$1/config "$2" --resident >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 200); do [ -S "$1/run/plim/instance.socket" ] && break; sleep 0.05; done
    sleep 2
}

# label timer-arguments...: one round from the other program's focus, Escape after it.
once() {
    local label=$1
    shift
    xdotool windowactivate --sync "$other" >/dev/null 2>&1
    sleep 0.2
    "$work/focus_timer" "$@" >>"$work/$label" || true
    sleep 0.2
    xdotool key Escape
    for _ in $(seq 50); do [ "$(xdotool getwindowfocus)" = "$other" ] && break; sleep 0.02; done
}

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
range() { sort -n | awk 'NR==1 {lo=$1} {hi=$1} END {printf "%s–%s", lo, hi}'; }
report() {
    local label=$1 anchor=${2:-}
    local m
    m=$(grep -v timeout "$work/$label" | median)
    printf '%-34s median %6.1f ms  range %-13s' "$label" "$m" "$(grep -v timeout "$work/$label" | range)"
    if [ -n "$anchor" ]; then
        printf '  ratio %.2f (runs %s)' "$(awk -v a="$m" -v b="$(grep -v timeout "$work/$anchor" | median)" \
            'BEGIN {print a / b}')" \
            "$(paste "$work/$label" "$work/$anchor" | awk '$1 != "timeout" && $2 != "timeout" {printf "%.2f\n", $1 / $2}' |
                range)"
    fi
    echo
}

# The X modifier mask of a stored capture shortcut's modifiers (Ctrl+Alt, Ctrl+Alt+Shift).
mask() { [ "$1" = 6144 ] && echo 12 || echo 13; }
quit() { HOME=$1 XDG_RUNTIME_DIR=$1/run XDG_CONFIG_HOME=$1/config "$2" quit; }

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
for n in $sizes; do
    # With another build the two swap their shortcuts and their turns halfway: neither gains by its
    # place in the round (the second turn of a round is about 1 ms faster here, whoever takes it).
    halves=1
    [ -n "$before" ] && halves=2
    for half in $(seq "$halves"); do
        mine=6144 theirs=6656
        [ "$half" = 2 ] && mine=6656 theirs=6144
        after_home=$(home "after-$half" "$n" "$mine")
        resident "$after_home" "$build/src/plim"
        if [ -n "$before" ]; then
            before_home=$(home "before-$half" "$n" "$theirs")
            resident "$before_home" "$before"
        fi
        for _ in $(seq $((runs / halves))); do
            once "bare Qt window $n" key 56 12
            if [ "$half" = 2 ]; then once "plim before $n" key 65 "$(mask "$theirs")"; fi
            once "plim $n" key 65 "$(mask "$mine")"
            if [ -n "$before" ] && [ "$half" = 1 ]; then once "plim before $n" key 65 "$(mask "$theirs")"; fi
        done
        if [ "$half" = "$halves" ]; then
            for _ in $(seq "$runs"); do
                HOME=$after_home XDG_RUNTIME_DIR=$after_home/run XDG_CONFIG_HOME=$after_home/config \
                    once "plim capture to drawer $n" run "$build/src/plim" capture
            done
        fi
        quit "$after_home" "$build/src/plim"
        if [ -n "$before" ]; then quit "$before_home" "$before"; fi
        sleep 0.5
    done
    report "bare Qt window $n"
    report "plim $n" "bare Qt window $n"
    if [ -n "$before" ]; then report "plim before $n" "bare Qt window $n"; fi
    report "plim capture to drawer $n"
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
