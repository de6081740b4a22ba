"""What a user does with the Kelvo window, against scripted servers on 127.0.0.1.

Run by ctest (window_acceptance) under dbus-run-session with Debian's
/usr/bin/python3 (see run_tests for a missing tool).
"""
import os
import signal
import socket
import subprocess

from kelvo_window import HERE, KELVO, Kelvo, WindowTest, listed, run_tests, start, stop, wait_for, xdotool

SLOW = {"size": 400000, "seconds": 20}  # still running when the user acts


class WindowScenarios(WindowTest):
    def connected(self, files, hostile=()):
        """A server listing files (and hostile names), the local folder, Connect."""
        port = self.serve([listed(n, f["size"]) for n, f in files.items()] + [listed(n, 9) for n in hostile],
                                 dict(files, **{n: {"size": 9} for n in hostile}))
        self.kelvo.open_local_folder(self.downloads)
        self.kelvo.connect(port)
        return self.kelvo

    def download(self, name, running=False):
        k = self.kelvo
        k.click(k.item("Remote", name))
        k.click(k.button("<< Download"))
        partial = os.path.join(self.downloads, name)
        if running:
            wait_for("the download under way", lambda: os.path.getsize(partial) > 0 and k.enabled(k.button("Abort")))
        return partial

    def explain(self, error):
        """The window's state and the server's commands added to a failure."""
        raise AssertionError("%s; %s; server got %s" % (error, self.kelvo.state(), self.commands())) from None

    def ended(self):
        proc = self.kelvo.proc
        return wait_for("kelvo to end", lambda: proc.poll() is not None and [proc.returncode])[0]

    def test_select_all_and_download_keeps_listed_names_inside_the_folder(self):
        hostile = ("../../escaped.txt", "sub/evil.txt", "..")
        k = self.connected({"a.txt": {"size": 5}, "b.txt": {"size": 7}}, hostile)
        pane = k.view("Remote")
        k.click(k.row_cells(pane)[0])
        k.key("ctrl+a")
        wait_for("every row selected", lambda: all(k.has(c, "SELECTED") for c in k.row_cells(pane)))
        k.click(k.button("<< Download"))
        skipped = [n + " was skipped. Reason:the name cannot be used as a file name here" for n in hostile[:2]]
        try:
            wait_for("both files, and both names skipped in the log", lambda: {"a.txt", "b.txt"} <= self.written()
                     and all(line in k.log_lines() for line in skipped))
        except AssertionError as e:
            self.explain("%s; written below the test folder: %s" % (e, sorted(self.written())))
        self.assertEqual({"a.txt", "b.txt"}, self.written())
        self.assertEqual([5, 7], [os.path.getsize(os.path.join(self.downloads, n)) for n in ("a.txt", "b.txt")])

    def test_disconnect_during_a_download(self):
        k = self.connected({"slow.bin": SLOW, "other.txt": {"size": 3}})
        partial = self.download("slow.bin", running=True)
        k.click(k.button("Disconnect"))

        def disconnected():
            notices = [w for w in k.children(k.app) if w.name == "Kelvo [Notice]"]  # may come; OK closes it
            if notices and "Kelvo [Notice]" in k.windows():
                k.click(k.find("push button", "OK", notices[0]))
            return (k.enabled(k.button("Connect")) and not k.enabled(k.button("Disconnect"))
                    and not k.enabled(k.button("Abort")) and not k.names("Remote")
                    and "QUIT" in self.commands())
        try:
            wait_for("the window disconnected and QUIT at the server", disconnected)
        except AssertionError as e:
            self.explain(e)
        self.assertGreater(os.path.getsize(partial), 0)
        self.assertFalse([c for c in self.commands() if c.startswith(("EPRT", "PORT"))], "passive mode, as the Options show")

    def test_without_a_display_kelvo_says_so_and_sets_nothing_up(self):
        home = os.path.join(self.folder, "no-display")
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        ended = subprocess.run([KELVO], env=dict(env, KELVO_HOME=home), capture_output=True, timeout=20)
        self.assertNotEqual(0, ended.returncode)
        self.assertIn(b"no display available", ended.stdout + ended.stderr)
        self.assertFalse(os.path.exists(home), "nothing was set up")

    def test_sigterm_while_the_file_exists_question_is_open(self):
        with open(os.path.join(self.downloads, "data.bin"), "wb") as old:
            old.write(b"older, shorter")
        self.connected({"data.bin": {"size": 300}})
        self.download("data.bin")
        wait_for("the File Exists! question", lambda: "File Exists!" in self.kelvo.windows())
        os.kill(self.kelvo.proc.pid, signal.SIGTERM)
        self.assertEqual(0, self.ended(), "exit status (negative: the signal that ended kelvo)")
        with open(os.path.join(self.downloads, "data.bin"), "rb") as kept:
            self.assertEqual(b"older, shorter", kept.read())

    def test_abort_while_connecting_to_a_server_that_never_greets(self):
        silent = socket.create_server(("127.0.0.1", 0))  # takes the connection, says nothing
        self.addCleanup(silent.close)
        k = self.kelvo
        k.connect(silent.getsockname()[1], listed=False)
        k.click(wait_for("Abort enabled while connecting", lambda: k.enabled(k.button("Abort")) and k.button("Abort")))
        wait_for("connecting stopped", lambda: k.enabled(k.button("Connect")) and not k.enabled(k.button("Abort"))
                 and "Error: The operation was aborted." in k.log_lines(), timeout=5)

    def test_ctrl_q_during_a_download(self):
        self.connected({"slow.bin": SLOW})
        partial = self.download("slow.bin", running=True)
        self.kelvo.key("ctrl+q")
        self.assertEqual(0, self.ended(), "exit status (negative: the signal that ended kelvo)")
        self.assertGreater(os.path.getsize(partial), 0)

    def test_remote_menu_and_remote_folder_during_a_download(self):
        k = self.connected({"slow.bin": SLOW, "a.txt": {"size": 3}})
        # Connected, the Remote menu opens from the menu bar and on the right
        # button over the pane.
        title = k.find("menu item", "Remote", k.find("menu bar"))
        for open_menu in (lambda: k.click(title), lambda: k.click(k.cells("Remote")[1], button="3")):
            open_menu()
            wait_for("the Remote menu open", lambda: k.all("menu item", "Refresh"))
            k.key("Escape")
            wait_for("the Remote menu closed", lambda: not k.all("menu item", "Refresh"))
        partial = self.download("slow.bin", running=True)
        # During the download its Refresh, and the path box, wait for it.
        k.click(title)
        k.click(k.find("menu item", "Refresh"))
        k.choose(k.find("text", "Remote folder").parent, "/")
        at = os.path.getsize(partial)
        try:
            wait_for("the download going on", lambda: os.path.getsize(partial) > at)
            self.assertEqual(["slow.bin", "a.txt"], k.names("Remote"))
            self.assertTrue(k.enabled(k.button("Abort")), "Abort enabled")
            k.click(k.button("Abort"))
            wait_for("Abort disabled", lambda: not k.enabled(k.button("Abort")))
        except AssertionError as e:
            self.explain(e)
        self.assertIn("ABOR", self.commands())
        self.assertLess(os.path.getsize(partial), SLOW["size"])

    def test_scripts_run_offers_the_demo_site(self):
        """A newcomer's first steps: scripts/run, Connect, the demo site, Connect;
        Ctrl+Q ends Kelvo, the script and its demo server."""
        stop(self.kelvo.proc, signal.SIGKILL)
        with socket.create_server(("127.0.0.1", 0)) as probe:
            port = probe.getsockname()[1]
        k = self.kelvo = Kelvo(os.path.join(self.folder, "run"), [os.path.join(HERE, "..", "..", "scripts", "run")],
                               KELVO_DEMO_PORT=str(port))
        self.addCleanup(stop, k.proc)
        k.click(k.button("Connect"))
        manager = k.find("dialog", "Connection Information")
        k.click(k.find("table cell", "Kelvo demo (local).Profile", manager))
        k.click(k.find("push button", "Connect", manager))
        wait_for("the demo server's files", lambda: "README.txt" in k.names("Remote"), 20)
        k.key("ctrl+q")
        self.assertEqual(0, self.ended())
        self.assertRaises(OSError, socket.create_connection, ("127.0.0.1", port), 2)

    def test_tray_icon_and_its_menu(self):
        """With a notification area (trayer): minimising or the icon's menu
        (Show/Hide) hides the window into it, a click on the icon brings it
        back, the menu's Exit ends the program."""
        stop(self.kelvo.proc, signal.SIGKILL)
        tray = start(["trayer", "--edge", "bottom", "--align", "right"])
        self.addCleanup(stop, tray)
        wait_for("the notification area", lambda: xdotool("search", "--class", "trayer"))
        k = self.kelvo = Kelvo(os.path.join(self.folder, "tray"))
        self.addCleanup(stop, k.proc, signal.SIGKILL)

        def windows():  # the program's windows on the screen by width: the tray icon's is the small one
            shown = xdotool("search", "--onlyvisible", "--class", "kelvo").split()
            sizes = {w: xdotool("getwindowgeometry", "--shell", w) for w in shown}
            return sorted(sizes, key=lambda w: int(sizes[w].split("WIDTH=")[1].split()[0]))
        shown = lambda: "Kelvo" in k.windows()
        click = lambda button: xdotool("mousemove", "--window", wait_for("the tray icon", windows)[0], "5", "5",
                                       "click", button)
        xdotool("windowminimize", windows()[-1])
        wait_for("the window hidden in the tray", lambda: not shown())
        click("1")
        wait_for("the window back", shown)
        def menu(letter):  # the icon's menu, once it shows, and its item by its letter
            before = len(windows())
            click("3")
            wait_for("the tray icon's menu", lambda: len(windows()) > before)
            k.key(letter)
        menu("s")  # Show/Hide
        wait_for("the window hidden", lambda: not shown())
        click("1")
        wait_for("the window shown", shown)
        menu("e")  # Exit
        self.assertEqual(0, self.ended())


if __name__ == "__main__":
    run_tests()
