"""The permissions dialog, the Options window and the site manager, used as a
user uses them, against scripted servers and pyftpdlib on 127.0.0.1.

Run by ctest (window_dialogs) under dbus-run-session with Debian's
/usr/bin/python3 (see run_tests for a missing tool).
"""
import os
import stat

from kelvo_window import WindowTest, read, run_tests, wait_for

CHMOD = "Chmod File(s) or Folders(s)"
BOXES = [who + " " + what for who in ("Owner", "Group", "Other") for what in ("read", "write", "execute")]


class Dialogs(WindowTest):
    def serve_modes(self, files):
        """pyftpdlib (MLSD, unix.mode offered) serving files {name: mode}."""
        root = os.path.join(self.folder, "pyftpd")
        os.makedirs(root)
        for name, mode in files.items():
            with open(os.path.join(root, name), "w") as out:
                out.write(name)
            os.chmod(os.path.join(root, name), mode)
        return root, self.pyftpd(root)

    def chmod_dialog(self, name, menu=True):
        """Selects a remote row and opens the permissions dialog from the
        Remote menu or the row's right-click menu."""
        k = self.kelvo
        cell = k.item("Remote", name)
        k.click(cell)
        k.menu_bar("Remote", CHMOD) if menu else k.menu(cell, CHMOD, button="3")
        return k.find("dialog", "File/Folder Permission Change")

    def shown(self, dialog):
        """The number and the ticked boxes, as the dialog shows them."""
        k = self.kelvo
        text = k.find("text", "Numeric Value", dialog).queryText()
        return text.getText(0, -1), [b for b in BOXES if k.has(k.find("check box", b, dialog), "CHECKED")]

    def test_chmod_starts_from_the_listed_mode_and_sends_what_is_shown(self):
        port = self.serve(["-rwxr-x--- 1 ftp ftp 5 Jan 01 2024 run.sh", "-rw-r--r-- 1 ftp ftp 3 Jan 01 2024 a.txt",
                           "12-07-24  02:10PM                    4 dos.txt"], {})
        k = self.kelvo
        k.connect(port)
        dialog = self.chmod_dialog("run.sh")
        wait_for("the listed mode", lambda: self.shown(dialog)[0] == "750")
        self.assertEqual(BOXES[:4] + BOXES[5:6], self.shown(dialog)[1])
        k.click(k.find("check box", "Other read", dialog))
        wait_for("a tick in the number", lambda: self.shown(dialog) == ("754", BOXES[:4] + BOXES[5:7]))
        k.fill(k.find("text", "Numeric Value", dialog), "7778")  # an 8 cannot be typed
        wait_for("the typed number in the boxes", lambda: self.shown(dialog) == ("777", BOXES))
        k.click(k.find("check box", "Group write", dialog))
        wait_for("777 less group write", lambda: self.shown(dialog)[0] == "757")
        k.click(k.find("push button", "Ok", dialog))
        wait_for("the command at the server", lambda: "SITE chmod 757 run.sh" in read(self.log).splitlines())

        dialog = self.chmod_dialog("a.txt", menu=False)
        wait_for("a.txt's mode", lambda: self.shown(dialog) == ("644", [BOXES[0], BOXES[1], BOXES[3], BOXES[6]]))
        k.key("Escape")
        # A listing without permissions: nothing ticked, and Ok waits for a mode.
        dialog = self.chmod_dialog("dos.txt")
        ok = k.find("push button", "Ok", dialog)
        wait_for("an empty start", lambda: self.shown(dialog) == ("", []) and not k.enabled(ok))
        k.click(k.find("check box", "Owner write", dialog))
        wait_for("Ok with a mode", lambda: self.shown(dialog)[0] == "200" and k.enabled(ok))
        k.key("Return")
        wait_for("the command at the server", lambda: "SITE chmod 200 dos.txt" in read(self.log).splitlines())
        self.assertEqual(2, len([c for c in read(self.log).splitlines() if c.startswith("SITE")]), "Escape sent nothing")

    def test_chmod_against_pyftpdlib_mlsd(self):
        root, port = self.serve_modes({"script.sh": 0o750, "notes.txt": 0o600})
        k = self.kelvo
        k.connect(port)
        dialog = self.chmod_dialog("notes.txt")
        wait_for("the listed mode", lambda: self.shown(dialog) == ("600", BOXES[:2]))
        k.click(k.find("check box", "Group read", dialog))
        k.click(k.find("check box", "Other read", dialog))
        wait_for("644", lambda: self.shown(dialog)[0] == "644")
        k.click(k.find("push button", "Ok", dialog))
        mode = lambda: stat.S_IMODE(os.stat(os.path.join(root, "notes.txt")).st_mode)
        wait_for("the file's mode changed", lambda: mode() == 0o644)
        self.assertIn("Change Permission Complete", k.log_lines())
        dialog = self.chmod_dialog("script.sh", menu=False)
        wait_for("the other file's mode", lambda: self.shown(dialog)[0] == "750")
        k.click(k.find("push button", "Cancel", dialog))

    def open_options(self):
        self.kelvo.menu_bar("Tools", "Options")
        return self.kelvo.find("dialog", "Settings")

    def close_options(self, dialog, command="Close"):
        k = self.kelvo
        k.click(k.find("menu item", command, dialog))
        wait_for("the Settings window closed without a question",
                 lambda: "Settings" not in k.windows() and "Software settings have changed" not in k.windows())

    def test_options_show_the_values_in_force_and_start_at_login_stays_off(self):
        k = self.kelvo
        autostart = os.path.join(self.folder, "program", "config", "autostart", "kelvo.desktop")
        self.assertTrue(os.path.exists(autostart), "the first run adds the start-up entry")
        dialog = self.open_options()
        texts = lambda: {n: k.find("text", n, dialog).queryText().getText(0, -1)
                         for n in ("Log file name", "Log file size limit in kilobytes")}
        self.assertEqual({"Log file name": "FTP.LOG", "Log file size limit in kilobytes": "1000"}, texts())
        self.assertFalse(k.all("label", "not a number", dialog))
        ticked = [("check box", n) for n in ("Use PASV Transfer Mode", "Save Window Size On Exit",
                                              "Save Window Position on Exit")] + [("radio button", "Delete Log File if it Exceeds :")]
        self.assertEqual([True] * 4, [k.has(k.find(role, n, dialog), "CHECKED") for role, n in ticked])
        self.close_options(dialog)

        dialog = self.open_options()
        box = k.find("check box", "Add Kelvo To Windows Startup", dialog)
        self.assertTrue(k.has(box, "CHECKED"))
        k.click(box)
        wait_for("the start-up entry removed", lambda: not os.path.exists(autostart))
        self.close_options(dialog)
        k.click(k.button("Connect"))  # the site manager, which reads the Options again
        k.click(k.find("push button", "Cancel", k.find("dialog", "Connection Information")))
        wait_for("the site manager closed", lambda: "Connection Information" not in k.windows())
        self.assertFalse(os.path.exists(autostart), "start at login came back")

        dialog = self.open_options()
        self.assertFalse(k.has(k.find("check box", "Add Kelvo To Windows Startup", dialog), "CHECKED"))
        k.fill(k.find("text", "Log file name", dialog), "mine.log")
        k.click(k.find("page tab", "Firewall Settings", dialog))
        k.click(k.find("check box", "Use Firewall", dialog))
        k.fill(k.find("text", "Firewall user name", dialog), "proxyuser")
        self.close_options(dialog, "Save")
        dialog = self.open_options()
        k.click(k.find("page tab", "Firewall Settings", dialog))
        self.assertEqual("proxyuser", k.find("text", "Firewall user name", dialog).queryText().getText(0, -1))
        k.click(k.find("page tab", "General Settings", dialog))
        self.assertEqual("mine.log", texts()["Log file name"])
        self.close_options(dialog)
        self.assertFalse(os.path.exists(autostart))

    def test_site_manager_new_save_connect_delete(self):
        port = self.serve(["-rw-r--r-- 1 ftp ftp 3 Jan 01 2024 a.txt"], {})
        k = self.kelvo
        k.click(k.button("Connect"))
        manager = k.find("dialog", "Connection Information")
        self.assertTrue(k.has(k.find("radio button", "Anonymous", manager), "CHECKED"))
        user = k.find("text", "User Name :", manager)
        self.assertEqual(("anonymous", False), (user.queryText().getText(0, -1), k.enabled(user)))
        k.click(k.find("menu item", "Save", manager))  # nothing filled in yet
        k.answer("Kelvo", "OK")
        k.click(k.find("menu item", "New", manager))
        k.fill(k.find("text", "Site Name:", manager), "scripted")
        k.fill_site(manager, port)
        k.click(k.find("menu item", "Save", manager))
        k.answer("Kelvo", "OK")
        k.click(k.find("push button", "Cancel", manager))
        wait_for("the site manager closed", lambda: "Connection Information" not in k.windows())

        k.click(k.button("Connect"))
        manager = k.find("dialog", "Connection Information")
        k.find("tree", "Saved sites", manager)
        k.click(wait_for("the saved site", lambda: k.all("table cell", "scripted.Profile", manager)[0]))
        wait_for("the site's boxes", lambda: k.find("text", "Port:", manager).queryText().getText(0, -1) == str(port))
        k.click(k.find("menu item", "Connect", manager))  # its menu bar; the others use the button
        wait_for("the remote listing", lambda: k.names("Remote") == ["a.txt"])
        self.assertIn("USER tester", read(self.log).splitlines())
        k.click(k.button("Disconnect"))
        k.answer("Kelvo [Notice]", "OK")
        wait_for("disconnected", lambda: k.enabled(k.button("Connect")))

        k.click(k.button("Connect"))
        manager = k.find("dialog", "Connection Information")
        k.click(wait_for("the saved site", lambda: k.all("table cell", "scripted.Profile", manager)[0]))
        k.click(k.find("menu item", "Delete", manager))
        k.answer("Kelvo", "No")
        self.assertTrue(k.all("table cell", "scripted.Profile", manager), "No keeps the site")
        k.click(k.find("menu item", "Delete", manager))
        k.answer("Kelvo", "Yes")
        wait_for("the site gone", lambda: not k.all("table cell", "scripted.Profile", manager))
        self.assertNotIn("scripted.Profile", os.listdir(os.path.join(self.folder, "program", "kelvo", "Profiles")))
        k.key("Escape")


if __name__ == "__main__":
    run_tests()
