"""The two file panes as a user drives them: their keys, the Local and Remote
menus, both pane toolbars, renaming in place, typed paths, the icon views and
drag and drop, against pyftpdlib on 127.0.0.1.

Run by ctest (window_panes) under dbus-run-session with Debian's /usr/bin/python3.
"""
import os
import select
import subprocess
import tempfile
import time

from kelvo_window import WindowTest, fake_opener, put, read, run_tests, start, stop, wait_for, xdotool

LONG = "zz-a-name-longer-than-the-first-rows.txt"


class PaneTests(WindowTest):
    def setUp(self):
        # The desktop's opener, as "Open File" calls it: records what it is given.
        self.addCleanup(os.environ.__setitem__, "PATH", os.environ["PATH"])
        self.opened = fake_opener(tempfile.mkdtemp(prefix="bin-", dir=self.shared))
        super().setUp()
        self.k = self.kelvo
        self.root = os.path.join(self.folder, "server", "root")
        for name in ("a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "sub/inner.txt"):
            put(os.path.join(self.root, name), name.encode())
        os.makedirs(os.path.join(self.root, "old"))
        for name in ("up.txt", "up2.txt", "up3.txt", "up4.txt", "hold/inside.txt"):
            put(os.path.join(self.downloads, name), name.encode())

    # --- what the tests share ------------------------------------------------------------
    def connect(self):
        """pyftpdlib serving self.root, the local pane at the downloads folder, Connect."""
        port = self.pyftpd(self.root)
        self.go_local(self.downloads)
        self.k.connect(port)

    def go_local(self, path):
        """Types a folder into the local path box."""
        box = self.k.find("text", "Local folder")
        self.k.fill(box, path)
        self.k.key("Return")
        wait_for("the local folder %s" % path, lambda: box.queryText().getText(0, -1) == path.rstrip("/") + "/")

    def shows(self, side, *names, gone=()):
        wait_for("%s rows %s without %s" % (side, names, gone), lambda: set(names) <= set(self.k.names(side))
                 and not set(gone) & set(self.k.names(side)))

    def pane_menu(self, side, *path, right_click=None):
        """The Local or Remote menu from the menu bar, or from a right-click on a row of its pane."""
        if right_click:
            self.k.menu(self.k.item(side, right_click), *path, button="3")
        else:
            self.k.menu_bar(side, *path)

    def tool(self, side, name):
        """A button of a pane's toolbar."""
        pane = self.k.find("filler", side + " files").parent
        return self.k.find("push button", name, self.k.find("tool bar", root=pane))

    def local(self, *names):
        return os.path.exists(os.path.join(self.downloads, *names))

    def remote(self, *names):
        return os.path.exists(os.path.join(self.root, *names))

    def rename_in_place(self, new, log_line, before):
        """Types a new name into the label editor of a row, once the edit has begun
        (the log has one more log_line than before)."""
        wait_for("the log line %r" % log_line, lambda: self.k.log_lines().count(log_line) > before)
        self.k.key("ctrl+a")
        self.k.type(new)
        self.k.key("Return")

    # --- the tests -------------------------------------------------------------------------
    def test_local_menu_items(self):
        k = self.k
        self.go_local(self.downloads)
        put(os.path.join(self.downloads, "fresh.txt"))
        self.pane_menu("Local", "Refresh")
        self.shows("Local", "fresh.txt")
        self.k.select("Local", "fresh.txt")
        self.pane_menu("Local", "Open File", right_click="fresh.txt")
        wait_for("fresh.txt opened", lambda: read(self.opened).strip().endswith("/downloads/fresh.txt"))

        self.k.select("Local", "up.txt")
        self.pane_menu("Local", "Delete File(s)")
        k.answer("Kelvo [Confirm]", "Yes")
        wait_for("up.txt deleted", lambda: not self.local("up.txt"))
        self.shows("Local", gone=["up.txt"])

        self.k.select("Local", "up2.txt")
        self.pane_menu("Local", "Rename File", right_click="up2.txt")
        k.answer("Kelvo [Confirm]", "Yes")
        k.answer("Kelvo - Rename Local File", "OK", "renamed.txt")
        wait_for("up2.txt renamed", lambda: self.local("renamed.txt") and not self.local("up2.txt"))

        self.pane_menu("Local", "Create Folder")
        k.answer("Kelvo - Create Local Folder", "OK", "made")
        self.shows("Local", "made")
        self.k.select("Local", "made")
        self.pane_menu("Local", "Remove Folder", right_click="made")
        k.answer("Kelvo [Confirm]", "Yes")
        wait_for("made removed", lambda: not self.local("made"))

        self.pane_menu("Local", "Find File(s)")
        k.answer("Find Files", "Close")
        self.k.select("Local", "up3.txt")
        self.pane_menu("Local", "Properties", right_click="up3.txt")
        k.answer("Properties of up3.txt", "Close")

        self.pane_menu("Local", "Delete File To Recycle Bin")
        k.answer("Delete File", "Yes")
        self.k.select("Local", "hold")
        self.pane_menu("Local", "Delete Folder To Recycle Bin", right_click="hold")
        k.answer("Delete Folder", "Yes")
        trash = os.path.join(self.folder, "program", "data", "Trash", "files")
        wait_for("both in the Trash", lambda: {"up3.txt", "hold"} <= set(os.listdir(trash)))
        self.shows("Local", gone=["up3.txt", "hold"])

        self.pane_menu("Local", "Directory Filters", "DefineTypes (*.?)")
        k.answer("Define Type For Local Server Directory Listing", "OK", "R*")  # letter case aside
        wait_for("only renamed.txt", lambda: self.k.names("Local") == ["renamed.txt"])
        self.pane_menu("Local", "Directory Filters", "All Files (*.*)", right_click="renamed.txt")
        self.shows("Local", "renamed.txt", "up4.txt", "fresh.txt")

        self.pane_menu("Local", "Go up a Directory Level", right_click="up4.txt")
        self.shows("Local", "downloads", gone=["up4.txt"])
        box = k.find("text", "Local folder").queryText()
        self.assertTrue(box.getText(0, -1).endswith("/top/mid/"), box.getText(0, -1))

    def test_local_keys_toolbar_and_views(self):
        k = self.k
        put(os.path.join(self.downloads, "a.txt"))
        put(os.path.join(self.downloads, LONG))
        put(os.path.join(self.downloads, "Capital.txt"))
        self.go_local(self.downloads)
        box = k.find("text", "Local folder").queryText()
        rows = self.k.names("Local")  # in name order, letter case aside
        self.assertLess(rows.index("a.txt"), rows.index("Capital.txt"), rows)
        self.assertLess(rows.index("Capital.txt"), rows.index("up.txt"), rows)
        # Keys: Enter opens a folder, Backspace goes up, F5 relists, Delete
        # deletes (after the question), F2 renames in place.
        self.k.select("Local", "hold")
        k.key("Return")
        self.shows("Local", "inside.txt")
        k.key("BackSpace")
        self.shows("Local", "hold", "up.txt")
        put(os.path.join(self.downloads, "fresh.txt"))
        self.k.select("Local", "up.txt")
        k.key("F5")
        self.shows("Local", "fresh.txt")
        self.k.select("Local", "fresh.txt")
        k.key("Delete")
        k.dialog("Kelvo [Confirm]")
        k.key("Return")  # No is the default: Enter deletes nothing
        wait_for("the question answered", lambda: "Kelvo [Confirm]" not in k.windows())
        self.assertTrue(self.local("fresh.txt"), "Enter deleted fresh.txt")
        k.key("Delete")
        k.answer("Kelvo [Confirm]", "Yes")
        wait_for("fresh.txt deleted", lambda: not self.local("fresh.txt"))
        self.k.select("Local", "up2.txt")
        k.key("F2")
        self.rename_in_place("keyed.txt", 'Local: Renaming file: "up2.txt"', 0)
        wait_for("renamed with F2", lambda: self.local("keyed.txt") and not self.local("up2.txt"))

        # The toolbar: up, delete, new folder, and the four views.
        self.k.select("Local", "up3.txt")
        k.click(self.tool("Local", "Delete selection"))
        k.answer("Kelvo [Confirm]", "Yes")
        wait_for("up3.txt deleted", lambda: not self.local("up3.txt"))
        k.click(self.tool("Local", "New Folder"))
        k.answer("Kelvo - Create Local Folder", "OK", "made")
        wait_for("made created", lambda: os.path.isdir(os.path.join(self.downloads, "made")))
        # Names show whole in the icon views: each item is as wide as its cell,
        # not as the first row's short name.
        for view, wide in (("View Large Icons", 80), ("View Small Icons", 120), ("View List", 120)):
            k.click(self.tool("Local", view))
            wait_for("the %s view" % view, lambda: k.view("Local").getRoleName() == "list")
            width = self.k.item("Local", LONG).queryComponent().getExtents(0).width
            self.assertGreaterEqual(width, wide, "%s: the long name's item is %d pixels wide" % (view, width))
            subprocess.run(["import", "-window", "root", os.path.join(self.folder, view + ".png")], check=False)
        k.click(self.tool("Local", "View Details"))
        wait_for("the details view", lambda: k.view("Local").getRoleName() == "tree")
        k.click(self.tool("Local", "Go Up 1 directory level"))
        wait_for("the parent folder", lambda: box.getText(0, -1).endswith("/top/mid/"))

    def test_remote_menu_items(self):
        k = self.k
        self.connect()
        self.k.select("Remote", "a.txt")
        self.pane_menu("Remote", "Download")
        wait_for("a.txt downloaded", lambda: self.local("a.txt"))
        put(os.path.join(self.root, "new.txt"))
        self.pane_menu("Remote", "Refresh", right_click="a.txt")
        self.shows("Remote", "new.txt")
        self.pane_menu("Remote", "Go To Folder...")
        k.answer("Remote Server Custom Command", "OK", "sub")
        wait_for("the folder sub", lambda: self.k.names("Remote") == ["inner.txt"])
        self.pane_menu("Remote", "Go up a Directory Level", right_click="inner.txt")
        self.shows("Remote", "a.txt", "sub")
        self.pane_menu("Remote", "Directory Filters", "DefineTypes (*.?)")
        k.answer("Define Type For Remote Server Directory Listing", "OK", "*.txt")
        self.shows("Remote", "a.txt", gone=["sub", "old"])
        self.pane_menu("Remote", "Directory Filters", "All Files (*.*)", right_click="a.txt")
        self.shows("Remote", "a.txt", "sub", "old")

        self.pane_menu("Remote", "Create Folder")
        k.answer("Kelvo - Create RemoteFolder", "OK", "newdir")
        wait_for("newdir on the server", lambda: self.remote("newdir"))
        self.k.select("Remote", "old")
        self.pane_menu("Remote", "Remove Folder", right_click="old")
        k.answer("Kelvo [Confirm]", "Yes")
        wait_for("old removed", lambda: not self.remote("old"))
        self.k.select("Remote", "b.txt")
        xdotool("keydown", "ctrl")
        k.click(k.item("Remote", "new.txt"))
        xdotool("keyup", "ctrl")
        wait_for("two rows selected", lambda: sorted(self.k.selected("Remote")) == ["b.txt", "new.txt"])
        self.pane_menu("Remote", "Delete File(s)")
        k.answer("Kelvo [Confirm]", "Yes")  # once for both
        wait_for("both deleted", lambda: not self.remote("b.txt") and not self.remote("new.txt"))
        self.k.select("Remote", "c.txt")
        self.pane_menu("Remote", "Rename File", right_click="c.txt")
        k.answer("Kelvo [Confirm]", "Yes")
        k.answer("Kelvo - Rename Remote File", "OK", "c2.txt")
        wait_for("c.txt renamed", lambda: self.remote("c2.txt") and not self.remote("c.txt"))
        self.k.select("Remote", "d.txt")
        self.pane_menu("Remote", "Move File(s) or Folder(s)")
        k.answer("Kelvo [Confirm]", "Yes")
        k.answer("kelvo", "OK", "sub")
        wait_for("d.txt moved", lambda: self.remote("sub", "d.txt") and not self.remote("d.txt"))
        self.k.select("Remote", "a.txt")
        self.pane_menu("Remote", "Chmod File(s) or Folders(s)", right_click="a.txt")
        k.answer("File/Folder Permission Change", "Cancel")

        for word in ("HELP", "LIST", "NLST", "PWD", "SYST"):
            self.pane_menu("Remote", "FTP Commands", word)
            wait_for("%s at the server" % word, lambda: word in self.received())
        for item, title, text, command in (("RETR...", "Remote Server Custom Command", "c2.txt", "RETR c2.txt"),
                                           ("STOR...", "Remote Server Custom Command", "up.txt", "STOR up.txt"),
                                           ("QUOTE...", "Remote Server Custom Command", "NOOP", "NOOP"),
                                           ("CWD...", "Remote Server Custom Command", "sub", "CWD sub")):
            self.pane_menu("Remote", "FTP Commands", item, right_click="a.txt")
            k.answer(title, "OK", text)
            wait_for("%s at the server" % command, lambda: command in self.received())
        self.assertTrue(self.local("c2.txt") and self.remote("up.txt"), "RETR and STOR moved the files")
        self.pane_menu("Remote", "Send Command...")
        k.answer("Remote Server Custom Command", "OK", "CWD /")
        wait_for("CWD / at the server", lambda: "CWD /" in self.received())
        self.pane_menu("Remote", "Manual File Receive...")
        k.answer("Remote Server Custom Command", "OK", "e.txt")
        wait_for("e.txt received", lambda: self.local("e.txt"))
        self.pane_menu("Remote", "Manual File Put...", right_click="a.txt")
        k.answer("Remote Server Custom Command", "OK", "up2.txt")
        wait_for("up2.txt sent", lambda: self.remote("up2.txt"))

        # The Local menu's and the local toolbar's uploads.
        self.k.select("Local", "up3.txt")
        self.pane_menu("Local", "Upload File(s)")
        wait_for("up3.txt uploaded", lambda: self.remote("up3.txt"))
        self.k.select("Local", "up4.txt")
        k.click(self.tool("Local", "Upload selection"))
        wait_for("up4.txt uploaded", lambda: self.remote("up4.txt"))

    def test_remote_keys_and_toolbar(self):
        k = self.k
        self.connect()
        self.k.select("Remote", "sub")
        k.key("Return")
        wait_for("the folder sub", lambda: self.k.names("Remote") == ["inner.txt"])
        k.key("BackSpace")
        self.shows("Remote", "a.txt", "sub")
        put(os.path.join(self.root, "new.txt"))
        k.key("F5")
        self.shows("Remote", "new.txt")
        self.k.select("Remote", "b.txt")
        k.key("Delete")
        k.answer("Kelvo [Confirm]", "Yes")
        wait_for("b.txt deleted", lambda: not self.remote("b.txt"))
        self.k.select("Remote", "c.txt")
        k.key("F2")
        self.rename_in_place("keyed.txt", 'Server: Renaming file: "c.txt"', 0)
        wait_for("renamed with F2", lambda: self.remote("keyed.txt") and not self.remote("c.txt"))
        self.k.select("Remote", "e.txt")
        k.key("Return")
        wait_for("e.txt downloaded", lambda: self.local("e.txt"))

        # The toolbar: down, delete, new folder, the views, then into sub and up.
        self.k.select("Remote", "a.txt")
        k.click(self.tool("Remote", "Download selection"))
        wait_for("a.txt downloaded", lambda: self.local("a.txt"))
        self.k.select("Remote", "d.txt")
        k.click(self.tool("Remote", "Delete"))
        k.answer("Kelvo [Confirm]", "Yes")
        wait_for("d.txt deleted", lambda: not self.remote("d.txt"))
        k.click(self.tool("Remote", "New Folder"))
        k.answer("Kelvo - Create RemoteFolder", "OK", "newdir")
        wait_for("newdir on the server", lambda: self.remote("newdir"))
        for view in ("View Large Icons", "View Small Icons", "View List"):
            k.click(self.tool("Remote", view))
            wait_for("the %s view" % view, lambda: k.view("Remote").getRoleName() == "list" and "newdir" in self.k.names("Remote"))
        k.click(self.tool("Remote", "View Details"))
        wait_for("the details view", lambda: k.view("Remote").getRoleName() == "tree")
        self.k.select("Remote", "sub")
        k.key("Return")
        wait_for("the folder sub", lambda: self.k.names("Remote") == ["inner.txt"])
        k.click(self.tool("Remote", "Go Up 1 directory level"))
        self.shows("Remote", "a.txt", "sub")

    def test_rename_in_place_by_a_second_click(self):
        k = self.k
        put(os.path.join(self.downloads, "x.txt"))
        self.connect()
        for side, old, taken, done, folder, line in (
                ("Local", "x.txt", "up.txt", "x2.txt", self.downloads, 'Local: Renaming file: "x.txt"'),
                ("Remote", "a.txt", "b.txt", "a2.txt", self.root, 'Server: Renaming file: "a.txt"')):
            names = lambda: set(os.listdir(folder))  # noqa: E731
            for new, question, answer in (("x.doc", "Kelvo", "No"), (taken, "Kelvo", "OK"), (done, None, None)):
                self.k.select(side, old)
                before = k.log_lines().count(line)
                time.sleep(1)  # a slow second click, not a double-click
                k.click(k.item(side, old))
                self.rename_in_place(new, line, before)
                if question:
                    k.answer(question, answer)
                    self.shows(side, old, taken)
                    self.assertIn(old, names())
            wait_for("%s renamed to %s" % (old, done), lambda: done in names() and old not in names())
            self.shows(side, done, gone=[old])
            with open(os.path.join(folder, done), "rb") as renamed:
                self.assertEqual(old.encode() if side == "Remote" else b"data", renamed.read())

    def test_typed_paths(self):
        k = self.k
        self.connect()
        local, remote = (k.find("text", name) for name in ("Local folder", "Remote folder"))
        k.fill(local, os.path.join(self.downloads, "hold"))
        k.key("Return")
        self.shows("Local", "inside.txt", gone=["up.txt"])
        k.fill(local, "/no/such/folder")
        k.key("Return")
        line = "Error while attempting to change current local folder to '/no/such/folder'. Description: No such folder"
        wait_for("the log line %r" % line, lambda: line in self.k.log_lines())
        wait_for("the box back at hold", lambda: local.queryText().getText(0, -1).endswith("/downloads/hold/"))
        self.assertEqual(["inside.txt"], self.k.names("Local"))

        k.fill(remote, "/sub")
        k.key("Return")
        wait_for("the folder sub", lambda: self.k.names("Remote") == ["inner.txt"])
        errors = lambda: [line for line in k.log_lines() if line.startswith("Error: ")]  # noqa: E731
        before = len(errors())
        k.fill(remote, "/nowhere")
        k.key("Return")
        wait_for("the refusal logged", lambda: len(errors()) > before)
        wait_for("the box back at /sub", lambda: remote.queryText().getText(0, -1) == "/sub")
        self.assertEqual(["inner.txt"], self.k.names("Remote"))

    def test_drag_and_drop_between_the_panes(self):
        k = self.k
        self.connect()
        self.k.select("Local", "up.txt")
        k.drag(k.item("Local", "up.txt"), k.view("Remote"))
        wait_for("up.txt uploaded", lambda: self.remote("up.txt"))
        self.shows("Remote", "up.txt")
        self.k.select("Remote", "e.txt")
        k.drag(k.item("Remote", "e.txt"), k.view("Local"))
        wait_for("e.txt downloaded", lambda: self.local("e.txt"))

    def test_files_dropped_from_another_program(self):
        k = self.k
        outside = os.path.join(self.folder, "elsewhere")
        put(os.path.join(outside, "dropped.txt"), b"dropped")
        put(os.path.join(outside, "folder", "deep.txt"), b"deep")
        self.connect()
        self.k.select("Local", "up.txt")  # not what is uploaded
        self.assertEqual("1", self.drop_from_outside([os.path.join(outside, n) for n in ("dropped.txt", "folder")],
                                                     k.view("Remote")), "taken as a copy")
        self.k.answer("Kelvo [Confirm]", "Yes")  # with its subfolders
        wait_for("the dropped files uploaded", lambda: self.remote("dropped.txt") and self.remote("folder", "deep.txt"))
        self.assertTrue(os.path.exists(os.path.join(outside, "dropped.txt")), "the dropped file stays")
        self.assertFalse(self.remote("up.txt"), "the local selection is not uploaded")
        self.assertEqual("0", self.drop_from_outside([os.path.join(outside, "dropped.txt")], k.view("Local")),
                         "the local pane refuses")
        self.assertFalse(self.local("dropped.txt"))
        self.assertFalse(self.remote("up.txt"))

    def drop_from_outside(self, files, target):
        """Drags files from a program of their own onto target; the action the drop took."""
        if getattr(self, "source", None):
            stop(self.source)  # its drop is done with: the next drag is the new window's
        self.source = source = start([os.environ["KELVO_DRAG_SOURCE"], *files], stdout=subprocess.PIPE,
                                     env=dict(os.environ, QT_QPA_PLATFORM="xcb"))
        self.addCleanup(stop, source)
        window = wait_for("the drag source", lambda: xdotool(
            "search", "--onlyvisible", "--pid", str(source.pid), "--name", "^Drag source$").split()[0])
        xdotool("windowmove", "--sync", window, "20", "820")
        at = dict(line.split("=") for line in xdotool("getwindowgeometry", "--shell", window).split())
        self.k.drag((int(at["X"]) + int(at["WIDTH"]) // 2, int(at["Y"]) + int(at["HEIGHT"]) // 2), target, steps=20)
        deadline = time.monotonic() + 15
        while select.select([source.stdout], [], [], max(0, deadline - time.monotonic()))[0]:
            line = source.stdout.readline()
            if not line:
                break  # it ended
            if line.strip().isdigit():  # Qt's warnings come this way too
                return line.decode().strip()  # the source lives on: the drop reads its data
        self.fail("the drag source reported no end of its drag")


if __name__ == "__main__":
    run_tests()
