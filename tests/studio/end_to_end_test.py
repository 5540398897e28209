#!/usr/bin/python3
"""Charlib Studio driven as a user drives it, in a real X server, through its accessibility tree.

    end_to_end_test.py CHARLIB_STUDIO

Starts Xvfb, a session bus and the accessibility bus, opens a project of one job in the studio,
waits for its summary, picks the character the font lacks, sees where it occurs, builds the job
and closes the window. Exits with 77 (skipped) when Xvfb, dbus-daemon, the accessibility bus
launcher, xdotool or pyatspi is missing.
"""

import importlib.util
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
FAMILY = "WenQuanYi Micro Hei"
# A few hanzi and one character the font lacks, on the second line, third column.
SOURCE = "你好，世界\n字库😀工坊\n"
MISSING = "😀"
MISSING_PLACE = "source.txt:2:3"
PROJECT = f"""[[font]]
name = "ui"
sources = "source.txt"
font = "{FONT}"
output = "chars.txt"
atlas = "ui"
size = 24
"""
# Every process started here carries this mark, so that the end finds also those the buses
# started on their own (the accessibility bus's daemon, the registry) and ends them.
MARK = "CHARLIB_END_TO_END_RUN"
# No wait goes past this, so that the test ends (and ends what it started) well before ctest's
# timeout would kill it.
BUDGET = 50
deadline = time.monotonic() + BUDGET


def bus_launcher():
    for path in ("/usr/libexec/at-spi-bus-launcher", "/usr/lib/at-spi2-core/at-spi-bus-launcher"):
        if os.access(path, os.X_OK):
            return path
    return None


def missing_tools():
    missing = [tool for tool in ("Xvfb", "dbus-daemon", "dbus-send", "xdotool") if not shutil.which(tool)]
    if not bus_launcher():
        missing.append("at-spi-bus-launcher")
    if importlib.util.find_spec("pyatspi") is None:
        missing.append("pyatspi")
    return missing


class Failed(Exception):
    pass


def wait_for(what, probe, seconds, process=None):
    """probe() until it gives something true, or fail naming `what`; fail at once if `process` ends."""
    end = min(time.monotonic() + seconds, deadline)
    while True:
        if process is not None and process.poll() is not None:
            raise Failed(f"charlib-studio ended with {process.returncode}, while waiting for {what}")
        found = probe()
        if found:
            return found
        if time.monotonic() > end:
            raise Failed(f"still no {what}, after {seconds} s" if end < deadline else
                         f"still no {what}, after {BUDGET} s in all")
        time.sleep(0.1)


