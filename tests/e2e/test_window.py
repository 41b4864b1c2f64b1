#!/usr/bin/env python3
"""Tapwing's main window under Wine: start-up state, layout, keyboard focus order, the
coordinate fields' placeholder and validation behaviour, and the about prompt."""

import unittest

import harness
from harness import pixels, wait_for, wait_stable

session = None

ACTIONS = ["无动作", "左键单击", "左键双击", "右键单击", "中键单击", "滚轮向上", "滚轮向下"]
DELAYS = ["延时10MS", "延时50MS", "延时100MS", "延时500MS", "延时1000MS", "延时5000MS", "延时10000MS"]
PLACEHOLDER = {"text1": "X坐标", "text2": "Y坐标"}
TAB_ORDER = ["combo3", "combo2", "text2", "text1", "picture"]
EM_GETLIMITTEXT = 0x00D5


def setUpModule():
    global session
    harness.require_tapwing()
    session = harness.Session("window").start()


def tearDownModule():
    if session:
        session.stop()


class StartUpTest(unittest.TestCase):
    """Read-only checks of a freshly started window."""

    @classmethod
    def setUpClass(cls):
        cls.app = session.start_tapwing()
        cls.controls = cls.app.controls()
        cls.window = cls.app.window()

    @classmethod
    def tearDownClass(cls):
        cls.app.close()

    def test_shows_title_first_entries_placeholders_and_focus_on_the_delay_list(self):
        self.assertEqual(self.window["title"], "Tapwing")
        self.assertEqual(self.controls["combo2"]["text"], "无动作")
        self.assertEqual(self.controls["combo3"]["text"], "延时10MS")
        self.assertEqual(self.controls["text1"]["text"], "X坐标")
        self.assertEqual(self.controls["text2"]["text"], "Y坐标")
        self.assertEqual(self.controls["frame"]["text"], "F7获取坐标,F5开始,F6结束")
        self.assertEqual(self.app.focused_role(), "combo3")

    def test_lists_hold_seven_entries_in_order_with_the_first_selected(self):
        for role, entries in (("combo2", ACTIONS), ("combo3", DELAYS)):
            with self.subTest(role=role):
                combo = self.controls[role]["combo"]
                self.assertTrue(combo["items_ok"], "list texts not readable across processes")
                self.assertEqual(combo["items"], entries)
                self.assertEqual(combo["selected"], 0)
                # Selection-only lists: no edit child to type free text into.
                self.assertEqual(self.controls[role]["style"] & 0x3, 0x3, "not CBS_DROPDOWNLIST")

    def test_client_area_and_control_rectangles_at_96_dpi(self):
        self.assertEqual(self.window["dpi"], 96, "layout below is for 96 DPI")
        self.assertEqual((self.window["client_width"], self.window["client_height"]), (234, 116))
        layout = self.app.layout()
        self.assertEqual(layout["frame"], (71, 4, 161, 105))
        self.assertEqual(layout["text1"], (95, 24, 37, 18))
        self.assertEqual(layout["text2"], (167, 24, 37, 18))
        self.assertEqual(layout["combo2"][:3], (95, 48, 109))
        self.assertEqual(layout["combo3"][:3], (95, 76, 109))
        self.assertEqual(layout["picture"], (3, 4, 61, 105))

    def test_fixed_frame_centred_with_icon_and_without_minimize_or_maximize(self):
        w = self.window
        self.assertFalse(w["thickframe"], "resizable border")
        self.assertFalse(w["minimizebox"])
        self.assertFalse(w["maximizebox"])
        self.assertTrue(w["sysmenu"] and w["caption"], "title bar with system menu expected")
        left = (w["screen_width"] - w["rect"]["width"]) // 2
        top = (w["screen_height"] - w["rect"]["height"]) // 2
        self.assertLessEqual(abs(w["rect"]["left"] - left), 1, w["rect"])
        self.assertLessEqual(abs(w["rect"]["top"] - top), 1, w["rect"])
        # Wine publishes the window's big and small icon on its X window.
        sizes = session.x.wm_icon_sizes(session.probe.x11_window(self.app.hwnd))
        self.assertIn((32, 32), sizes)
        self.assertIn((16, 16), sizes)

    def test_coordinate_fields_have_no_length_limit(self):
        for role in ("text1", "text2"):
            with self.subTest(role=role):
                limit = session.probe.send(self.controls[role]["hwnd"], EM_GETLIMITTEXT)
                self.assertGreaterEqual(limit & 0xFFFFFFFF, 0x7FFFFFFE)

    def test_the_picture_box_shows_the_banner_at_half_size(self):
        session.x.move(1200, 1000)  # no tooltip over the banner
        session.screenshot_window("startup", self.app.hwnd)  # for people to look at
        r = self.controls["picture"]["rect"]

        def banner_shown():
            path = session.screenshot("startup-picture", (r["left"], r["top"], r["width"], r["height"]))
            distance = pixels.banner_distance(path, session.artifacts)
            if distance >= pixels.BANNER_MATCH:
                raise ValueError(f"{path} is {distance:.3f} from the banner")
            return True

        wait_for(banner_shown, 3, "the banner in the picture box")


