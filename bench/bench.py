#!/usr/bin/env python3
"""Tapwing's click timing under Wine, next to xdotool's as a reference; prints one table.

Runs the real Tapwing.exe of the build this host runs (scripts/wine-arch.sh: build/win32, or
build/win64 where 32-bit programs cannot run) in an e2e harness session (own Xvfb, own
prefix copy, own wineserver) against the click target, which stamps every button event with
QueryPerformanceCounter in microseconds. Measures, in this order:
  1. idle CPU of Tapwing's process and of the session's wineserver (only the 10 ms poll runs);
  2. the calibration that maps Linux time onto the click target's stamps;
  3. runs at "延时10MS", "延时50MS", "延时100MS": achieved period and its deviation;
  4. F6 -> last click: how long a run goes on clicking after the stop key;
  5. `xdotool click --repeat N --delay D` against the same target, as a reference.
A benchmark, not a test: it reports whether the aims are met but exits 0 whenever it ran.
See bench/README.md for the method and its limits.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))

LEFT_DOWNS = ("ldown", "ldbl")   # the target has CS_DBLCLKS: every second quick click is a "dbl"
RIGHT_DOWNS = ("rdown", "rdbl")  # calibration and stop markers; Tapwing only clicks left here
CLSID = "{F0BBCDBA-4496-4837-BC5F-77A05375485C}"
CB_SETCURSEL = 0x014E
XK_F6 = 0xFFC3
ACTION_LEFT_CLICK = 1
DELAY_ENTRIES = ((10, 0), (50, 1), (100, 2))  # period ms, Combo3 index

DEFAULT_WORK_DIR = "/tmp/tapwing-bench"  # template prefix, session, logs

AIM_MEDIAN_MS = 0.5
AIM_P99_MS = 3.0
AIM_IDLE_CPU = 1.0  # % of one core


def log(*parts):
    print("[bench]", *parts, file=sys.stderr, flush=True)


def linux_us():
    # Wine 8 derives QueryPerformanceCounter from CLOCK_MONOTONIC_RAW, so the two never drift
    # apart; the calibration still measures the offset instead of assuming it.
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 1000


# ---- Figures from click logs (pure, see test_bench.py) ---------------------------------


def down_times(events, kinds=LEFT_DOWNS, at=None):
    """Stamps (µs) of the button-down events of `kinds`, optionally only those at point `at`."""
    return [us for us, event, x, y in events if event in kinds and (at is None or (x, y) == tuple(at))]


def percentile(values, p):
    """Linear interpolation between closest ranks (numpy's default)."""
    ordered = sorted(values)
    if not ordered:
        return float("nan")
    rank = (len(ordered) - 1) * p / 100
    low = int(rank)
    high = min(low + 1, len(ordered) - 1)
    return ordered[low] + (ordered[high] - ordered[low]) * (rank - low)


def period_figures(stamps_us, requested_ms):
    """Intervals between successive clicks against the requested period."""
    intervals = [(b - a) / 1000 for a, b in zip(stamps_us, stamps_us[1:])]
    if not intervals:
        return {"requested": requested_ms, "n": 0}
    deviations = [abs(i - requested_ms) for i in intervals]
    span_s = (stamps_us[-1] - stamps_us[0]) / 1e6
    return {
        "requested": requested_ms,
        "n": len(intervals),
        "median": statistics.median(intervals),
        "p95": percentile(deviations, 95),
        "p99": percentile(deviations, 99),
        "max": max(deviations),
        "min_interval": min(intervals),
        "max_interval": max(intervals),
        "rate": len(intervals) / span_s if span_s > 0 else float("nan"),
    }


def calibration(samples):
    """samples: (Linux µs when the X server got a click, QPC µs the click target logged).

    The offset folds in the X -> Wine delivery to the target, so a mapped key press is the
    moment a Wine window would have logged it; half the range of the offsets is the error
    of one mapped time."""
    offsets = [q - t for t, q in samples]
    return {"offset": statistics.median(offsets), "spread": (max(offsets) - min(offsets)) / 2,
            "n": len(offsets)}


def period_aim_met(f):
    return abs(f["median"] - f["requested"]) <= AIM_MEDIAN_MS and f["p99"] < AIM_P99_MS


def stat_ticks(stat):
    """utime + stime from a /proc/<pid>/stat line; the name in parentheses may hold anything."""
    fields = stat[stat.rindex(")") + 2:].split()
    return int(fields[11]) + int(fields[12])  # fields 14 and 15 of proc(5)


def cpu_ticks(pid):
    """CPU time of a whole process (all its threads) in clock ticks."""
    return stat_ticks(Path(f"/proc/{pid}/stat").read_text())


def machine_ticks():
    """(busy, total) jiffies of all CPUs from /proc/stat."""
    values = [int(v) for v in Path("/proc/stat").read_text().split("\n", 1)[0].split()[1:]]
    idle = values[3] + values[4]  # idle + iowait
    return sum(values) - idle, sum(values)


# ---- Processes ----------------------------------------------------------------------------


def wineserver_pids():
    out = []
    for entry in Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                if (entry / "comm").read_text().startswith("wineserver"):  # Debian: wineserver32
                    out.append(int(entry.name))
            except OSError:
                pass
    return out


def session_wineserver(prefix):
    """The wineserver serving `prefix`: it runs in a directory server-DEV-INODE of the prefix
    (under /tmp/.wine-UID or, in Debian's build, a /tmp/wine-XXXXXX)."""
    st = os.stat(prefix)
    server_dir = f"server-{st.st_dev:x}-{st.st_ino:x}"
    for pid in wineserver_pids():
        try:
            if os.path.basename(os.readlink(f"/proc/{pid}/cwd")) == server_dir:
                return pid
        except OSError:
            pass
    return None


class XTest:
    """Key and button events injected straight from this process, each batch bracketed by
    Linux timestamps: XSync returns once the X server has handled the batch, so the server
    saw it between the two stamps (~0.1 ms apart instead of xdotool's 2-6 ms start-up).

    A connection per batch: Xlib ends the whole process when a connection it holds breaks,
    which would skip the session's clean-up."""

    def __init__(self, display, clock=time.CLOCK_MONOTONIC_RAW):
        import ctypes
        self.clock = clock  # the clock of the target that logs the events
        self.display = display.encode()
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")  # comes with xdotool
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        for fake in (self.xtst.XTestFakeKeyEvent, self.xtst.XTestFakeButtonEvent):
            fake.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]

    def now(self):
        return time.clock_gettime_ns(self.clock) // 1000

    def send(self, *actions):
        """actions: ("key", keysym, down) or ("button", n, down). Returns (before, after) µs."""
        dpy = self.x11.XOpenDisplay(self.display)
        if not dpy:
            raise RuntimeError(f"cannot open X display {self.display.decode()}")
        try:
            codes = [self.x11.XKeysymToKeycode(dpy, code) if kind == "key" else code
                     for kind, code, _ in actions]
            before = self.now()
            for (kind, _, down), code in zip(actions, codes):
                fake = self.xtst.XTestFakeKeyEvent if kind == "key" else self.xtst.XTestFakeButtonEvent
                fake(dpy, code, int(down), 0)
            self.x11.XSync(dpy, 0)
            return before, self.now()
        finally:
            self.x11.XCloseDisplay(dpy)


