#!/usr/bin/env bash
# Installs the Debian packages plim needs to build and test. Quiet and quick when all is there.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libgl-dev libicu-dev
    libxcb1-dev libxcb-keysyms1-dev
    # Runs as a native client in a Wayland session.
    qt6-wayland
    libgtest-dev libgmock-dev googletest libbenchmark-dev libcmark-gfm-dev
    # The anchor the benchmarks measure against: a Markdown reader with its task-list extension.
    cmark-gfm libcmark-gfm-extensions-dev
    dbus dbus-bin
    # A desktop of their own for the tests that press keys and show windows.
    xvfb xdotool openbox dunst x11-utils imagemagick trayer
    # ...and a Wayland compositor of their own (weston's headless backend).
    weston
    clang libclang-rt-14-dev
    fonts-opendyslexic
    # The package and the checks of its desktop files, and Debian's own checks of the package.
    dpkg-dev desktop-file-utils appstream lintian
    # A real sync tool beside the notes file: two computers joined on loopback.
    syncthing
)
# The build fetches its other fonts with npm; any npm will do (a newer one may be installed already).
command -v npm >/dev/null 2>&1 || packages+=(npm)
if [ "${PLIM_DEPS_EXTRA:-}" != "" ]; then
    read -r -a extra <<<"$PLIM_DEPS_EXTRA"
    packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
