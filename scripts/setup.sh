#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need (only the missing
# ones), then configures and builds into build/. Sourced by run.sh and test.sh.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config help2man
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev libxcb1-dev
    chromium
    xvfb xauth xdotool x11-utils imagemagick fonts-dejavu-core
    desktop-file-utils e2fsprogs procps python3 sqlite3
    openbox xfwm4 xfce4-panel mutter dbus-x11 x11-xserver-utils
)

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/install-missing.sh" "${packages[@]}"

# CI runs no benchmark, so it builds none.
bench=ON
[[ "${CI:-}" == true ]] && bench=OFF
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_BENCH=$bench
cmake --build "$root/build" -j "$(nproc)"
