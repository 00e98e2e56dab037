#!/usr/bin/env bash
# The data commands on a large notes file against their anchor: a general Markdown reader with its
# task-list extension reading the same file as a whole process (cmark-gfm -e tasklist FILE). The
# commands and the anchor run by turns, so that the machine's load falls on all of them alike. For
# each: elapsed time, CPU time (user + system) and peak resident memory as min / median / max, then
# the ratio of the medians to the anchor's, with the load average before and after. CALLGRIND=1 also
# counts each one's instructions once, a figure the load does not move. Not run by CI.
#   scripts/perf/commands.sh [RUNS] [ENTRIES]      (defaults 15 and 100000; BUILD=build, or PLIM=a plim)
# BEFORE=another plim (an earlier build) runs its commands in the same turns, for before and after.
# The reminders of the synthetic file were set in March 2026: run later, `due` counts their rings.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
plim=${PLIM:-${BUILD:-$root/build}/src/plim}
runs=${1:-15}
entries=${2:-100000}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/state" "$work/run"
chmod 700 "$work/run"
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/run TZ=Europe/Berlin

. "$root/scripts/lib/notes-desktop.sh"
make_notes_tool
file=$work/notes.md
"$work/make_notes" "$entries" >"$file"

names=(anchor due list-json)
[ -n "${BEFORE:-}" ] && names+=(due-before list-json-before)
command_of() {
    case $1 in
    anchor) cmd=(cmark-gfm -e tasklist "$file") ;;
    due) cmd=("$plim" --file "$file" due) ;;
    list-json) cmd=("$plim" --file "$file" list --json) ;;
    due-before) cmd=("$BEFORE" --file "$file" due) ;;
    list-json-before) cmd=("$BEFORE" --file "$file" list --json) ;;
    esac
}

echo "$entries entries ($(stat -c %s "$file") bytes), $runs runs each by turns; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for _ in $(seq "$runs"); do
    for name in "${names[@]}"; do
        command_of "$name"
        /usr/bin/time -f '%e %U %S %M' -a -o "$work/$name.txt" "${cmd[@]}" >/dev/null
    done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

# column of a file (1 elapsed s, 2 CPU s, 3 peak KB) -> "min median max"
stats() {
    awk '{print $1, $2 + $3, $4}' "$1" | cut -d' ' -f"$2" | sort -g |
        awk '{v[NR]=$1} END {m = NR % 2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2; print v[1], m, v[NR]}'
}
median() { stats "$1" "$2" | cut -d' ' -f2; }

printf '%-16s %-24s %-24s %-24s %s\n' "" "elapsed s (min med max)" "CPU s (min med max)" "peak MiB (min med max)" \
    "ratio to anchor (elapsed CPU memory)"
for name in "${names[@]}"; do
    t=$work/$name.txt
    mem=$(stats "$t" 3 | awk '{printf "%.1f %.1f %.1f", $1/1024, $2/1024, $3/1024}')
    ratio=$(awk -v e="$(median "$t" 1)" -v c="$(median "$t" 2)" -v m="$(median "$t" 3)" \
        -v E="$(median "$work/anchor.txt" 1)" -v C="$(median "$work/anchor.txt" 2)" \
        -v M="$(median "$work/anchor.txt" 3)" 'BEGIN {printf "%.2f %.2f %.2f", e/E, c/C, m/M}')
    printf '%-16s %-24s %-24s %-24s %s\n' "$name" "$(stats "$t" 1)" "$(stats "$t" 2)" "$mem" "$ratio"
done

if [ "${CALLGRIND:-0}" = 1 ]; then
    for name in "${names[@]}"; do
        command_of "$name"
        count=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "${cmd[@]}" 2>&1 >/dev/null |
            awk '/refs:/ {print $NF}')
        echo "instructions $name: $count"
    done
fi
