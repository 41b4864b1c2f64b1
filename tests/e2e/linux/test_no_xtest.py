#!/usr/bin/env python3
"""The native tapwing on an X server without the XTEST extension: F7 (sent straight to
tapwing's window, the only way to press keys there) shows one message naming XTest, and
the next F7 tries again: one more message, never a storm."""

import unittest

import linux_harness as lh
from linux_harness import HINT_TITLE, wait_stable

session = None


def setUpModule():
    global session
    lh.require_tapwing()
    session = lh.NativeSession("no_xtest", xtest=False).start()


def tearDownModule():
    if session:
        session.stop()


class NoXTestTest(unittest.TestCase):
    def test_each_f7_gives_one_message_naming_xtest(self):
        app = session.start_tapwing()
        for press in (1, 2):
            with self.subTest(press=press):
                session.hold_hotkey("F7", app.dialogs, app)
                boxes = wait_stable(app.dialogs, 1.0, 5, "message boxes")
                session.screenshot(f"message-{press}")
                self.assertEqual(len(boxes), 1, boxes)
                title, text = boxes[0]
                self.assertEqual(title, HINT_TITLE)
                self.assertIn("xtest", text.lower())
                app.press_ok()
                self.assertEqual(app.fields(), ("X坐标", "Y坐标"))


if __name__ == "__main__":
    lh.main()
