"""Start-up time: from launching the toolbar to the load event of the first link in its visible
browser, against Chromium alone launched on the same link with a fresh profile, and against
Chromium launched with no window and told over its DevTools pipe to make one on that link (as
the program makes its window, with nothing else: the floor of a program that drives it so).

Both measure the same thing: the page reports its own load event to the local server that
serves it. Each run gets a fresh home (so a fresh profile) for either side. Needs an X display
(run under xvfb-run) and the built program:

    xvfb-run -a python3 bench/e2e/startup.py build/src/quillon [runs] [breakdown]

Several programs, to compare builds in one run: new=build/src/quillon,old=/tmp/q. Each round
launches every program and Chromium alone once, in an order that turns by one each round, so
that a change in the machine's load meets all of them alike.

With "breakdown", as many traced rounds of the programs follow (QUILLON_STEP_TRACE) and the
median time from launching each to each mark it gives is printed, in the order they come ("-":
that program gives no such mark): of its own marks the first, of the page's lifecycle events and
the window's commit ("navigated:") the last before the load, so the first link's page's.
"""

import fcntl
import http.server
import json
import math
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
        self.asked = {}
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
            self.server.asked.setdefault(self.path, time.monotonic())
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


def time_until_loaded(server, command, env, first_path, marks=None, over_pipe=None):
    """Seconds from launch to the first page's load; `marks` (a list) gets the program's
    "quillon-step" lines as (what, seconds from launch); `over_pipe`, commands (bytes) written to
    the browser's DevTools pipe as soon as it is launched."""
    server.loaded.clear()
    server.asked.clear()
    server.event.clear()
    started = time.monotonic()
    stderr = subprocess.DEVNULL if marks is None else subprocess.PIPE
    if over_pipe:
        process, commands_out, events_in = launch_with_pipe(command, env, stderr)
        os.write(commands_out, over_pipe)

        def drain():
            # Its answers are read so that the browser never waits on a full pipe.
            while os.read(events_in, 65536):
                pass
            os.close(events_in)
        threading.Thread(target=drain, daemon=True).start()
    else:
        process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=stderr,
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
        server.asked_after = server.asked[first_path] - started
        return server.loaded[first_path] - started
    finally:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        end_processes_of(env["HOME"])
        if over_pipe:
            os.close(commands_out)
        if reader:
            reader.join(5)


def launch_with_pipe(command, env, stderr=subprocess.DEVNULL):
    """Starts a browser given --remote-debugging-pipe, in a session of its own: (the process, the
    descriptor that its commands are written to, the one that its messages are read from)."""
    to_browser, from_us = os.pipe()
    to_us, from_browser = os.pipe()

    def descriptors():
        # The browser reads its commands from descriptor 3 and writes to 4.
        for fd, number in ((to_browser, 3), (from_browser, 4)):
            os.dup2(fcntl.fcntl(fd, fcntl.F_DUPFD, 10), number)
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=stderr,
                               start_new_session=True, preexec_fn=descriptors, pass_fds=(3, 4))
    os.close(to_browser)
    os.close(from_browser)
    return process, from_us, to_us


def chromium_flags(home, *more):
    """Chromium's flags for a run in `home`, as the benchmarks launch it by itself."""
    flags = ["--no-first-run", "--no-default-browser-check", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--ozone-platform=x11",
             f"--user-data-dir={home}/profile", *more]
    if os.geteuid() == 0:
        flags.append("--no-sandbox")
    return flags


def end_processes_of(home):
    """Kills what is left of a run and waits until it is gone. The program's browser has its own
    process group, which the kill of the program's leaves alive: shutting itself down when its
    pipe closes, it would take the next run's processor time, always the same side's."""
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        left = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                    if home.encode() in cmdline.read():
                        left.append(int(pid))
            except OSError:
                pass
        if not left:
            return
        for pid in left:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        time.sleep(0.02)


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


def chromium_run(server, base, over_pipe=False):
    """Chromium alone, launched on the link; or, `over_pipe`, launched with no window and told
    over its DevTools pipe to make one on the link, as the program does, with nothing else: the
    least that a program that drives it so can take."""
    home, env = fresh_home()
    commands = None
    if over_pipe:
        flags = chromium_flags(home, "--remote-debugging-pipe", "--no-startup-window")
        made = {"id": 1, "method": "Target.createTarget",
                "params": {"url": f"{base}/first", "newWindow": True, "forTab": True}}
        commands = json.dumps(made).encode() + b"\0"
    else:
        flags = chromium_flags(home, f"{base}/first")
    try:
        return time_until_loaded(server, [chromium(), *flags], env, "/first", over_pipe=commands)
    finally:
        shutil.rmtree(home, ignore_errors=True)


def p90_of(values):
    """The nearest rank: of 10 values the 9th, of 30 the 27th."""
    values = sorted(v for v in values if v is not None)
    return values[math.ceil(0.9 * len(values)) - 1] if values else None


