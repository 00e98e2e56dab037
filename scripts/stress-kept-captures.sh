#!/bin/sh
# Captures typed into the resident program's drawer while the notes file cannot be written (another
# process holds plim's lock on it, or its disk is full), then the program quits or is killed, or
# space frees and another program edits the file: counts the captures that reach the file once it
# can be written. Needs Xvfb, openbox, xdotool, dbus-daemon, dbus-monitor and dunst; the full disk
# needs root (a small tmpfs).
# Not run in CI. Usage: stress-kept-captures.sh PLIM [CAPTURES] [contention|lock|disk]
set -u
plim=${1:?path to the plim binary}
captures=${2:-3}
only=${3:-}
top=$(mktemp -d)
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    wait
    umount "$top"/*/notes 2>/dev/null
    rm -rf "$top"
}
trap cleanup EXIT

. "$(dirname "$0")/stress-desktop.sh"
unset DBUS_SESSION_BUS_ADDRESS
start_private_x

# A fresh home for each case.
setup() {
    work="$top/$1"
    export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" XDG_STATE_HOME="$work/state" HOME="$work"
    mkdir -p "$XDG_CONFIG_HOME/plim" "$XDG_RUNTIME_DIR/plim" "$work/notes" && chmod 700 "$XDG_RUNTIME_DIR" "$XDG_RUNTIME_DIR/plim"
    file="$work/notes/plim.md"
    printf '[General]\nnotesFilePath=%s\n' "$file" >"$XDG_CONFIG_HOME/plim/plim.conf"
}

# The program killed below must be the one that runs: a launcher started before it answers would
# start a second one.
start_resident() {
    "$plim" --resident >>"$work/resident.log" 2>&1 &
    resident=$!
    pids="$pids $resident"
    n=0
    until ls "$XDG_RUNTIME_DIR"/plim/instance*.socket >/dev/null 2>&1 || [ "$n" -ge 100 ]; do
        sleep 0.05
        n=$((n + 1))
    done
}

kept_capture() {
    drawer_capture "$1"
    sleep 0.3
}

# plim's lock on the notes file, as another plim process holds it.
hold_lock() {
    canonical=$(readlink -f "$file")
    lock="$XDG_RUNTIME_DIR/plim/$(printf %s "$canonical" | sha256sum | cut -c1-32).lock"
    flock -o "$lock" sleep 1000 >/dev/null 2>&1 &
    holder=$!
    sleep 0.2
}

# A small disk for the notes, filled up.
fill_disk() {
    mount -t tmpfs -o size=256k tmpfs "$work/notes" || exit 1
    echo "## 2020-01-01 Wednesday" >"$file"
    dd if=/dev/zero of="$work/notes/filler" bs=4k 2>/dev/null
}

count() {
    grep -c -- '- \[ \] kept capture [0-9]*  <!--' "$file"
}

# Ends the resident program by `how` (quit, kill) or not at all (edit: space frees and another
# program appends a line while it runs).
run_case() {
    trouble=$1
    how=$2
    setup "$trouble-$how"
    start_resident
    if [ "$trouble" = lock ]; then hold_lock; else fill_disk; fi
    i=1
    while [ "$i" -le "$captures" ]; do kept_capture "kept capture $i"; i=$((i + 1)); done
    case "$how" in
    quit) "$plim" quit >/dev/null 2>&1; wait "$resident" 2>/dev/null ;;
    kill) kill -KILL "$resident"; wait "$resident" 2>/dev/null ;;
    esac
    if [ "$trouble" = lock ]; then pkill -P "$holder"; kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null; else rm -f "$work/notes/filler"; fi
    if [ "$how" = edit ]; then
        echo "- [ ] outside line" >>"$file"
        sleep 3
    else
        # The next plim process that has the file to itself.
        "$plim" list >/dev/null 2>&1
    fi
    if [ "$trouble" = lock ]; then what="lock held"; else what="disk full"; fi
    echo "$what, then $how: $(count) of $captures captures in the file"
    if [ "$how" = edit ]; then
        "$plim" quit >/dev/null 2>&1
        wait "$resident" 2>/dev/null
    fi
    [ "$trouble" = disk ] && umount "$work/notes"
}

# Four loops of `plim add` take turns with the drawer's captures: a moment's contention each time.
# Counts the alarms the resident program raised (notifications that it could not save) and the
# drawer's captures that reach the file.
run_contention() {
    setup contention
    start_private_bus "$work"
    dbus-monitor "interface='org.freedesktop.Notifications',member='Notify'" >"$work/notify" 2>/dev/null &
    monitor=$!
    pids="$pids $monitor"
    # A notification server, as on a desktop: without one nothing is posted.
    dunst >/dev/null 2>&1 &
    pids="$pids $!"
    sleep 1
    start_resident
    k=1
    while [ "$k" -le 4 ]; do
        (
            i=1
            while [ ! -e "$work/stop" ]; do "$plim" add "loop $k add $i" >/dev/null 2>&1; i=$((i + 1)); done
        ) &
        k=$((k + 1))
    done
    i=1
    while [ "$i" -le 50 ]; do kept_capture "kept capture $i"; i=$((i + 1)); done
    touch "$work/stop"
    sleep 4
    alarms=$(grep -c 'could not save' "$work/notify")
    echo "contention: $alarms alarms, $(count) of 50 drawer captures in the file"
    "$plim" quit >/dev/null 2>&1
    wait "$resident" 2>/dev/null
    kill "$monitor" 2>/dev/null
    unset DBUS_SESSION_BUS_ADDRESS
}

case "$only" in
'' | contention) run_contention ;;
esac
for trouble in lock disk; do
    [ -n "$only" ] && [ "$only" != "$trouble" ] && continue
    for how in quit kill edit; do
        [ "$trouble" = lock ] && [ "$how" = edit ] && continue
        run_case "$trouble" "$how"
    done
done
