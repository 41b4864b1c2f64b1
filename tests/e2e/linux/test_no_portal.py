#!/usr/bin/env python3
"""Wayland desktops with and without the portals: `tapwing --about-session` names the way each
one clicks, and where there is none (weston) the first F7 says what is missing, once, and the
window stays."""

import unittest

import linux_harness as lh
from linux_harness import HINT_TITLE, wait_for, wait_stable

# The input line --about-session prints, per session kind: how it starts, and what it says.
INPUT = {"kwin": ("input: RemoteDesktop portal", ""), "mutter": ("input: RemoteDesktop portal", ""),
         "sway": ("input: wlroots virtual pointer (zwlr_virtual_pointer_v1)", ""), "weston": ("input: none", "")}
# The Debian 13 build has libei, and these portals are version 2.
INPUT.update(dict.fromkeys(("gnome48", "kwin6"), ("input: RemoteDesktop portal", "clicks through libei (ConnectToEIS)")))

session = None


def setUpModule():
    global session
    lh.require_tapwing()
    session = lh.open_session("no_portal", without_input=True)


def tearDownModule():
    if session:
        session.stop()


class SessionPathsTest(unittest.TestCase):
    def test_about_session_names_the_input_and_shows_no_window(self):
        done = session.run_tapwing("--about-session")
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = done.stdout.splitlines()
        self.assertEqual([line.split(":")[0] for line in lines],
                         ["display server", "input", "pointer reading", "hotkeys"], done.stdout)
        start, says = INPUT[session.kind]
        self.assertTrue(lines[1].startswith(start), lines[1])
        self.assertIn(says, lines[1])

    def test_without_a_way_to_click_f7_says_what_is_missing_and_the_window_stays(self):
        if session.kind != "weston":
            self.skipTest(f"{session.kind} has a way to click")
        app = session.start_tapwing()
        self.assertEqual(session.send_hotkey("F7")[0], 0)
        wait_for(app.dialogs, 10, "the message")
        [(title, text)] = wait_stable(app.dialogs, 0.5, 5, "message boxes")
        self.assertEqual(title, HINT_TITLE)
        self.assertTrue(text.startswith("输入组件 Wayland 指针 不可用: "), text)
        for named in ("RemoteDesktop", "GNOME", "zwlr_virtual_pointer_v1", "sway"):
            self.assertIn(named, text)
        app.press_ok()
        wait_for(lambda: app.dialogs() == [], 5, "the message closed")
        self.assertEqual(app.fields(), ("X坐标", "Y坐标"))


if __name__ == "__main__":
    lh.main()
