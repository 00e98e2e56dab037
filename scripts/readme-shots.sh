#!/usr/bin/env bash
# The README's screenshots (docs/*.png): the drawer, the notes window and the settings of the
# program in the build, with a small sample notes file, on a private X server with openbox.
# Run again after a visible change and commit the pictures. Needs Xvfb, openbox, xdotool and
# ImageMagick (scripts/install-deps.sh brings them).
#   scripts/readme-shots.sh            (BUILD=build)
#   OUT=/tmp/shots SETTINGS_PANES=1 scripts/readme-shots.sh   every pane of the settings as well,
#                                      into another folder (for looking at, not for the README)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${BUILD:-$root/build}" && pwd)
plim=$build/src/plim
out=${OUT:-$root/docs}

if [ -z "${PLIM_SHOTS_INNER:-}" ]; then
    exec dbus-run-session -- env PLIM_SHOTS_INNER=1 BUILD="$build" "$0" "$@"
fi

work=$(mktemp -d)
pids=()
resident=""
cleanup() {
    if [ -n "$resident" ]; then
        "$plim" quit >/dev/null 2>&1 || true
        for _ in $(seq 50); do kill -0 "$resident" 2>/dev/null || break; sleep 0.1; done
    fi
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

. "$root/scripts/lib/xvfb.sh"
start_xvfb 1280x800x24
openbox >/dev/null 2>&1 &
pids+=($!)
xsetroot -solid '#5b6573' 2>/dev/null || true

export HOME=$work/home XDG_RUNTIME_DIR=$work/home/run XDG_CONFIG_HOME=$work/home/config \
    XDG_STATE_HOME=$work/home/state TZ=${TZ:-Europe/Berlin}
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/plim" "$HOME/notes"
chmod 700 "$XDG_RUNTIME_DIR"
notes=$HOME/notes/plim.md
printf '[General]\nnotesFilePath=%s\nreminderDelivery=dot\nlaunchAtLoginOffered=true\n' "$notes" \
    >"$XDG_CONFIG_HOME/plim/plim.conf"

# A few days of notes, newest first as plim writes them: yesterday's and the day before's written out, today's captured by plim.
day() { LC_ALL=C date -d "$1" '+## %Y-%m-%d %A'; }
cat >"$notes" <<NOTES
$(day yesterday)

- [x] ~~send the slides to Ann~~  <!-- 10:02 -->
- [ ] ask Jo about the spare key  <!-- 12:30 -->
- [x] ~~renew the library books~~  <!-- 16:45 -->

$(day '2 days ago')

- [x] ~~book the dentist~~  <!-- 09:12 -->
- [ ] read the chapter on window managers  <!-- 14:40 -->
- [ ] idea: a shelf for the hallway, 80 cm  <!-- 18:05 -->
NOTES
add() { "$plim" --file "$notes" add "$@" >/dev/null; }
add --remind "$(date -d yesterday +%F) 8am" water the ficus
add --remind "tomorrow 9am" call the bank about the card
add --remind "every weekday 9am" stand-up notes in the team doc
add buy oat milk and coffee
add "https://example.org/recipes/lentil-soup try this weekend"

"$plim" --resident >/dev/null 2>&1 &
resident=$!
pids+=($!)
for _ in $(seq 100); do compgen -G "$XDG_RUNTIME_DIR/plim/instance*.socket" >/dev/null && break; sleep 0.05; done
sleep 1.5

# The plim window that has the keyboard once it is not `other` (the one that had it before).
focused() {
    local other=${1:-none} id
    for _ in $(seq 100); do
        id=$(xdotool getwindowfocus 2>/dev/null) && [ "$id" != "$other" ] &&
            [[ "$(xdotool getwindowname "$id" 2>/dev/null)" == plim* ]] && echo "$id" && return 0
        sleep 0.05
    done
    return 1
}
# Saves that window.
shot() {
    local file=$1 id
    id=$(focused "${2:-none}") || { echo "no plim window took the keyboard for $file" >&2; return 1; }
    sleep 0.8
    import -window "$id" "$work/shot.png"
    convert "$work/shot.png" -strip "$out/$file"
    echo "$out/$file: $(identify -format '%wx%h' "$out/$file")"
}
mkdir -p "$out"

# Without a tray the notes window opens at start.
focused >/dev/null || "$plim" notes
notes_window=$(focused)
shot notes.png

"$plim" capture
focused "$notes_window" >/dev/null
xdotool type --delay 20 "pick up the parcel at the post office"
shot drawer.png "$notes_window"
xdotool key Escape

# The settings window, on its Capture pane.
"$plim" settings
settings=$(focused "$notes_window")
xdotool key Right
shot settings.png "$notes_window"
if [ -n "${SETTINGS_PANES:-}" ]; then
    xdotool key Left
    for pane in general capture text reminders; do
        sleep 0.8
        import -window "$settings" "$out/settings-$pane.png"
        echo "$out/settings-$pane.png"
        xdotool key Right
    done
fi
xdotool key Escape
