"""The toolbar and its browser on the desktops people run them on, driven from outside.

Each test starts an X server with a session bus and a real window manager of its own: frames
of many sizes, compositors (the browser's window then has a transparent shadow margin), a panel
at the top, two monitors with the primary on the right. Figures come from the X server, pixels
from a shot of the screen."""

import http.server
import os
import re
import shutil
import signal
import subprocess
import tempfile
import threading
import unittest

import session
from session import Session, chromium_processes_of, twips, wait_for, windows_named, xdotool

MAGENTA, GREY = (255, 0, 255), (192, 192, 192)
TOOLBAR, BROWSER = "^Quillon Version 2\\.8", " - Chromium$"
# Pages in a colour the toolbar never shows; a press in the page renames it, which tells that
# the window manager has dealt with the click (its focus and raise come first).
for n in (1, 2):
    session.SCRIPTED[f"magenta{n}"] = (
        "<style>html { background: #ff00ff; height: 100% }</style>"
        "<script>onmousedown = () => { document.title += ' pressed' }</script>")


def run(*command):
    return subprocess.run(command, capture_output=True, text=True).stdout


def window_info(window):
    """The window's place on the screen (x, y, width, height) and its depth, or None."""
    out = run("xwininfo", *(["-root"] if window == "root" else ["-id", window]))
    keys = ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height", "Depth")
    found = [re.search(rf"{key}:\s+(-?\d+)", out) for key in keys]
    return [int(f.group(1)) for f in found] if all(found) else None


def cardinals(name, window=None):
    out = run("xprop", *(["-id", window] if window else ["-root"]), name)
    match = re.search(r"= ([-\d, ]+)$", out.strip())
    return [int(v) for v in match.group(1).split(",")] if match else []


def grown(rect, extents):
    """A rectangle grown by (left, right, top, bottom); negative extents shrink it."""
    left, right, top, bottom = extents or (0, 0, 0, 0)
    x, y, w, h = rect
    return (x - left, y - top, w + left + right, h + top + bottom)


def meet(a, b):
    left, top = max(a[0], b[0]), max(a[1], b[1])
    right, bottom = min(a[0] + a[2], b[0] + b[2]), min(a[1] + a[3], b[1] + b[3])
    return (left, top, max(0, right - left), max(0, bottom - top))


def primary_monitor():
    listed = run("xrandr", "--listmonitors")
    found = re.findall(r"(\*?)\S+ (\d+)/\d+x(\d+)/\d+\+(\d+)\+(\d+)", listed)
    _, w, h, x, y = next((m for m in found if m[0]), found[0])
    return (int(x), int(y), int(w), int(h))


def layout():
    """The primary monitor, its work area, the toolbar's frame and what the browser draws."""
    toolbar, browser = windows_named(TOOLBAR), windows_named(BROWSER)
    info = [window_info(w[0]) for w in (toolbar, browser) if w]
    if len(info) != 2 or None in info:
        return None
    monitor = primary_monitor()
    area = cardinals("_NET_WORKAREA")[:4]
    area = meet(area, monitor) if area else monitor
    frame = grown(info[0][:4], cardinals("_NET_FRAME_EXTENTS", toolbar[0]))
    # Chromium states a margin round its window with or without a compositor; only a window
    # with an alpha channel leaves it transparent, else the margin is painted frame.
    margin = cardinals("_GTK_FRAME_EXTENTS", browser[0]) if info[1][4] == 32 else []
    drawn = grown(info[1][:4], [-e for e in margin])
    return monitor, area, frame, drawn


def misplaced(found):
    if not found:
        return ["the toolbar or the browser is not on the screen"]
    monitor, area, frame, drawn = found
    faults = []
    if frame[:3] != area[:3]:
        faults.append(f"toolbar frame {frame} not along the top of the work area {area}")
    top = max(monitor[1] + 78, frame[1] + frame[3])
    if drawn[:2] != (area[0], top):
        faults.append(f"browser {drawn} not at ({area[0]}, {top})")
    if meet(drawn, area) != drawn:
        faults.append(f"browser {drawn} not inside the work area {area}")
    if all(meet(drawn, frame)[2:]):
        faults.append(f"browser {drawn} over the toolbar frame {frame}")
    return faults


