#!/usr/bin/env bash
# with-display.sh COMMAND...: runs COMMAND on a virtual X server of its own (1280x800, 24-bit
# colour), so that tests run side by side never share a window, the focus or input; the server
# ends with it. Xvfb picks a free display itself (-displayfd), so two starts never race for one.
set -uo pipefail
exec 3< <(exec Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp -noreset 2>/dev/null)
server=$!
if ! read -r -u 3 number; then
    echo "with-display.sh: the virtual X server did not start" >&2
    exit 1
fi
export DISPLAY=":$number"
unset XAUTHORITY WAYLAND_DISPLAY
# The server's end of the pipe stays here: the test and its browsers start as they would
# anywhere else, without a descriptor of ours open.
"$@" 3<&-
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $status
