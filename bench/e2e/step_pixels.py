"""What the user sees of a step: the page area of the browser window read from the X server frame
by frame (XShmGetImage, as fast as the server answers), a real click, and the time from the click
to the first and the last change of the page area, the frames in between and the blank ones. A
step starts once the page area has been still for a while; the strip at its bottom where Chromium
shows the address of a link under the pointer is not read (that bubble fades in and out for
hundreds of ms after a click and is no part of the page).

Side by side in one run, on pages of 200 lines that a local server answers after 0.4 s:
- the toolbar's Right onto the next link, loaded ahead, for cacheable, no-cache and no-store pages
  (prerendered in the window when not no-store: all on the same origin), for a cacheable page
  of another origin (loaded ahead only) and for an address whose server refuses the connection;
- its Left onto the page shown just before, for the same kinds;
- Chromium alone, a click on a link to a page that it fetched ahead into its cache, onto a page
  of another origin that it visited before by the same link (so in its cache: each step checks
  that it ended there without asking the server, and is not counted otherwise), onto a page of
  another origin whose document its DevTools pipe answers from memory as soon as it is asked for
  (the floor of a program that drives it so), onto an address whose server refuses the
  connection, its own Back, and a click onto a page it prerendered.
Plus where the time goes: the program's own marks (QUILLON_STEP_TRACE) and the browser's
lifecycle events, all on the monotonic clock. Needs an X display and the built program:

    xvfb-run -a -s "-screen 0 1280x800x24" python3 bench/e2e/step_pixels.py build/src/quillon \
        [steps [toolbar|alone]]

Several programs, to compare builds in one run, one after the other, then Chromium alone:
new=build/src/quillon,old=/tmp/q; the table then has each build's rows against the first's.
STEP_PIXELS_KINDS=cacheable,another-origin,... steps onto those kinds only (default: all).
STEP_PIXELS_BLOCK=10 (the default): the steps in blocks of this many, each program and Chromium
alone launched afresh for each block, taking turns.
STEP_PIXELS_DEBUG=1: each step's marks, as they came, on standard error.
STEP_PIXELS_FRAMES=<folder>: the frames of each step that changed more than once, or at once on
the click, kept there as PPM files, to see what changed.
"""

import base64
import ctypes
import ctypes.util
import http.server
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time

from startup import (NOT_SHOWN, chromium, chromium_flags, end_processes_of,  # beside this
                     fresh_home, launch_with_pipe, p90_of, programs_named, turned)

DELAY = 0.4          # the server's answer time for every page
SETTLED = 0.6        # no change in the page area for this long ends a step
STILL = 0.25         # a step starts once the page area has not changed for this long
STATUS_STRIP = 32    # px at the page area's bottom left out: Chromium's status bubble (the
                     # address of a link under the pointer, fading in and out) is drawn there
STEP_LIMIT = 4.0     # a step that still changes, or has not changed yet, after this long is
                     # cut off there
ALT, LEFT = 0xFFE9, 0xFF51  # keysyms
KINDS = {"cacheable": "max-age=3600", "no-cache": "no-cache", "no-store": "no-store"}
# The toolbar's steps, in the order of its links: the window prerenders a next link of the
# page's own origin only, so the page of another origin and the one that fails come just before
# the no-store one (which is never prerendered).
STEP_KINDS = ["cacheable", "no-cache", "another-origin", "fails-to-load", "no-store"]


# --- the X server: frames and input -------------------------------------------------------------

class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


class ShmInfo(ctypes.Structure):
    _fields_ = [("shmseg", ctypes.c_ulong), ("shmid", ctypes.c_int),
                ("shmaddr", ctypes.c_void_p), ("readOnly", ctypes.c_int)]


