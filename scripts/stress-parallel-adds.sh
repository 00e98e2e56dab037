#!/bin/sh
# Several plim processes capture into one notes file at once; counts the captures that did not
# arrive and the exits that were not 0. Usage: stress-parallel-adds.sh PLIM [LOOPS] [ADDS]
set -u
plim=${1:?path to the plim binary}
loops=${2:-3}
adds=${3:-100}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
file="$work/notes.md"
k=1
while [ "$k" -le "$loops" ]; do
    (
        i=1
        while [ "$i" -le "$adds" ]; do
            "$plim" --file "$file" add "P$k-$i" >/dev/null 2>>"$work/err.$k" || echo "$i" >>"$work/failed.$k"
            i=$((i + 1))
        done
    ) &
    k=$((k + 1))
done
wait
total=$((loops * adds))
present=$(grep -c -- '- \[ \] P[0-9]*-[0-9]*  <!--' "$file")
failed=$(cat "$work"/failed.* 2>/dev/null | wc -l)
echo "captures: $total  in the file: $present  missing: $((total - present))  non-zero exits: $failed"
cat "$work"/err.* 2>/dev/null | sort | uniq -c | head -5
