#!/usr/bin/env bash
# Dependence runs one way: core (platform, log, browser, themefile, web) <- session <- commands
# (themes, capture, pages) <- app. Fails on any include in src/ that points to a higher layer,
# above all on "app/" anywhere outside src/app. Inside the browser, the same one way: the
# connection (devtools) <- the page on show (page) <- the load ahead (ahead) <- the window
# (window) <- the launched browser that composes them (chromium). The pipe under the connection
# is the connection's alone.
#     check-layers.sh [SOURCE-FOLDER]   (src/ of this checkout when not given)
set -euo pipefail
cd "${1:-$(dirname "${BASH_SOURCE[0]}")/../src}"

status=0
# refuse PATTERN FOLDER...: no file below the folders may have an include matching PATTERN.
refuse() {
    local pattern=$1
    shift
    local found
    found=$(grep -rnE "$pattern" "$@" --include='*.cpp' --include='*.h' || true)
    if [[ -n $found ]]; then
        echo "Includes that point to a higher layer, or past the connection to its pipe:" >&2
        echo "$found" >&2
        status=1
    fi
}

commands='themes/|capture/|pages/'
refuse "^#include \"(app/|session/|$commands)" platform log browser themefile web
refuse "^#include \"(app/|$commands)" session
refuse '^#include "app/' themes capture pages
refuse '^#include "browser/(chromium|window|ahead|page)/' browser/devtools
refuse '^#include "browser/(chromium|window|ahead)/' browser/page
refuse '^#include "browser/(chromium|window)/' browser/ahead
refuse '^#include "browser/chromium/' browser/window
refuse '^#include "browser/devtools/(DevToolsPipe|PipeFrames)\.h"' platform log themefile web session \
    themes capture pages app browser/page browser/ahead browser/window browser/chromium
exit $status