class Screen:
    """One connection to the X server: reads a rectangle of the screen and sends input."""

    def __init__(self):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xext = ctypes.CDLL("libXext.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.display = self.x11.XOpenDisplay(None)
        if not self.display:
            sys.exit("no X display (run under xvfb-run)")
        for name in ("XDefaultScreen", "XFlush"):
            getattr(self.x11, name).argtypes = [ctypes.c_void_p]
        for name in ("XSync", "XDefaultDepth", "XDisplayWidth", "XDisplayHeight"):
            getattr(self.x11, name).argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.screen = self.x11.XDefaultScreen(self.display)
        self.x11.XRootWindow.restype = ctypes.c_ulong
        self.x11.XRootWindow.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.root = self.x11.XRootWindow(self.display, self.screen)
        self.x11.XDefaultVisual.restype = ctypes.c_void_p
        self.x11.XDefaultVisual.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.xext.XShmCreateImage.restype = ctypes.POINTER(XImage)
        self.xext.XShmCreateImage.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint,
                                              ctypes.c_int, ctypes.c_void_p,
                                              ctypes.POINTER(ShmInfo), ctypes.c_uint,
                                              ctypes.c_uint]
        self.xext.XShmAttach.argtypes = [ctypes.c_void_p, ctypes.POINTER(ShmInfo)]
        self.xext.XShmGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                           ctypes.POINTER(XImage), ctypes.c_int, ctypes.c_int,
                                           ctypes.c_ulong]
        self.libc.shmat.restype = ctypes.c_void_p
        self.libc.shmat.argtypes = [ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self.image = None

    def watch(self, x, y, width, height):
        """Reads this rectangle, or what of it is on the screen, from now on."""
        x, y = max(x, 0), max(y, 0)
        width = min(width, self.x11.XDisplayWidth(self.display, self.screen) - x)
        height = min(height, self.x11.XDisplayHeight(self.display, self.screen) - y)
        depth = self.x11.XDefaultDepth(self.display, self.screen)
        visual = self.x11.XDefaultVisual(self.display, self.screen)
        self.shm = ShmInfo()
        self.image = self.xext.XShmCreateImage(self.display, visual, depth, 2, None,
                                               ctypes.byref(self.shm), width, height)
        self.size = self.image.contents.bytes_per_line * height
        LINE_BYTES[0] = self.image.contents.bytes_per_line
        self.shm.shmid = self.libc.shmget(0, self.size, 0o1777)
        self.shm.shmaddr = self.libc.shmat(self.shm.shmid, None, 0)
        self.image.contents.data = self.shm.shmaddr
        self.xext.XShmAttach(self.display, ctypes.byref(self.shm))
        self.x11.XSync(self.display, 0)
        self.libc.shmctl(self.shm.shmid, 0, None)  # IPC_RMID: gone with the last user
        self.origin = (x, y)

    def frame(self):
        """The rectangle's pixels now, and the time in the middle of the read."""
        before = time.monotonic()
        self.xext.XShmGetImage(self.display, self.root, self.image, self.origin[0],
                               self.origin[1], ctypes.c_ulong(0xFFFFFFFF))
        pixels = ctypes.string_at(self.shm.shmaddr, self.size)
        return (before + time.monotonic()) / 2, pixels

    def keys(self, *keysyms):
        """Presses the keys in order and lets them go; returns the time the first went down."""
        codes = [self.x11.XKeysymToKeycode(self.display, ctypes.c_ulong(k)) for k in keysyms]
        sent = time.monotonic()
        for code in codes:
            self.xtst.XTestFakeKeyEvent(self.display, code, 1, 0)
        for code in reversed(codes):
            self.xtst.XTestFakeKeyEvent(self.display, code, 0, 0)
        self.x11.XFlush(self.display)
        return sent

    def point(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.display, self.screen, x, y, 0)
        self.x11.XFlush(self.display)

    def click(self, x, y):
        """A press and release of the first button at (x, y); returns the time it was sent."""
        self.point(x, y)
        time.sleep(0.05)
        sent = time.monotonic()
        self.xtst.XTestFakeButtonEvent(self.display, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.display, 1, 0, 0)
        self.x11.XFlush(self.display)
        return sent


# The rows at the page area's top and bottom edge not read for a blank frame: Chromium's own
# toolbar (Chromium alone) casts a shadow of seven rows onto the page's top.
EDGE_ROWS = 8
LINE_BYTES = [0]  # of the rectangle read, set by Screen.watch()


def is_blank(pixels):
    """White or one colour, but for the edge rows."""
    inner = pixels[EDGE_ROWS * LINE_BYTES[0]:len(pixels) - EDGE_ROWS * LINE_BYTES[0]]
    return inner == inner[:4] * (len(inner) // 4)


def step_frames(screen, act):
    """Runs `act` (which clicks and returns the click's time) while reading frames, once the page
    area has been still for a while; returns the click's time and the frames that differ from the
    one before, with their times."""
    _, shown = screen.frame()
    still = time.monotonic()
    deadline = still + 3
    while time.monotonic() - still < STILL and time.monotonic() < deadline:
        time.sleep(0.01)
        _, pixels = screen.frame()
        if pixels != shown:
            shown, still = pixels, time.monotonic()
    click = act()
    changes = []
    last_change = click
    reads = 0
    while True:
        t, pixels = screen.frame()
        reads += 1
        if pixels != shown:
            changes.append((t, pixels))
            shown = pixels
            last_change = t
        # Before the first change, up to the limit: a loaded machine may take long to start.
        if (changes and t - last_change > SETTLED) or t - click > STEP_LIMIT:
            return click, changes, reads / (t - click)


def keep_frames(screen, row, click, changes):
    """With STEP_PIXELS_FRAMES=<folder>, the frames of a step that changed more than once or at
    once on the click, as PPM files named for the row, the step and the ms from the click."""
    folder = os.environ.get("STEP_PIXELS_FRAMES")
    if not folder or not (len(changes) > 1 or (changes and changes[0][0] - click < 0.02)):
        return
    os.makedirs(folder, exist_ok=True)
    image = screen.image.contents
    step = len(os.listdir(folder))
    for i, (t, pixels) in enumerate(changes):
        rgb = bytearray(image.width * image.height * 3)
        for y in range(image.height):
            line = pixels[y * image.bytes_per_line:y * image.bytes_per_line + image.width * 4]
            out = y * image.width * 3
            rgb[out:out + image.width * 3:3] = line[2::4]
            rgb[out + 1:out + image.width * 3:3] = line[1::4]
            rgb[out + 2:out + image.width * 3:3] = line[0::4]
        name = "".join(c if c.isalnum() else "-" for c in row)
        with open(f"{folder}/{name}.{step}.{i:02d}.{(t - click) * 1e3:.0f}ms.ppm", "wb") as f:
            f.write(b"P6 %d %d 255\n" % (image.width, image.height) + bytes(rgb))


def measure(click, changes):
    if not changes:
        return None
    return {"first": (changes[0][0] - click) * 1e3, "final": (changes[-1][0] - click) * 1e3,
            "between": len(changes) - 1, "blank": sum(is_blank(p) for _, p in changes)}


# --- pages -------------------------------------------------------------------------------------

def page_body(name, extra=b""):
    lines = b"".join(b"<div>%s, line %d: the quick brown fox jumps over the lazy dog</div>"
                     % (name, n) for n in range(1, 201))
    return (b"<!DOCTYPE html><html><head><title>%s</title>%s<style>body{margin:8px;"
            b"font:14px sans-serif;background:#fff}a,a:hover,a:active,a:focus{color:#00c;outline:none}</style></head><body>"
            b"<a id=next href=\"%s\" style=\"display:block;font-size:40px\">next</a>%s"
            b"</body></html>") % (name, extra[0], extra[1], lines)


class Server(http.server.ThreadingHTTPServer):
    def __init__(self):
        super().__init__(("127.0.0.1", 0), Handler)
        self.lock = threading.Lock()
        self.busy = 0
        self.last_answer = 0.0
        self.size = None
        self.other = None
        self.asked = {}  # "host/path": how many times

    def times_asked(self, host, path):
        with self.lock:
            return self.asked.get(host + path, 0)

    def idle_since(self):
        with self.lock:
            return None if self.busy else self.last_answer


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        path = self.path.split("?")[0]
        if path == "/size":
            query = dict(p.split("=") for p in self.path.split("?")[1].split("&"))
            self.server.size = {k: int(float(v)) for k, v in query.items()}
            self.answer(b"", "no-store")
            return
        # /<kind>/<n>, /alone/<n> (links on to /alone/<n+1> and fetches it ahead), /setup
        parts = path.strip("/").split("/")
        if os.environ.get("STEP_PIXELS_DEBUG"):
            print("served", self.headers.get("Host"), self.path, round(time.monotonic(), 3),
                  file=sys.stderr)
        with self.server.lock:
            self.server.busy += 1
            key = self.headers.get("Host", "") + path
            self.server.asked[key] = self.server.asked.get(key, 0) + 1
        try:
            time.sleep(DELAY)
            if parts[0] == "setup":
                # Again on each resize: the window may be placed and sized after the load.
                script = (b"<script>const size=()=>fetch('/size?w='+innerWidth+"
                          b"'&h='+innerHeight+'&sx='+screenX+'&sy='+screenY+'&ow='+outerWidth+"
                          b"'&oh='+outerHeight);addEventListener('load',size);"
                          b"addEventListener('resize',size)</script>")
                nxt = self.path.split("next=")[1].encode() if "next=" in self.path else b"#"
                body = page_body(b"setup", (script + b"<link rel=prefetch href=%s>" % nxt, nxt))
                self.answer(body, "no-store")
            elif parts[0] == "alone":
                nxt = b"/alone/%d" % (int(parts[1]) + 1)
                body = page_body(("alone " + parts[1]).encode(),
                                 (b"<link rel=prefetch href=%s>" % nxt, nxt))
                self.answer(body, KINDS["cacheable"])
            elif parts[0] == "alonex":
                # Links onto a page of another origin, which the browser visited before.
                nxt = b"%s/cacheable/x%s" % (self.server.other.encode(), parts[1].encode())
                body = page_body(("alonex " + parts[1]).encode(), (b"", nxt))
                self.answer(body, KINDS["cacheable"])
            elif parts[0] == "alonem":
                # Links onto a page of another origin that the reference answers from memory.
                nxt = b"%s/memory/%s" % (self.server.other.encode(), parts[1].encode())
                body = page_body(("alonem " + parts[1]).encode(), (b"", nxt))
                self.answer(body, KINDS["cacheable"])
            elif parts[0] == "alonef":
                # Links onto an address whose server refuses the connection.
                nxt = b"http://127.0.0.1:%s/gone/%s" % (parts[1].encode(), parts[2].encode())
                body = page_body(("alonef " + parts[2]).encode(), (b"", nxt))
                self.answer(body, KINDS["cacheable"])
            elif parts[0] == "pre":
                # The browser's own prerender of the next page, by speculation rules.
                nxt = b"/pre/%d" % (int(parts[1]) + 1)
                rules = (b'<script type="speculationrules">{"prerender":[{"source":"list",'
                         b'"urls":["%s"]}]}</script>' % nxt)
                body = page_body(("prerendered " + parts[1]).encode(), (rules, nxt))
                self.answer(body, KINDS["cacheable"])
            elif parts[0] in KINDS:
                body = page_body(("%s %s" % (parts[0], parts[1])).encode(), (b"", b"#"))
                self.answer(body, KINDS[parts[0]])
            else:
                self.send_error(404)
        finally:
            with self.server.lock:
                self.server.busy -= 1
                self.server.last_answer = time.monotonic()

    def answer(self, body, cache):
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Cache-Control", cache)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def wait_loaded_ahead(server, since):
    """Until the server has had nothing to do for a while: the next page was loaded ahead."""
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        idle = server.idle_since()
        now = time.monotonic()
        if idle is not None and now - max(idle, since) > 0.3:
            return
        time.sleep(0.02)


# --- the programs ------------------------------------------------------------------------------

def xdotool(*args):
    return subprocess.run(["xdotool", *map(str, args)], capture_output=True,
                          text=True).stdout.strip()


def wait_window(pattern, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = xdotool("search", "--onlyvisible", "--name", pattern).split()
        if found:
            return found[0]
        time.sleep(0.1)
    raise RuntimeError(f"no window {pattern!r}")


def geometry(window):
    values = dict(line.split("=", 1) for line in
                  xdotool("getwindowgeometry", "--shell", window).splitlines() if "=" in line)
    return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))


def page_area(server, browser_window):
    """The page's own rectangle on the screen: the bottom of the browser's window."""
    # The window may still be on its way to its place and size: until it stays, and the page's
    # last report of its size (where it gives the window's) is of this window.
    deadline = time.monotonic() + 30
    place = None
    while time.monotonic() < deadline:
        now, size = geometry(browser_window), server.size
        if size and now == place and (size.get("ow", now[2]), size.get("oh", now[3])) == now[2:]:
            break
        place = now
        time.sleep(0.5)
    x, y, width, height = place
    w, h = server.size["w"], server.size["h"]
    return x + (width - w) // 2, y + height - h, w, h - STATUS_STRIP


class Marks:
    """Timed lines from a process's standard error or a browser's events."""

    def __init__(self):
        self.lock = threading.Lock()
        self.items = []

    def add(self, what, t):
        with self.lock:
            self.items.append((what, t))

    def after(self, t):
        with self.lock:
            return sorted(((w, m) for w, m in self.items if m >= t - 0.001), key=lambda i: i[1])

    def read_lines(self, stream):
        for line in stream:
            parts = line.decode(errors="replace").split()
            if len(parts) == 3 and parts[0] == "quillon-step":
                self.add(parts[1], float(parts[2]) / 1e3)


KIND_MARKS = ("navigated:", "history-not-restored:", "prerender:")


def breakdown(marks, click):
    """The first time of each mark after the click, in ms from the click."""
    seen = {}
    for what, t in marks.after(click):
        if what.startswith(KIND_MARKS):
            seen.setdefault(what, (t - click) * 1e3)
            if what.startswith(("navigated:", "prerender:activated")):
                seen.setdefault("commit", (t - click) * 1e3)
        else:
            seen.setdefault(what, (t - click) * 1e3)
    return seen


def settle_pointer(screen, place):
    """The pointer where the steps will click, and what it left fading out: left where a run
    before put it, it may be over the browser's tab strip, whose card over the page's top fades
    away on the first click's move."""
    screen.point(*place)
    time.sleep(1.0)


def refused_port():
    """A port on which nothing listens: the connection is refused, the page fails to load."""
    import socket
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def run_toolbar(screen, server, program, rounds, results, label=""):
    base = f"http://127.0.0.1:{server.server_address[1]}"
    links = [f"{base}/setup"]
    order = []
    other = base.replace("127.0.0.1", "localhost")
    kinds = os.environ.get("STEP_PIXELS_KINDS", ",".join(STEP_KINDS)).split(",")
    for r in range(rounds):
        for kind in (k for k in STEP_KINDS if k in kinds):
            if kind == "another-origin":
                links.append(f"{other}/cacheable/{rounds + 1 + r}")
            elif kind == "fails-to-load":
                links.append(f"http://127.0.0.1:{refused_port()}/gone/{r}")
            else:
                links.append(f"{base}/{kind}/{r}")
            order.append(kind)
    links.append(f"{base}/cacheable/{rounds}")
    order.append("cacheable")
    home, env = fresh_home()
    env["QUILLON_STEP_TRACE"] = "1"
    install = f"{home}/.local/share/Quillon2"
    os.makedirs(install)
    with open(f"{install}/default.qld", "wb") as theme:
        theme.write("".join(link + "\r\n" for link in links).encode())
    server.size = None  # reported again by this program's window
    process = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, start_new_session=True)
    marks = Marks()
    threading.Thread(target=marks.read_lines, args=(process.stderr,), daemon=True).start()
    try:
        toolbar = wait_window("^Quillon Version 2\\.8")
        browser = wait_window("^setup - Chromium$")
        area = page_area(server, browser)
        if os.environ.get("STEP_PIXELS_DEBUG"):
            print("toolbar's window", browser, area, file=sys.stderr)
        screen.watch(*area)
        tx, ty, _, _ = geometry(toolbar)
        left_button = (tx + 72 + 24, ty + 8 + 16)   # twips 1080,120,735,495 at 96 dpi
        right_button = (tx + 120 + 24, ty + 8 + 16)  # twips 1800,120,735,495
        settle_pointer(screen, right_button)
        wait_loaded_ahead(server, time.monotonic())
        previous = "setup"
        for kind in order:
            for direction, button, row in (("Right", right_button, f"{label}Right onto {kind}"),
                                           ("Left", left_button, f"{label}Left onto {previous}"),
                                           ("Right", right_button, None)):
                click, changes, rate = step_frames(screen, lambda b=button: screen.click(*b))
                if row:
                    keep_frames(screen, row, click, changes)
                result = measure(click, changes)
                if row and os.environ.get("STEP_PIXELS_DEBUG"):
                    print(row, " ".join(f"{w}@{(t - click) * 1e3:.0f}"
                                        for w, t in marks.after(click)), file=sys.stderr)
                if row and not (direction == "Left" and previous == "setup"):
                    results.setdefault(row, []).append(
                        (result, rate, breakdown(marks, click)))
                wait_loaded_ahead(server, click)
            previous = kind
    finally:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        end_processes_of(home)
        shutil.rmtree(home, ignore_errors=True)


