"""A user's whole session with the built toolbar, driven from outside as a person does.

Real X input events (xdotool) at the controls' places on the screen, typing into the dialogs,
the real Chromium, pages served on 127.0.0.1 by this script. It checks only what a person or a
support engineer can see: the activity log, the theme files' bytes, window captions and
positions, the page the visible browser shows (its window title) and the boxes that open.
"""

import http.server
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

PROGRAM = os.environ.get("QUILLON", "")
SCREENSHOT = os.environ.get("QUILLON_SCREENSHOT", "")
WAIT = 20.0  # seconds to wait for something a person would wait for


# Pages with a field, by name; the forging one fakes a person at work ten times a second.
SCRIPTED = {
    "field": "<textarea autofocus style='width: 95vw; height: 90vh'></textarea>",
    "forging": """<input id=field><script>setInterval(() => {
        for (const target of [window, document, document.body, field])
          for (const event of [new KeyboardEvent('keydown', {key: 'a', bubbles: true}),
                               new MouseEvent('mousemove', {bubbles: true, clientX: 9}),
                               new PointerEvent('pointermove', {bubbles: true}),
                               new MouseEvent('mousedown', {bubbles: true}),
                               new WheelEvent('wheel', {bubbles: true, deltaY: 5})])
            target.dispatchEvent(event);
        field.focus(); }, 100);</script>""",
}


class Pages(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        match = re.fullmatch(r"/page(\d+)|/(\w+)", self.path)
        if not match or (match.group(2) and match.group(2) not in SCRIPTED):
            self.send_error(404)
            return
        name = match.group(1) or match.group(2)
        content = SCRIPTED.get(name, f"<h1>Page {name}</h1>")
        body = (f"<!DOCTYPE html><html><head><title>E2E Page {name}</title></head>"
                f"<body>{content}</body></html>").encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def xdotool(*args, check=True):
    done = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True)
    if check and done.returncode != 0:
        raise AssertionError(f"xdotool {' '.join(map(str, args))}: {done.stderr.strip()}")
    return done.stdout.strip()


def wait_for(what, probe, timeout=WAIT):
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        last = probe()
        if last:
            return last
        time.sleep(0.1)
    raise AssertionError(f"gave up waiting for {what} (last seen: {last!r})")


def windows_named(pattern):
    out = xdotool("search", "--onlyvisible", "--name", pattern, check=False)
    return [w for w in out.split() if w]


def window_name(window):
    return xdotool("getwindowname", window, check=False)


def geometry(window):
    out = xdotool("getwindowgeometry", "--shell", window)
    values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))


def twips(value):
    return round(value / 15)  # 96 dots per inch under Xvfb


