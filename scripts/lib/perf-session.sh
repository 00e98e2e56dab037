# Sourced first by the desktop timing scripts: runs the caller again inside a private session bus,
# then gives it a scratch folder `$work` and a `pids` list that are cleaned up on exit.
# The caller sets `build` before sourcing.
if [ -z "${PLIM_PERF_INNER:-}" ]; then
    exec dbus-run-session -- env PLIM_PERF_INNER=1 BUILD="$build" "$0" "$@"
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
