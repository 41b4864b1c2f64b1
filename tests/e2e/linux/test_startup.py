#!/usr/bin/env python3
"""The native tapwing at start: its window and controls, the banner and its about box, a
second copy, a hotkey pressed at once, and a program folder without the banner picture."""

import re
import unittest

import linux_harness as lh
from harness import pixels
from linux_harness import wait_for, wait_stable

ACTIONS = ["无动作", "左键单击", "左键双击", "右键单击", "中键单击", "滚轮向上", "滚轮向下"]
DELAYS = [f"延时{ms}MS" for ms in (10, 50, 100, 500, 1000, 5000, 10000)]
LEGEND = "F7获取坐标,F5开始,F6结束"

session = None


def setUpModule():
    global session
    lh.require_tapwing()
    session = lh.open_session("startup")


def tearDownModule():
    if session:
        session.stop()


def banner_distance(app, name):
    """How far the banner box on the screen is from the banner as it should be drawn: below
    BANNER_MATCH it is that picture, a plain box scores far above. (The pointer must be
    elsewhere since the start, or the banner's tooltip may cover the box.)"""
    path = session.screenshot(name, app.extents(app.banner()))
    return pixels.banner_distance(path, session.artifacts, png=lh.PROGRAM_DIR / "Tapwing.PNG")


class FreshStart(unittest.TestCase):
    """Each test with a tapwing of its own, just started."""

    def setUp(self):
        session.input.move(0, 0)
        self.app = session.start_tapwing()

    def tearDown(self):
        self.app.kill()


class StartUpTest(FreshStart):
    def test_startup_state(self):
        app = self.app
        session.screenshot("startup")
        self.assertEqual(app.window().name, "Tapwing")
        self.assertEqual(app.fields(), ("X坐标", "Y坐标"))
        self.assertEqual(app.entries("动作"), ACTIONS)
        self.assertEqual(app.entries("延时"), DELAYS)
        self.assertEqual((app.selected("动作"), app.selected("延时")), ("无动作", "延时10MS"))
        app.find(lambda o: o.name == LEGEND, f"the frame legend {LEGEND!r}")
        self.assertEqual(app.dialogs(), [])

        if session.x:
            self.check_x_window(app)

        if session.wlroots:
            return  # wtype's Tab and arrows move nothing in GTK's controls there
        # The focus starts on the delay list: with the window focused, Down moves only it.
        session.focus(app)
        session.input.key("Down")
        wait_for(lambda: app.selected("延时") == "延时50MS", 5, "Down to move the delay list")
        self.assertEqual((app.selected("动作"), app.fields()), ("无动作", ("X坐标", "Y坐标")))
        session.input.key("Up")
        wait_for(lambda: app.selected("延时") == "延时10MS", 5, "Up to move the delay list back")

        if session.x:  # screenshots: only the X server gives them to a test
            self.assertLess(banner_distance(app, "banner"), pixels.BANNER_MATCH, "the banner is not drawn as it should be")

    def check_x_window(self, app):
        # 234 x 116 client pixels at 96 DPI; no window manager, so the X window is the client area.
        geometry = session.x.run("xwininfo", "-id", str(app.xid))
        size = tuple(int(re.search(rf"{k}: (\d+)", geometry).group(1)) for k in ("Width", "Height"))
        self.assertEqual(size, (234, 116))
        hints = session.x.run("xprop", "-id", str(app.xid), "WM_NORMAL_HINTS")
        self.assertIn("program specified minimum size: 234 by 116", hints)
        self.assertIn("program specified maximum size: 234 by 116", hints)



class BannerTest(FreshStart):
    def test_tooltip_and_about_box(self):
        app = self.app
        if session.x is None:
            self.skipTest("GTK on Wayland tells AT-SPI no window position, so a test cannot aim at the banner")
        tooltip = app.banner().description
        self.assertRegex(tooltip, r"^Korva,\S", "the banner's tooltip")
        x, y, w, h = app.extents(app.banner())
        session.input.click(x + w // 2, y + h // 2)
        wait_for(app.dialogs, 5, "the about box")
        self.assertEqual(app.dialogs(), [("作者:Korva", f"    {tooltip[len('Korva,'):]}    ")])
        app.press_ok()
        self.assertEqual(app.dialogs(), [])



class SecondCopyTest(FreshStart):
    def test_second_copy_exits_silently_and_the_first_still_works(self):
        second = session.start_tapwing(wait=False, log="second")
        self.assertEqual(second.proc.wait(timeout=10), 0)
        session.forget(second)
        if session.x:
            windows = session.x.xdotool("search", "--onlyvisible", "--name", "^Tapwing$").split()
            self.assertEqual([int(w) for w in windows], [self.app.xid])
        self.assertEqual(self.app.dialogs(), [])

        if not session.reads_pointer:
            # F7 reads no pointer there: a press from the command line starts a run instead.
            session.enter_point(self.app, (321, 123))
            self.app.select("动作", "左键单击")
            mark = session.click_mark()
            self.assertEqual(session.send_hotkey("f5"), (0, ""))
            self.assertEqual({e[2:] for e in session.wait_clicks(mark, 4, 5)}, {(321, 123)})
            return
        session.capture(self.app, (321, 123))
        # A press delivered from the command line, the key's name in any case.
        # (A Wayland desktop may report the pointer's move a frame late: press again until then.)
        session.input.move(400, 300)

        def captured():
            self.assertEqual(session.send_hotkey("f7"), (0, ""))
            return self.app.fields() == ("400", "300")
        wait_for(captured, 5, "the capture by tapwing --hotkey f7", interval=0.3)


class FirstPressTest(FreshStart):
    def test_a_press_at_once_after_the_start_counts(self):
        if session.family in ("kwin", "mutter"):
            self.skipTest("a portal desktop reports the pointer only once it moves in the granted session")
        session.input.move(321, 123)
        self.assertEqual(session.send_hotkey("F7"), (0, ""))  # one press, while tapwing may still probe
        wait_for(lambda: self.app.fields() == ("321", "123"), 5, "the first F7 to take effect")


class HotkeyCommandTest(unittest.TestCase):
    def test_without_a_running_copy_it_says_so_and_starts_none(self):
        status, said = session.send_hotkey("F5")
        self.assertEqual(status, 1)
        self.assertIn("Tapwing 没有在运行", said)


class MissingBannerTest(unittest.TestCase):
    def test_window_opens_with_a_plain_banner_and_no_message(self):
        program = session.copy_program("no-banner", without=["Tapwing.PNG"])
        session.input.move(0, 0)
        app = session.start_tapwing(program, log="no-banner")
        try:
            self.assertEqual(wait_stable(app.dialogs, 1.0, 5, "message boxes"), [])
            self.assertEqual(app.fields(), ("X坐标", "Y坐标"))
            if session.x:
                path = session.screenshot("no-banner", app.extents(app.banner()))
                self.assertEqual(session.x.colour_count(path), 1, "the banner box is not plain")
        finally:
            app.kill()


if __name__ == "__main__":
    lh.main()
