"""Start-up time: from launching the toolbar to the load event of the first link in its visible
browser, against Chromium alone launched on the same link with a fresh profile.

Both measure the same thing: the page reports its own load event to the local server that
serves it. Each run gets a fresh home (so a fresh profile) for either side. Needs an X display
(run under xvfb-run) and the built program:

    xvfb-run -a python3 bench/e2e/startup.py build/src/quillon [runs] [breakdown]

With "breakdown", as many traced runs of the toolbar follow (QUILLON_STEP_TRACE) and the median
time from launching it to each step of its start-up is printed: the browser started, its
window made, the first link sent, the window's commit of it, the page's load event.
"""

import http.server
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

PAGE = b"""<!DOCTYPE html><html><head><title>Bench</title></head><body><h1>Bench</h1>
<script>addEventListener('load', () => fetch('/loaded' + location.pathname));</script>
</body></html>"""


class Server(http.server.ThreadingHTTPServer):
    def __init__(self):
        super().__init__(("127.0.0.1", 0), Handler)
        self.loaded = {}
        self.event = threading.Event()

    def handle_error(self, request, client_address):
        pass  # a program killed at the end of its run breaks off its page's last request


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.path.startswith("/loaded/"):
            self.server.loaded.setdefault(self.path[len("/loaded"):], time.monotonic())
            self.server.event.set()
            body = b""
        else:
            body = PAGE
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def chromium():
    for name in ("chromium", "chromium-browser", "google-chrome", "google-chrome-stable"):
        path = shutil.which(name)
        if path:
            return path
    sys.exit("no Chromium on PATH")


def time_until_loaded(server, command, env, first_path, marks=None):
    """Seconds from launch to the first page's load; `marks` (a list) gets the program's
    "quillon-step" lines as (what, seconds from launch)."""
    server.loaded.clear()
    server.event.clear()
    started = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL if marks is None else subprocess.PIPE,
                               start_new_session=True)
    reader = None
    if marks is not None:
        def read():
            for line in process.stderr:
                parts = line.decode(errors="replace").split()
                if len(parts) == 3 and parts[0] == "quillon-step":
                    marks.append((parts[1], float(parts[2]) / 1e3 - started))
        reader = threading.Thread(target=read, daemon=True)
        reader.start()
    try:
        deadline = started + 60
        while first_path not in server.loaded and time.monotonic() < deadline:
            server.event.wait(0.05)
            server.event.clear()
        if first_path not in server.loaded:
            raise RuntimeError(f"{command[0]} never loaded {first_path}")
        return server.loaded[first_path] - started
    finally:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        if reader:
            reader.join(5)


def fresh_home():
    home = tempfile.mkdtemp(prefix="quillon-bench-")
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=f"{home}/.local/share",
               XDG_CONFIG_HOME=f"{home}/.config", XDG_CACHE_HOME=f"{home}/.cache")
    env.pop("QT_QPA_PLATFORM", None)
    return home, env


def toolbar_run(server, program, base, marks=None):
    home, env = fresh_home()
    if marks is not None:
        env["QUILLON_STEP_TRACE"] = "1"
    install = f"{home}/.local/share/Quillon2"
    os.makedirs(install)
    with open(f"{install}/default.qld", "wb") as theme:
        theme.write(f"{base}/first\r\n{base}/second\r\n".encode())
    try:
        return time_until_loaded(server, [program], env, "/first", marks)
    finally:
        shutil.rmtree(home, ignore_errors=True)


def chromium_run(server, base):
    home, env = fresh_home()
    flags = ["--no-first-run", "--no-default-browser-check", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--ozone-platform=x11",
             f"--user-data-dir={home}/profile"]
    if os.geteuid() == 0:
        flags.append("--no-sandbox")
    try:
        return time_until_loaded(server, [chromium(), *flags, f"{base}/first"], env, "/first")
    finally:
        shutil.rmtree(home, ignore_errors=True)


def main():
    program = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/src/quillon")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    server = Server()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    toolbar, alone = [], []
    for _ in range(runs):  # interleaved, so that both sides meet the same machine state
        toolbar.append(toolbar_run(server, program, base))
        alone.append(chromium_run(server, base))
    server.shutdown()
    t, c = statistics.median(toolbar), statistics.median(alone)
    print(f"runs each:                      {runs}")
    print(f"toolbar launch to first load:   median {t:.3f} s  (all: "
          + ", ".join(f"{x:.3f}" for x in toolbar) + ")")
    print(f"Chromium alone, fresh profile:  median {c:.3f} s  (all: "
          + ", ".join(f"{x:.3f}" for x in alone) + ")")
    print(f"ratio toolbar / Chromium alone: {t / c:.2f}  (goal: at most 1.05)")
    if "breakdown" in sys.argv[3:]:
        breakdown(program, runs)


def breakdown(program, runs):
    """The median time from launch to each step of the start-up, over traced runs."""
    server = Server()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    steps = {}
    for _ in range(runs):
        marks = []
        loaded = toolbar_run(server, program, base, marks)
        seen = {"load event": loaded}
        for what, t in marks:
            name = "commit" if what.startswith("navigated:") else what
            if name in ("launch", "window", "navigate") or (name == "commit" and "navigate" in seen):
                seen.setdefault(name, t)
        for name, t in seen.items():
            steps.setdefault(name, []).append(t)
    server.shutdown()
    print(f"traced toolbar runs: {runs}, median ms from launching it:")
    for name in ("launch", "window", "navigate", "commit", "load event"):
        if name in steps:
            print(f"  {name:<12} {statistics.median(steps[name]) * 1e3:7.1f}")


if __name__ == "__main__":
    main()
