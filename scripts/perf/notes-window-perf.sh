#!/usr/bin/env bash
# How fast the notes window shows its rows after a key, as a user sees it: the resident program
# runs on a private X server with openbox and a notes file of ENTRIES entries (default 100 000);
# each key goes in through XTest, and rows_timer reads the window until it settles, then reports
# the time from the key to the first look that already showed what the window settled on (a blank
# or half drawn frame does not count). The anchor, bare_list (a bare Qt list view over the same
# entries' texts, showing each key's change the stock way), takes turns with plim round by round on
# the same file; with BEFORE=/path/to/another/plim that one joins the turns. The table gives each
# figure's median and its ratio to the anchor's, with the load average of each round. Not run by
# CI; needs Xvfb, openbox, xdotool and libxcb-xtest0-dev. "write floor" is a bare durable rewrite
# of the same file in the same folder (scripts/perf/write_floor.c), the part of a writing key no
# program can go below; TMPDIR=/dev/shm puts the folder on a memory file system, where syncing is free.
#   scripts/perf/notes-window-perf.sh [ROUNDS]      (default 3; BUILD=build, ENTRIES=100000)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${BUILD:-$root/build}" && pwd)
rounds=${1:-3}
entries=${ENTRIES:-100000}

. "$root/scripts/lib/perf-session.sh"

cc -O2 -o "$work/rows_timer" "$root/scripts/perf/rows_timer.c" $(pkg-config --cflags --libs xcb xcb-xtest)
. "$root/scripts/lib/notes-desktop.sh"
make_notes_tool
c++ -O2 -fPIC -std=c++20 -o "$work/bare_list" "$root/scripts/perf/bare_list.cpp" $(pkg-config --cflags --libs Qt6Widgets)
cc -O2 -o "$work/write_floor" "$root/scripts/perf/write_floor.c"

notes_desktop 1280x900x24

# Xvfb's default keyboard map.
KEY_A=38 KEY_N=57 KEY_E=26 KEY_S=39 KEY_Z=52 KEY_SPACE=65 KEY_BACKSPACE=22 KEY_RIGHT=114
CTRL=4 SHIFT=1

# The program's window, once it shows (within $1 tenths of a second).
window_of() {
    for _ in $(seq "$1"); do
        local w
        w=$(xdotool search --onlyvisible --name '^plim$' 2>/dev/null | head -n 1 || true)
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 0.1
    done
    return 1
}

# label key mods: one figure of one program, appended to $work/<program>-<label>.
time_key() {
    local label=$1 key=$2 mods=$3 height
    height=$(xdotool getwindowgeometry "$window" | awk '/Geometry/ {split($2, a, "x"); print a[2]}')
    # The list's part of the window: below the header (the filter's caret blinks), above the footer.
    "$work/rows_timer" "$window" "$key" "$mods" 70 $((height - 45)) >>"$work/$name-$label" || true
}
untimed() {
    xdotool key "$@"
    sleep 1.5
}

run_program() {
    local program=$1
    name=$2
    "$work/make_notes" "$entries" >"$HOME/notes/plim.md"
    local pid
    if [ "$name" = anchor ]; then
        "$program" "$HOME/notes/plim.md" &
        pid=$!
        window=$(window_of 300)
    else
        "$program" --resident &
        pid=$!
        # Without a tray the program opens its window itself; "plim notes" would then hide it again.
        if ! window=$(window_of 300); then
            "$program" notes
            window=$(window_of 100)
        fi
    fi
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
    sleep 3
    # A notification going away over the list would count as the list changing.
    dunstctl close-all >/dev/null 2>&1 || true
    # In the filter field: the first keystroke, a narrowing one, Backspace.
    untimed ctrl+f
    time_key "filter keystroke" $KEY_A 0
    time_key "narrowing" $KEY_N 0
    time_key "backspace" $KEY_BACKSPACE 0
    untimed Escape
    # On the first entry of the list, each change undone before the next.
    time_key "space" $KEY_SPACE 0
    time_key "undo" $KEY_Z $CTRL
    time_key "redo" $KEY_Z $((CTRL | SHIFT))
    untimed ctrl+z
    time_key "delete" $KEY_BACKSPACE 0
    untimed ctrl+z
    # Halfway down the list (a middle click on the scroll bar goes there), where past days hide
    # their done entries, and an entry there selected.
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove $((X + WIDTH - 6)) $((Y + HEIGHT / 2)) click 2
    sleep 2
    xdotool mousemove $((X + 200)) $((Y + HEIGHT / 2)) click 1
    sleep 1.5
    time_key "ctrl+e" $KEY_E $CTRL
    untimed ctrl+e
    # The sweep: the oldest open entry carried to today.
    untimed ctrl+s
    time_key "sweep carry" $KEY_RIGHT 0
    untimed ctrl+z
    untimed Escape
    if [ "$name" = anchor ]; then kill "$pid" 2>/dev/null || true; else "$program" quit || kill "$pid" 2>/dev/null || true; fi
    wait "$pid" 2>/dev/null || true
    # The bare durable rewrite of the same file in the same folder: what a writing key cannot go below.
    cp "$HOME/notes/plim.md" "$HOME/notes/floor.md"
    for _ in 1 2 3; do
        local t0
        t0=$(date +%s%N)
        "$work/write_floor" "$HOME/notes/floor.md"
        echo $((($(date +%s%N) - t0) / 100000)) | sed 's/.$/.&/' >>"$work/$name-write floor"
    done
}

programs=("$build/src/plim" "$work/bare_list")
names=("plim" "anchor")
if [ -n "${BEFORE:-}" ]; then
    programs+=("$BEFORE")
    names+=("before")
fi
for r in $(seq "$rounds"); do
    for i in "${!programs[@]}"; do
        printf 'round %d: %s (load %s)\n' "$r" "${names[$i]}" "$(cut -d' ' -f1-3 /proc/loadavg)"
        run_program "${programs[$i]}" "${names[$i]}"
    done
done

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
printf '\n%-18s %-8s %8s %7s   %s\n' "key to rows, ms" program median ratio "runs (rows first-frame frames)"
for label in "filter keystroke" narrowing backspace space undo redo delete "ctrl+e" "sweep carry" "write floor"; do
    anchor=$(grep -v -e timeout -e nochange "$work/anchor-$label" 2>/dev/null | awk '{print $1}' | median || true)
    for name in "${names[@]}"; do
        f="$work/$name-$label"
        [ -s "$f" ] || continue
        m=$(grep -v -e timeout -e nochange "$f" | awk '{print $1}' | median || true)
        ratio=$(awk -v m="$m" -v a="$anchor" 'BEGIN {if (m != "" && a > 0) printf "%.2f", m / a; else print "-"}')
        printf '%-18s %-8s %8s %7s   %s\n' "$label" "$name" "$m" "$ratio" "$(tr '\n' ';' <"$f")"
    done
done
