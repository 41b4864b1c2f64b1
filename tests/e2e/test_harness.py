#!/usr/bin/env python3
"""Self-test of the e2e harness, without Tapwing: if these fail, every other e2e test's
failure says nothing about Tapwing."""

import unittest

import harness
from harness import config, pixels, prefix, wait_for
from harness.probe import Probe

session = None


def setUpModule():
    global session
    session = harness.Session("harness").start()


def tearDownModule():
    if session:
        session.stop()


class PrefixTest(unittest.TestCase):
    def test_wine_runs_as_a_chinese_windows(self):
        answer = session.probe.ping()
        self.assertEqual(answer["acp"], 936, "ANSI code page: is the zh_CN.UTF-8 locale in use?")
        self.assertEqual(answer["lcid"], 0x0804)

    def test_chinese_ui_fonts_resolve_to_an_installed_cjk_font(self):
        for face in ("宋体", "SimSun", "MS Shell Dlg", "Tahoma", "微软雅黑"):
            with self.subTest(face=face):
                font = session.probe.font(face)
                self.assertEqual(font["charset"], 134, f"{face} is not a GB2312 font: {font}")
                # Two full-width glyphs at 12 px: 24 px, where a box-drawing fallback differs.
                self.assertEqual(font["chinese_width"], 24, font)


class ClickTargetTest(unittest.TestCase):
    def test_covers_the_screen_without_taking_the_activation(self):
        target = session.probe.window(session.clicktarget_hwnd)
        self.assertTrue(target["visible"])
        self.assertEqual((target["rect"]["left"], target["rect"]["top"]), (0, 0))
        self.assertEqual((target["rect"]["width"], target["rect"]["height"]), config.SCREEN)
        self.assertNotEqual(target["foreground"], session.clicktarget_hwnd)

    def test_logs_every_kind_of_button_and_wheel_event_at_its_screen_point(self):
        mark = session.click_mark()
        session.x.click(200, 300)
        session.x.click(210, 310, button=3)
        session.x.click(220, 320, button=2)
        session.x.click(230, 330, button=4)
        session.x.click(230, 330, button=5)
        session.x.click(240, 340, repeat=2, delay_ms=60)
        expected = [("ldown", 200, 300), ("lup", 200, 300), ("rdown", 210, 310), ("rup", 210, 310),
                    ("mdown", 220, 320), ("mup", 220, 320), ("wheel+120", 230, 330),
                    ("wheel-120", 230, 330), ("ldown", 240, 340), ("lup", 240, 340),
                    ("ldbl", 240, 340), ("lup", 240, 340)]
        events = wait_for(lambda: len(session.clicks(mark)) >= len(expected) and session.clicks(mark),
                          10, f"{len(expected)} logged events")
        self.assertEqual([(e, x, y) for _, e, x, y in events], expected)
        stamps = [us for us, *_ in events]
        self.assertEqual(stamps, sorted(stamps), "timestamps must not go backwards")

    def test_wine_tracks_the_pointer_and_moves_it(self):
        session.x.move(321, 456)
        wait_for(lambda: session.probe.cursor() == (321, 456), 5, "GetCursorPos to follow the X pointer")
        session.probe.set_cursor(640, 200)
        wait_for(lambda: session.x.pointer() == (640, 200), 5, "SetCursorPos to move the X pointer")


class MessageBoxTest(unittest.TestCase):
    def test_reads_a_box_exactly_and_presses_ok(self):
        prompt = "    someone@example.com    "
        pid = session.probe.msgbox_demo("作者:Korva", prompt)["pid"]
        box = wait_for(lambda: session.probe.message_boxes(pid), 10, "the demo message box")[0]
        self.assertEqual(box["title"], "作者:Korva")
        self.assertEqual(box["prompt"], prompt)
        self.assertEqual([b["id"] for b in box["buttons"]], [1])
        session.probe.press(box["hwnd"])
        wait_for(lambda: not session.probe.message_boxes(pid), 10, "the box to close")


