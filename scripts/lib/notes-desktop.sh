# Sourced by the timing scripts once `$root` and `$work` are set (notes_desktop also wants `pids`).
# make_notes_tool: builds $work/make_notes (a notes file of N entries on standard output).
make_notes_tool() {
    c++ -O2 -fPIC -std=c++20 -I "$root/bench" -o "$work/make_notes" "$root/scripts/perf/make_notes.cpp" \
        "$root/bench/SyntheticNotes.cpp" $(pkg-config --cflags --libs Qt6Core)
}

# notes_desktop WxHxD: a private X server with openbox, and a home of its own whose settings have the
# first-run questions answered (so that the notes list has the window) and name $HOME/notes/plim.md.
notes_desktop() {
    . "$root/scripts/lib/xvfb.sh"
    start_xvfb "$1"
    openbox >/dev/null 2>&1 &
    pids+=($!)
    export HOME=$work/home XDG_RUNTIME_DIR=$work/home/run XDG_CONFIG_HOME=$work/home/config
    mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/plim" "$HOME/notes"
    chmod 700 "$XDG_RUNTIME_DIR"
    printf '[General]\nnotesFilePath=%s\nreminderDelivery=dot\nlaunchAtLoginOffered=true\n' "$HOME/notes/plim.md" \
        >"$XDG_CONFIG_HOME/plim/plim.conf"
}