class Session:
    """The toolbar program, its home and its log."""

    def __init__(self, home):
        self.home = home
        self.install_dir = os.path.join(home, ".local/share/Quillon2") + "/"
        self.log_path = self.install_dir + "error.log"
        self.process = None

    def environment(self):
        # A login session of its own, so that no toolbar of the desktop's takes the start over.
        runtime = os.path.join(self.home, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = dict(os.environ, HOME=self.home, XDG_RUNTIME_DIR=runtime,
                   XDG_DATA_HOME=os.path.join(self.home, ".local/share"),
                   XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   XDG_CACHE_HOME=os.path.join(self.home, ".cache"))
        env.pop("QT_QPA_PLATFORM", None)
        return env

    def start(self, *arguments):
        self.process = subprocess.Popen([PROGRAM, *arguments], env=self.environment(),
                                        cwd=self.home, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        self.toolbar = wait_for("the toolbar", lambda: windows_named("^Quillon Version 2\\.8"))[0]
        wait_for("the start-up's last entry",
                 lambda: " Program initiation considered normal" in self.log_text())

    def start_again(self, *arguments):
        """A second start, which hands over to the toolbar on show; its exit status."""
        return subprocess.run([PROGRAM, *arguments], env=self.environment(), cwd=self.home,
                              capture_output=True, timeout=WAIT).returncode

    def log_text(self):
        try:
            with open(self.log_path, "rb") as log:
                return log.read().decode("utf-8")
        except FileNotFoundError:
            return ""

    def messages(self):
        """The log's lines with the time stamps cut off."""
        return [re.sub(r"^\d\d/\d\d/\d\d \d\d:\d\d", "", line)
                for line in self.log_text().split("\r\n")[:-1]]

    def caption(self):
        return window_name(self.toolbar)

    def click(self, left, top, width, height, window=None):
        """Clicks the middle of a control placed in twips within a window's client area."""
        x0, y0 = (0, 0)
        if window:
            x0, y0, _, _ = geometry(window)
        x = x0 + twips(left) + twips(width) // 2
        y = y0 + twips(top) + twips(height) // 2
        # A hand never clicks twice without the pointer moving a little. Under Xvfb the toolbar
        # sees a second synthetic press on the very same pixel only many seconds late.
        xdotool("mousemove", "--sync", x + 3, y + 1)
        xdotool("mousemove", "--sync", x, y)
        xdotool("click", "1")

    def button(self, caption):
        places = {"File": (120, 120, 735, 495), "Left": (1080, 120, 735, 495),
                  "Right": (1800, 120, 735, 495), "Corvane": (2760, 120, 735, 495),
                  "End": (3720, 120, 735, 495), "Grab": (4560, 480, 1215, 255),
                  "Edit": (5760, 480, 1215, 255), "New": (6960, 480, 1095, 255),
                  "Support": (8040, 480, 1215, 255)}
        self.click(*places[caption])

    def browser_title(self):
        titles = [window_name(w) for w in windows_named(" - Chromium$")]
        return titles[0] if titles else ""

    def wait_page(self, number):
        wait_for(f"page {number} in the browser",
                 lambda: self.browser_title().startswith(f"E2E Page {number} "))

    def wait_entry(self, message):
        wait_for(f"the entry {message!r}", lambda: message in self.messages())

    def dialog(self, pattern):
        window = wait_for(f"the window {pattern!r}", lambda: windows_named(pattern))[0]
        x, y = self.centre(window)
        xdotool("mousemove", "--sync", x + 3, y + 1)
        xdotool("mousemove", "--sync", x, y)
        xdotool("windowfocus", "--sync", window, check=False)
        return window

    def centre(self, window):
        x, y, w, h = geometry(window)
        return x + w // 2, y + h // 2

    def type(self, text):
        xdotool("type", "--delay", "20", text)

    def key(self, *keys):
        xdotool("key", "--delay", "40", *keys)

    def close_box(self, title):
        box = self.dialog(f"^{re.escape(title)}$")
        self.key("Return")
        wait_for(f"the box {title!r} to close", lambda: not windows_named(f"^{re.escape(title)}$"))
        return box

    def press_in_browser(self, key):
        """A key pressed while reading the page in the browser window."""
        browser = wait_for("the browser window", lambda: windows_named(" - Chromium$"))[0]
        xdotool("windowfocus", "--sync", browser, check=False)
        x, y = self.centre(browser)
        xdotool("mousemove", "--sync", x, y)
        xdotool("click", "1")
        self.key(key)

    def wait_ended(self):
        self.process.wait(timeout=WAIT)


def chromium_processes_of(home):
    out = subprocess.run(["pgrep", "-af", "chrom"], capture_output=True, text=True).stdout
    return [line for line in out.splitlines() if home in line]


class TestUserSession(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="quillon-e2e-")
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Pages)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.base = f"http://127.0.0.1:{self.server.server_address[1]}"
        self.themes = os.path.join(self.home, "themes")
        os.makedirs(self.themes)
        self.local = os.path.join(self.themes, "local.qld")
        with open(self.local, "wb") as theme:
            theme.write("".join(f"{self.base}/page{n}\r\n" for n in range(1, 5)).encode())
        self.session = Session(self.home)

    def tearDown(self):
        if self.session.process and self.session.process.poll() is None:
            os.killpg(self.session.process.pid, signal.SIGKILL)
        self.server.shutdown()
        self.server.server_close()
        shutil.rmtree(self.home, ignore_errors=True)

    def test_start_and_end(self):
        s = self.session
        s.start()
        self.check_start_up(s)
        self.end(s)

    def test_a_theme_file_to_start_with_then_handed_over(self):
        s = self.session
        s.start(os.path.relpath(self.local, self.home))
        s.wait_page(1)
        self.assertIn(f" {self.local} opens normally", s.messages())
        self.assertEqual(s.caption(), "Quillon Version 2.8    " + self.local.upper())
        other = os.path.join(self.themes, "other.qld")
        with open(other, "wb") as theme:
            theme.write(f"{self.base}/page3\r\n{self.base}/page4\r\n".encode())
        self.assertEqual(s.start_again("themes/other.qld"), 0)
        s.wait_page(3)
        s.wait_entry(f" {other} opens normally")
        self.assertEqual(s.start_again(), 0)
        self.assertEqual(len(windows_named("^Quillon Version 2\\.8")), 1)
        self.assertIsNone(s.process.poll())
        self.end(s)

    def test_support_after_the_browser_window_was_closed(self):
        s = self.session
        s.start()
        browser = wait_for("the browser window", lambda: windows_named(" - Chromium$"))[0]
        # Closed as a user does: its last tab closed with the keyboard.
        x, y, width, height = geometry(browser)
        xdotool("mousemove", "--sync", x + width // 2, y + height // 2)
        xdotool("windowfocus", "--sync", browser, check=False)
        s.key("ctrl+w")
        wait_for("the browser gone", lambda: not chromium_processes_of(self.home))
        s.button("Support")
        box = s.close_box("MSIE Detection Error")
        self.assertTrue(box)
        s.wait_ended()
        self.assertEqual(s.messages()[-5:], [" User visits support page",
                                             " Microsoft Explorer detection failure",
                                             " Program terminated with error",
                                             "End of this session", "+"])

    def test_a_javascript_link_shows_a_blank_page(self):
        # A theme file passed on by someone else, with a link that would run in the page on show.
        hostile = os.path.join(self.themes, "hostile.qld")
        with open(hostile, "wb") as theme:
            theme.write(f"{self.base}/page1\r\n".encode()
                        + b'JavaScript:void(document.title="pwned "+location.origin)\r\n')
        s = self.session
        s.start()
        s.button("File")
        s.dialog("^Open$")
        s.type(hostile)
        s.key("Return")
        s.wait_page(1)
        s.button("Right")
        wait_for("a blank page", lambda: s.browser_title() == "about:blank - Chromium")
        time.sleep(0.5)
        self.assertFalse(windows_named("pwned"))
        s.button("Right")
        s.wait_page(1)
        self.end(s)

    def test_a_whole_session_then_a_second_start(self):
        s = self.session
        steps = [s.start, self.check_start_up, self.open_chosen_file,
                 self.step_right_and_left_round, self.step_with_the_key, self.pick_from_the_list,
                 self.grab_and_add,
                 self.edit_and_process, self.create_new_files, self.open_bad_name_then_cancel,
                 self.support_then_end, self.second_start_adds_below]
        for step in steps:
            began = time.monotonic()
            step() if step == s.start else step(s)
            print(f"{step.__name__}: {time.monotonic() - began:.1f} s", file=sys.stderr)

    def test_timed_steps_wait_while_someone_works_in_the_page(self):
        timed = os.path.join(self.themes, "timed.qld")
        with open(timed, "wb") as theme:
            theme.write("".join(f"{self.base}/{name}\r\n"
                                for name in ("field", "forging", "page3")).encode())
        s = self.session
        s.start("--step-every", "5", timed)
        s.wait_page("field")
        s.press_in_browser("a")  # into the field, which fills the page
        typing_ends = time.monotonic() + 9  # a key every 0.4 s for 9 s
        while time.monotonic() < typing_ends:
            time.sleep(0.4)
            xdotool("key", "a")
        self.assertTrue(s.browser_title().startswith("E2E Page field "))
        # Idle, the pointer off both windows: the next page comes, and its script's forged
        # input does not keep it.
        screen_width, screen_height = map(int, xdotool("getdisplaygeometry").split())
        xdotool("mousemove", "--sync", screen_width // 2, screen_height - 2)
        s.wait_page("forging")
        s.wait_page(3)
        self.end(s)

    def check_start_up(self, s):
        self.assertTrue(os.path.isfile(s.install_dir + "default.qld"))
        self.assertTrue(os.path.isfile(s.install_dir + "newquillon.htm"))
        lines = s.messages()
        self.assertTrue(lines[0].startswith("Error log started "))
        self.assertEqual(lines[5], "Quillon Version 2.8")
        self.assertEqual(lines[8:], [" Program Activated",
                                     f" {s.install_dir}default.qld opens normally",
                                     " Program initiation considered normal"])
        self.assertEqual(s.caption(), "Quillon Version 2.8    " + (s.install_dir + "default.qld").upper())
        x, y, width, _ = geometry(s.toolbar)
        screen_width = int(xdotool("getdisplaygeometry").split()[0])
        self.assertEqual((x, y, width), (0, 0, screen_width))
        browser = wait_for("the browser window", lambda: windows_named(" - Chromium$"))[0]
        bx, by, bwidth, bheight = geometry(browser)
        screen_height = int(xdotool("getdisplaygeometry").split()[1])
        self.assertEqual(by, 78)
        # The designed width, 1.005 times the screen's, is held to the screen.
        self.assertEqual(bwidth, screen_width)
        self.assertAlmostEqual(bheight, screen_height * 0.825, delta=2)

    def open_chosen_file(self, s):
        s.button("File")
        s.dialog("^Open$")
        s.type(self.local)
        s.key("Return")
        wait_for("the caption", lambda: s.caption().endswith(self.local.upper()))
        s.wait_page(1)
        s.wait_entry(f" {self.local} opens normally")
        self.assertIn(" User Activates File Dialog", s.messages())
        if SCREENSHOT:
            subprocess.run(["import", "-window", "root", SCREENSHOT], check=False)

    def step_right_and_left_round(self, s):
        for expected in (2, 3, 4, 1):
            s.button("Right")
            s.wait_page(expected)
        for expected in (4, 3, 2, 1, 4):
            s.button("Left")
            s.wait_page(expected)
        s.button("Right")
        s.wait_page(1)

    def step_with_the_key(self, s):
        before = s.messages()
        s.press_in_browser("F9")
        s.wait_page(2)
        self.assertEqual(s.messages(), before)
        s.button("Left")
        s.wait_page(1)

    def pick_from_the_list(self, s):
        # Into the field, whose text is the current link and so an entry, and out with Tab:
        # no pick, and the browser stays where it is.
        field_y = twips(120 + 315 // 2)
        xdotool("mousemove", "--sync", twips(4560) + 40, field_y + 1)
        xdotool("mousemove", "--sync", twips(4560) + 43, field_y)
        xdotool("click", "1")
        time.sleep(0.3)
        s.key("Tab")
        time.sleep(1.0)
        self.assertNotIn(" User selects from listbox", s.messages())
        self.assertTrue(s.browser_title().startswith("E2E Page 1 "))
        # The arrow of the drop-down list, at its right end; a pick of the third entry.
        xdotool("mousemove", "--sync", twips(4560 + 4695) - 8, field_y)
        xdotool("click", "1")
        time.sleep(0.5)
        s.key("Home", "Down", "Down", "Return")
        s.wait_entry(" User selects from listbox")
        s.wait_page(3)
        time.sleep(1.0)
        self.assertEqual(s.messages().count(" User selects from listbox"), 1)

    def grab_and_add(self, s):
        s.button("Grab")
        s.dialog("^Add the Current Link$")
        s.wait_entry(f" User grabs {self.base}/page3")
        s.key("Return")
        s.wait_entry(" Grab job processed successfully")
        with open(self.local, "rb") as theme:
            links = theme.read().decode().split("\r\n")
        self.assertEqual(links[-2:], [f"{self.base}/page3", ""])
        self.assertEqual(len(links), 6)

    def edit_and_process(self, s):
        s.button("Edit")
        window = s.dialog(f"^Edit {re.escape(self.local)}$")
        s.wait_entry(f" User edits {self.local}")
        s.key("ctrl+End")
        s.type(f"{self.base}/page5")
        s.key("Return")
        s.click(2880, 3720, 1215, 495, window)  # Process
        s.wait_entry(" Successfully processed edit job")
        with open(self.local, "rb") as theme:
            content = theme.read()
        expected = "".join(f"{self.base}/page{n}\r\n" for n in (1, 2, 3, 4, 3, 5)).encode()
        self.assertEqual(content, expected)
        s.button("Right")  # the pick moved no cursor: from link 1 to link 2
        s.wait_page(2)

    def create_new_files(self, s):
        starter = (s.install_dir + "newquillon.htm\r\n").encode()
        self.type_new_name(s, "fresh")
        s.wait_entry(" fresh.qld successfully created")
        self.assertEqual(self.bytes_of(s.install_dir + "fresh.qld"), starter)
        wait_for("the new caption", lambda: s.caption().endswith("FRESH.QLD"))
        wait_for("the starter page", lambda: "Your new Quillon theme file" in s.browser_title())

        self.type_new_name(s, "fresh")
        s.close_box("File Creation Error")
        s.wait_entry(" fresh.qld already existed, file creation aborted")
        self.assertEqual(self.bytes_of(s.install_dir + "fresh.qld"), starter)

    def type_new_name(self, s, name):
        s.button("New")
        s.dialog("^Create New Theme File$")
        s.wait_entry(" User selects NEW")
        s.type(name)
        s.key("Return")

    @staticmethod
    def bytes_of(path):
        with open(path, "rb") as file:
            return file.read()

    def open_bad_name_then_cancel(self, s):
        s.button("File")
        s.dialog("^Open$")
        missing = os.path.join(self.themes, "missing.qld")
        s.type(missing)
        s.key("Return")
        s.close_box("File Open Error")
        s.dialog("^Open$")
        s.key("Escape")
        cancel = f" User canceled new file operation - kept current file {s.install_dir}fresh.qld"
        s.wait_entry(cancel)
        # The reload in place logs its own line after the cancel, in the same handler.
        wait_for("the reload's line", lambda: s.messages()[-1] != cancel)
        lines = s.messages()
        self.assertEqual(lines[-4:-1], [" User Activates File Dialog",
                                        f" User attempted to open bad file name {missing}",
                                        cancel])
        self.assertTrue(s.caption().endswith("FRESH.QLD"))

    def support_then_end(self, s):
        s.button("Support")
        s.wait_entry(" User visits support page")
        self.end(s)

    def end(self, s):
        s.button("End")
        s.wait_ended()
        self.assertEqual(s.messages()[-3:],
                         [" Program terminated normally", "End of this session", "+"])
        wait_for("no browser left", lambda: not chromium_processes_of(self.home))

    def second_start_adds_below(self, s):
        before = s.log_text()
        s.start()
        after = s.log_text()
        self.assertTrue(after.startswith(before))
        added = [re.sub(r"^\d\d/\d\d/\d\d \d\d:\d\d", "", line)
                 for line in after[len(before):].split("\r\n")[:-1]]
        self.assertEqual(added[0], " Program Activated")
        self.end(s)


if __name__ == "__main__":
    if not PROGRAM and len(sys.argv) > 1:
        PROGRAM = sys.argv.pop(1)
    unittest.main()
