#!/usr/bin/env python3
"""Both Windows builds unpacked side by side on one 64-bit system (a WoW64 prefix, run with
TAPWING_ARCH=win64): the 32-bit Tapwing, the 64-bit one, then the 32-bit one again, each
registering its own korva.dll in its own registry view and clicking through it, and no start
undoing the other build's registration."""

import unittest

import harness
from harness import config, wait_for

session = None
FOLDERS = {build: config.BUILD_ROOT / build / "Tapwing" for build in ("win32", "win64")}
VIEWS = {"win32": 32, "win64": 64}


def setUpModule():
    global session
    harness.require_tapwing()
    if "win32" not in config.HOST_BUILDS or config.ARCH != "win64":
        raise unittest.SkipTest("needs a 64-bit prefix on a host that runs 32-bit programs (TAPWING_ARCH=win64)")
    for folder in FOLDERS.values():
        if not (folder / "Tapwing.exe").exists():
            raise unittest.SkipTest(f"{folder / 'Tapwing.exe'} is not built (cmake --build --preset win32 / win64)")
    session = harness.Session("side_by_side").start()


def tearDownModule():
    if session:
        session.stop()


def registered(build):
    return session.reg_query(harness.session.COMPONENT_SERVER_KEY, view=VIEWS[build])


class SideBySideTest(unittest.TestCase):
    def test_each_build_registers_in_its_own_view_and_clicks(self):
        expected = {build: None for build in FOLDERS}
        for build, point in (("win32", (300, 350)), ("win64", (420, 380)), ("win32", (540, 410))):
            app = session.start_tapwing(exe=FOLDERS[build] / "Tapwing.exe", arch=build)
            try:
                expected[build] = session.wait_component_registered(FOLDERS[build], view=VIEWS[build])
                self.clicks_arrive(app, point)
            finally:
                app.close()
            # The other build's registration is still its own.
            for other, path in expected.items():
                self.assertEqual((registered(other) or "").lower() or None, path and path.lower(),
                                 f"registry view {VIEWS[other]} after starting {build}")
            session.wait_clicks_quiet(0.3, 5)

    def clicks_arrive(self, app, point):
        """F7 at the point, the left-click action, F5: clicks arrive there."""
        app.focus()
        wait_for(lambda: app.focused_role() == "combo3", 5, "the focus on the delay list")
        app.tab_to("combo2")
        app.choose("combo2", "左键单击")
        session.move_pointer(*point)
        session.press_hotkey("F7", lambda: (app.text("text1"), app.text("text2")) == tuple(map(str, point)))
        mark = session.click_mark()
        session.press_hotkey("F5", lambda: len(session.clicks(mark)) >= 2)
        events = session.wait_clicks(mark, 6, 5)
        self.assertEqual({(x, y) for _, _, x, y in events}, {point}, "clicks elsewhere")
        app.assert_no_message_box()


if __name__ == "__main__":
    harness.main()
