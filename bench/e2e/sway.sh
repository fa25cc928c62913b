#!/usr/bin/env bash
# The toolbar on a Wayland desktop: sway, a tiling compositor, headless, with XWayland. Started
# with QT_QPA_PLATFORM=wayland, as many sway set-ups export it, the program runs through
# XWayland; the toolbar and the browser must float, the toolbar at 0,0 across the output, the
# browser's page from row 78 below it. Prints sway's rectangles and exits 0 when they hold.
#
#     sudo bash bench/e2e/sway.sh build/src/quillon [USER]
#
# sway refuses to run as root, so it runs as USER (default quillon-sway, made when missing);
# the program must be readable by that user. Needs sway and xwayland (Debian's packages).
set -euo pipefail
program=$(realpath "${1:?the built program}")
user=${2:-quillon-sway}
id "$user" >/dev/null 2>&1 || useradd --create-home "$user"
work=$(mktemp -d)
chown "$user" "$work"
trap 'pkill -KILL -u "$user" || true; rm -rf "$work"' EXIT

su "$user" -s /bin/bash -c "
set -euo pipefail
export HOME=$work XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 \$XDG_RUNTIME_DIR
printf 'output HEADLESS-1 resolution 1280x800\nxwayland enable\nexec sh -c \"echo \\\$DISPLAY > $work/display\"\n' > $work/config
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c $work/config > $work/sway.log 2>&1 &
for i in \$(seq 100); do [ -s $work/display ] && break; sleep 0.2; done
export DISPLAY=\$(cat $work/display) WAYLAND_DISPLAY=wayland-1 QT_QPA_PLATFORM=wayland
export SWAYSOCK=\$(ls \$XDG_RUNTIME_DIR/sway-ipc.*.sock)
'$program' > $work/program.log 2>&1 &
python3 - <<'PY'
import json, subprocess, sys, time
def windows():
    tree = json.loads(subprocess.run(['swaymsg', '-t', 'get_tree'], capture_output=True, text=True).stdout or '{}')
    found = {}
    def walk(node, floating):
        name = node.get('name') or ''
        if node.get('type') in ('con', 'floating_con') and node.get('window'):
            r = node['rect']
            found[name] = (floating, (r['x'], r['y'], r['width'], r['height']))
        for child in node.get('nodes', []): walk(child, False)
        for child in node.get('floating_nodes', []): walk(child, True)
    walk(tree, False)
    return found
def holds(found):
    toolbar = [v for k, v in found.items() if k.startswith('Quillon Version 2.8')]
    browser = [v for k, v in found.items() if k.endswith(' - Chromium')]
    return (toolbar and browser and toolbar[0][0] and browser[0][0] and toolbar[0][1][:3] == (0, 0, 1280)
            and browser[0][1][1] >= 78 and browser[0][1][1] >= sum(toolbar[0][1][1::2]))
deadline = time.monotonic() + 60
found = {}
while time.monotonic() < deadline and not holds(found):
    time.sleep(0.5)
    found = windows()
for name, (floating, rect) in found.items():
    print(('floating' if floating else 'tiled   '), rect, name)
print('holds' if holds(found) else 'does not hold')
sys.exit(0 if holds(found) else 1)
PY
"
