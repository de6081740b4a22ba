"""The main window's commands as a user reaches them: every main toolbar
button, the File, Tools and Help menus, the command buttons and the transfer
type, disconnected, connected and while a transfer runs; downloads and
uploads with each answer of the file-exists question. Against pyftpdlib
(Debian's, run by /usr/bin/python3) on 127.0.0.1.
"""
import os
import re
import subprocess
import time

from kelvo_window import WindowTest, content, fake_opener, put, read, run_tests, wait_for

# The toolbar's buttons by what a screen reader calls them.
LOCAL_TOOLS = ("Create a local folder", "Remove local folder", "Delete local file", "Rename local file")
REMOTE_TOOLS = ("Refresh server file list", "Add folder to server", "Remove folder from server",
                "Delete file from server", "Rename file on server")
BUTTONS = ("Connect", "Disconnect", "Abort", "Upload >>", "<< Download")  # the command row
UPLOAD, DOWNLOAD = "Upload selected files to server", "Download selected files from server"


class CommandTests(WindowTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.opened = fake_opener(os.path.join(cls.shared, "bin"))  # pages are opened through xdg-open

    def serve_files(self, files, limit=0):
        """pyftpdlib serving the folder "remote" (name -> bytes; a name ending
        in "/" is a folder), transfers limited to limit bytes a second."""
        self.remote = os.path.join(self.folder, "remote")
        os.makedirs(self.remote)
        for name, data in files.items():
            if name.endswith("/"):
                os.makedirs(os.path.join(self.remote, name), exist_ok=True)
            else:
                put(os.path.join(self.remote, name), data)
        return self.pyftpd(self.remote, limit)

    # --- what the user sees and does -------------------------------------------------
    def tool(self, name):
        k = self.kelvo
        return wait_for("the toolbar button %r" % name, lambda: [
            b for b in k.all("push button", name, k.window) if b.parent.getRoleName() == "tool bar"][0])

    def press(self, name):
        """Clicks a main toolbar button once it is enabled."""
        self.kelvo.click(wait_for("%r enabled" % name, lambda: self.kelvo.enabled(self.tool(name)) and self.tool(name)))

    def dialog(self):
        k = self.kelvo
        return wait_for("a dialog", lambda: [w for w in k.children(k.app) if w.name != "Kelvo" and k.has(w, "SHOWING")][0])

    def answer(self, button=None, text=None):
        """The open dialog's text box filled with text and OK, or its button."""
        k, box = self.kelvo, self.dialog()
        if text is not None:
            k.fill(k.find("text", root=box), text)
            button = "OK"
        k.click(k.find("push button", button, box))
        wait_for("the dialog closed", lambda: not k.has(box, "SHOWING"))

    def menu(self, *path):
        """Opens a menu of the menu bar and clicks down the path of items."""
        k = self.kelvo
        node = k.find("menu item", path[0], k.find("menu bar"))
        k.click(node)
        for item in path[1:]:
            node = k.find("menu item", item, node)  # in the menu the last item opened
            k.click(node)

    def expect_enabled(self, on=(), off=()):
        k = self.kelvo
        wanted = dict({n: True for n in on}, **{n: False for n in off})
        found = lambda: {n: k.enabled(k.button(n) if n in BUTTONS else self.tool(n)) for n in wanted}
        try:
            wait_for("enabled %s" % wanted, lambda: found() == wanted, 5)
        except AssertionError:
            self.assertEqual(wanted, found())

    # --- the tests ----------------------------------------------------------------------
    def test_toolbar_buttons_disconnected_and_connected(self):
        k = self.kelvo
        put(os.path.join(self.downloads, "local.txt"), b"local file")
        port = self.serve_files({"a.txt": b"server file a", "sub/": None})
        k.open_local_folder(self.downloads)
        # Every control a screen reader reaches has a name.
        roles = ("push button", "check box", "radio button", "text", "list", "tree", "combo box", "tool bar", "menu item",
                 "progress bar", "status bar", "panel", "menu bar")
        unnamed = [(n.getRoleName(), n.parent.name) for r in roles for n in k.all(r, None, k.window)
                   if not n.name.strip() and n.parent.getRoleName() != "layered pane"]
        self.assertEqual([], unnamed, "controls without an accessible name (role, parent)")
        self.expect_enabled(on=("Connect to server", "Reconnect to server", "Create a local folder", "Exit program"),
                            off=("Disconnect from server", "Abort operation", UPLOAD, DOWNLOAD) + REMOTE_TOOLS)
        self.assertFalse(k.enabled(k.find("radio button", "ASCII")))
        # Reconnect without an earlier connection asks for the server.
        self.press("Reconnect to server")
        self.answer("Cancel")
        self.expect_enabled(on=("Connect to server",), off=("Disconnect from server",))

        k.connect(port)
        # Nothing selected on the local side: nothing to upload.
        self.expect_enabled(on=("Disconnect from server", "Refresh server file list", "Add folder to server"),
                            off=("Connect to server", "Reconnect to server", UPLOAD, "Upload >>", DOWNLOAD))
        self.kelvo.select("Local", "local.txt")
        self.expect_enabled(on=(UPLOAD, "Upload >>", "Delete local file", "Rename local file"),
                            off=("Remove local folder",))
        self.press(UPLOAD)
        wait_for("local.txt on the server", lambda: content(os.path.join(self.remote, "local.txt")) == b"local file")

        # The local file buttons.
        self.press("Create a local folder")
        self.answer(text="made")
        wait_for("the local folder made", lambda: os.path.isdir(os.path.join(self.downloads, "made")))
        self.kelvo.select("Local", "local.txt")
        self.press("Rename local file")
        self.answer("Yes")
        self.answer(text="renamed.txt")
        wait_for("local.txt renamed", lambda: os.listdir(self.downloads) and "renamed.txt" in self.kelvo.names("Local"))
        self.kelvo.select("Local", "renamed.txt")
        self.press("Delete local file")
        self.answer("Yes")
        wait_for("renamed.txt deleted", lambda: not os.path.exists(os.path.join(self.downloads, "renamed.txt")))
        self.kelvo.select("Local", "made")
        self.expect_enabled(on=("Remove local folder",), off=("Rename local file",))
        self.press("Remove local folder")
        self.answer("Yes")
        wait_for("the folder made removed", lambda: not os.path.exists(os.path.join(self.downloads, "made")))

        # The server's file buttons.
        self.press("Add folder to server")
        self.answer(text="newdir")
        wait_for("newdir on the server and listed", lambda: os.path.isdir(os.path.join(self.remote, "newdir"))
                 and "newdir" in self.kelvo.names("Remote"))
        put(os.path.join(self.remote, "late.txt"), b"came later")
        self.press("Refresh server file list")
        wait_for("late.txt listed", lambda: "late.txt" in self.kelvo.names("Remote"))
        self.kelvo.select("Remote", "late.txt")
        self.press("Rename file on server")
        self.answer("Yes")
        self.answer(text="moved.txt")
        wait_for("late.txt renamed", lambda: os.path.exists(os.path.join(self.remote, "moved.txt")))
        self.kelvo.select("Remote", "moved.txt")
        self.press("Delete file from server")
        self.answer("Yes")
        wait_for("moved.txt deleted", lambda: not os.path.exists(os.path.join(self.remote, "moved.txt")))
        self.kelvo.select("Remote", "newdir")
        self.press("Remove folder from server")
        self.answer("Yes")
        wait_for("newdir removed", lambda: not os.path.exists(os.path.join(self.remote, "newdir")))
        self.kelvo.select("Remote", "a.txt")
        self.press(DOWNLOAD)
        wait_for("a.txt downloaded", lambda: content(os.path.join(self.downloads, "a.txt")) == b"server file a")

        # Disconnect, Reconnect (no site manager: the server is known), Exit.
        self.press("Disconnect from server")
        wait_for("a notice", lambda: "Kelvo [Notice]" in k.windows())
        self.answer("OK")
        self.expect_enabled(on=("Connect to server", "Reconnect to server"), off=("Disconnect from server", UPLOAD))
        self.press("Reconnect to server")
        wait_for("listed again", lambda: "a.txt" in self.kelvo.names("Remote"))
        self.expect_enabled(on=("Disconnect from server",), off=("Connect to server",))
        self.press("Exit program")
        self.assertEqual(0, wait_for("kelvo to end", lambda: k.proc.poll() is not None and [k.proc.returncode])[0])

    def test_file_tools_and_help_menus_and_the_log(self):
        k = self.kelvo
        k.connect(self.serve_files({"a.txt": b"a"}))
        log = k.find("list", "Connection log")
        # A line selected and Ctrl+C; Copy All from the right button's menu.
        line = wait_for("the listing logged", lambda: [i for i in k.children(log, "list item")
                                                        if i.name.startswith("226")][-1])
        k.click(line)
        k.key("ctrl+c")
        clipboard = lambda: subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True,
                                           text=True, timeout=5).stdout
        wait_for("the line on the clipboard", lambda: clipboard() == line.name + "\n")
        # The log's own menu is a popup outside the tree: its Copy All by its key.
        whole, asked = "".join(text + "\n" for text in k.log_lines()), [0.0]

        def copied_all():
            if clipboard() == whole:
                return True
            if time.monotonic() - asked[0] > 2:
                k.key("Escape")
                k.click(line, button="3")
                k.key("a")
                asked[0] = time.monotonic()
        wait_for("the whole log on the clipboard", copied_all)

        self.menu("Tools", "Clear Log")
        wait_for("the log empty", lambda: not k.log_lines())
        for side in ("Local", "Remote"):
            for view in ("Show Big Icons", "Show Small Icons", "Show List"):
                self.menu("Tools", side, view)
                wait_for(side + " without columns", lambda: not k.all("tree", None, k.find("filler", side + " files")))
                self.menu("Tools", side, "Show Report")
                wait_for(side + " in details", lambda: self.kelvo.view(side).getRoleName() == "tree")
        trash = os.path.join(self.folder, "program", "data", "Trash", "files", "kept.txt")
        put(trash, b"in the wastebasket")
        self.menu("Tools", "Empty Local Recycle Bin")
        self.answer("No")  # No keeps it, Yes empties it
        self.assertTrue(os.path.exists(trash))
        self.menu("Tools", "Empty Local Recycle Bin")
        self.answer("Yes")
        wait_for("the wastebasket emptied", lambda: not os.path.exists(trash))
        self.menu("Tools", "Options")
        options = self.dialog()
        k.key("Escape")

        def closed():  # a question about unsaved changes is answered No
            asked = [w for w in k.children(k.app) if w.name == "Software settings have changed" and k.has(w, "SHOWING")]
            if asked:
                k.click(k.find("push button", "No", asked[0]))
            return not k.has(options, "SHOWING")
        wait_for("Options closed", closed)
        for item, page in (("Get online help", "tutorial.html"), ("Visit our website", "index.html")):
            self.menu("Help", item)
            wait_for("%s opened" % page, lambda: os.path.exists(self.opened) and read(self.opened).strip().endswith(page))
            os.remove(self.opened)
        self.menu("Help", "About us")
        about = self.dialog()
        k.key("Escape")
        wait_for("About closed", lambda: not k.has(about, "SHOWING"))
        self.menu("File", "Exit")
        self.assertEqual(0, wait_for("kelvo to end", lambda: k.proc.poll() is not None and [k.proc.returncode])[0])

    def test_each_answer_of_the_file_exists_question(self):
        k = self.kelvo
        remote_data = b"server data, longer than the local start"
        port = self.serve_files({"d.txt": remote_data, "u.txt": b"old on server", "fold/x.txt": b"x from server",
                                 "fold/y.txt": b"y from server"})
        mine = os.path.join(self.downloads, "d.txt")
        put(mine, remote_data[:11])
        put(os.path.join(self.downloads, "u.txt"), b"new from the local side")
        for name in ("x.txt", "y.txt"):
            put(os.path.join(self.downloads, "fold", name), b"stale " + name.encode())
        put(os.path.join(self.downloads, "up", "inner.txt"), b"inner file")
        k.open_local_folder(self.downloads)
        k.connect(port)
        types = lambda: [line for line in k.log_lines() if line.startswith("TYPE ")]

        def download(name, *answers):
            self.kelvo.select("Remote", name)
            k.click(k.button("<< Download"))
            for answer in answers:
                wait_for("the question", lambda: "File Exists!" in k.windows())
                self.answer(answer)
            wait_for("the download over", lambda: k.enabled(k.button("<< Download")))

        download("d.txt", "Skip")
        self.assertEqual(remote_data[:11], content(mine))
        download("d.txt", "Cancel")
        self.assertEqual(remote_data[:11], content(mine))
        download("d.txt", "Resume")
        self.assertEqual(remote_data, content(mine))
        k.click(k.find("radio button", "ASCII"))
        put(mine, b"changed here")
        download("d.txt", "Overwrite")
        self.assertEqual(remote_data, content(mine))
        self.assertEqual("TYPE A", types()[-1])
        k.click(k.find("radio button", "Binary"))
        # A folder: subfolders asked first; one answer for both files.
        self.kelvo.select("Remote", "fold")
        k.click(k.button("<< Download"))
        self.answer("Yes")  # subfolders too
        wait_for("the question", lambda: "File Exists!" in k.windows())
        k.click(k.find("check box", "Apply To All", self.dialog()))
        self.answer("Overwrite")
        wait_for("both files of fold", lambda: [content(os.path.join(self.downloads, "fold", n)) for n in ("x.txt", "y.txt")]
                 == [b"x from server", b"y from server"])
        self.assertNotIn("File Exists!", k.windows())
        self.assertEqual("TYPE I", types()[-1])

        def upload(name, *answers):
            self.kelvo.select("Local", name)
            k.click(k.button("Upload >>"))
            for answer in answers:
                wait_for("the question", lambda: "File Exists!" in k.windows() or "Kelvo [Confirm]" in k.windows())
                self.answer(answer)
            wait_for("the upload over", lambda: k.enabled(k.button("Upload >>")))

        theirs = os.path.join(self.remote, "u.txt")
        for answer in ("Cancel", "Skip"):
            upload("u.txt", answer)
            self.assertEqual(b"old on server", content(theirs))
        put(theirs, b"new from")
        upload("u.txt", "Resume")
        self.assertEqual(b"new from the local side", content(theirs))
        put(theirs, b"something else, longer than the local copy")
        upload("u.txt", "Overwrite")
        self.assertEqual(b"new from the local side", content(theirs))  # nothing of the longer copy left
        self.menu("Tools", "Clear Log")
        upload("u.txt")  # unchanged now: skipped without a question
        wait_for("u.txt skipped", lambda: "Skiped sending file: u.txt" in k.log_lines())
        self.assertNotIn("File Exists!", k.windows())
        upload("up", "Yes")
        wait_for("the folder uploaded", lambda: content(os.path.join(self.remote, "up", "inner.txt")) == b"inner file")

    def test_during_a_slow_download(self):
        k = self.kelvo
        put(os.path.join(self.downloads, "local.txt"), b"to upload")
        port = self.serve_files({"big.bin": os.urandom(3000000)}, limit=50000)
        k.open_local_folder(self.downloads)
        k.connect(port)
        self.kelvo.select("Local", "local.txt")
        self.expect_enabled(on=(UPLOAD, "Upload >>"))
        self.kelvo.select("Remote", "big.bin")
        k.click(k.button("<< Download"))
        wait_for("the download under way", lambda: k.enabled(k.button("Abort")))
        # Nothing else starts meanwhile; the status bar says how fast and how long.
        self.expect_enabled(on=("Abort operation", "Abort", "Exit program"),
                            off=(UPLOAD, "Upload >>", DOWNLOAD, "<< Download", "Connect to server",
                                 "Reconnect to server"))
        panels = lambda: {p.description: p.name for p in k.all("label", None, k.find("status bar"))}
        self.assertEqual("Receiving big.bin", panels()["Current action"])
        self.assertEqual("Total : 3000000", panels()["Total bytes"])
        wait_for("bytes counted", lambda: int(panels()["Bytes transferred"]) > 0)
        wait_for("the rate and time left", lambda: re.fullmatch(r"[0-9.]+ (B|KB|MB)/s, [0-9:]+ left",
                                                                 panels()["Transfer rate and time left"]))
        self.press("Abort operation")
        self.expect_enabled(on=(DOWNLOAD, "<< Download"), off=("Abort operation", "Abort"))
        self.kelvo.select("Local", "local.txt")  # the local pane was listed again
        self.expect_enabled(on=(UPLOAD, "Upload >>"))
        self.assertLess(os.path.getsize(os.path.join(self.downloads, "big.bin")), 3000000)


if __name__ == "__main__":
    run_tests()
