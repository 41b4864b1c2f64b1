#!/usr/bin/env python3
"""The Wayland sessions themselves, before anything of tapwing: the compositor's test input
clicks and scrolls where it says on the click target, keys typed through it reach a GTK
window that has the focus, and AT-SPI reads that window's widgets."""

import subprocess
import unittest

import linux_harness as lh
from linux_harness import wait_for

# A GTK 3 window with one named entry, in the session's environment (so native Wayland).
ENTRY_WINDOW = """
import gi
gi.require_version("Gtk", "3.0")
from gi.repository import Gtk
window = Gtk.Window(title="entry window")
entry = Gtk.Entry()
entry.get_accessible().set_name("entry")
window.add(entry)
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
"""

session = None


def setUpModule():
    global session
    session = lh.open_session("session")
    if session.kind == "x11":
        raise unittest.SkipTest("the X11 harness is what every other module runs on")


def tearDownModule():
    if session:
        session.stop()


class SessionTest(unittest.TestCase):
    def test_clicks_and_wheel_land_at_their_point(self):
        mark = session.click_mark()
        session.input.click(300, 200)
        session.input.click(1100, 850, button=3)
        session.input.wheel(-1)
        events = session.wait_clicks(mark, 5, 5)
        self.assertEqual([e[1:] for e in events], [("ldown", 300, 200), ("lup", 300, 200), ("rdown", 1100, 850),
                                                   ("rup", 1100, 850), ("wheel+120", 1100, 850)])

    def test_typed_keys_reach_the_focused_gtk_window_and_atspi_reads_it(self):
        proc = subprocess.Popen(["/usr/bin/python3", "-c", ENTRY_WINDOW], env=session.env,
                                stderr=session._log("entry_window"))
        session._record(proc.pid, "python3")
        try:
            from atspi_window import Tapwing  # AT-SPI reads of one process's window
            window = Tapwing(session, proc)
            window.wait_shown()
            session.focus()  # away to the click target, and back: both ways of focusing
            session.focus(window)
            session.input.type("-12.5")
            wait_for(lambda: window.text("entry") == "-12.5", 5, "the typed text in the entry")
        finally:
            lh._kill(proc)


if __name__ == "__main__":
    lh.main()
