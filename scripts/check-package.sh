#!/usr/bin/env bash
# Builds the Debian package from build/, installs it with apt-get as a user would, and starts
# the installed program once under a virtual X server: start-up, End, no browser left.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root/build"
rm -f quillon_*.deb
cpack -G DEB
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --reinstall ./quillon_*.deb
desktop-file-validate /usr/share/applications/quillon.desktop
test -f /usr/share/icons/hicolor/64x64/apps/quillon.png
QUILLON=/usr/bin/quillon xvfb-run -a -s "-screen 0 1280x800x24 -noreset" \
    python3 "$root/tests/e2e/session.py" -k test_start_and_end