class OtherProcessWindowTest(unittest.TestCase):
    """A window of a second probe process, inspected and driven from the session's probe,
    as the tests do with Tapwing."""

    @classmethod
    def setUpClass(cls):
        cls.host = Probe(prefix.wine(session.env, config.PROBE_EXE), session.env, cwd=session.dir)
        cls.host.ping(timeout=30)
        cls.hwnd = cls.host.demo_window("演示窗口")
        cls.kids = session.probe.children(cls.hwnd)

    @classmethod
    def tearDownClass(cls):
        cls.host.close()

    def kid(self, cls_name, index=0):
        return [k for k in self.kids if k["class"].lower() == cls_name][index]

    def test_combo_box_items_marshal_across_processes(self):
        combo = self.kid("combobox")["combo"]
        self.assertTrue(combo["items_ok"])
        self.assertEqual(combo["items"], ["左键双击", "延时50MS"])
        self.assertEqual(combo["selected"], 0)

    def test_text_and_geometry_of_controls(self):
        frame = [k for k in self.kids if k["text"] == "F7获取坐标,F5开始,F6结束"]
        self.assertEqual(len(frame), 1)
        edit = self.kid("edit")
        self.assertEqual(edit["text"], "X坐标")
        self.assertEqual(edit["rel"]["left"], 356)
        window = session.probe.window(self.hwnd)
        self.assertEqual(edit["rect"]["left"] - window["client_left"], 356)
        xid = session.probe.x11_window(self.hwnd)
        self.assertEqual(session.x.wm_icon_sizes(xid), [(32, 32), (16, 16)])
        self.assertEqual(session.x.wm_pid(xid), self.host.pid)

    def test_set_text_like_a_paste_and_read_back(self):
        edit = self.kid("edit", 1)["hwnd"]
        session.probe.set_text(edit, "-120 坐标 \"quoted\" \\ tab\t")
        self.assertEqual(session.probe.get_text(edit), "-120 坐标 \"quoted\" \\ tab\t")
        session.probe.set_text_repeat(edit, "9", 20000)
        self.assertEqual(len(session.probe.get_text(edit)), 20000)

    def test_keys_reach_the_x_focused_window_and_move_the_focus(self):
        session.focus(self.hwnd)
        edits = [k["hwnd"] for k in self.kids if k["class"].lower() == "edit"]
        session.probe.set_text(edits[2], "")
        session.x.click(self.kid("edit", 2)["rect"]["left"] + 5, self.kid("edit", 2)["rect"]["top"] + 5)
        wait_for(lambda: session.probe.focused_hwnd(self.hwnd) == edits[2], 5, "the clicked edit to take the focus")
        session.x.type("12.5")
        wait_for(lambda: session.probe.get_text(edits[2]) == "12.5", 5, "typed text in the edit")
        session.x.key("Tab")
        wait_for(lambda: session.probe.focused_hwnd(self.hwnd) != edits[2], 5, "Tab to move the focus")

    def test_chinese_texts_render_as_glyphs_not_boxes(self):
        """The same edit with Chinese text and with characters no font has (private use,
        drawn as empty boxes): were the Chinese drawn as boxes too, the two would match."""
        session.screenshot_window("demo-window", self.hwnd)  # for people to look at
        edit = self.kid("edit", 3)
        r = edit["rect"]
        shots = []
        for name, text in (("chinese", "坐标延时"), ("boxes", "\ue000\ue001\ue002\ue003")):
            session.probe.set_text(edit["hwnd"], text)
            wait_for(lambda: session.probe.get_text(edit["hwnd"]) == text, 5, f"{name} in the edit")
            shots.append(session.screenshot(f"glyphs-{name}", (r["left"], r["top"], r["width"], r["height"])))
        self.assertGreater(pixels.differing_pixels(*shots), 40, f"{shots[0]} draws the same boxes as {shots[1]}")


if __name__ == "__main__":
    harness.main()