def registered(env):
    key = rf"HKLM\Software\Classes\CLSID\{CLSID}\InprocServer32"
    return subprocess.run([env["WINELOADER"], "reg", "query", key], env=env, capture_output=True,
                          timeout=30).returncode == 0


# ---- The benchmark ------------------------------------------------------------------------


class Bench:
    def __init__(self, harness, session, args):
        self.h = harness
        self.s = session
        self.args = args
        self.app = None
        self.controls = None
        self.xt = None
        self.tapwing_pid = None
        self.point = None
        self.cal = None
        self.server_pid = None
        self.results = {}

    # Clicks and keys

    def wait_quiet(self, quiet_s, timeout):
        """Waits until the click log has not grown for quiet_s; WaitTimeout if it keeps growing."""
        self.h.wait_stable(self.s.click_mark, quiet_s, timeout, "the clicks to stop", interval=0.02)

    def start_run(self, combo3_index):
        self.s.probe.send(self.controls["combo3"]["hwnd"], CB_SETCURSEL, combo3_index, 0)
        mark = self.s.click_mark()
        self.s.press_hotkey("F5", lambda: down_times(self.s.clicks(mark)))
        return mark

    def stop_run(self, period_ms, marker=False):
        """Presses F6 (right after a right-click marker if asked) until the clicks stop.
        Returns (Linux µs when the X server got the first press, ± µs, presses it took)."""
        quiet = max(0.3, 4 * period_ms / 1000)
        marker_click = [("button", 3, True), ("button", 3, False)] if marker else []
        before, after = self.xt.send(*marker_click, ("key", XK_F6, True))
        time.sleep(0.15)  # long enough for the 10 ms poll to see it down
        self.xt.send(("key", XK_F6, False))
        presses = 1
        while True:
            try:
                self.wait_quiet(quiet, quiet + 1.5)
                return (before + after) / 2, (after - before) / 2, presses
            except self.h.WaitTimeout:
                if presses >= 4:
                    raise
                presses += 1  # a missed poll press; GetAsyncKeyState's low bit is not reliable here
                self.s.x.hold("F6")

    # Steps

    def setup(self):
        self.app = self.s.start_tapwing()
        t = time.monotonic()
        self.h.wait_for(lambda: registered(self.s.env), 60, "korva.dll's class registration", interval=0.2)
        log(f"korva.dll registered {time.monotonic() - t:.1f} s after the window showed")
        self.controls = self.app.controls()
        r = self.app.window()["rect"]
        # A point on the click target well away from Tapwing's window.
        self.point = (r["left"] - 300, r["top"] - 200) if r["left"] > 400 and r["top"] > 300 else (1100, 900)
        self.s.move_pointer(*self.point)
        self.xt = XTest(self.s.display)
        probe = self.s.probe
        probe.set_text(self.controls["text1"]["hwnd"], str(self.point[0]))
        probe.set_text(self.controls["text2"]["hwnd"], str(self.point[1]))
        probe.send(self.controls["combo2"]["hwnd"], CB_SETCURSEL, ACTION_LEFT_CLICK, 0)
        self.app.focus()
        self.tapwing_pid = self.app.pid
        self.server_pid = session_wineserver(self.s.prefix)
        log(f"Tapwing.exe pid {self.tapwing_pid}, wineserver pid {self.server_pid}")

    def idle_cpu(self):
        time.sleep(1.0)  # let start-up work (regsvr32, first paint) settle
        hz = os.sysconf("SC_CLK_TCK")
        log(f"idle CPU over {self.args.idle:g} s")
        pids = {"tapwing": self.tapwing_pid, "wineserver": self.server_pid}
        before = {k: cpu_ticks(p) for k, p in pids.items() if p}
        t0 = time.monotonic()
        time.sleep(self.args.idle)
        wall = time.monotonic() - t0
        after = {k: cpu_ticks(p) for k, p in pids.items() if p}
        self.results["idle"] = {k: 100 * (after[k] - before[k]) / hz / wall for k in before}
        self.results["idle_wall"] = wall
        self.results["tick_pct"] = 100 / hz / wall  # resolution of these shares

    def calibrate(self):
        samples, brackets = [], []
        for _ in range(self.args.calibrations):
            mark = self.s.click_mark()
            before, after = self.xt.send(("button", 3, True), ("button", 3, False))
            q = self.h.wait_for(lambda: down_times(self.s.clicks(mark), RIGHT_DOWNS), 5, "the calibration click")
            samples.append(((before + after) / 2, q[0]))
            brackets.append((after - before) / 2)
            time.sleep(0.1)
        self.cal = calibration(samples)
        self.cal["bracket"] = max(brackets)
        log(f"calibration: QPC - CLOCK_MONOTONIC_RAW = {self.cal['offset'] / 1000:.3f} ms "
            f"± {self.cal['spread'] / 1000:.3f} ms, X requests bracketed to ± {self.cal['bracket'] / 1000:.3f} ms")

    def tapwing_periods(self):
        for period, index in DELAY_ENTRIES:
            seconds = self.args.seconds
            log(f"Tapwing at {period} ms for {seconds:g} s")
            mark = self.start_run(index)
            time.sleep(seconds)
            end = self.s.click_mark()  # everything before the stop key
            self.stop_run(period)
            events = self.s.clicks(mark)[:end - mark]
            self.results[("tapwing", period)] = period_figures(down_times(events, at=self.point), period)

    def stop_latency(self):
        latencies, errors, brackets, missed = [], [], [], 0
        for i in range(self.args.stops):
            run_mark = self.start_run(0)
            # Spread the presses evenly over one period's phases: F5 starts the run in step
            # with the poll, so a fixed wait would always hit the same phase.
            time.sleep(0.4 + 0.01 * i / self.args.stops)
            pressed, bracket, presses = self.stop_run(10, marker=True)
            brackets.append(bracket)
            if presses > 1:
                missed += 1  # the clicks ran on until a later press: not this press's latency
                continue
            events = self.s.clicks(run_mark)
            markers = down_times(events, RIGHT_DOWNS)
            lefts = down_times(events, at=self.point)
            if not lefts:
                continue
            pressed_qpc = pressed + self.cal["offset"]
            latencies.append((lefts[-1] - pressed_qpc) / 1000)
            if markers:
                errors.append((markers[0] - pressed_qpc) / 1000)
        self.results["stop"] = {"latencies": latencies, "errors": errors, "missed": missed,
                                "bracket": max(brackets, default=0)}

    def xdotool_periods(self):
        self.s.move_pointer(*self.point)
        for period, _ in DELAY_ENTRIES:
            repeat = max(2, round(self.args.seconds * 1000 / period))
            log(f"xdotool click --repeat {repeat} --delay {period}")
            mark = self.s.click_mark()
            self.s.x.xdotool("click", "--repeat", repeat, "--delay", period, "1",
                             timeout=self.args.seconds * 3 + 10)
            self.wait_quiet(0.3, 5)
            events = self.s.clicks(mark)
            self.results[("xdotool", period)] = period_figures(down_times(events, at=self.point), period)


