#!/usr/bin/env bash
# Checks of the desktop files and the Debian package. Exit 77 (a skipped test) with a message when
# a tool they need is not installed.
#   check.sh desktop FILE             desktop-file-validate passes
#   check.sh metainfo FILE            appstreamcli validate passes
#   check.sh deb BUILD VERSION ID     the package holds the installed files, unpacked anywhere it
#                                     runs and finds its fonts and icon, and lintian finds no error
#                                     or warning, and no hardening gap, that lintian-allowed (beside
#                                     this script) does not list
set -uo pipefail

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    exit 1
}
need() {
    command -v "$1" >/dev/null 2>&1 || skip "$1 is not installed (${2:-it})"
}

case "${1:-}" in
desktop)
    need desktop-file-validate "Debian: desktop-file-utils"
    out=$(desktop-file-validate "$2" 2>&1) || fail "$out"
    # Hints are fine; warnings and errors are not.
    ! grep -Eq ': (error|warning):' <<<"$out" || fail "$out"
    echo "$2: valid"
    ;;
metainfo)
    need appstreamcli "Debian: appstream"
    appstreamcli validate --no-net --pedantic "$2" || fail "appstreamcli validate $2"
    ;;
deb)
    build=$2 version=$3 appid=$4
    need cpack "CMake"
    need dpkg-deb "Debian: dpkg"
    need dpkg-shlibdeps "Debian: dpkg-dev"
    tmp=$(mktemp -d)
    resident=""
    cleanup() {
        [ -n "$resident" ] && kill "$resident" 2>/dev/null
        rm -rf "$tmp"
    }
    trap cleanup EXIT

    # Package what the build installs, into a folder of our own (the build's own .deb is left alone).
    cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
        fail "cpack: $(cat "$tmp/cpack.log")"
    deb=$(ls "$tmp"/out/plim_"$version"_*.deb 2>/dev/null | head -n1)
    [ -n "$deb" ] || fail "no plim_${version}_*.deb made: $(cat "$tmp/cpack.log")"

    depends=$(dpkg-deb -f "$deb" Depends)
    grep -q 'libqt6widgets6' <<<"$depends" || fail "Depends lacks the Qt libraries: $depends"
    grep -q 'fonts-opendyslexic' <<<"$depends" || fail "Depends lacks fonts-opendyslexic: $depends"
    dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$tmp/contents"
    expected=(
        /usr/bin/plim
        /usr/share/applications/plim.desktop
        "/usr/share/metainfo/$appid.metainfo.xml"
        /usr/share/icons/hicolor/scalable/apps/plim.svg
        /usr/share/icons/hicolor/48x48/apps/plim.png
        /usr/share/icons/hicolor/256x256/apps/plim.png
        /usr/share/man/man1/plim.1.gz
        /usr/share/doc/plim/changelog.gz
        /usr/share/doc/plim/copyright
        /usr/share/bash-completion/completions/plim
    )
    fonts=no
    if ls "$build"/share/plim/fonts/*.ttf >/dev/null 2>&1; then
        fonts=yes
        expected+=(/usr/share/plim/fonts/AtkinsonHyperlegibleNext-400Regular.ttf)
    else
        echo "note: the build has no fonts (PLIM_FONTS=OFF or the fetch failed): not looked for"
    fi
    for f in "${expected[@]}"; do
        grep -qx -- "$f" "$tmp/contents" || fail "$f is not in the package"
    done
    grep -qx -- /usr/libexec/plim/plim-resident.so "$tmp/contents" || fail "the resident program's module is not in the package"
    # The system's OpenDyslexic is used, not a copy of it.
    ! grep -q 'OpenDyslexic' "$tmp/contents" || fail "the package holds a copy of OpenDyslexic"

    # Unpacked in a folder of its own, with a home, settings and data folders that know nothing of plim.
    root=$tmp/root
    dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
    mkdir -p "$tmp/home" "$tmp/config" "$tmp/state" "$tmp/data" "$tmp/run"
    chmod 700 "$tmp/run"
    export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/config XDG_STATE_HOME=$tmp/state XDG_DATA_HOME=$tmp/data \
        XDG_DATA_DIRS=$tmp/data XDG_RUNTIME_DIR=$tmp/run
    unset DISPLAY WAYLAND_DISPLAY
    plim=$root/usr/bin/plim

    [ "$("$plim" --version)" = "plim $version" ] || fail "--version says: $("$plim" --version 2>&1)"
    id=$("$plim" --file "$tmp/notes.md" add packaged capture) || fail "add: exit $?"
    grep -q 'packaged capture' "$tmp/notes.md" || fail "the capture is not in the notes file"
    [ "$("$plim" --file "$tmp/notes.md" list --json | grep -c "$id")" = 1 ] || fail "list does not show $id"

    # The resident program says where it found its fonts and icon.
    : >"$tmp/resident.log"
    launcher=()
    command -v dbus-run-session >/dev/null 2>&1 && launcher=(dbus-run-session --)
    QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="plim.data.info=true" \
        "${launcher[@]}" "$plim" --resident >"$tmp/resident.log" 2>&1 &
    resident=$!
    want_icon="icon from $root/usr/share/icons/hicolor"
    want_fonts="fonts from $root/usr/share/plim/fonts"
    for _ in $(seq 100); do
        grep -qF "$want_icon" "$tmp/resident.log" &&
            { [ $fonts = no ] || grep -qF "$want_fonts" "$tmp/resident.log"; } && break
        sleep 0.1
    done
    "$plim" quit || fail "quit: exit $?"
    for _ in $(seq 50); do
        kill -0 "$resident" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$resident" 2>/dev/null && fail "the resident program did not end on quit"
    resident=""
    grep -qF "$want_icon" "$tmp/resident.log" || fail "no '$want_icon' in: $(cat "$tmp/resident.log")"
    if [ $fonts = yes ]; then
        grep -qF "$want_fonts" "$tmp/resident.log" || fail "no '$want_fonts' in: $(cat "$tmp/resident.log")"
    fi
    echo "$(basename "$deb"): $(wc -l <"$tmp/contents") entries; unpacked, it runs and finds its data"
    grep -E 'icon from|fonts from' "$tmp/resident.log"

    # The changelog's newest entry is this version.
    top=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/plim/changelog.gz | gzip -dc | head -n1)
    [[ $top == "plim ($version) "* ]] || fail "the changelog's newest entry is not $version: $top"

    # Last, as it is the one part that may be skipped: Debian's own checks of the package.
    need lintian "Debian: lintian"

    allowed=$(dirname "$0")/lintian-allowed
    lintian --display-info "$deb" >"$tmp/lintian.txt" 2>&1
    # Errors and warnings, and the hardening gaps lintian only mentions.
    found=$(grep -E '^[EW]: |^I: [^ ]+ hardening-' "$tmp/lintian.txt" | awk '{print $3}' | sort -u)
    unlisted=""
    for tag in $found; do
        grep -Eq "^$tag[[:space:]]+[^[:space:]#]" "$allowed" || unlisted+=" $tag"
    done
    [ -z "$unlisted" ] || fail "lintian tags not in $allowed (with a reason):$unlisted
$(grep -E '^[EWI]: ' "$tmp/lintian.txt")"
    echo "$(basename "$deb"): lintian finds nothing unlisted ($(grep -c '^[EW]: ' "$tmp/lintian.txt") errors and warnings)"
    ;;
*)
    echo "usage: check.sh desktop FILE | metainfo FILE | deb BUILD VERSION APPID" >&2
    exit 2
    ;;
esac