class Pipe:
    """Chromium's DevTools pipe, for the reference's own lifecycle events."""

    def __init__(self, process, commands, events, marks):
        self.process, self.commands, self.events, self.marks = process, commands, events, marks
        self.next_id = 1
        self.written = threading.Lock()  # commands come from the reader too (answer_from_memory)
        self.paused = None
        self.replies = {}
        self.attached = []
        self.cond = threading.Condition()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        buffer = b""
        while True:
            chunk = os.read(self.events, 65536)
            if not chunk:
                return
            buffer += chunk
            while b"\0" in buffer:
                text, buffer = buffer.split(b"\0", 1)
                message = json.loads(text)
                if "id" in message:
                    with self.cond:
                        self.replies[message["id"]] = message
                        self.cond.notify_all()
                elif message.get("method") == "Fetch.requestPaused" and self.paused:
                    self.paused(message)
                elif message.get("method") == "Page.lifecycleEvent":
                    p = message["params"]
                    self.marks.add(p["name"], p["timestamp"])
                elif message.get("method") == "Target.attachedToTarget":
                    with self.cond:
                        self.attached.append(message["params"])
                        self.cond.notify_all()
                elif message.get("method") == "Preload.prerenderStatusUpdated":
                    self.marks.add("prerender:" + message["params"]["status"] + "/" + message["params"].get("prerenderStatus", ""), time.monotonic())
                elif message.get("method") == "Page.frameNavigated":
                    if not message["params"]["frame"].get("parentId"):
                        self.marks.add("navigated:" + message["params"]["type"], time.monotonic())

    def send(self, method, params=None, session=None):
        with self.written:
            ident = self.next_id
            self.next_id += 1
            message = {"id": ident, "method": method, "params": params or {}}
            if session:
                message["sessionId"] = session
            os.write(self.commands, json.dumps(message).encode() + b"\0")
        return ident

    def answer_from_memory(self, session, prefix):
        """Answers every document asked for under `prefix` at once with a page held here, as
        the toolbar answers its window's documents from the copies loaded ahead."""
        def fulfil(message):
            name = message["params"]["request"]["url"].rsplit("/", 1)[1]
            body = page_body(b"memory " + name.encode(), (b"", b"#"))
            self.marks.add("paused", time.monotonic())
            self.send("Fetch.fulfillRequest", {
                "requestId": message["params"]["requestId"], "responseCode": 200,
                "responseHeaders": [{"name": "Content-Type", "value": "text/html; charset=utf-8"}],
                "body": base64.b64encode(body).decode()}, message["sessionId"])
        self.paused = fulfil
        self.call("Fetch.enable", {"patterns": [{"urlPattern": prefix + "*", "requestStage":
                                                 "Request", "resourceType": "Document"}]}, session)

    def call(self, method, params=None, session=None):
        ident = self.send(method, params, session)
        with self.cond:
            self.cond.wait_for(lambda: ident in self.replies, timeout=10)
            return self.replies.pop(ident).get("result", {})


