#!/usr/bin/env python3
"""The benchmark's arithmetic, without Wine: which log lines count as clicks, the figures
computed from them, the clock mapping and the aim verdicts. Run: python3 bench/test_bench.py"""

import math
import unittest

import bench


def events(*rows):
    return [(us, event, x, y) for us, event, x, y in rows]


class ClickSelectionTest(unittest.TestCase):
    def test_double_click_lines_count_as_presses_and_other_buttons_do_not(self):
        log = events((0, "ldown", 5, 5), (1, "lup", 5, 5), (10, "ldbl", 5, 5), (11, "lup", 5, 5),
                     (12, "rdown", 5, 5), (15, "rdbl", 5, 5), (20, "ldown", 5, 5), (25, "wheel+120", 5, 5))
        self.assertEqual(bench.down_times(log), [0, 10, 20])
        self.assertEqual(bench.down_times(log, bench.RIGHT_DOWNS), [12, 15])

    def test_point_filter_drops_clicks_elsewhere(self):
        log = events((0, "ldown", 5, 5), (10, "ldown", 6, 5), (20, "ldbl", 5, 5))
        self.assertEqual(bench.down_times(log, at=(5, 5)), [0, 20])


class PeriodFiguresTest(unittest.TestCase):
    def test_exact_grid(self):
        f = bench.period_figures([i * 10_000 for i in range(101)], 10)
        self.assertEqual(f["n"], 100)
        self.assertAlmostEqual(f["median"], 10)
        self.assertAlmostEqual(f["p99"], 0)
        self.assertAlmostEqual(f["rate"], 100)

    def test_deviation_is_absolute_on_both_sides(self):
        # 9.7 / 10.7 ms alternating ticks, as Wine's timer delivers them: mean 10.2 here.
        stamps = [0]
        for i in range(100):
            stamps.append(stamps[-1] + (9_700 if i % 2 else 10_700))
        f = bench.period_figures(stamps, 10)
        self.assertAlmostEqual(f["median"], 10.2)
        self.assertAlmostEqual(f["max"], 0.7)
        self.assertGreater(f["p95"], 0.3)
        self.assertAlmostEqual(f["rate"], 100 / 1.02, places=3)

    def test_one_late_click_shows_in_p99_not_in_median(self):
        stamps = [i * 10_000 for i in range(200)]
        stamps[100:] = [s + 25_000 for s in stamps[100:]]  # one 35 ms gap
        f = bench.period_figures(stamps, 10)
        self.assertAlmostEqual(f["median"], 10)
        self.assertAlmostEqual(f["max"], 25)
        self.assertLess(f["p95"], 1)

    def test_too_few_clicks(self):
        self.assertEqual(bench.period_figures([5], 10)["n"], 0)
        self.assertEqual(bench.period_figures([], 10)["n"], 0)

    def test_percentile_interpolates(self):
        self.assertEqual(bench.percentile([1, 2, 3, 4, 5], 50), 3)
        self.assertAlmostEqual(bench.percentile(list(range(1, 101)), 99), 99.01)
        self.assertEqual(bench.percentile([7], 99), 7)
        self.assertTrue(math.isnan(bench.percentile([], 50)))


class ClockMappingTest(unittest.TestCase):
    def test_offset_is_the_median_and_spread_half_the_range(self):
        cal = bench.calibration([(1000, 4000), (2000, 5200), (3000, 5900), (4000, 7000)])
        self.assertEqual(cal["offset"], 3000)
        self.assertEqual(cal["spread"], 150)  # offsets 3000 3200 2900 3000
        self.assertEqual(cal["n"], 4)


class ProcStatTest(unittest.TestCase):
    def test_name_with_parentheses_and_blanks(self):
        line = "4242 (Tap wing) (x)) S 1 2 3 4 5 6 7 8 9 10 250 37 0 0 20 0 8 0 100 1000 50\n"
        self.assertEqual(bench.stat_ticks(line), 287)

    def test_own_process_readable(self):
        import os
        self.assertGreaterEqual(bench.cpu_ticks(os.getpid()), 0)


class VerdictTest(unittest.TestCase):
    def figures(self, median, p99, requested=10):
        return {"requested": requested, "n": 500, "median": median, "p95": p99 / 2, "p99": p99,
                "max": p99, "rate": 1000 / median}

    def test_period_aims(self):
        self.assertTrue(bench.period_aim_met(self.figures(9.74, 0.9)))
        self.assertTrue(bench.period_aim_met(self.figures(10.5, 2.99)))
        self.assertFalse(bench.period_aim_met(self.figures(10.51, 0.9)))
        self.assertFalse(bench.period_aim_met(self.figures(15.6, 0.9)))  # Windows' default tick
        self.assertFalse(bench.period_aim_met(self.figures(10.0, 3.0)))
        self.assertTrue(bench.period_aim_met(self.figures(100.2, 1.0, requested=100)))

    def verdicts(self, results):
        return {row[0]: row[-1] for row in bench.table_rows(results)}

    def test_table_marks_tapwing_and_only_brackets_the_reference(self):
        results = {("tapwing", 10): self.figures(10.6, 1.0), ("xdotool", 10): self.figures(10.2, 0.5),
                   ("tapwing", 50): {"requested": 50, "n": 0},
                   "idle": {"tapwing": 1.2, "wineserver": 0.3}, "idle_wall": 10.0}
        verdicts = self.verdicts(results)
        self.assertEqual(verdicts["Tapwing 10 ms"], "NO")
        self.assertEqual(verdicts["xdotool --delay 10"], "(yes)")
        self.assertEqual(verdicts["Tapwing 50 ms"], "NO")  # no clicks at all is no success
        self.assertEqual(verdicts["idle CPU Tapwing.exe"], "NO")

    def test_missing_idle_figure_is_not_a_pass(self):
        verdicts = self.verdicts({"idle": {"wineserver": 0.3}, "idle_wall": 10.0})
        self.assertEqual(verdicts["idle CPU Tapwing.exe"], "NO")

    def test_table_renders_with_partial_results(self):
        text = bench.table({("tapwing", 10): self.figures(9.9, 0.8)}, {"wine": "wine-8.0"})
        self.assertIn("Tapwing 10 ms", text)
        self.assertNotIn("F6 -> last click", text)


