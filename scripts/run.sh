#!/usr/bin/env bash
# Installs what is missing, builds, and starts the toolbar.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/setup.sh"
exec "$root/build/src/quillon"
