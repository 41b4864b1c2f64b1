#!/usr/bin/env python3
"""Tapwing's hotkeys and its clicking run under Wine: F7 capture, F5 and its refusal without
two numbers, every action at its point, F6, the period taken at F5, fields edited during a
run and fractional coordinates. What the run does is read from the click target's log."""

import statistics
import sys
import time
import unittest

import harness
from harness import wait_for

session = None

HINT_TITLE = "提示:"
NO_COORDINATES = "坐标不能为空"
NOT_A_NUMBER = "请输入正确的数值"

# The events one tick of each action leaves in the log, at a point nothing was clicked at
# before. A click following the previous tick's one within the double-click time arrives as
# a double click (ldbl for ldown), as on Windows; a double click's pair never does.
TICK = {
    "无动作": (),
    "左键单击": ("ldown", "lup"),
    "左键双击": ("ldown", "lup", "ldbl", "lup"),
    "右键单击": ("rdown", "rup"),
    "中键单击": ("mdown", "mup"),
    "滚轮向上": ("wheel+120",),
    "滚轮向下": ("wheel-120",),
}
REPEAT_PAIRS = {"ldbl": "ldown", "rdbl": "rdown", "mdbl": "mdown"}
LEFT_PRESSES = ("ldown", "ldbl")

# Away from Tapwing's window (the middle of the 1280x1024 screen) and its message boxes.
AWAY = (1150, 950)


def setUpModule():
    global session
    harness.require_tapwing()
    session = harness.Session("run").start()


def tearDownModule():
    if session:
        session.stop()


def press_times(events, kinds=LEFT_PRESSES):
    return [us for us, event, _, _ in events if event in kinds]


def median_interval_ms(times):
    return statistics.median(b - a for a, b in zip(times, times[1:])) / 1000


def at(events, point):
    return [e for e in events if (e[2], e[3]) == point]


