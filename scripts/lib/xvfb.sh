# Sourced by the desktop scripts. start_xvfb WxHxD: a private X server on a free display, its pid
# added to the caller's `pids` (which its cleanup kills), DISPLAY exported; `$work` is a folder.
start_xvfb() {
    exec {displayfd}>"$work/display"
    Xvfb -displayfd "$displayfd" -screen 0 "$1" -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    export DISPLAY=":$(tr -d '\n' <"$work/display")"
    # Services the session bus starts on demand (a notification server) show on this display too.
    if [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
        dbus-update-activation-environment DISPLAY >/dev/null 2>&1 || true
    fi
}
