"""The real Kelvo window on a display of its own (Xvfb, openbox, the AT-SPI bus of
the D-Bus session the tests run in), with its own home, settings and program
folders. Controls are found in the accessibility tree by role and name and used
with real mouse clicks and keys (xdotool); every wait polls with a deadline."""
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

try:
    import pyatspi
except ImportError:
    pyatspi = None

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"  # Debian's, with python3-pyatspi
KELVO = os.environ.get("KELVO_BIN") or os.path.join(HERE, "..", "..", "build", "src", "app", "kelvo")
LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
SKIP = 77  # ctest's SKIP_RETURN_CODE


def missing_tools():
    missing = [t for t in ("Xvfb", "openbox", "trayer", "xdotool", "xclip", "dbus-send", LAUNCHER, KELVO) if not shutil.which(t)]
    if pyatspi is None:
        missing.append("python3-pyatspi")
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        missing.append("a D-Bus session (dbus-run-session)")
    return missing


def run_tests():
    """unittest's main, once every tool is there: a missing one skips the
    file, or fails it where the tools must be (scripts/test installs them)."""
    missing = missing_tools()
    if missing:
        print("window tests cannot run, missing: " + ", ".join(missing))
        sys.exit(1 if os.environ.get("KELVO_WINDOW_TESTS_REQUIRED") else SKIP)
    unittest.main(verbosity=2, warnings="ignore")  # pyatspi's deprecation warnings


def wait_for(what, probe, timeout=10.0):
    """probe() until it gives something true; its errors mean "not yet"
    (objects of the accessibility tree vanish while windows change)."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = probe()
        except Exception:  # noqa: BLE001
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %ss waiting for %s" % (timeout, what))
        time.sleep(0.1)


def start(argv, **kwargs):
    return subprocess.Popen(argv, stdout=kwargs.pop("stdout", subprocess.DEVNULL), stderr=subprocess.STDOUT, **kwargs)


def stop(proc, sig=signal.SIGTERM):
    """Ends a process the fixture started, by its PID."""
    if proc.poll() is None:
        os.kill(proc.pid, sig)
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            os.kill(proc.pid, signal.SIGKILL)
            proc.wait()


def descendants(pid):
    """pid and the processes below it."""
    found, todo = set(), [pid]
    while todo:
        parent = todo.pop()
        found.add(parent)
        for task in os.listdir("/proc/%d/task" % parent) if os.path.isdir("/proc/%d" % parent) else []:
            todo.extend(map(int, read("/proc/%d/task/%s/children" % (parent, task)).split()))
    return found


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, check=True).stdout


def read(path):
    with open(path, encoding="utf-8", errors="replace") as text:
        return text.read()


def content(path):
    with open(path, "rb") as data:
        return data.read()


def put(path, data=b"data"):
    """Writes a file, with the folders it needs."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def fake_opener(folder):
    """Puts a desktop opener (xdg-open) first on PATH that notes what it is given
    in the file whose path it returns."""
    opened = os.path.join(folder, "opened")
    put(os.path.join(folder, "xdg-open"), ('#!/bin/sh\necho "$1" >> %s\n' % opened).encode())
    os.chmod(os.path.join(folder, "xdg-open"), 0o755)
    os.environ["PATH"] = folder + os.pathsep + os.environ["PATH"]
    return opened