class RunTest(unittest.TestCase):
    """A fresh Tapwing per test, with the focus on its delay list and the component
    registered, so the first F7 or F5 can create it."""

    def setUp(self):
        self.app = session.start_tapwing()
        session.wait_component_registered()
        self.app.focus()
        wait_for(lambda: self.app.focused_role() == "combo3", 5, "the focus on the delay list")

    def tearDown(self):
        self.assertTrue(self.app.close_after_test(), "Tapwing ended during the test")

    # ---- Steps ---------------------------------------------------------------------------

    def choose_action(self, action):
        self.app.tab_to("combo2")  # forwards from the delay list, past no coordinate field
        self.app.choose("combo2", action)

    def choose_delay(self, delay):
        self.app.tab_to("combo3", backwards=True)  # from the action list
        self.app.choose("combo3", delay)

    def set_point(self, x, y):
        for role, text in (("text1", str(x)), ("text2", str(y))):
            self.app.set_text(role, text)
            self.app.wait_text(role, text)

    def start(self, took_effect):
        session.press_hotkey("F5", took_effect)

    def start_clicking(self, action, since):
        """F5 for a clicking action; returns once its first tick is in the log."""
        count = len(TICK[action])
        self.start(lambda: len(session.clicks(since)) >= count)

    def stop(self, quiet=0.5):
        """F6, pressed again until no event has arrived for `quiet` seconds (ticks of a
        clicking run come every few ms). Returns the mark after the last event."""
        state = {"mark": session.click_mark(), "since": time.monotonic()}

        def fell_quiet():
            mark, now = session.click_mark(), time.monotonic()
            if mark != state["mark"]:
                state.update(mark=mark, since=now)
            return now - state["since"] >= quiet

        session.press_hotkey("F6", fell_quiet)
        return state["mark"]

    def expect_box(self, prompt):
        box = self.app.wait_message_box()
        self.assertEqual((box["title"], box["prompt"]), (HINT_TITLE, prompt))
        self.assertEqual(len(self.app.all_message_boxes()), 1, "more than one box")
        self.app.dismiss(box)

    def assert_ticks(self, action, events, point):
        """Only the action's events, all at the point, in whole ticks; the first tick exact."""
        tick = TICK[action]
        self.assertEqual(at(events, point), events, f"{action}: events elsewhere")
        kinds = [e[1] for e in events]
        self.assertEqual(tuple(kinds[:len(tick)]), tick, f"{action}: first tick")
        if action != "左键双击":
            kinds = [REPEAT_PAIRS.get(k, k) for k in kinds]
        self.assertEqual(len(kinds) % len(tick), 0, f"{action}: a partial tick in {kinds}")
        self.assertEqual(kinds, list(tick) * (len(kinds) // len(tick)), f"{action}: ticks")


class CaptureTest(RunTest):
    def test_f7_writes_the_pointer_position_into_both_fields(self):
        for x, y in ((300, 200), (1010, 855)):
            with self.subTest(point=(x, y)):
                session.move_pointer(x, y)
                session.press_hotkey("F7", lambda: (self.app.text("text1"), self.app.text("text2"))
                                    == (str(x), str(y)))
        self.app.assert_no_message_box()


class StartRefusedTest(RunTest):
    def test_f5_without_two_numbers_warns_once_and_starts_nothing(self):
        # A left-click run would click once the missing number is written in afterwards.
        self.choose_action("左键单击")
        session.move_pointer(*AWAY)
        for case, fields, completion in (
                ("X shows its placeholder", {"text2": "300"}, ("text1", "350")),
                ("Y empty", {"text2": ""}, ("text2", "300"))):
            with self.subTest(case=case):
                for role, text in fields.items():
                    self.app.set_text(role, text)
                    self.app.wait_text(role, text)
                mark = session.click_mark()
                self.start(lambda: self.app.message_boxes())
                self.expect_box(NO_COORDINATES)
                self.app.set_text(*completion)
                session.assert_no_clicks(mark, 1.0)
                self.assertEqual(session.probe.cursor(), AWAY, "the cursor was moved")
                self.app.assert_no_message_box(0.1)


class ActionTest(RunTest):
    def test_each_action_arrives_at_its_point_as_its_event(self):
        points = {"左键单击": (150, 150), "左键双击": (250, 180), "右键单击": (350, 210),
                  "中键单击": (450, 240), "滚轮向上": (850, 150), "滚轮向下": (950, 180),
                  "无动作": (1050, 210)}  # last: a run that never clicks is not seen to stop
        for action, point in points.items():
            with self.subTest(action=action):
                self.choose_action(action)
                self.set_point(*point)
                session.move_pointer(*AWAY)
                mark = session.click_mark()
                if TICK[action]:
                    self.start_clicking(action, mark)
                    self.stop()
                    self.assert_ticks(action, session.clicks(mark), point)
                else:
                    self.start(lambda: session.probe.cursor() == point)
                    session.assert_no_clicks(mark, 0.5)
                    self.assertEqual(session.probe.cursor(), point)


class StopAndPeriodTest(RunTest):
    def test_f6_stops_the_run(self):
        self.choose_action("左键单击")
        self.set_point(300, 350)
        mark = session.click_mark()
        self.start_clicking("左键单击", mark)
        session.wait_clicks(mark, 6, 5)
        after = self.stop()
        session.assert_no_clicks(after, 1.0)
        self.assertTrue(self.app.alive())

    def test_the_period_is_the_delay_chosen_at_the_last_f5(self):
        self.choose_action("左键单击")
        self.set_point(320, 260)
        self.choose_delay("延时100MS")
        mark = session.click_mark()
        self.start_clicking("左键单击", mark)
        events = session.wait_clicks(mark, 2 * 9, 6, "nine ticks")
        fast = median_interval_ms(press_times(events))
        self.assertTrue(70 <= fast <= 200, f"100 ms period measured as {fast:.1f} ms")

        # Choosing another delay changes nothing until F5.
        self.app.choose("combo3", "延时500MS")
        mark = session.click_mark()
        events = session.wait_clicks(mark, 2 * 6, 6, "six more ticks")
        self.assertLess(median_interval_ms(press_times(events)), 250, "the period changed before F5")

        mark = session.click_mark()

        def restarted():  # two long intervals in a row
            t = press_times(session.clicks(mark))[-3:]
            return len(t) == 3 and t[1] - t[0] >= 350_000 and t[2] - t[1] >= 350_000

        self.start(restarted)
        mark = session.click_mark()
        events = session.wait_clicks(mark, 2 * 5, 8, "five ticks after the restart")
        slow = median_interval_ms(press_times(events))
        print(f"[run] periods measured: {fast:.1f} ms, then {slow:.1f} ms", file=sys.stderr)
        self.assertTrue(420 <= slow <= 700, f"500 ms period measured as {slow:.1f} ms")
        self.assertEqual(at(events, (320, 260)), events)


class OutOfRangeTest(RunTest):
    def test_f5_refuses_a_number_no_screen_point_can_have(self):
        self.set_point(3000000000, 200)
        mark = session.click_mark()
        self.start(lambda: self.app.message_boxes())
        self.expect_box(NOT_A_NUMBER)
        session.assert_no_clicks(mark, 1.0)


class CaptureDuringRejectionTest(RunTest):
    def test_a_capture_made_while_a_rejection_is_shown_stays_and_the_run_clicks_there(self):
        self.choose_action("左键单击")
        self.app.click_control("text1")
        self.app.wait_text("text1", "")
        session.x.type("3a")
        box = self.app.wait_message_box()
        self.assertEqual((box["title"], box["prompt"]), (HINT_TITLE, NOT_A_NUMBER))

        # The poll goes on while the box is open: F7 captures over the refused text, F5 starts.
        session.move_pointer(*AWAY)
        x, y = (str(v) for v in AWAY)
        session.press_hotkey("F7", lambda: (self.app.text("text1"), self.app.text("text2")) == (x, y))
        mark = session.click_mark()
        self.start_clicking("左键单击", mark)
        self.app.dismiss(box)

        self.assertEqual((self.app.text("text1"), self.app.text("text2")), (x, y))
        mark = session.click_mark()
        events = session.wait_clicks(mark, 6, 5, "clicks after the box was dismissed")
        self.assertEqual(at(events, AWAY), events)
        self.stop()


class FieldsDuringRunTest(RunTest):
    def test_point_and_action_are_read_at_every_tick(self):
        self.choose_action("左键单击")
        self.set_point(200, 300)
        mark = session.click_mark()
        self.start_clicking("左键单击", mark)

        mark = session.click_mark()
        self.set_point(260, 340)
        # The fields change one after the other, so a tick may land at (260, 300) between.
        wait_for(lambda: len(at(session.clicks(mark), (260, 340))) >= 4, 5, "clicks at the new point")
        self.assertEqual([e for e in session.clicks(mark) if (e[2], e[3]) not in
                          ((200, 300), (260, 300), (260, 340))], [])

        mark = session.click_mark()
        self.app.choose("combo2", "右键单击")
        wait_for(lambda: "rdown" in [e[1] for e in session.clicks(mark)], 5, "a right click")
        after = self.stop()
        events = session.clicks(mark)
        first_right = [e[1] for e in events].index("rdown")
        self.assertEqual({e[1] for e in events[first_right:]} - {"rdown", "rup", "rdbl"}, set(),
                         "left clicks after the first right click")
        self.assertEqual(at(events, (260, 340)), events)
        session.assert_no_clicks(after, 0.3)

    def test_junk_typed_into_a_field_pauses_the_run_until_a_number_returns(self):
        self.choose_action("左键单击")
        self.set_point(400, 300)
        mark = session.click_mark()
        self.start_clicking("左键单击", mark)

        # Backwards from the action list reaches X without passing Y; entering X empties it.
        self.app.tab_to("text1", backwards=True)
        self.app.wait_text("text1", "")
        session.x.type("a")
        self.expect_box(NOT_A_NUMBER)
        self.assertTrue(self.app.alive())
        self.app.wait_text("text1", "")
        self.assertEqual(self.app.text("text2"), "300")
        paused = session.wait_clicks_quiet(0.3, 5)
        session.assert_no_clicks(paused, 1.0)
        self.assertEqual(self.app.text("text1"), "", "the field is no longer empty")

        self.app.set_text("text1", "420")
        events = session.wait_clicks(paused, 6, 5, "clicks after the number returned")
        self.assertEqual(at(events, (420, 300)), events)
        self.app.assert_no_message_box(0.1)

    def test_fractions_round_half_to_even(self):
        self.choose_action("左键单击")
        self.set_point("12.5", "301.5")
        mark = session.click_mark()
        self.start_clicking("左键单击", mark)
        self.stop()
        self.assert_ticks("左键单击", session.clicks(mark), (12, 302))


if __name__ == "__main__":
    harness.main()