class NativeVerdictTest(unittest.TestCase):
    def test_tapwing_row_holds_rate_median_and_p99_against_the_timerfd_loop(self):
        import bench_linux

        def verdict(tapwing, timerfd):
            rows = bench_linux.table_rows({"tapwing": tapwing, "timerfd": timerfd})
            return rows[0][-1]

        def figures(median, p99, rate=100.0):
            return {"n": 500, "median": median, "p95": p99, "p99": p99, "max": p99, "rate": rate}

        self.assertEqual(verdict(figures(10.05, 1.2), figures(10.0, 1.0)), "yes")
        self.assertEqual(verdict(figures(10.05, 1.3), figures(10.0, 1.0)), "NO")   # p99 over 1.2 x
        self.assertEqual(verdict(figures(10.15, 0.5), figures(10.0, 1.0)), "NO")   # median off
        self.assertEqual(verdict(figures(10.0, 0.5, 99.94), figures(10.0, 1.0)), "NO")  # a tick lost
        self.assertEqual(verdict({"n": 0}, figures(10.0, 1.0)), "NO")

    def test_sway_rows_hold_tapwing_against_wlr_clicks(self):
        import bench_linux

        def figures(p99):
            return {"n": 500, "median": 10.0, "p95": p99, "p99": p99, "max": p99, "rate": 100.0}

        rows = bench_linux.wayland_rows("sway", {"tapwing": figures(1.3), "wlr_clicks": figures(1.0),
                                                 "tapwing sent": figures(0.5), "wlr_clicks sent": figures(1.0)})
        self.assertEqual([(row[0], row[-1]) for row in rows],
                         [("sway: tapwing 10 ms at target", "NO"), ("sway: wlr_clicks 10 ms at target", "(ref)"),
                          ("sway: tapwing 10 ms sent", "yes"), ("sway: wlr_clicks 10 ms sent", "(ref)")])


class RoundsTest(unittest.TestCase):
    def test_the_median_round_by_p99_with_every_round_beside_it(self):
        import bench_linux

        rounds = [{"n": 500, "p99": 3.0}, {"n": 0}, {"n": 499, "p99": 1.0}, {"n": 498, "p99": 2.0},
                  {"n": 500, "p99": 9.0}]
        chosen = bench_linux.median_round(rounds)
        self.assertEqual((chosen["p99"], chosen["n"]), (2.0, 498))  # of 1 2 3 9, the lower middle
        self.assertEqual(chosen["rounds"], [3.0, 1.0, 2.0, 9.0])  # run order; the empty round left out
        self.assertEqual(chosen["total"], 1997)
        self.assertEqual(bench_linux.median_round([{"n": 0}]), {"n": 0})
        self.assertIsNone(bench_linux.median_round([]))

    def test_p99_over_all_rounds_where_they_kept_their_deviations(self):
        import bench_linux

        quiet = bench_linux.round_figures([i * 10_000 for i in range(101)])
        stalled = bench_linux.round_figures([i * 10_000 + (9_000 if i in (30, 60) else 0) for i in range(101)])
        chosen = bench_linux.median_round([quiet, stalled, quiet])
        self.assertEqual(chosen["p99"], 0.0)  # the median round hides the stall
        self.assertAlmostEqual(chosen["all p99"], 9.0)  # 4 of 300 deviations are 9 ms
        self.assertNotIn("deviations", chosen)

    def test_delivery_pairs_each_press_with_the_last_send_within_a_period(self):
        import bench_linux

        sends = [0, 10_000, 20_000]
        presses = [400, 10_300, 20_900, 35_000]  # the last one sent by no one in the period before it
        self.assertEqual(bench_linux.delivery_ms(sends, presses), [0.4, 0.3, 0.9])

    def test_stamps_between_include_the_start_only(self):
        import bench_linux

        self.assertEqual(bench_linux.between([1, 2, 3, 4], 2, 4), [2, 3])

    def test_cpu_median_per_process_over_the_rounds_it_was_seen_in(self):
        import bench_linux

        rounds = [{"tapwing": 2.0, "gnome-shell": 12.0}, {"tapwing": 9.0, "gnome-shell": 10.0},
                  {"tapwing": 3.0}]  # the compositor's figure lost in one round
        self.assertEqual(bench_linux.median_shares(rounds), {"tapwing": 3.0, "gnome-shell": 11.0})


if __name__ == "__main__":
    unittest.main()
