#!/usr/bin/env bash
# The instructions the resident program spends on one key of the notes window, as on the desktop:
# the program runs under callgrind on a private X server with openbox and a notes file of ENTRIES
# entries (default 100 000); counting is switched on only around the keys in KEYS (xdotool names,
# default "space"), after the keys in WARM (default "space ctrl+z"), so what a first key pays once
# is left out. Leaves OUT/cg.<pid>.1-01 (the main thread; open with callgrind_annotate) and
# screenshots before.png and after.png. Not run by CI; needs valgrind, Xvfb, openbox, xdotool.
#   scripts/perf/resident-callgrind.sh      (BUILD=build, PLIM=another build's plim, OUT=folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${BUILD:-$root/build}" && pwd)
program=${PLIM:-$build/src/plim}
out=$(mkdir -p "${OUT:-/tmp/plim-callgrind}" && cd "${OUT:-/tmp/plim-callgrind}" && pwd)
wait_s=${WAIT:-15}

. "$root/scripts/lib/perf-session.sh"

. "$root/scripts/lib/notes-desktop.sh"
make_notes_tool

notes_desktop 1280x900x24
"$work/make_notes" "${ENTRIES:-100000}" >"$HOME/notes/plim.md"
rm -f "$out"/cg.*

valgrind --tool=callgrind --instr-atstart=no --separate-threads=yes --callgrind-out-file="$out/cg.%p" \
    "$program" --resident >"$out/log" 2>&1 &
vg=$!
pids+=($vg)
window_of() {
    for _ in $(seq 600); do
        local w
        w=$(xdotool search --onlyvisible --name '^plim$' 2>/dev/null | head -n 1 || true)
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 0.2
    done
    return 1
}
# Without a tray the program opens its window itself.
window=$(window_of) || { "$program" notes; window=$(window_of); }
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
sleep "${SETTLE:-30}" # the start, slowed down some fifty times
import -window root "$out/before.png"
for k in ${WARM:-space ctrl+z}; do xdotool key "$k"; sleep "$wait_s"; done
callgrind_control -i on "$vg" >/dev/null
for k in ${KEYS:-space}; do xdotool key "$k"; sleep "$wait_s"; done
callgrind_control -i off "$vg" >/dev/null
callgrind_control -d "$vg" >/dev/null
import -window root "$out/after.png"
kill "$vg" 2>/dev/null || true
wait "$vg" 2>/dev/null || true
ls "$out"/cg.*-01
