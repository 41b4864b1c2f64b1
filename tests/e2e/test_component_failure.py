#!/usr/bin/env python3
"""Tapwing without a usable input component: a copy of the program folder without korva.dll,
in a prefix where nothing registered it. Each capture or run attempt must end in exactly one
message, a run must stop at its first failing tick, and the window must stay usable."""

import re
import sys
import unittest

import harness
from harness import wait_for, wait_stable
from harness.session import COMPONENT_SERVER_KEY

session = None
folder = None

HINT_TITLE = "提示:"
FAILURE = re.compile(r"输入组件 korva\.dll 不可用,错误代码: 0x([0-9A-F]{8})")


def setUpModule():
    global session, folder
    harness.require_tapwing()
    session = harness.Session("component_failure").start()
    folder = session.copy_program("without-korva", without=("korva.dll",))
    registered = session.reg_query(COMPONENT_SERVER_KEY)
    if registered is not None:
        raise AssertionError(f"the fresh prefix already has the component: {registered}")


def tearDownModule():
    if session:
        session.stop()


class MissingComponentTest(unittest.TestCase):
    def setUp(self):
        self.app = session.start_tapwing(exe=folder / "Tapwing.exe")
        self.app.focus()
        wait_for(lambda: self.app.focused_role() == "combo3", 5, "the focus on the delay list")

    def tearDown(self):
        self.assertTrue(self.app.close_after_test(), "Tapwing ended during the test")

    def press_expecting_one_failure(self, key):
        """Presses a hotkey until a box shows, checks it is the only one for 1.5 s (no box
        per tick or per retry), reads it and dismisses it. Returns the status shown."""
        session.press_hotkey(key, self.app.all_message_boxes, timeout=5)
        count = wait_stable(lambda: len(self.app.all_message_boxes()), 1.5, 6, "the number of boxes")
        boxes = self.app.all_message_boxes()
        self.assertEqual(count, 1, f"{key}: boxes {[(b['title'], b['prompt']) for b in boxes]}")
        box = boxes[0]
        self.assertEqual(box["title"], HINT_TITLE)
        found = FAILURE.fullmatch(box["prompt"])
        self.assertTrue(found, f"{key}: prompt {box['prompt']!r}")
        status = int(found.group(1), 16)
        self.assertTrue(status & 0x80000000, f"{key}: 0x{status:08X} is not a failure status")
        self.assertEqual([b["id"] for b in box["buttons"]], [1], "OK only")
        self.app.dismiss(box)
        self.app.assert_no_message_box(0.5)
        self.assertTrue(self.app.alive(), f"Tapwing ended after the {key} failure")
        print(f"[component_failure] {key} failed with 0x{status:08X}", file=sys.stderr)
        return status

    def test_capture_fails_with_one_message_per_attempt_and_the_window_stays_usable(self):
        session.move_pointer(300, 200)
        self.press_expecting_one_failure("F7")
        self.assertEqual((self.app.text("text1"), self.app.text("text2")), ("X坐标", "Y坐标"))

        self.app.focus()
        before = self.app.focused_role()
        session.x.key("Tab")
        wait_for(lambda: self.app.focused_role() not in (before, None), 5, "Tab to move the focus")

        self.press_expecting_one_failure("F7")

    def test_a_run_stops_at_its_first_failing_tick_with_one_message(self):
        for role, text in (("text1", "300"), ("text2", "200")):
            self.app.set_text(role, text)
            self.app.wait_text(role, text)
        self.press_expecting_one_failure("F5")
        self.assertEqual((self.app.text("text1"), self.app.text("text2")), ("300", "200"))
        # Stopped: a live 10 ms run would have shown another box by now.
        self.app.assert_no_message_box(1.0)

        self.app.focus()
        self.press_expecting_one_failure("F5")


if __name__ == "__main__":
    harness.main()
