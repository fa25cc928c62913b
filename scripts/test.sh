#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest. Tests that need a real
# display and the real browser get a virtual X server.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/setup.sh"
cd "$root/build"
if [ -n "${DISPLAY:-}" ]; then
    ctest --output-on-failure
else
    xvfb-run -a -s "-screen 0 1280x800x24" ctest --output-on-failure
fi
