#!/usr/bin/env python3
"""Wayland desktops with and without the portals: `tapwing --about-session` names the way each
one clicks, and where there is none (weston) the first F7 says what is missing, once, and the
window stays."""

import os
import unittest

import linux_harness as lh
from linux_harness import HINT_TITLE, wait_for, wait_stable

# The input line --about-session prints, per session kind: how it starts, and what it says.
WLROOTS = ("input: wlroots virtual pointer (zwlr_virtual_pointer_v1)", "")
INPUT = {"kwin": ("input: RemoteDesktop portal", ""), "mutter": ("input: RemoteDesktop portal", ""),
         "sway": WLROOTS, "labwc": WLROOTS, "weston": ("input: none", "")}
# The lanes' builds have libei, and these portals are version 2.
INPUT.update(dict.fromkeys(("gnome48", "kwin6", "gnome-testing", "kwin-testing"),
                           ("input: RemoteDesktop portal", "clicks through libei (ConnectToEIS)")))

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
        # In a lane, also the program its package installed there (scripts/lane.sh installs it).
        installed = os.environ.get("TAPWING_E2E_INSTALLED")
        for program in [session.program] + ([installed] if installed and os.path.exists(installed) else []):
            with self.subTest(program=str(program)):
                done = session.run_tapwing("--about-session", program=program)
                self.assertEqual(done.returncode, 0, done.stderr)
                lines = done.stdout.splitlines()
                self.assertEqual([line.split(":")[0] for line in lines],
                                 ["display server", "input", "pointer reading", "hotkeys"], done.stdout)
                start, says = INPUT[session.kind]
                self.assertTrue(lines[1].startswith(start), lines[1])
                self.assertIn(says, lines[1])

    def test_a_wlroots_desktop_names_no_portal_even_where_another_desktops_answers(self):
        if not session.wlroots:
            self.skipTest(f"{session.kind} is no wlroots desktop")
        said = session.run_tapwing("--about-session").stdout
        self.assertNotIn("portal (org.freedesktop", said)
        self.assertIn("a wlroots desktop binds its own keys", said)

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