class Session:
    """Xvfb, a session bus of our own and the accessibility bus; ended whatever happens."""

    def __init__(self, folder):
        self.folder = folder
        self.processes = []
        self.env = dict(os.environ)
        self.env[MARK] = str(os.getpid())
        runtime = os.path.join(folder, "runtime")
        os.mkdir(runtime, 0o700)
        # A home of its own: nothing the studio remembers (recent projects) leaks in or out.
        self.env.update(HOME=folder, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=os.path.join(folder, "config"))

    def start(self, command, **options):
        process = subprocess.Popen(command, env=self.env, start_new_session=True, **options)
        self.processes.append(process)
        return process

    def __enter__(self):
        try:
            self.begin()
        except BaseException:
            self.__exit__()
            raise
        return self

    def begin(self):
        # Xvfb picks a free display itself and writes its number.
        read, write = os.pipe()
        self.start(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                   pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as pipe:
            display = pipe.readline().strip()
        if not display:
            raise Failed("Xvfb did not start")
        self.env["DISPLAY"] = ":" + display

        # A bus that starts no service on demand: the accessibility bus is ours, started below.
        config = os.path.join(self.folder, "session.conf")
        with open(config, "w") as file:
            file.write(f"""<busconfig>
  <type>session</type>
  <listen>unix:dir={self.folder}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
    <allow own="*"/></policy>
</busconfig>
""")
        bus = self.start(["dbus-daemon", "--nofork", "--print-address", f"--config-file={config}"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        address = bus.stdout.readline().strip()
        if not address:
            raise Failed("the session bus did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.start([bus_launcher(), "--launch-immediately", "--a11y=1"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("accessibility bus", self.accessibility_bus_owned, 10)

    def accessibility_bus_owned(self):
        answer = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                                 "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                                 "string:org.a11y.Bus"], env=self.env, capture_output=True, text=True)
        return "boolean true" in answer.stdout

    def __exit__(self, *exception):
        for process in reversed(self.processes):
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        for process in self.processes:
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
        # What the buses started on their own, found by the mark in its environment.
        mark = f"{MARK}={self.env[MARK]}".encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/environ", "rb") as file:
                    if mark in file.read().split(b"\0"):
                        os.kill(int(pid), signal.SIGKILL)
            except (OSError, ProcessLookupError):
                pass


def descendants(node):
    """The accessible objects below `node`, breadth first."""
    queue = [node]
    while queue:
        node = queue.pop(0)
        try:
            children = [node.getChildAtIndex(index) for index in range(node.childCount)]
        except Exception:  # an object that went away while we looked
            continue
        for child in filter(None, children):
            yield child
            queue.append(child)


def find(root, name=None, role=None, test=None):
    for node in descendants(root):
        try:
            if ((name is None or node.name == name) and (role is None or node.getRoleName() == role)
                    and (test is None or test(node))):
                return node
        except Exception:  # an object that went away while we looked
            continue
    return None


def application(pyatspi, name):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name == name:
            return app
    return None


def outline(node, depth=0, lines=None):
    """The tree below `node` as role "name" (description), to show what the window offers."""
    lines = [] if lines is None else lines
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is None or len(lines) > 200:
            continue
        description = f" ({child.description})" if child.description else ""
        lines.append(f"{'  ' * depth}{child.getRoleName()} \"{child.name}\"{description}")
        outline(child, depth + 1, lines)
    return lines


def click(session, node):
    extents = node.queryComponent().getExtents(0)  # desktop coordinates
    x, y = extents.x + extents.width // 2, extents.y + extents.height // 2
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"], env=session.env, check=True)


def press(node, *names):
    action = node.queryAction()
    for index in range(action.nActions):
        if action.getName(index).lower() in names:
            return action.doAction(index)
    return action.doAction(0)


def drive(session, studio, folder, mark):
    for name in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
        os.environ[name] = session.env[name]
    import pyatspi  # here, once the buses it talks to are ours

    app = wait_for("application charlib-studio", lambda: application(pyatspi, "charlib-studio"), 15, studio)
    try:
        steps(session, studio, folder, mark, app)
    except Failed:
        try:
            print("What the window offers:\n" + "\n".join(outline(app)), file=sys.stderr)
        except Exception:  # the window is gone
            pass
        raise


def steps(session, studio, folder, mark, app):
    def until(what, probe, seconds):
        return wait_for(what, probe, seconds, studio)

    frame = until("frame titled Charlib Studio — …", lambda: find(
        app, role="frame", test=lambda n: n.name.startswith("Charlib Studio — ")), 10)
    mark(f"window \"{frame.name}\"")

    summary_text = re.compile(r"^(\d+) characters?, 1 missing from (.+)$")

    def summary():
        node = find(frame, name="Summary")
        return node if node is not None and summary_text.match(node.description or "") else None

    described = summary_text.match(until("Summary that says 1 character is missing", summary, 30).description)
    expected = "".join(dict.fromkeys(SOURCE.replace("\n", "")))
    if int(described[1]) != len(expected) or not described[2].startswith(FAMILY):
        raise Failed(f"the summary says \"{described[0]}\", "
                     f"not {len(expected)} characters, 1 missing from {FAMILY}")
    mark(f"summary \"{described[0]}\"")

    characters = until("list Characters", lambda: find(frame, name="Characters", role="list"), 5)
    lacking = until("character described as missing from the font", lambda: find(
        characters, test=lambda n: (n.description or "").startswith("missing from")), 5)
    if MISSING not in lacking.name:
        raise Failed(f"the character described as missing is \"{lacking.name}\", not {MISSING}")
    click(session, lacking)
    places = until("list Places", lambda: find(frame, name="Places", role="list"), 5)
    place = until(f"place {MISSING_PLACE}", lambda: find(places, test=lambda n: MISSING_PLACE in n.name), 10)
    mark(f"place \"{place.name}\"")

    outputs = [os.path.join(folder, name) for name in ("chars.txt", "ui.fnt", "ui_0.png")]
    early = [os.path.basename(path) for path in outputs if os.path.exists(path)]
    if early:
        raise Failed(f"{', '.join(early)} written before Build was pressed")
    press(until("push button Build", lambda: find(frame, name="Build", role="push button"), 5), "press", "click")
    until("chars.txt, ui.fnt and ui_0.png", lambda: all(os.path.isfile(path) for path in outputs), 15)
    with open(outputs[0], encoding="utf-8") as file:
        written = file.read().rstrip("\n")
    if written != expected:
        raise Failed(f"chars.txt holds \"{written}\", not \"{expected}\"")
    with open(outputs[2], "rb") as file:
        if file.read(8) != b"\x89PNG\r\n\x1a\n":
            raise Failed("ui_0.png is not a PNG")
    mark("built")

    window = subprocess.run(["xdotool", "search", "--sync", "--name", "^Charlib Studio — "], env=session.env,
                            capture_output=True, text=True, check=True).stdout.split()[0]
    subprocess.run(["xdotool", "windowfocus", "--sync", window, "key", "--clearmodifiers", "ctrl+q"],
                   env=session.env, check=True)
    try:
        code = studio.wait(timeout=max(1, min(10, deadline - time.monotonic())))
    except subprocess.TimeoutExpired:
        raise Failed("the window did not close on Ctrl+Q (a question left open?)")
    if code != 0:
        raise Failed(f"charlib-studio ended with {code}")
    mark("closed")


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    missing = missing_tools()
    if missing:
        print("skipped, missing: " + ", ".join(missing))
        return SKIP
    started = time.monotonic()

    def mark(what):
        print(f"{time.monotonic() - started:5.1f} s  {what}", flush=True)

    with tempfile.TemporaryDirectory(prefix="charlib-e2e-") as folder:
        project = os.path.join(folder, "project")
        os.mkdir(project)
        with open(os.path.join(project, "source.txt"), "w", encoding="utf-8") as file:
            file.write(SOURCE)
        with open(os.path.join(project, "project.toml"), "w", encoding="utf-8") as file:
            file.write(PROJECT)
        try:
            with Session(folder) as session:
                mark(f"X server {session.env['DISPLAY']} and the buses")
                session.env.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
                                   QT_QPA_PLATFORM="xcb", LANGUAGE="en")
                studio = session.start([os.path.abspath(sys.argv[1]), os.path.join(project, "project.toml")],
                                       cwd=folder)
                drive(session, studio, project, mark)
        except Failed as failure:
            print(f"FAILED: {failure}", file=sys.stderr)
            return 1
    mark("done")
    return 0


if __name__ == "__main__":
    sys.exit(main())
