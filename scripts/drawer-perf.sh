#!/usr/bin/env bash
# How fast the drawer takes the keyboard: from the capture shortcut pressed, and from `plim capture`
# started in a terminal, to the focus on the drawer. The resident program runs with a one-year notes
# file on a private X server with openbox. Not run by CI; needs libxcb-xtest0-dev.
#   scripts/drawer-perf.sh [RUNS]      (default 12; BUILD=build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${BUILD:-$root/build}" && pwd)
runs=${1:-12}

if [ -z "${PLIM_PERF_INNER:-}" ]; then
    exec dbus-run-session -- env PLIM_PERF_INNER=1 BUILD="$build" "$0" "$@"
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

cc -O2 -o "$work/focus_timer" "$root/scripts/perf/focus_timer.c" $(pkg-config --cflags --libs xcb xcb-xtest)
c++ -O2 -fPIC -std=c++20 -I "$root/bench" -o "$work/make_notes" "$root/scripts/perf/make_notes.cpp" \
    "$root/bench/SyntheticNotes.cpp" $(pkg-config --cflags --libs Qt6Core)

exec {displayfd}>"$work/display"
Xvfb -displayfd "$displayfd" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(tr -d '\n' <"$work/display")"
openbox >/dev/null 2>&1 &
pids+=($!)

export HOME=$work/home XDG_RUNTIME_DIR=$work/home/run XDG_CONFIG_HOME=$work/home/config
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/plim" "$HOME/notes"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[General]\nnotesFilePath=%s\n' "$HOME/notes/plim.md" >"$XDG_CONFIG_HOME/plim/plim.conf"
"$work/make_notes" 10000 >"$HOME/notes/plim.md"

xmessage -geometry 400x200+100+400 "the other program" &
pids+=($!)
"$build/src/plim" --resident &
pids+=($!)
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/plim/instance.socket" ] && break; sleep 0.05; done
sleep 1
other=$(xdotool search --sync --class xmessage | head -n 1)

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }

# label timer-arguments...: RUNS rounds from the other program's focus, Escape after each.
measure() {
    local label=$1
    shift
    : >"$work/$label"
    for _ in $(seq "$runs"); do
        xdotool windowactivate --sync "$other" >/dev/null 2>&1
        sleep 0.2
        "$work/focus_timer" "$@" >>"$work/$label" || true
        sleep 0.2
        xdotool key Escape
        for _ in $(seq 50); do [ "$(xdotool getwindowfocus)" = "$other" ] && break; sleep 0.02; done
    done
    printf '%-28s median %6.1f ms   runs: %s\n' "$label" "$(grep -v timeout "$work/$label" | median)" \
        "$(tr '\n' ' ' <"$work/$label")"
}

# Space is keycode 65 on Xvfb's map; 12 = Ctrl + Alt.
measure "shortcut to drawer" key 65 12
measure "plim capture to drawer" run "$build/src/plim" capture
"$build/src/plim" quit
