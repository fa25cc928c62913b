#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest, as many side by side as
# there are cores. Each test that needs a display and the real browser gets a virtual X server
# of its own (tests/with-display.sh), so that synthetic clicks never reach the desktop of
# whoever runs them, nor another test's windows.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/setup.sh"
cd "$root/build"
ctest --output-on-failure -j "$(nproc)"
