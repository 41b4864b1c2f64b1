#!/usr/bin/env python3
"""Two outputs side by side (at scale 2 on KDE Plasma 5.27): one F7 right after the start fills
the point on the second, where the desktop's own input put the pointer. On KDE 5.27 a run on
the last output clicks there, and one on the other, which KDE's portal cannot reach (it lands
every move on its last output), says so once and clicks nothing anywhere."""

import os
import unittest

import linux_harness as lh
from linux_harness import HINT_TITLE, wait_for, wait_stable

session = None
FIRST, LAST = (300, 200), (1280 + 500, 300)


def setUpModule():
    global session
    kind = os.environ.get("TAPWING_E2E_SESSION", "x11")
    if kind not in ("kwin", "gnome48", "gnome-testing"):
        raise unittest.SkipTest(f"{kind}: two outputs are KDE 5.27's and gnome-shell's case here (the wlroots "
                                "desktops' are in test_run)")
    lh.require_tapwing()
    session = lh.open_session("outputs", outputs=2)


def tearDownModule():
    if session:
        session.stop()


class OutputsTest(unittest.TestCase):
    def test_one_f7_right_after_the_start_fills_the_point_on_the_second_output(self):
        session.input.move(*FIRST)
        app = session.start_tapwing()
        try:
            self.assertEqual(session.capture_once(app, LAST), (tuple(map(str, LAST)), []), session.said("tapwing"))
        finally:
            app.kill()

    def test_the_last_output_is_clicked_and_the_other_refused_with_one_message(self):
        if session.family != "kwin":
            self.skipTest("KDE Plasma 5.27's portal")
        app = session.start_tapwing()
        try:
            app.select("动作", "左键单击")
            session.capture(app, LAST)
            mark = session.click_mark()
            session.hold_hotkey("F5", lambda: len(session.clicks(mark)) >= 6, app)
            session.hold_hotkey("F6", lambda: True, app)
            session.wait_clicks_quiet(0.3, 5)
            self.assertEqual({(x, y) for _, _, x, y in session.clicks(mark)}, {LAST})

            session.capture(app, FIRST)
            mark = session.click_mark()
            session.hold_hotkey("F5", app.dialogs, app)
            [(title, text)] = wait_stable(app.dialogs, 0.5, 5, "message boxes")
            self.assertEqual(title, HINT_TITLE)
            self.assertIn("KDE Plasma 5.27", text)
            app.press_ok()
            session.assert_no_clicks(mark, 0.5)
        finally:
            app.kill()


if __name__ == "__main__":
    lh.main()
