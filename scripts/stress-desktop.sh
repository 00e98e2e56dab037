# A private desktop for the stress scripts, sourced by them: an X server with a window manager, a
# session bus that starts nothing by itself, and the drawer typed into as a user would.
# Each function adds the processes it starts to $pids, for the caller's cleanup.

# An X server of its own (display :90 and up, by process id) and openbox.
start_private_x() {
    d=$((90 + $$ % 100))
    Xvfb ":$d" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    pids="$pids $!"
    export DISPLAY=":$d" QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY
    n=0
    until xdotool getmouselocation >/dev/null 2>&1 || [ "$n" -ge 100 ]; do sleep 0.1; n=$((n + 1)); done
    openbox >/dev/null 2>&1 &
    pids="$pids $!"
}

# A session bus listening in folder $1; eavesdropping allowed, so dbus-monitor sees every call.
start_private_bus() {
    printf '<busconfig><type>session</type><listen>unix:dir=%s</listen><policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>' \
        "$1" >"$1/bus.conf"
    dbus-daemon --nofork --print-address=1 --config-file="$1/bus.conf" >"$1/bus" 2>/dev/null &
    pids="$pids $!"
    until [ -s "$1/bus" ]; do sleep 0.05; done
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$1/bus")
    export DBUS_SESSION_BUS_ADDRESS
}

# Opens the drawer with `$plim capture`, types $1 once the drawer has the keyboard, and saves it.
# (Keys typed before that, on a first open, go to the window that had it: not what is counted here.)
drawer_capture() {
    # Without a tray the notes window is open too, under the same name: the drawer is the new one.
    before=$(xdotool search --onlyvisible --name '^plim$' 2>/dev/null | sort)
    "$plim" capture >/dev/null 2>&1
    n=0
    drawer=""
    while [ -z "$drawer" ] && [ "$n" -lt 100 ]; do
        drawer=$(xdotool search --onlyvisible --name '^plim$' 2>/dev/null | sort | while read -r w; do
            echo "$before" | grep -qx "$w" || echo "$w"
        done | head -n 1)
        [ -n "$drawer" ] || sleep 0.05
        n=$((n + 1))
    done
    n=0
    until [ -z "$drawer" ] || [ "$(xdotool getwindowfocus 2>/dev/null)" = "$drawer" ] || [ "$n" -ge 100 ]; do
        sleep 0.02
        n=$((n + 1))
    done
    xdotool type --delay 1 "$1"
    xdotool key Return
}
