"""Browser restart on an unattended screen: the toolbar steps on its own (--step-every), its
browser's main process is killed as the out-of-memory killer would (SIGKILL), and the time runs
from the kill to the load event of the link on show in the browser that the toolbar started again.
The page reports its own load event to the local server that serves it; the hidden instance runs
no script, so only the window's load counts.

Needs an X display (run under xvfb-run) and the built program:

    xvfb-run -a python3 bench/e2e/restart.py build/src/quillon [RUNS] [STOP]

With STOP the browser is stopped (SIGSTOP) instead: it hangs with its pipe open, and the toolbar
must find that it no longer answers. Each run (3 when not given) launches the toolbar afresh in a home of its own and kills its browser
KILLS_PER_RUN times, fewer than the restarts that it allows in ten minutes. Prints every time, the
median, p90 and the longest, and whether each came within 10 s.
"""

import http.server
import os
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from startup import end_processes_of, fresh_home, p90_of  # noqa: E402

KILLS_PER_RUN = 4
BOUND_S = 10.0


# The page tells when its document was asked for, so that a late report of a page that the dead
# browser showed is never taken for the new one's.
PAGE = b"""<!DOCTYPE html><html><head><title>Bench</title></head><body><h1>Bench</h1>
<script>addEventListener('load', () => fetch('/loaded?' + performance.timeOrigin));</script>
</body></html>"""


class Server(http.server.ThreadingHTTPServer):
    def __init__(self):
        super().__init__(("127.0.0.1", 0), Handler)
        self.loads = []  # (when the report came, when its page was asked for), both epoch s

    def loaded_since(self, moment):
        return [came for came, origin in list(self.loads) if origin >= moment]

    def handle_error(self, request, client_address):
        pass  # a browser killed mid-request


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = PAGE
        if self.path.startswith("/loaded?"):
            self.server.loads.append((time.time(), float(self.path[len("/loaded?"):]) / 1000))
            body = b""
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def browser_of(program_pid):
    """The pid of the browser's main process: the program's child that holds the pipe."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat") as stat:
                parent = int(stat.read().rsplit(")", 1)[1].split()[1])
            with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                args = cmdline.read()
        except (OSError, ValueError, IndexError):
            continue
        if parent == program_pid and b"--remote-debugging-pipe" in args:
            return int(pid)
    return None


def wait_for(done, what, limit_s=60, log=None):
    deadline = time.monotonic() + limit_s
    while not done():
        if time.monotonic() > deadline:
            told = open(log, encoding="utf-8", errors="replace").read() if log else ""
            sys.exit(f"no {what} within {limit_s} s\n{told}")
        time.sleep(0.005)


def restarts_logged(install):
    with open(f"{install}/error.log", "rb") as log:
        return log.read().count(b"and was started again")


def one_run(server, program, base, how):
    home, env = fresh_home()
    install = f"{home}/.local/share/Quillon2"
    os.makedirs(install)
    with open(f"{install}/default.qld", "wb") as theme:
        theme.write(f"{base}/a\r\n{base}/b\r\n{base}/c\r\n".encode())
    times = []
    started = time.time()
    process = subprocess.Popen([program, "--step-every", "3600"], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_for(lambda: server.loaded_since(started), "first load")
        for _ in range(KILLS_PER_RUN):
            wait_for(lambda: browser_of(process.pid) is not None, "browser")
            browser = browser_of(process.pid)
            killed = time.time()
            os.kill(browser, how)
            wait_for(lambda: server.loaded_since(killed), "load after the restart",
                     log=f"{install}/error.log")
            times.append(server.loaded_since(killed)[0] - killed)
        # The new window may load its page before the line is written.
        wait_for(lambda: restarts_logged(install) == KILLS_PER_RUN,
                 f"{KILLS_PER_RUN} restarts in the log", log=f"{install}/error.log")
    finally:
        process.kill()
        process.wait()
        end_processes_of(home)
        shutil.rmtree(home, ignore_errors=True)
    return times


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    program = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    how = signal.SIGSTOP if sys.argv[3:] == ["STOP"] else signal.SIGKILL
    server = Server()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    times = []
    for run in range(runs):
        got = one_run(server, program, base, how)
        print(f"run {run + 1}: " + " ".join(f"{t:.2f}" for t in got) + " s", flush=True)
        times += got
    print(f"{how.name} to the load of the link on show, {len(times)} restarts: median "
          f"{statistics.median(times):.2f} s, p90 {p90_of(times):.2f} s, longest "
          f"{max(times):.2f} s; within {BOUND_S:.0f} s: {sum(t <= BOUND_S for t in times)} of "
          f"{len(times)}")
    server.shutdown()


if __name__ == "__main__":
    main()
