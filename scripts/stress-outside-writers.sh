#!/bin/sh
# Another program writes the notes file while plim captures into it; counts what the other
# program's writes lost. Not run in CI.
# Usage: stress-outside-writers.sh PLIM KIND [ARGS]
#   inplace PAUSE [ROUNDS] [add|drawer]
#       a program rewrites the file in place with the bytes it held (truncate, write half, pause
#       PAUSE seconds, write the rest), and plim captures once during each pause, through
#       `plim add` or through the resident program's drawer (typed with xdotool on a private Xvfb)
#   appender [CAPTURES]       appends one line at a time, opening the file for each
#   held-appender [CAPTURES]  appends bursts of lines through a descriptor it keeps open a moment
#   editor [CAPTURES]         saves a copy with one more line and renames it over the file
#   sync [CAPTURES]           the same, with a moment of downloading between copy and rename
set -u
. "$(dirname "$0")/stress-desktop.sh"
plim=${1:?path to the plim binary}
kind=${2:?kind of writer}
shift 2
work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" XDG_STATE_HOME="$work/state" HOME="$work"
mkdir -p "$XDG_CONFIG_HOME/plim" "$XDG_RUNTIME_DIR" "$work/notes" && chmod 700 "$XDG_RUNTIME_DIR"
file="$work/notes/plim.md"
printf '[General]\nnotesFilePath=%s\n' "$file" >"$XDG_CONFIG_HOME/plim/plim.conf"
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    wait
    rm -rf "$work"
}
trap cleanup EXIT

# A file of some size, so that a write takes a realistic time.
fill() {
    {
        echo "## 2020-01-01 Wednesday"
        echo
        i=1
        while [ "$i" -le "$1" ]; do echo "- [ ] filler entry number $i  <!-- 09:00 -->"; i=$((i + 1)); done
    } >"$file"
}

# The resident program on an X server of its own, with a window manager, so that its drawer can
# be typed into.
start_resident() {
    start_private_x
    start_private_bus "$work"
    "$plim" --resident >"$work/resident.log" 2>&1 &
    resident=$!
    pids="$pids $resident"
    "$plim" --background >/dev/null 2>&1
}

case "$kind" in
inplace)
    pause=${1:-0.3}
    rounds=${2:-3}
    via=${3:-add}
    entries=1000
    fill "$entries"
    [ "$via" = drawer ] && start_resident
    r=1
    while [ "$r" -le "$rounds" ]; do
        cp "$file" "$work/held"
        half=$(($(wc -c <"$work/held") / 2))
        {
            head -c "$half" "$work/held"
            sleep "$pause"
            tail -c "+$((half + 1))" "$work/held"
        } >"$file" &
        writer=$!
        sleep "$(echo "$pause" | awk '{print $1 / 3}')"
        if [ "$via" = drawer ]; then
            drawer_capture "capture $r"
        else
            "$plim" --file "$file" add "capture $r" >/dev/null 2>>"$work/err" || echo "$r" >>"$work/failed"
        fi
        wait "$writer"
        # What is left for plim to write after the writer ended.
        sleep 1.5
        kept=$(grep -c -- '^- \[ \] filler entry number ' "$file")
        present=$(grep -c -- "- \\[ \\] capture $r  <!--" "$file")
        echo "round $r: entries kept $kept of $entries, capture in the file: $present"
        [ "$kept" -lt "$entries" ] && fill "$entries" # the next round starts whole
        r=$((r + 1))
    done
    ;;
appender | held-appender | editor | sync)
    captures=${1:-100}
    fill 2000
    (
        i=0
        # Stops between two writes, so that every line counted was written.
        while [ ! -e "$work/stop" ]; do
            case "$kind" in
            appender)
                i=$((i + 1))
                echo "- outside line $i" >>"$file"
                sleep 0.001
                ;;
            held-appender)
                # A logger: opens the file, writes a burst of lines a moment apart, closes it, and
                # is quiet for a moment.
                exec 3>>"$file"
                b=0
                while [ "$b" -lt 10 ]; do
                    i=$((i + 1))
                    echo "- outside line $i" >&3
                    b=$((b + 1))
                    sleep 0.001
                done
                exec 3>&-
                sleep 0.01
                ;;
            editor)
                i=$((i + 1))
                cp "$file" "$file~" && echo "- outside line $i" >>"$file~" && mv "$file~" "$file"
                sleep 0.002
                ;;
            sync)
                i=$((i + 1))
                tmp="$work/notes/.syncthing.plim.md.tmp"
                cp "$file" "$tmp" && echo "- outside line $i" >>"$tmp" && sleep 0.005 && mv "$tmp" "$file"
                sleep 0.002
                ;;
            esac
        done
        echo "$i" >"$work/written"
    ) &
    writer=$!
    n=1
    while [ "$n" -le "$captures" ]; do
        "$plim" --file "$file" add "capture $n" >/dev/null 2>>"$work/err" || echo "$n" >>"$work/failed"
        n=$((n + 1))
    done
    touch "$work/stop"
    wait "$writer"
    written=$(cat "$work/written")
    # Written but not in the file: lost. The editor and the sync client also drop each other's
    # and plim's lines when they rename a copy read before a write; those show as missing captures.
    kept=$(grep -c -- '^- outside line ' "$file")
    present=$(grep -c -- '- \[ \] capture [0-9]*  <!--' "$file")
    echo "$kind: outside lines $written  kept $kept  lost $((written - kept))"
    if [ "${SHOW_LOST:-}" ]; then
        i=1
        while [ "$i" -le "$written" ]; do grep -q -- "^- outside line $i\$" "$file" || echo "lost: outside line $i"; i=$((i + 1)); done
    fi
    echo "captures: $captures  in the file: $present"
    ;;
*)
    echo "unknown kind: $kind" >&2
    exit 2
    ;;
esac
failed=$(cat "$work/failed" 2>/dev/null | wc -l)
echo "non-zero exits: $failed"
sort "$work/err" 2>/dev/null | uniq -c | head -5