class Kelvo:
    """The program with folders of its own, and what a user does with it."""

    def __init__(self, folder, argv=(KELVO,), **env):
        """argv starts kelvo, or a script that starts it as its child."""
        paths = {name: os.path.join(folder, name) for name in ("home", "config", "data", "kelvo", "registry")}
        for path in paths.values():
            os.makedirs(path)
        self.home = paths["kelvo"]
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", HOME=paths["home"],
                   XDG_CONFIG_HOME=paths["config"], XDG_DATA_HOME=paths["data"], KELVO_HOME=paths["kelvo"],
                   KELVO_REGISTRY_DIR=paths["registry"], **env)
        with open(os.path.join(folder, "kelvo.log"), "w") as output:
            self.proc = start(list(argv), env=env, stdout=output)

        def app():
            assert self.proc.poll() is None, "kelvo ended with status %s" % self.proc.returncode
            return [a for a in pyatspi.Registry.getDesktop(0) if a and a.get_process_id() in descendants(self.proc.pid)][0]
        self.app = wait_for("Kelvo in the accessibility tree (%s/kelvo.log)" % folder, app, 20)
        self.window = self.find("frame", "Kelvo")

    # --- the accessibility tree ---------------------------------------------------
    def all(self, role, name=None, root=None):
        """Every showing object of this role (and name) below root."""
        found, todo = [], [root or self.app]
        while todo:
            node = todo.pop()
            if node is None or (node is not self.app and not self.has(node, "SHOWING")):
                continue
            if node.getRoleName() == role and name in (None, node.name.strip()):
                found.append(node)
            todo.extend(reversed(self.children(node)))
        return found

    def find(self, role, name=None, root=None):
        return wait_for("%s %r" % (role, name), lambda: self.all(role, name, root)[0])

    def children(self, node, role=None):
        return [c for c in map(node.getChildAtIndex, range(node.childCount)) if c and role in (None, c.getRoleName())]

    def has(self, node, state):
        return node.getState().contains(getattr(pyatspi, "STATE_" + state))

    def enabled(self, node):
        return self.has(node, "ENABLED")

    def row_cells(self, tree):
        """The first cell of each row of a details view, top to bottom."""
        width = len(self.children(tree, "table column header"))
        return self.children(tree, "table cell")[::width] if width else []

    def log_lines(self):
        return [item.name for item in self.children(self.find("list", "Connection log"), "list item")]

    def button(self, name):
        """The push button of the window's command row (the toolbar has namesakes)."""
        return wait_for("the %r button" % name, lambda: [
            b for b in self.all("push button", name, self.window) if b.parent.getRoleName() != "tool bar"][0])

    def windows(self):
        return [w.name for w in self.children(self.app) if self.has(w, "SHOWING")]

    def state(self):
        """What the window shows, for failure messages."""
        buttons = {n: self.enabled(self.button(n)) for n in ("Connect", "Disconnect", "Abort", "<< Download")}
        return "buttons enabled %s; remote rows %s; windows %s; log ends %s" % (
            buttons, self.names("Remote"), self.windows(), self.log_lines()[-6:])

    # --- real input -----------------------------------------------------------------
    def click(self, node, dx=None, button="1"):
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        x = box.x + (box.width // 2 if dx is None else box.width + dx)
        xdotool("mousemove", str(x), str(box.y + box.height // 2), "click", button)

    def key(self, *keys):
        xdotool("key", "--delay", "50", *keys)

    def type(self, text):
        xdotool("type", "--delay", "20", text)

    def fill(self, box, text):
        self.click(box)
        self.key("ctrl+a", "BackSpace")
        self.type(text)

    # --- what a user does ---------------------------------------------------------------
    def open_local_folder(self, path):
        """From the local pane's root down to path: a folder's row is selected
        by typing its name into the list, Enter opens it. Type-ahead appends to
        what was typed shortly before: a name that did not select its row is
        typed again after a pause."""
        pane = self.find("tree", root=self.find("filler", "Local files"))
        for part in [p for p in path.split("/") if p]:
            first, typed = wait_for("a listing in the local pane", lambda: self.row_cells(pane))[0], [0.0]

            def selected():
                if [c for c in self.row_cells(pane) if c.name == part and self.has(c, "SELECTED")]:
                    return True
                if time.monotonic() - typed[0] > 1.5:
                    if not self.has(first, "SELECTED"):  # a second click on it would rename it
                        self.click(first)
                    self.type(part)
                    typed[0] = time.monotonic()
            wait_for("the row %r selected" % part, selected)
            self.key("Return")
            box = self.find("text", "Local folder").queryText()
            wait_for("the local folder %r" % part, lambda: box.getText(0, -1).rstrip("/").endswith("/" + part))

    def connect(self, port, listed=True):
        """Connect, then the site manager's boxes, as a user fills them in."""
        self.click(self.button("Connect"))
        manager = self.find("dialog", "Connection Information")
        self.fill_site(manager, port)
        self.click(self.find("push button", "Connect", manager))
        if listed:
            wait_for("the remote listing", lambda: self.names("Remote"))

    def fill_site(self, manager, port):
        """The site manager's server and login boxes: 127.0.0.1:port, tester/secret, password saved."""
        self.fill(self.find("text", "Host Address :", manager), "127.0.0.1")
        self.fill(self.find("text", "Port:", manager), str(port))
        self.click(self.find("radio button", "Save Password", manager))
        self.fill(self.find("text", "User Name :", manager), "tester")
        self.fill(self.find("password text", "Password :", manager), "secret")

    def choose(self, combo, entry):
        """Opens a combo box's list with its arrow and clicks an entry."""
        showing = lambda: self.has(self.children(combo, "list")[0], "SHOWING")
        self.click(combo, dx=-8)
        wait_for("the list of the box open", showing)
        self.click([i for i in self.children(self.children(combo, "list")[0]) if i.name == entry][0])
        wait_for("the list of the box closed", lambda: not showing())

    # --- panes, menus, dialogs and drags -------------------------------------------------
    def view(self, side):
        """The view the "Local" or "Remote" pane shows: a tree (details) or a list."""
        filler = self.find("filler", side + " files")
        return wait_for("the %s view" % side, lambda: (self.all("tree", root=filler) + self.all("list", root=filler))[0])

    def cells(self, side):
        """The rows' name cells (details) or items (the other views) of a pane."""
        view = self.view(side)
        return self.row_cells(view) if view.getRoleName() == "tree" else self.children(view, "list item")

    def names(self, side):
        return [c.name for c in self.cells(side)]

    def selected(self, side):
        return [c.name for c in self.cells(side) if self.has(c, "SELECTED")]

    def item(self, side, name):
        """A row's name cell (details) or its item (the other views)."""
        return wait_for("the %s row %r" % (side, name), lambda: [c for c in self.cells(side) if c.name == name][0])

    def select(self, side, name):
        """A click on an unselected row selects it alone (on a selected one it would start a rename)."""
        cell = self.item(side, name)
        if not self.has(cell, "SELECTED"):
            self.click(cell)
        wait_for("only %r selected" % name, lambda: self.selected(side) == [name])

    def menu(self, opener, *path, button="1"):
        """Opens a menu by clicking (button 3: right-clicking) opener, then clicks along path."""
        self.click(opener, button=button)
        for name in path:
            self.click(self.find("menu item", name))

    def menu_bar(self, name, *path):
        """Opens a menu of the menu bar, then clicks along path."""
        self.menu(self.find("menu item", name, self.find("menu bar")), *path)

    def dialog(self, title):
        """A window of that title other than the main window (which message boxes may share)."""
        return wait_for("the window %r" % title, lambda: [w for w in self.children(self.app) if w.name == title
                                                          and w.getRoleName() != "frame" and self.has(w, "SHOWING")][0])

    def answer(self, title, button, text=None):
        """Fills the text box of a window (an input box) when text is given, clicks button."""
        box = self.dialog(title)
        if text is not None:
            self.fill(self.find("text", root=box), text)
        self.click(self.find("push button", button, box))

        def closed():
            try:
                return not self.has(box, "SHOWING")
            except Exception:  # noqa: BLE001  gone from the tree
                return True
        wait_for("the window %r closed" % title, closed)

    def drag(self, source, target, steps=12):
        """A real mouse drag from the centre of source to the centre of target (a node or a point)."""
        def centre(at):
            if isinstance(at, tuple):
                return at
            box = at.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            return box.x + box.width // 2, box.y + box.height // 2
        (x0, y0), (x1, y1) = centre(source), centre(target)
        xdotool("mousemove", str(x0), str(y0), "mousedown", "1")
        for i in range(1, steps + 1):
            time.sleep(0.05)
            xdotool("mousemove", str(x0 + (x1 - x0) * i // steps), str(y0 + (y1 - y0) * i // steps))
        for dx in (1, 0):  # a rest over the target, as a hand makes, before the release
            time.sleep(0.4)
            xdotool("mousemove", str(x1 + dx), str(y1))
        time.sleep(0.4)
        xdotool("mouseup", "1")


def listed(name, size):
    """A Unix LIST line, as most servers send them."""
    return "-rw-r--r-- 1 ftp ftp %d Jan 01 2024 %s" % (size, name)


class WindowTest(unittest.TestCase):
    """One display for the class (Xvfb picks a free number); a fresh Kelvo,
    server and folder per test, the user's local folder top/mid/downloads in it."""

    @classmethod
    def setUpClass(cls):
        cls.shared, cls.failed = tempfile.mkdtemp(prefix="kelvo-window-"), False
        cls.addClassCleanup(lambda: cls.failed or shutil.rmtree(cls.shared))  # kept with the screenshots
        os.mkdir(os.path.join(cls.shared, "runtime"), 0o700)
        displayfd, write = os.pipe()
        cls.addClassCleanup(stop, start(["Xvfb", "-displayfd", str(write), "-screen", "0", "1600x1000x24",
                                         "-nolisten", "tcp"], pass_fds=[write]))
        os.close(write)
        with os.fdopen(displayfd) as number:
            os.environ.update(DISPLAY=":" + number.readline().strip(), XDG_RUNTIME_DIR=cls.shared + "/runtime")
        cls.addClassCleanup(stop, start(["openbox"]))
        wait_for("the window manager", lambda: xdotool("get_num_desktops").strip())
        cls.addClassCleanup(stop, start([LAUNCHER, "--launch-immediately"]))
        wait_for("the accessibility bus", lambda: subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.a11y.Bus.GetAddress"], capture_output=True).returncode == 0)

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="case-", dir=self.shared)
        self.downloads = os.path.join(self.folder, "top", "mid", "downloads")
        os.makedirs(self.downloads)
        self.kelvo = Kelvo(os.path.join(self.folder, "program"))
        self.addCleanup(stop, self.kelvo.proc, signal.SIGKILL)

    def pyftpd(self, root, limit=0):
        """pyftpdlib (the engine tests' script) serving root to tester/secret,
        transfers limited to limit bytes a second; its port."""
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        self.ftp_log = os.path.join(self.folder, "pyftpd.log")
        self.addCleanup(stop, start([PYTHON, os.path.join(HERE, "..", "support", "servers", "pyftpd_server.py"),
                                     "--port", str(port), "--root", root, "--user", "tester", "--password", "secret",
                                     "--pasv-min", str(port + 1), "--pasv-max", str(port + 40), "--log", self.ftp_log,
                                     "--rate-limit", str(limit)]))
        wait_for("pyftpdlib", lambda: socket.create_connection(("127.0.0.1", port), 1).close() or True, 15)
        return port

    def received(self):
        """The commands pyftpdlib received, as typed."""
        return [line.split(" <- ", 1)[1] for line in read(self.ftp_log).splitlines() if " <- " in line]

    def serve(self, listing, files):
        """scripted_ftp.py on a free port, which it returns."""
        folder = os.path.join(self.folder, "server")
        os.makedirs(folder)
        self.log, ready, config = (os.path.join(folder, f) for f in ("commands.log", "port", "server.json"))
        with open(config, "w", encoding="utf-8") as out:
            json.dump({"listing": listing, "files": files, "log": self.log, "ready": ready}, out)
        self.addCleanup(stop, start([PYTHON, os.path.join(HERE, "scripted_ftp.py"), config]))
        return int(wait_for("the scripted server", lambda: read(ready)))

    def commands(self):
        """The verbs the server received."""
        return [line.split(" ")[0].upper() for line in read(self.log).splitlines()] if os.path.exists(self.log) else []

    def written(self):
        """Files below the test folder, but for the program's and the server's."""
        found = set()
        for top, folders, files in os.walk(self.folder):
            folders[:] = [f for f in folders if top != self.folder or f not in ("program", "server")]
            found.update(os.path.relpath(os.path.join(top, f), self.downloads) for f in files)
        return found

    def _callTestMethod(self, method):
        try:
            method()
        except unittest.SkipTest:
            raise
        except BaseException:
            type(self).failed = True
            shot = os.path.join(self.folder, "failed.png")
            subprocess.run(["import", "-window", "root", shot], capture_output=True, check=False)
            print("\n%s: screenshot of the window at the failure: %s" % (self.id(), shot), file=sys.stderr)
            raise
