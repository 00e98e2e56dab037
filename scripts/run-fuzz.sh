#!/usr/bin/env bash
# Runs every fuzz target in BUILD_DIR for a bounded number of runs; fails on the first finding.
set -euo pipefail
build=${1:-build-fuzz}
runs=${FUZZ_RUNS:-200000}
mkdir -p "$build/findings"
for f in "$build"/fuzz/*_fuzz; do
    name=$(basename "$f")
    # New finds go into the build folder; the seeds in the repository stay as they are.
    corpus=("$build/corpus/$name")
    mkdir -p "${corpus[0]}"
    [ -d "fuzz/corpus/$name" ] && corpus+=("fuzz/corpus/$name")
    echo "== $name ($runs runs)"
    if ! "$f" -runs="$runs" -max_len=512 -timeout=5 -artifact_prefix="$build/findings/" "${corpus[@]}" \
        >"$build/findings/$name.log" 2>&1; then
        tail -n 30 "$build/findings/$name.log"
        exit 1
    fi
    tail -n 1 "$build/findings/$name.log"
done
