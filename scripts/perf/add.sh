#!/usr/bin/env bash
# `plim add` against the write floor: a small C program that reads the file, writes a temporary with
# one line more, fsyncs it, renames it over the file and fsyncs the folder (write_floor.c). Both run
# by turns, round after round, on files of the same size in the same folder, so that the machine's
# load and the disk's fsyncs fall on both alike; the load average is printed before and after.
# qt_floor is the same floor in a Qt program linked as plim's command line is: the part of the
# floor a Qt process start sets, which is most of it under a small file.
#   scripts/perf/add.sh [ROUNDS] [ENTRIES...]     (defaults 10, and 10000 100000; BUILD=build or PLIM=)
# BEFORE=another plim (an earlier build) runs in the same rounds, for before and after. Not run by CI.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
plim=${PLIM:-${BUILD:-$root/build}/src/plim}
rounds=${1:-10}
shift || true
sizes=("${@:-10000 100000}")
read -ra sizes <<<"${sizes[*]}"

# On the disk, not in /tmp: a tmpfs makes fsync free.
work=$(mktemp -d -p "${WORK_DIR:-$root}" .perf-add.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/state" "$work/run"
chmod 700 "$work/run"
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/run TZ=Europe/Berlin

cc -O2 -o "$work/write_floor" "$root/scripts/perf/write_floor.c"
cc -O2 -Dmain=floor_main -c -o "$work/write_floor.o" "$root/scripts/perf/write_floor.c"
c++ -O2 -fPIC -o "$work/qt_floor" "$root/scripts/perf/qt_floor.cpp" "$work/write_floor.o" -Wl,--no-as-needed \
    $(pkg-config --cflags --libs Qt6Core Qt6Network icu-i18n icu-uc)
. "$root/scripts/lib/notes-desktop.sh"
make_notes_tool

for entries in "${sizes[@]}"; do
    "$work/make_notes" "$entries" >"$work/floor.md"
    cp "$work/floor.md" "$work/plim.md"
    cp "$work/floor.md" "$work/qt.md"
    cmds=("$work/write_floor $work/floor.md" "$work/qt_floor $work/qt.md" "$plim --file $work/plim.md add a thought")
    if [ -n "${BEFORE:-}" ]; then
        cp "$work/floor.md" "$work/before.md"
        cmds+=("$BEFORE --file $work/before.md add a thought")
    fi
    # Each file once, so that plim's first run (a file it did not write) is not among the timed.
    for c in "${cmds[@]}"; do $c >/dev/null; done
    echo "$entries entries ($(stat -c %s "$work/floor.md") bytes), $rounds rounds; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
    for r in $(seq "$rounds"); do
        hyperfine -N -r 3 --export-json "$work/round-$r.json" "${cmds[@]}" >/dev/null 2>&1
    done
    echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
    jq -s '[.[].results] | transpose | map({command: .[0].command, times: (map(.times) | add)})' \
        "$work"/round-*.json >"$work/all.json"
    jq -r '(.[0].times | sort) as $f | ($f[($f | length) / 2 | floor]) as $fm | .[] |
        (.times | sort) as $t | ($t[($t | length) / 2 | floor]) as $m |
        "\(.command | split(" ")[0] | split("/")[-1] | .[0:14] | . + (" " * (14 - length)))  median \($m * 1000 | floor) ms  (min \($t[0] * 1000 | floor), max \($t[-1] * 1000 | floor))  ratio to floor \($m / $fm * 100 | floor / 100)"' \
        "$work/all.json"
    rm -f "$work"/round-*.json
done
