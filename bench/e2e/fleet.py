"""One list, many screens: three toolbars on three Xvfb displays read one theme file from one
local web server (tests/web/list_server.py) and step on their own every 5 seconds. A scripted
check with figures, run by hand (needs Xvfb and Chromium):

    python3 bench/e2e/fleet.py build/src/quillon [ROUNDS]

It checks and prints, from the server's log: one conditional request per screen per round, no
body while nothing changed; after the list changes, the round at which each screen took it
(from its activity log); and, with the server stopped, a screen started again shows its last
list from the cache.
"""
import glob, json, os, signal, subprocess, sys, tempfile, time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "..", "tests", "web", "list_server.py")
SCREENS, STEP = 3, 5


def wait_for(what, check, limit=120):
    deadline = time.monotonic() + limit
    while not check():
        if time.monotonic() > deadline:
            sys.exit(f"FAILED: {what}")
        time.sleep(0.2)


def requests(log, screen):
    if not os.path.exists(log):
        return []
    with open(log) as f:
        entries = [json.loads(line) for line in f if line.strip()]
    return [e for e in entries if e["path"].endswith(f"screen={screen}")]


def opens(home):
    path = os.path.join(home, ".local/share/Quillon2/error.log")
    with open(path, errors="replace") if os.path.exists(path) else open(os.devnull) as f:
        return f.read()


def start_display():
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24",
                             "-nolisten", "tcp"], pass_fds=[write], stderr=subprocess.DEVNULL)
    os.close(write)
    return xvfb, ":" + os.read(read, 16).decode().strip()


def start_screen(program, address, home, display):
    env = dict(os.environ, HOME=home, DISPLAY=display, XDG_DATA_HOME=f"{home}/.local/share",
               XDG_CONFIG_HOME=f"{home}/.config", XDG_CACHE_HOME=f"{home}/.cache",
               XDG_RUNTIME_DIR=home)
    env.pop("QT_QPA_PLATFORM", None)
    return subprocess.Popen([program, "--step-every", str(STEP), address], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)


def main():
    program, rounds = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 4
    work = tempfile.mkdtemp(prefix="quillon-fleet-")
    listed, log = os.path.join(work, "list.qld"), os.path.join(work, "server.log")
    open(listed, "w").close()
    server = subprocess.Popen([sys.executable, SERVER, listed, log], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
    port = int(server.stdout.readline())
    page = f"http://127.0.0.1:{port}/html?"
    with open(listed, "w") as f:
        f.write(f"{page}1\r\n{page}2\r\n")
    address = f"http://127.0.0.1:{port}/list.qld?screen="
    displays, toolbars, homes = [], [], []
    try:
        for screen in range(SCREENS):
            xvfb, display = start_display()
            home = os.path.join(work, f"home{screen}")
            os.makedirs(home)
            displays.append((xvfb, display))
            homes.append(home)
            toolbars.append(start_screen(program, address + str(screen), home, display))
        for screen in range(SCREENS):
            wait_for(f"screen {screen} reads its list", lambda: requests(log, screen))
        for screen in range(SCREENS):
            wait_for(f"screen {screen} asks {rounds} rounds",
                     lambda: len(requests(log, screen)) > rounds)
        print(f"{rounds} rounds each, list unchanged (a round: one timed step, {STEP} s after "
              "its page loaded):")
        print(f"{'screen':>6} {'requests':>9} {'conditional':>12} {'304':>5} {'body bytes':>11} "
              f"{'s between':>10}")
        for screen in range(SCREENS):
            later = requests(log, screen)[1:rounds + 1]
            conditional = sum(1 for e in later if e["if_none_match"])
            unchanged = sum(1 for e in later if e["status"] == 304)
            body = sum(e["body"] for e in later)
            gaps = [b["time"] - a["time"] for a, b in zip(later, later[1:])]
            print(f"{screen:>6} {len(later):>9} {conditional:>12} {unchanged:>5} {body:>11} "
                  f"{min(gaps):>5.1f}-{max(gaps):<4.1f}")
            if body or conditional != len(later) or unchanged != len(later) or min(gaps) < STEP:
                sys.exit("FAILED: not one conditional request per round without a body")
        changed = time.monotonic()
        before = [len(requests(log, s)) for s in range(SCREENS)]
        with open(listed, "w") as f:
            f.write(f"{page}1\r\n{page}2\r\n{page}3\r\n")
        for screen in range(SCREENS):
            name = f"screen={screen} opens normally"
            wait_for(f"screen {screen} takes the change", lambda: opens(homes[screen]).count(name) == 2)
            taken = requests(log, screen)[before[screen]:]
            print(f"screen {screen}: the change was taken {time.monotonic() - changed:.1f} s after "
                  f"it, {len(taken)} request(s) later ({[e['status'] for e in taken]})")
        os.killpg(toolbars[0].pid, signal.SIGKILL)
        server.kill()
        toolbars[0] = start_screen(program, address + "0", homes[0], displays[0][1])
        wait_for("the offline start shows the last list",
                 lambda: "shows the copy kept" in opens(homes[0])
                 and opens(homes[0]).count("screen=0 opens normally") == 3)
        print("offline start: screen 0 shows the last list read, from its cache")
        print("PASSED")
    finally:
        for toolbar in toolbars:
            try:
                os.killpg(toolbar.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        for xvfb, _ in displays:
            xvfb.kill()
        server.kill()


if __name__ == "__main__":
    main()