def run_alone(screen, server, steps, results, faults, first=0):
    """`first`: the number of the first page of another origin, so that no block's pages were
    asked for by an earlier one."""
    base = f"http://127.0.0.1:{server.server_address[1]}"
    home, env = fresh_home()
    flags = chromium_flags(home, "--remote-debugging-pipe", f"{base}/setup?next=/alone/0")
    process, from_us, to_us = launch_with_pipe([chromium(), *flags], env)
    marks = Marks()
    try:
        pipe = Pipe(process, from_us, to_us, marks)
        server.size = None
        browser = wait_window("^setup - Chromium$")
        # Through the tab, as the browser's own DevTools attach: a session attached to the page
        # alone turns the browser's prerender off.
        tab = next(t for t in pipe.call("Target.getTargets", {"filter": [{"type": "tab"}]})
                   ["targetInfos"] if t["type"] == "tab")
        tab_session = pipe.call("Target.attachToTarget",
                                {"targetId": tab["targetId"], "flatten": True})["sessionId"]
        pipe.call("Target.setAutoAttach", {"autoAttach": True, "waitForDebuggerOnStart": False,
                                           "flatten": True}, tab_session)
        with pipe.cond:
            pipe.cond.wait_for(lambda: any(a["targetInfo"]["type"] == "page"
                                           for a in pipe.attached), timeout=10)
        session = next(a["sessionId"] for a in pipe.attached
                       if a["targetInfo"]["type"] == "page")
        pipe.call("Page.enable", session=session)
        pipe.call("Page.setLifecycleEventsEnabled", {"enabled": True}, session)
        pipe.call("Preload.enable", session=session)
        wait_loaded_ahead(server, time.monotonic())
        # The browser's bar over the page (for a flag it warns of) may come after the load and
        # push the page down: its size once that is settled.
        time.sleep(1.0)
        size = pipe.call("Runtime.evaluate", {"expression": "innerWidth + ',' + innerHeight",
                                              "returnByValue": True}, session)
        w, h = size["result"]["value"].split(",")
        server.size = {"w": int(w), "h": int(h)}
        area = page_area(server, browser)
        screen.watch(*area)
        link = (area[0] + 40, area[1] + 8 + 20)  # the "next" link at the page's top left
        if os.environ.get("STEP_PIXELS_DEBUG"):
            print("reference window", browser, area, file=sys.stderr)
        settle_pointer(screen, link)
        wait_loaded_ahead(server, time.monotonic())

        def step(row, act, check=None):
            done, changes, rate = step_frames(screen, act)
            wait_loaded_ahead(server, done)
            if row:
                keep_frames(screen, row, done, changes)
                result = measure(done, changes)
                fault = check() if check else None
                if fault:  # not the step this row measures: counted apart, not timed
                    result = None
                    faults.setdefault(row, []).append(fault)
                results.setdefault(row, []).append(
                    (result, rate, breakdown(marks, done)))

        def on_show():
            return pipe.call("Runtime.evaluate", {"expression": "location.href",
                                                  "returnByValue": True},
                             session).get("result", {}).get("value")

        def painted():
            """Until the page on show has loaded and drawn a frame since."""
            pipe.call("Runtime.evaluate", {
                "expression": "new Promise(r => { const f = () => requestAnimationFrame(() => "
                              "requestAnimationFrame(r)); document.readyState == 'complete' ? "
                              "f() : addEventListener('load', f) })",
                "awaitPromise": True}, session)

        def link_now():
            """Where the link is on the page on show (a page may come back scrolled)."""
            found = pipe.call("Runtime.evaluate", {
                "expression": "JSON.stringify(next.getBoundingClientRect())",
                "returnByValue": True}, session).get("result", {}).get("value")
            if not found:
                return link
            rect = json.loads(found)
            return (area[0] + int(rect["x"]) + 20, area[1] + int(rect["y"] + rect["height"] / 2))

        for _ in range(steps):
            place = link_now()
            step("Chromium alone, link onto a cached page", lambda: screen.click(*place))
        # Onto a page of another origin in its cache: visited just before by the same link (the
        # cache keeps apart what a page of another site asked for), then the page with the link
        # shown again and the link clicked. Each step checks that it ended on that page and that
        # the server was not asked for it again.
        for n in range(first, first + steps):
            page, target = f"{base}/alonex/{n}", f"{server.other}/cacheable/x{n}"
            host, path = target.split("//")[1].split("/", 1)
            for how, what, expected in (("Page.navigate", {"url": page}, page),
                                        ("Runtime.evaluate", {"expression": "next.click()"},
                                         target),
                                        ("Page.navigate", {"url": page}, page)):
                for _ in range(3):
                    pipe.call(how, what, session)
                    wait_loaded_ahead(server, time.monotonic())
                    deadline = time.monotonic() + 5
                    while on_show() != expected and time.monotonic() < deadline:
                        time.sleep(0.05)
                    if on_show() == expected:
                        break
            painted()
            asked = server.times_asked(host, "/" + path)
            place = link_now()

            def check():
                if on_show() != target:
                    return f"ended on {on_show()}"
                if server.times_asked(host, "/" + path) != asked:
                    return "asked the server again"
                return None if asked else "never in the cache"
            step("Chromium alone, link onto a cached page, another origin",
                 lambda: screen.click(*place), check)
        # The floor of a program that drives the browser as the toolbar does: onto a page of
        # another origin whose document is answered from memory as soon as it is asked for (never
        # from the network or the cache).
        pipe.answer_from_memory(session, f"{server.other}/memory/")
        for n in range(first, first + steps):
            pipe.call("Page.navigate", {"url": f"{base}/alonem/{n}"}, session)
            wait_loaded_ahead(server, time.monotonic())
            painted()
            place, target = link_now(), f"{server.other}/memory/{n}"

            def check():
                if on_show() != target:
                    return f"ended on {on_show()}"
                host, path = target.split("//")[1].split("/", 1)
                return "asked the server" if server.times_asked(host, "/" + path) else None
            step("Chromium alone, link onto another origin from memory",
                 lambda: screen.click(*place), check)
        pipe.call("Fetch.disable", session=session)
        # Onto an address that refuses the connection, from a page of another site (as the
        # toolbar steps onto it from a page of another origin): the browser's own error page.
        for n in range(first, first + steps):
            page = f"{server.other}/alonef/{refused_port()}/{n}"
            pipe.call("Page.navigate", {"url": page}, session)
            wait_loaded_ahead(server, time.monotonic())
            painted()
            place = link_now()
            step("Chromium alone, link onto fails-to-load", lambda: screen.click(*place))
        # The browser's own Back (Alt+Left) onto the page shown before, then on again.
        for _ in range(steps):
            step("Chromium alone, its own Back onto the page before",
                 lambda: screen.keys(ALT, LEFT))
            place = link_now()
            step(None, lambda: screen.click(*place))
        # Last: a prerendered page comes in as another page target, which this session
        # does not follow.
        pipe.call("Page.navigate", {"url": base + "/pre/0"}, session)
        wait_loaded_ahead(server, time.monotonic())
        time.sleep(0.5)
        for _ in range(steps):
            step("Chromium alone, link onto a prerendered page", lambda: screen.click(*link))
    finally:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        end_processes_of(home)
        shutil.rmtree(home, ignore_errors=True)