def covered(frame, x, y):
    """How a shot of the screen shows the toolbar covered, with the page in sight at (x, y)."""
    toolbar = window_info(windows_named(TOOLBAR)[0])
    grab_row = (toolbar[0], toolbar[1] + twips(480 + 255 // 2), toolbar[2], 1)
    width, height = window_info("root")[2:4]
    shot = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"],
                          capture_output=True, check=True).stdout
    seen = []
    for rect in (frame, grab_row, (x, y, 1, 1)):
        left, top, w, h = meet(rect, (0, 0, width, height))
        starts = (3 * (row * width + left) for row in range(top, top + h))
        rows = (shot[start:start + 3 * w] for start in starts)
        seen.append({tuple(line[i:i + 3]) for line in rows for i in range(0, len(line), 3)})
    over_toolbar, row, page = seen
    faults = [] if page == {MAGENTA} else [f"the page not in sight at ({x}, {y}): {page}"]
    if MAGENTA in over_toolbar:
        faults.append(f"the page's colour within the toolbar frame {frame}")
    if GREY not in row:
        faults.append(f"no toolbar grey along the Grab button's row {grab_row}")
    return faults


def settled(faults):
    """What faults() finds once it finds nothing, or when the wait gives up: windows move again
    once their frames are known, and a shot can catch a compositor's repaint half done."""
    last = []

    def clean():
        last[:] = faults()
        return not last
    try:
        wait_for("the faults to clear", clean)
    except AssertionError:
        pass
    return last


def end(group):
    # A session bus daemon leads a group of its own, which holds the services it started.
    for kill in (os.killpg, os.kill):
        try:
            kill(group, signal.SIGKILL)
        except ProcessLookupError:
            pass


class Toolbar(Session):
    def click(self, left, top, width, height, window=None):
        # session.py counts the controls' places from the screen's corner, as on a bare X
        # server; under a window manager they start at the window's client corner.
        x, y = window_info(window or windows_named(TOOLBAR)[0])[:2]
        super().click(left + 15 * x, top + 15 * y, width, height)


class TestDesktops(unittest.TestCase):
    def setUp(self):
        self.assertTrue(os.path.isfile(session.PROGRAM), "QUILLON names no built program")
        self.home = tempfile.mkdtemp(prefix="quillon-desktops-")
        self.addCleanup(shutil.rmtree, self.home, ignore_errors=True)
        saved = dict(os.environ)
        self.addCleanup(lambda: (os.environ.clear(), os.environ.update(saved)))
        for name in ("XAUTHORITY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            os.environ.pop(name, None)

    def need(self, *programs):
        missing = " ".join(p for p in programs if not shutil.which(p))
        if missing and os.geteuid() != 0 and os.environ.get("CI") != "true":
            self.skipTest(f"not installed: {missing}")
        if missing:
            self.fail(f"not installed: {missing} (scripts/setup.sh installs them)")

    def spawn(self, *command, stdout=subprocess.DEVNULL):
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=stdout,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        self.addCleanup(process.wait)
        self.addCleanup(end, process.pid)
        return process

    def start_desktop(self, width, *window_manager, panel=False):
        self.need("Xvfb", "dbus-launch", "xprop", "xwininfo", "xrandr", "xdotool", "import",
                  window_manager[0], *(["xfce4-panel"] if panel else []))
        server = self.spawn("Xvfb", "-displayfd", "1", "-screen", "0", f"{width}x800x24",
                            "-nolisten", "tcp", "-noreset", "+extension", "Composite",
                            stdout=subprocess.PIPE)
        self.addCleanup(server.stdout.close)
        number = server.stdout.readline().decode().strip()
        self.assertTrue(number, "the virtual X server did not start")
        # The desktop's programs start from their defaults, apart from the host's settings.
        os.environ.update(DISPLAY=":" + number, HOME=self.home, XDG_RUNTIME_DIR=self.home,
                          XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                          XDG_CACHE_HOME=os.path.join(self.home, ".cache"),
                          XDG_DATA_HOME=os.path.join(self.home, ".local/share"))
        bus = run("dbus-launch", "--sh-syntax")
        self.addCleanup(end, int(re.search(r"DBUS_SESSION_BUS_PID=(\d+)", bus).group(1)))
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = re.search(
            r"DBUS_SESSION_BUS_ADDRESS='([^']*)'", bus).group(1)
        if width > 1280:
            run("xrandr", "--setmonitor", "LEFT", "1280/338x800/211+0+0", "none")
            run("xrandr", "--setmonitor", "*RIGHT", "1280/338x800/211+1280+0", "none")
            self.assertEqual(primary_monitor(), (1280, 0, 1280, 800))
        self.spawn(*window_manager)
        wait_for(f"{window_manager[0]} to manage the screen",
                 lambda: "window id" in run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"))
        if panel:
            self.spawn("xfce4-panel")
            wait_for("the panel's room taken off the work area",
                     lambda: cardinals("_NET_WORKAREA")[:4] not in ([], [0, 0, width, 800]))

    def test_openbox(self):
        self.start_desktop(1280, "openbox")
        self.check_toolbar_and_browser()

    def test_xfwm4_composited_with_a_panel_at_the_top(self):
        self.start_desktop(1280, "xfwm4", "--compositor=on", panel=True)
        self.check_toolbar_and_browser()

    def test_mutter(self):
        self.start_desktop(1280, "mutter", "--x11", "--replace")
        self.check_toolbar_and_browser()

    def test_openbox_on_two_monitors_the_right_one_primary(self):
        self.start_desktop(2560, "openbox")
        self.check_toolbar_and_browser()

    def check_toolbar_and_browser(self):
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), session.Pages)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(lambda: (server.shutdown(), server.server_close()))
        base = f"http://127.0.0.1:{server.server_address[1]}"
        home = os.path.join(self.home, "quillon")
        os.makedirs(home)
        theme = os.path.join(home, "magenta.qld")
        with open(theme, "wb") as file:
            file.write(f"{base}/magenta1\r\n{base}/magenta2\r\n".encode())
        s = Toolbar(home)
        self.addCleanup(lambda: s.process.poll() is None
                        and (end(s.process.pid), s.process.wait()))
        s.start(theme)
        s.wait_page("magenta1")

        faults = settled(lambda: misplaced(layout()))
        found = layout()
        print(f"\n  monitor, work area, toolbar frame, browser drawn: {found}")
        self.assertEqual(faults, [])

        # A click into the page never hides a button.
        x, y, w, h = found[3]
        xdotool("mousemove", "--sync", x + w // 2, y + h // 2, "click", "1")
        wait_for("the press in the page", lambda: "pressed" in s.browser_title())
        self.assertEqual(settled(lambda: covered(found[2], x + w // 2, y + h // 2)), [])

        s.button("Right")
        s.wait_page("magenta2")
        s.button("Grab")
        dialog = s.dialog("^Add the Current Link$")
        s.click(3240, 600, 1215, 495, dialog)  # Cancel
        s.wait_entry(" User terminates grab, nothing recorded")
        wait_for("the dialog closed", lambda: not windows_named("^Add the Current Link$"))
        s.button("End")
        s.wait_ended()
        wait_for("no browser left", lambda: not chromium_processes_of(home))


if __name__ == "__main__":
    unittest.main()
