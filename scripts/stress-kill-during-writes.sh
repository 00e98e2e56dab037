#!/bin/sh
# Kills plim captures with SIGKILL at random moments during their writes, then starts plim once
# more and counts the temporaries left beside the notes file.
# Usage: stress-kill-during-writes.sh PLIM [KILLS] [ENTRIES]
set -u
plim=${1:?path to the plim binary}
kills=${2:-300}
entries=${3:-50000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
dir="$work/notes"
mkdir -p "$dir"
file="$dir/notes.md"
{
    echo "## 2020-01-01 Wednesday"
    echo
    i=1
    while [ "$i" -le "$entries" ]; do echo "- [ ] filler entry number $i  <!-- 09:00 -->"; i=$((i + 1)); done
} >"$file"
n=1
while [ "$n" -le "$kills" ]; do
    "$plim" --file "$file" add "capture $n" >/dev/null 2>&1 &
    pid=$!
    # Somewhere between start-up and the end of the write.
    sleep "0.$(printf %02d $(( (n * 37) % 25 )))"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    # Everything in the folder except the notes file (and the trash) is a leftover.
    find "$dir" -mindepth 1 ! -name notes.md ! -name '*.trash.md' >>"$work/seen"
    n=$((n + 1))
done
left=$(sort -u "$work/seen" | wc -l)
before=$(find "$dir" -mindepth 1 ! -name notes.md ! -name '*.trash.md' | wc -l)
"$plim" --file "$file" list >/dev/null
after=$(find "$dir" -mindepth 1 ! -name notes.md ! -name '*.trash.md' | wc -l)
echo "kills: $kills  temporaries left by killed writers: $left  still there before the next start: $before  after it: $after"