# ---- Output -------------------------------------------------------------------------------


def yes_no(ok):
    return "yes" if ok else "NO"


def fmt(value, digits=2):
    return "-" if value is None or value != value else f"{value:.{digits}f}"


def table_rows(results):
    rows = []
    for source, label in (("tapwing", "Tapwing {} ms"), ("xdotool", "xdotool --delay {}")):
        for period, _ in DELAY_ENTRIES:
            f = results.get((source, period))
            if not f:
                continue
            if not f["n"]:
                rows.append((label.format(period), str(period), "0") + ("-",) * 5 + ("no clicks", "NO"))
                continue
            met = yes_no(period_aim_met(f))
            rows.append((label.format(period), str(period), str(f["n"]), fmt(f["median"], 3), fmt(f["p95"]),
                         fmt(f["p99"]), fmt(f["max"]), fmt(f["rate"], 1),
                         f"median {period}±{AIM_MEDIAN_MS:g}, p99<{AIM_P99_MS:g}",
                         met if source == "tapwing" else f"({met})"))  # the reference has no aim
    stop = results.get("stop")
    if stop and stop["latencies"]:
        lat = stop["latencies"]
        rows.append(("F6 -> last click, 10 ms", "", str(len(lat)), fmt(statistics.median(lat)), "", "", "", "",
                     f"max {fmt(max(lat))} ms, min {fmt(min(lat))} ms", ""))
    idle = results.get("idle")
    if idle:
        wall = f"{results['idle_wall']:.0f} s"
        tapwing = idle.get("tapwing")
        rows.append(("idle CPU Tapwing.exe", "", wall, "", "", "", "", "",
                     f"{fmt(tapwing)} % of a core, aim <{AIM_IDLE_CPU:g} %",
                     yes_no(tapwing is not None and tapwing < AIM_IDLE_CPU)))
        rows.append(("idle CPU wineserver", "", wall, "", "", "", "", "",
                     f"{fmt(idle.get('wineserver'))} % of a core", ""))
    return rows


