#!/usr/bin/env bash
# Dependence runs one way: core (platform, log, browser, themefile, web) <- session <- commands
# (themes, capture, pages) <- app. Fails on any include in src/ that points to a higher layer,
# above all on "app/" anywhere outside src/app. Inside the browser, the connection
# (browser/devtools) knows none of the parts that use it: the process, the window, the load ahead.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../src"

status=0
# refuse PATTERN FOLDER...: no file below the folders may have an include matching PATTERN.
refuse() {
    local pattern=$1
    shift
    local found
    found=$(grep -rnE "$pattern" "$@" --include='*.cpp' --include='*.h' || true)
    if [[ -n $found ]]; then
        echo "Includes that point to a higher layer:" >&2
        echo "$found" >&2
        status=1
    fi
}

commands='themes/|capture/|pages/'
refuse "^#include \"(app/|session/|$commands)" platform log browser themefile web
refuse "^#include \"(app/|$commands)" session
refuse '^#include "app/' themes capture pages
refuse '^#include "browser/(chromium|window|ahead)/' browser/devtools
exit $status
