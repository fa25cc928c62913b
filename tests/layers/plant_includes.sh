#!/usr/bin/env bash
# The layer check passes on the sources as they are, and fails on each include planted against
# the order, one at a time, in a copy of them.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
check=$root/scripts/check-layers.sh
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp -r "$root/src" "$copy/"
bash "$check" "$copy/src" || { echo "the sources as they are fail the check" >&2; exit 1; }

# FILE INCLUDE: a file of a lower layer, and the higher one that it must not include.
plants=(
    "session/Module1.h app/Form1.h"
    "themes/ThemeCommands.h app/Form1.h"
    "browser/devtools/DevToolsPipe.h browser/page/ShownPage.h"
    "browser/page/ShownPage.h browser/ahead/LoadAhead.h"
    "browser/ahead/LoadAhead.h browser/window/WindowBrowser.h"
    "browser/window/WindowBrowser.h browser/chromium/RunningChromium.h"
    "browser/ahead/LoadAhead.h browser/devtools/DevToolsPipe.h"
)
failed=0
for plant in "${plants[@]}"; do
    read -r file include <<<"$plant"
    cp "$root/src/$file" "$copy/src/$file.kept"
    printf '#include "%s"\n' "$include" >>"$copy/src/$file"
    if bash "$check" "$copy/src" 2>/dev/null; then
        echo "not refused: $include in $file" >&2
        failed=1
    fi
    mv "$copy/src/$file.kept" "$copy/src/$file"
done
exit $failed