def aligned(head, rows, left):
    """The head, a rule and the rows as lines of columns; the columns in `left` are left-aligned,
    the others right-aligned."""
    widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]

    def line(row):
        return "  ".join(c.ljust(w) if i in left else c.rjust(w)
                         for i, (c, w) in enumerate(zip(row, widths))).rstrip()

    return [line(head), line(tuple("-" * w for w in widths))] + [line(r) for r in rows]


def load_average():
    """The 1, 5 and 15 minute load averages, as the tables print them."""
    return "/".join(f"{v:.2f}" for v in os.getloadavg())


def timing_options(parser):
    """The options both parts of the benchmark take."""
    parser.add_argument("--seconds", type=float, default=5, help="seconds of clicks per row (default 5)")
    parser.add_argument("--stops", type=int, default=5, help="F6 latency repetitions (default 5)")
    parser.add_argument("--idle", type=float, default=10, help="idle CPU window in seconds (default 10)")


def table(results, info):
    head = ("measure", "req ms", "n", "median ms", "p95 |dev|", "p99 |dev|", "max |dev|", "clicks/s",
            "aim / value", "met")
    out = [f"Tapwing timing benchmark - {info.get('wine')}, {info.get('cpus')} CPUs, Xvfb {info.get('display')}",
           f"measured build: {info.get('build')}"]
    out += aligned(head, table_rows(results), left=(0, 8))
    out.append("")
    cal, stop = results.get("calibration"), results.get("stop")
    if cal:
        text = (f"clock: QPC = CLOCK_MONOTONIC_RAW + {fmt(cal['offset'] / 1000, 3)} ms "
                f"(±{fmt(cal['spread'] / 1000, 3)} ms over {cal['n']} calibration clicks, "
                f"X requests bracketed to ±{fmt(cal['bracket'] / 1000, 3)} ms)")
        if stop:
            errs = stop["errors"]
            text += (f"; F6 marker click logged {fmt(statistics.median(errs) if errs else None, 3)} ms "
                     f"from the mapped press (max |{fmt(max(map(abs, errs)) if errs else None, 3)}| ms); "
                     f"F6 presses missed by the poll: {stop['missed']}")
        out.append(text)
    if "tick_pct" in results:
        out.append(f"CPU shares from /proc/<pid>/stat utime+stime over wall time, "
                   f"resolution {fmt(results['tick_pct'])} %")
    out.append(f"machine: load {info.get('load_before')} before, {info.get('load_after')} after; "
               f"CPUs {fmt(info.get('busy'), 0)} % busy during the run (this benchmark included); "
               f"other wineservers: {info.get('others_before')} before, {info.get('others_after')} after")
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    timing_options(parser)
    parser.add_argument("--calibrations", type=int, default=7, help="calibration clicks (default 7)")
    parser.add_argument("--fresh-prefix", action="store_true", help="remake the template Wine prefix first")
    args = parser.parse_args()

    # A work folder of our own: the e2e tests' CTest fixture clears every session under the
    # shared one, a running benchmark's included.
    os.environ.setdefault("TAPWING_E2E_WORK", DEFAULT_WORK_DIR)
    import harness
    from harness.session import install_signal_cleanup

    if not harness.config.TAPWING_EXE.exists():
        log(f"{harness.config.TAPWING_EXE} is not built; run bench/run.sh")
        return 2

    loader = harness.prefix.wine_env(harness.prefix.template())["WINELOADER"]
    info = {"load_before": load_average(), "cpus": os.cpu_count(), "others_before": len(wineserver_pids()),
            "wine": subprocess.run([loader, "--version"], capture_output=True, text=True).stdout.strip(),
            "build": f"{harness.config.ARCH} ({harness.config.TAPWING_EXE})"}
    busy0, total0 = machine_ticks()

    install_signal_cleanup()
    session = harness.Session("bench")
    bench = Bench(harness, session, args)
    failed = None
    try:
        made = harness.prefix.ensure_template(fresh=args.fresh_prefix)
        if made:
            log(f"template prefix made in {made:.0f} s")
        session.start()
        info["display"] = session.display
        bench.setup()
        bench.idle_cpu()
        bench.calibrate()
        bench.tapwing_periods()
        bench.stop_latency()
        bench.xdotool_periods()
    except Exception as error:  # report what was measured before it went wrong
        failed = error
    finally:
        if bench.server_pid:
            info["others_after"] = len(set(wineserver_pids()) - {bench.server_pid})
        session.stop()
    busy1, total1 = machine_ticks()
    info["busy"] = 100 * (busy1 - busy0) / max(1, total1 - total0)
    info["load_after"] = load_average()
    if bench.cal:
        bench.results["calibration"] = bench.cal
    print(table(bench.results, info))
    if failed:
        log(f"stopped early: {type(failed).__name__}: {failed}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