def loaded_median(values):
    """The median of the launches that loaded (None: one that never did)."""
    return statistics.median(v for v in values if v is not None)


def programs_named(argument):
    """"new=a,old=b" or one path: [(label, absolute path)]."""
    return [(label or "toolbar", os.path.abspath(path)) for label, path in
            (p.split("=", 1) if "=" in p else ("", p) for p in argument.split(","))]


def turned(items, by):
    by %= len(items)
    return items[by:] + items[:by]


def main():
    programs = programs_named(sys.argv[1] if len(sys.argv) > 1 else "build/src/quillon")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    server = Server()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    alone, piped = "Chromium alone", "Chromium piped"
    times = {name: [] for name in [label for label, _ in programs] + [alone, piped]}
    asked = {name: [] for name in times}
    started, load_before = time.monotonic(), os.getloadavg()
    sides = [(label, lambda p=path: toolbar_run(server, p, base)) for label, path in programs]
    sides.append((alone, lambda: chromium_run(server, base)))
    sides.append((piped, lambda: chromium_run(server, base, over_pipe=True)))
    for r in range(runs):
        for name, run in turned(sides, r):
            # A launch that never loads (Chromium alone has hung so, now and then) is counted
            # apart rather than ending the run.
            try:
                times[name].append(run())
                asked[name].append(server.asked_after)
            except RuntimeError as error:
                print(f"round {r + 1}: {error}", file=sys.stderr)
                times[name].append(None)
    server.shutdown()
    print(f"runs each: {runs}, interleaved ({', '.join(times)}, turned by one each round); "
          f"load average before {load_before[0]:.2f}, after {os.getloadavg()[0]:.2f}; "
          f"{time.monotonic() - started:.0f} s")
    print("launch to the first page's load event, s:")
    for name, values in times.items():
        print(f"  {name:<16} median {loaded_median(values):.3f}  p90 {p90_of(values):.3f}"
              "  (all: " + ", ".join("never" if x is None else f"{x:.3f}" for x in values) + ")")
    print("launch to the first page's request at the server, median s: " +
          ", ".join(f"{name} {statistics.median(values):.3f}" for name, values in asked.items()))
    c = loaded_median(times[alone])
    for label, _ in programs:
        print(f"ratio {label} / Chromium alone: {loaded_median(times[label]) / c:.2f}"
              "  (goal: at most 1.0)")
        print(f"ratio {label} / Chromium piped: "
              f"{loaded_median(times[label]) / loaded_median(times[piped]):.2f}")
    first = programs[0][0]
    for label, _ in programs[1:]:
        print(f"ratio {label} / {first}: "
              f"{loaded_median(times[label]) / loaded_median(times[first]):.2f}")
    if "breakdown" in sys.argv[3:]:
        breakdown(programs, runs)


# The page's own lifecycle events (and the window's commit) come again for each document, the
# blank one the window starts with among them; some say nothing of when a page shows and are left
# out.
PAGE_EVENTS = {"init", "commit", "DOMContentLoaded", "load", "firstPaint", "firstContentfulPaint"}
NOT_SHOWN = {"firstImagePaint", "firstMeaningfulPaintCandidate", "firstMeaningfulPaint",
             "networkAlmostIdle", "networkIdle", "InteractiveTime"}


def breakdown(programs, runs):
    """The median time from launch to each mark of the start-up, over traced runs."""
    server = Server()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    steps = {label: {} for label, _ in programs}
    for r in range(runs):
        for label, program in turned(programs, r):
            marks = []
            loaded = toolbar_run(server, program, base, marks)
            seen = {}
            for what, t in sorted(marks, key=lambda m: m[1]):
                name = "commit" if what.startswith("navigated:") else what
                if name in NOT_SHOWN:
                    continue
                if name in PAGE_EVENTS:
                    if t <= loaded:
                        seen[name] = t  # the last before the load: the first link's page's
                else:
                    seen.setdefault(name, t)
            seen["load event"] = loaded
            for name, t in seen.items():
                steps[label].setdefault(name, []).append(t)
    server.shutdown()
    medians = {label: {name: statistics.median(ts) * 1e3 for name, ts in named.items()}
               for label, named in steps.items()}
    names = sorted({n for named in medians.values() for n in named},
                   key=lambda n: min(m[n] for m in medians.values() if n in m))

    def cell(label, name):
        if name not in medians[label]:
            return f"{'-':>16}"
        seen = len(steps[label][name])
        return f"{medians[label][name]:10.1f}" + (f" ({seen:2})" if seen < runs else " " * 5)

    print(f"traced runs each: {runs}, median ms from launching the program to each of its marks"
          " ((n): a mark seen in n runs only)")
    print(f"  {'':22}" + "".join(f"{label:>11}     " for label, _ in programs))
    for name in names:
        print(f"  {name:<22}" + "".join(cell(label, name) for label, _ in programs))


if __name__ == "__main__":
    main()
