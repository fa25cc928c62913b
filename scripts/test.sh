#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest. The tests that need a
# display and the real browser get a virtual X server of their own, so that synthetic clicks
# never reach the desktop of whoever runs them. -noreset: by default the server resets whenever
# its last client leaves, and a program started during that reset (the next end-to-end case)
# cannot connect to it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/setup.sh"
cd "$root/build"
xvfb-run -a -s "-screen 0 1280x800x24 -noreset" ctest --output-on-failure