# --- the table ---------------------------------------------------------------------------------

def median_of(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def fmt(value, width=7):
    return f"{value:{width}.1f}" if value is not None else " " * (width - 1) + "-"


# The breakdown's columns first in the order of a step, then whatever other mark a program gives
# (a build may add its own); the browser's lifecycle events that say nothing of a step are left out.
BREAKDOWN = ["handler", "navigate", "paused", "answered", "init", "commit", "firstPaint",
             "firstContentfulPaint", "DOMContentLoaded", "load"]
NOT_OF_A_STEP = NOT_SHOWN | {"launch", "window"}


def report(results, faults):
    print(f"{'':56} {'n':>3} {'none':>4} {'first':>7} {'final':>7} {'p90':>7} {'betw':>5}"
          f" {'blank':>5} {'blank steps':>11} {'fps':>5}")
    for row, samples in results.items():
        done = [s for s in samples if s[0]]
        finals = [s[0]["final"] for s in done]
        blank_steps = sum(1 for s in done if s[0]["blank"])
        print(f"{row:56} {len(samples):3} {len(samples) - len(done):4}"
              f" {fmt(median_of(s[0]['first'] for s in done))}"
              f" {fmt(median_of(finals))} {fmt(p90_of(finals))}"
              f" {sum(s[0]['between'] for s in done):5} {sum(s[0]['blank'] for s in done):5}"
              f" {f'{blank_steps} of {len(done)}':>11} {median_of(s[1] for s in samples):5.0f}")
    print("(none: steps with no change seen, or not the step the row measures; blank: white or "
          "one-colour frames, and the steps that had one)")
    for row, why in faults.items():
        counted = {w: why.count(w) for w in why}
        print(f"not counted in {row}: " + ", ".join(f"{w} x{k}" for w, k in counted.items()))
    finals = {row: median_of(s[0]["final"] for s in samples if s[0])
              for row, samples in results.items()}
    alone = "Chromium alone, "
    pairs = [("Right onto another-origin", alone + "link onto a cached page, another origin"),
             ("Right onto another-origin", alone + "link onto another origin from memory"),
             ("Right onto cacheable", alone + "link onto a cached page"),
             ("Right onto cacheable", alone + "link onto a prerendered page"),
             ("Right onto no-cache", alone + "link onto a cached page"),
             ("Right onto fails-to-load", alone + "link onto fails-to-load")]
    pairs += [(f"Left onto {kind}", alone + "its own Back onto the page before")
              for kind in STEP_KINDS]
    print()
    for mine, theirs in pairs:
        for row in (r for r in finals if r.endswith(mine)):
            if finals[row] and finals.get(theirs):
                print(f"final frame, {row} against {theirs}: {finals[row] / finals[theirs]:.2f}x")
    # Builds back to back: each against the first one named.
    labels = []
    for row in finals:
        if ": " in row and row.split(": ", 1)[0] not in labels:
            labels.append(row.split(": ", 1)[0])
    for label in labels[1:]:
        print()
        for row in (r for r in finals if r.startswith(label + ": ")):
            base = labels[0] + ": " + row.split(": ", 1)[1]
            if finals[row] and finals.get(base):
                print(f"final frame, {row} against {base}: {finals[row] / finals[base]:.2f}x")
    seen = {key for samples in results.values() for s in samples for key in s[2]}
    names = BREAKDOWN + sorted(k for k in seen if k not in BREAKDOWN and k not in NOT_OF_A_STEP
                               and not k.startswith(KIND_MARKS))
    print("\nbreakdown, median ms from the click (-: no such mark); handler: the program's click "
          "handler, navigate: its command sent, paused/answered: the document's request held and "
          "answered (from the copy loaded ahead, or sent on), init: the renderer ready with the new "
          "document, commit: the window's page replaced, then the page's own lifecycle events; "
          "ahead: the hidden instance sent on")
    print(f"{'':56} " + " ".join(f"{n[:9]:>9}" for n in names))
    for row, samples in results.items():
        print(f"{row:56} " + " ".join(
            f"{fmt(median_of(s[2].get(n) for s in samples), 9)}" for n in names))
    print("\nhow the window's page came, steps per kind")
    for row, samples in results.items():
        kinds = {}
        for s in samples:
            for key in s[2]:
                if key.startswith(KIND_MARKS):
                    kinds[key] = kinds.get(key, 0) + 1
        if kinds:
            print(f"{row:56} " + ", ".join(f"{k} x{v}" for k, v in sorted(kinds.items())))


def main():
    named = sys.argv[1] if len(sys.argv) > 1 else "build/src/quillon"
    programs = programs_named(named) if "=" in named else [("", os.path.abspath(named))]
    steps = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    server = Server()
    server.other = f"http://localhost:{server.server_address[1]}"
    threading.Thread(target=server.serve_forever, daemon=True).start()
    screen = Screen()
    results = {}
    faults = {}  # row: why some of its steps were not the step it measures
    started = time.monotonic()
    load_before = os.getloadavg()
    only = sys.argv[3] if len(sys.argv) > 3 else ""
    sides = []
    if only != "alone":
        sides += [(label or "toolbar", lambda n, first, label=label, program=program: run_toolbar(
            screen, server, program, n, results, f"{label}: " if label else ""))
            for label, program in programs]
    if only != "toolbar":
        sides.append(("Chromium alone", lambda n, first: run_alone(screen, server, n, results,
                                                                   faults, first)))
    # In blocks of steps, each side launched afresh for each block and the order turned by one
    # each block, so that a change in the machine's load meets all sides alike.
    block = int(os.environ.get("STEP_PIXELS_BLOCK", "10"))
    spent = {name: 0.0 for name, _ in sides}
    done_steps, turn = 0, 0
    while done_steps < steps:
        n = min(block, steps - done_steps)
        for name, run in turned(sides, turn):
            began = time.monotonic()
            run(n, done_steps)
            spent[name] += time.monotonic() - began
        done_steps += n
        turn += 1
    server.shutdown()
    print(f"{steps} steps of each kind in {turn} blocks, server answers after {DELAY:.1f} s, "
          f"page area read by XShmGetImage; times in ms from the click")
    print(f"load average before {load_before[0]:.2f}, after {os.getloadavg()[0]:.2f}; "
          f"{time.monotonic() - started:.0f} s: "
          + ", ".join(f"{name} {t:.0f} s" for name, t in spent.items()) + "\n")
    report(results, faults)


if __name__ == "__main__":
    main()
