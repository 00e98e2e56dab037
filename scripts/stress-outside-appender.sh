#!/bin/sh
# Another program appends lines in a tight loop (paced by a short sleep, so the file stays small)
# while plim captures N times; counts the appended lines that the captures' renames threw away. Usage: stress-outside-appender.sh PLIM [N] [ENTRIES]
set -u
plim=${1:?path to the plim binary}
captures=${2:-100}
entries=${3:-2000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
file="$work/notes.md"
# A file of some size, so that a write takes a realistic time.
{
    echo "## 2020-01-01 Wednesday"
    echo
    i=1
    while [ "$i" -le "$entries" ]; do echo "- [ ] filler entry number $i  <!-- 09:00 -->"; i=$((i + 1)); done
} >"$file"
(
    i=0
    trap 'echo "$i" >"$work/appended"; exit 0' TERM
    while :; do
        i=$((i + 1))
        echo "- outside line $i" >>"$file"
        sleep 0.001
    done
) &
appender=$!
n=1
while [ "$n" -le "$captures" ]; do
    "$plim" --file "$file" add "capture $n" >/dev/null 2>>"$work/err" || echo "$n" >>"$work/failed"
    n=$((n + 1))
done
kill -TERM "$appender"
wait "$appender"
appended=$(cat "$work/appended")
kept=$(grep -c -- '^- outside line ' "$file")
present=$(grep -c -- '- \[ \] capture [0-9]*  <!--' "$file")
failed=$(cat "$work/failed" 2>/dev/null | wc -l)
echo "outside lines: $appended  kept: $kept  lost: $((appended - kept))"
echo "captures: $captures  in the file: $present  non-zero exits: $failed"
sort "$work/err" 2>/dev/null | uniq -c | head -5