class InteractionTest(unittest.TestCase):
    """Each test gets a fresh Tapwing with the X focus."""

    def setUp(self):
        self.app = session.start_tapwing()
        self.app.focus()
        wait_for(lambda: self.app.focused_role() == "combo3", 5, "the focus on the delay list")

    def tearDown(self):
        for box in self.app.message_boxes():
            session.probe.press(box["hwnd"])
        self.app.close()

    def wait_focus(self, role):
        wait_for(lambda: self.app.focused_role() == role, 5, f"the focus on {role}")

    def wait_text(self, role, text):
        wait_for(lambda: self.app.text(role) == text, 5, f"{role} to read {text!r}")

    def click_into(self, role):
        self.app.click_control(role)
        self.wait_focus(role)

    def expect_rejection(self, role):
        box = self.app.wait_message_box()
        self.assertEqual((box["title"], box["prompt"]), ("提示:", "请输入正确的数值"))
        self.assertEqual([b["id"] for b in box["buttons"]], [1], "OK only")
        self.assertFalse(box["icon"], "the box shows no icon")
        self.app.dismiss(box)
        self.wait_text(role, "")
        self.app.assert_no_message_box()


class FocusOrderTest(InteractionTest):
    def test_tab_cycles_forwards_and_shift_tab_backwards(self):
        for role in TAB_ORDER[1:] + TAB_ORDER[:1]:
            session.x.key("Tab")
            self.wait_focus(role)
        for role in list(reversed(TAB_ORDER)):
            session.x.key("shift+Tab")
            self.wait_focus(role)

    def test_tabbing_into_a_field_empties_it_and_leaving_it_empty_restores_the_placeholder(self):
        session.x.key("Tab", "Tab")
        self.wait_focus("text2")
        self.wait_text("text2", "")
        self.assertEqual(self.app.text("text1"), "X坐标")
        session.x.key("Tab")
        self.wait_focus("text1")
        self.wait_text("text1", "")
        self.wait_text("text2", "Y坐标")
        session.x.key("Tab")
        self.wait_focus("picture")
        self.wait_text("text1", "X坐标")
        self.app.assert_no_message_box()

    def test_a_number_is_emptied_on_focus_and_not_restored_on_leaving(self):
        self.click_into("text1")
        session.x.type("350")
        self.wait_text("text1", "350")
        session.x.key("Tab")
        self.wait_focus("picture")
        self.assertEqual(self.app.text("text1"), "350", "leaving a filled field keeps its text")
        session.x.key("shift+Tab")
        self.wait_focus("text1")
        self.wait_text("text1", "")
        session.x.key("shift+Tab")
        self.wait_focus("text2")
        self.wait_text("text1", "X坐标")

    def test_switching_to_another_window_and_back_keeps_a_typed_coordinate(self):
        self.click_into("text1")
        session.x.type("350")
        self.wait_text("text1", "350")
        session.focus(session.other_window())
        self.assertEqual(self.app.text("text1"), "350")
        self.app.focus()
        self.wait_focus("text1")
        self.assertEqual(wait_stable(lambda: self.app.text("text1"), 0.5, 5, "the X field"), "350")
        self.assertEqual(self.app.text("text2"), "Y坐标")
        self.app.assert_no_message_box()


class CoordinateEntryTest(InteractionTest):
    def test_typing_a_letter_after_digits_is_rejected_and_empties_the_field(self):
        self.click_into("text1")
        session.x.type("35")
        self.wait_text("text1", "35")
        self.app.assert_no_message_box()
        session.x.type("a")
        self.expect_rejection("text1")

    def test_a_leading_minus_typed_alone_is_rejected(self):
        self.click_into("text2")
        session.x.type("-")
        self.expect_rejection("text2")

    def test_pasted_negative_and_typed_decimal_numbers_are_accepted(self):
        self.click_into("text1")
        session.probe.set_text(self.app.control("text1")["hwnd"], "-120")
        self.wait_text("text1", "-120")
        self.click_into("text2")
        session.x.type("12.5")
        self.wait_text("text2", "12.5")
        self.app.assert_no_message_box()
        self.assertEqual(self.app.text("text1"), "-120")

    def test_a_long_pasted_number_is_kept_whole(self):
        # Wine's edit control is quadratic in the text length, so 40 K characters (past the
        # 32 K default limit of an edit) rather than megabytes.
        self.click_into("text1")
        digits = "0" * 40000 + "7"
        session.probe.set_text(self.app.control("text1")["hwnd"], digits)
        self.wait_text("text1", digits)
        self.app.assert_no_message_box()


class AboutPromptTest(InteractionTest):
    def test_clicking_the_banner_shows_the_about_prompt_every_time(self):
        for attempt in range(2):
            with self.subTest(attempt=attempt):
                self.app.click_control("picture")
                box = self.app.wait_message_box()
                self.assertEqual(box["title"], "作者:Korva")
                prompt = box["prompt"]
                self.assertTrue(prompt.startswith("    ") and not prompt.startswith("     "), repr(prompt))
                self.assertTrue(prompt.endswith("    ") and not prompt.endswith("     "), repr(prompt))
                self.assertTrue(prompt.strip(), "the contact between the spaces is missing")
                self.assertEqual([b["id"] for b in box["buttons"]], [1], "OK only")
                self.assertFalse(box["icon"], "the prompt shows no icon")
                self.app.dismiss(box)
        self.assertEqual(self.app.text("text1"), "X坐标")
        self.assertEqual(self.app.text("combo2"), "无动作")

    def test_resting_the_pointer_on_the_banner_shows_its_tooltip(self):
        rect = self.app.control("picture")["rect"]
        session.move_pointer(rect["left"] + rect["width"] // 2, rect["top"] + rect["height"] // 2)
        pid = self.app.window()["pid"]

        def tips():
            return [w["title"] for w in session.probe.find_windows(cls="tooltips_class32", pid=pid)
                    if w["visible"]]
        wait_for(tips, 10, "the banner's tooltip")
        self.assertEqual(tips(), ["Korva,korva@tapwing.example"])


if __name__ == "__main__":
    harness.main()
