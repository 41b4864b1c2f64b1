#!/usr/bin/python3
"""The native Linux tapwing's click timing beside this machine's reference clickers, on X11,
KWin, mutter and sway (and, in the Debian 13 root, GNOME 48 and sway 1.10); prints one table.

Each row (ROWS: a session kind, tapwing's way in there and the reference clicker of the same
way) runs in a child process of its own (AT-SPI binds a process to one session bus), in a
native e2e session: Xvfb, a headless KWin, mutter or gnome-shell with PipeWire and the portals,
or a headless sway (the wlroots virtual pointer), each with its own D-Bus, runtime and XDG
dirs and a click target that stamps every button event with CLOCK_MONOTONIC in µs. In each:
  1. idle CPU of tapwing over 10 s (and, on Wayland, of the processes on the clicks' way);
  2. tapwing at "延时10MS", left click, 5 s rounds alternating with its reference (X11: the
     timerfd XTest loop and xdotool; portal Notify calls: portal_clicks; libei: ei_clicks;
     sway: wlr_clicks; each a timerfd loop sending the same way), 3 rounds each; the median
     round of each is printed, and on Wayland the CPU of the processes on the way;
  3. F6 -> last click, over 5 stops;
  4. start to window shown, median of 5 starts.
A benchmark, not a test: it prints whether the aims are met and exits 0 whenever it ran
(1 if a part stopped early, after printing what it had; 2 if tapwing is not built).
Run it with Debian's /usr/bin/python3 (pyatspi, gi). See bench/README.md.
"""

import argparse
import bisect
import collections
import json
import os
import select
import statistics
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

# A work folder of our own: the e2e tests' cleanup clears sessions under theirs.
os.environ.setdefault("TAPWING_E2E_WORK", "/tmp/tapwing-bench-linux")
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e" / "linux"))

import linux_harness as lh  # noqa: E402
import soak  # noqa: E402
from bench import (XK_F6, XTest, aligned, cpu_ticks, down_times, fmt, load_average, machine_ticks,  # noqa: E402
                   percentile, period_figures, timing_options, yes_no)

PERIOD_MS = 10
POINT = (1100, 850)  # on the click target, away from the centred window
# After a tapwing starts or ends between rounds (rows "apart"), the desktop's work for its
# session (screen casts, the permission store) settles before the next round: a user's tapwing
# has run for a while before F5.
SETTLE_S = 2.0
TIMERFD_CLICKS = lh.TOOLS_DIR / "timerfd_clicks"
PORTAL_CLICKS = lh.TOOLS_DIR / "portal_clicks"
WLR_CLICKS = lh.TOOLS_DIR / "wlr_clicks"
SEND_STAMPS = lh.TOOLS_DIR / "send_stamps.so"  # preloaded into tapwing: when each press goes out
SWAY_LAYOUT = (3840, 1024)  # the sway session's three outputs side by side (1280 logical pixels wide each)
EI_CLICKS = lh.TOOLS_DIR / "ei_clicks"
# A row of the table: the session kind it runs in, the reference clicker of tapwing's way in
# there (started beside it in the same session), the compositor's process, what tapwing's
# environment adds, what stamps the moment F6 reaches tapwing (the portal's Activated signal,
# or the ActivateAction call of `tapwing --hotkey` that a desktop binding runs), and whether
# tapwing is ended for the reference's rounds (apart): gnome-shell 48 copies a frame into an
# idle tapwing's cursor screen casts at every move of the reference, 90 % of a core at 10 ms.
Row = collections.namedtuple("Row", "name kind reference compositor env stop_from apart",
                             defaults=("", {}, "--hotkey's call", False))
ROWS = {row.name: row for row in (
    Row("x11", "x11", "timerfd"),
    Row("kwin", "kwin", "portal_clicks", "kwin_wayland", stop_from="Activated"),
    Row("mutter", "mutter", "portal_clicks", "mutter"),
    Row("sway", "sway", "wlr_clicks", "sway"),
    # The Debian 13 root's desktops (scripts/lane.sh trixie in-root).
    Row("gnome48", "gnome48", "ei_clicks", "gnome-shell", stop_from="Activated", apart=True),
    Row("gnome48-notify", "gnome48", "portal_clicks", "gnome-shell", {"TAPWING_NO_LIBEI": "1"}, "Activated", True),
    Row("sway-current", "sway-current", "wlr_clicks", "sway"),
    Row("kwin6", "kwin6", "ei_clicks", "kwin_wayland", stop_from="Activated"),
    # The Debian testing root's (scripts/lane.sh testing in-root).
    Row("gnome-testing", "gnome-testing", "ei_clicks", "gnome-shell", stop_from="Activated", apart=True),
    Row("kwin-testing", "kwin-testing", "ei_clicks", "kwin_wayland", stop_from="Activated"),
)}
DEFAULT_ROWS = ("x11", "kwin", "mutter", "sway")  # Debian 12's desktops
REFERENCE_TOOLS = {"timerfd": TIMERFD_CLICKS, "portal_clicks": PORTAL_CLICKS, "ei_clicks": EI_CLICKS,
                   "wlr_clicks": WLR_CLICKS}
REFERENCE_ARGS = {"wlr_clicks": (*POINT, *SWAY_LAYOUT)}  # the others: the point

AIM_RATE = 100.0       # clicks/s, to one decimal
AIM_MEDIAN_MS = 0.1    # |median interval - 10 ms|
AIM_P99_FACTOR = 1.2   # tapwing's p99 |deviation| against its reference's
AIM_STOP_MS = 10.0     # F6 -> last click, the worst of the stops
AIM_IDLE_CPU = 0.3     # % of one core
AIM_SHOWN_S = 0.5      # exec -> window mapped, median


def log(*parts):
    print("[bench-linux]", *parts, file=sys.stderr, flush=True)


def now_us():
    return time.monotonic_ns() // 1000


# ---- Arithmetic (see test_bench.py) -------------------------------------------------------


def round_figures(stamps_us):
    """period_figures, with each |deviation| kept for the p99 over all rounds."""
    figures = period_figures(stamps_us, PERIOD_MS)
    figures["deviations"] = [round(abs((b - a) / 1000 - PERIOD_MS), 3) for a, b in zip(stamps_us, stamps_us[1:])]
    return figures


def median_round(rounds, key="p99"):
    """The round whose `key` is the median of the rounds' (the lower of the middle two for an
    even count), with every round's value in run order ("rounds"), the intervals of all rounds
    ("total") and, where the rounds kept their deviations, the p99 over all of them ("all p99").
    Rounds without intervals count as missing. None without any round."""
    done = [r for r in rounds if r and r.get("n")]
    if not done:
        return rounds[0] if rounds else None
    chosen = dict(sorted(done, key=lambda r: r[key])[(len(done) - 1) // 2])
    chosen["rounds"] = [r[key] for r in done]
    chosen["total"] = sum(r["n"] for r in done)
    if all("deviations" in r for r in done):
        chosen["all p99"] = percentile([d for r in done for d in r["deviations"]], 99)
    chosen.pop("deviations", None)
    return chosen


def delivery_ms(sends_us, presses_us):
    """For each press the target logged, the time since the last press sent before it, in ms;
    presses with no send within one period before them are left out."""
    latencies = []
    for press in presses_us:
        i = bisect.bisect_right(sends_us, press) - 1
        if i >= 0 and press - sends_us[i] < PERIOD_MS * 1000:
            latencies.append((press - sends_us[i]) / 1000)
    return latencies


def between(stamps, start, end):
    """The stamps in [start, end)."""
    return [s for s in stamps if start <= s < end]


def median_shares(rounds):
    """Each process's median CPU share over the rounds it was seen in."""
    seen = {}
    for shares in rounds:
        for name, share in shares.items():
            seen.setdefault(name, []).append(share)
    return {name: statistics.median(values) for name, values in seen.items()}


def chosen_rows(names):
    """The rows a --sessions list names, by row or by session kind, in the table's order."""
    unknown = set(names) - set(ROWS) - {row.kind for row in ROWS.values()}
    if unknown:
        raise ValueError(f"no row or session kind {', '.join(sorted(unknown))}")
    return [row for row in ROWS.values() if row.name in names or row.kind in names]


# ---- Measuring, in the child process of one session kind ---------------------------------


class BusWatch:
    """A monitor connection on the session bus (org.freedesktop.DBus.Monitoring.BecomeMonitor)
    that stamps, with CLOCK_MONOTONIC as GDBus's thread reads them, the hotkey presses on their
    way to tapwing: GlobalShortcuts' Activated signal (KDE) and the ActivateAction call of
    `tapwing --hotkey` (GNOME, sway). A monitor sees the unicast Activated, which a match rule alone
    would not."""

    RULES = ["type='signal',interface='org.freedesktop.portal.GlobalShortcuts',member='Activated'",
             "type='method_call',interface='org.freedesktop.Application',member='ActivateAction'"]

    def __init__(self, address):
        from gi.repository import Gio, GLib

        self.events = []  # (µs, key)
        flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
        self.bus = Gio.DBusConnection.new_for_address_sync(address, flags, None, None)
        self._kinds = (Gio.DBusMessageType.SIGNAL, Gio.DBusMessageType.METHOD_CALL)
        self.bus.add_filter(self._seen)
        self.bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.Monitoring",
                           "BecomeMonitor", GLib.Variant("(asu)", (self.RULES, 0)), None, 0, 5000, None)

    def _seen(self, bus, message, incoming):
        us = now_us()
        if not incoming or message.get_message_type() not in self._kinds:
            return message  # BecomeMonitor's own reply
        try:
            body = message.get_body().unpack()
            if message.get_member() == "Activated":
                self.events.append((us, body[1]))
            elif message.get_member() == "ActivateAction" and body[0] == "hotkey":
                self.events.append((us, body[1][0]))
        except (AttributeError, IndexError, TypeError):
            pass
        return None  # a monitor must never answer what it sees

    def first(self, key, since):
        return next((us for us, k in list(self.events) if k == key and us >= since), None)

    def close(self):
        self.bus.close_sync(None)


class Bench:
    """What every kind measures; the subclasses press the keys and start the references."""

    def __init__(self, session, args, row):
        self.s = session
        self.args = args
        self.row = row
        self.app = None
        self.ref = None
        self.rounds = {}   # row -> figures of each round, in run order
        self.results = {}  # everything else, JSON-ready
        self.way = {}      # name -> PIDs whose CPU each round measures; none on X11

    def wait_quiet(self, quiet_s, timeout):
        lh.wait_stable(self.s.click_mark, quiet_s, timeout, "the clicks to stop", interval=0.02)

    def lefts(self, mark, end=None):
        events = self.s.clicks(mark)
        return down_times(events[:None if end is None else end - mark], at=POINT)

    def start_run(self):
        mark = self.s.click_mark()
        self.s.hold_hotkey("F5", lambda: self.lefts(mark), self.app)
        return mark

    def count(self):
        return round(self.args.seconds * 1000 / PERIOD_MS)

    def alternate(self, runners):
        """Rounds of each runner in turn: the machine's slow minutes fall on all of them alike."""
        for i in range(self.args.rounds):
            for name, run in runners:
                log(f"round {i + 1}/{self.args.rounds}: {name}")
                for row, figures in run().items():
                    self.rounds.setdefault(row, []).append(figures)

    def tapwing_round(self):
        mark = self.start_run()
        cpu = soak.cpu_snapshot(self.way)
        time.sleep(self.args.seconds)
        end = self.s.click_mark()  # everything before the stop key
        self.cpu_since(cpu, "tapwing")
        self.stop_run()
        self.presses = self.lefts(mark, end)
        return {"tapwing": round_figures(self.presses)}

    def on_the_way(self):
        """name -> PIDs of every process on the clicks' way: tapwing, the reference, the
        session's own (compositor, PipeWire, the click target) and whatever its bus started
        (the portal and its backend); the bus daemon's children too."""
        groups = {"tapwing": [self.app.pid]}
        if self.ref:
            groups[self.row.reference] = [self.ref.pid]
        groups.update({name: [proc.pid] for name, proc in getattr(self.s, "_procs", {}).items()})
        if getattr(self.s, "_clicktarget", None):
            groups["click target"] = [self.s._clicktarget.pid]
        for pid, name in soak.on_bus(self.s.env["DBUS_SESSION_BUS_ADDRESS"], self.s._bus.pid).items():
            groups.setdefault(name, []).append(pid)
        return groups

    def cpu_since(self, snapshot, clicker):
        if self.way:
            self.results.setdefault("cpu", {}).setdefault(clicker, []).append(soak.cpu_shares(snapshot, self.way))

    def stop_latency(self):
        latencies, sent, missed = [], [], 0
        for i in range(self.args.stops):
            mark = self.start_run()
            # Presses spread over one period's phases: F5 starts the run in step with the poll.
            time.sleep(0.4 + PERIOD_MS / 1000 * i / self.args.stops)
            pressed, presses = self.stop_run()
            lefts = self.lefts(mark)
            if presses > 1:
                missed += 1  # the clicks ran on until a later press: not this press's latency
            elif lefts and pressed is not None:
                latencies.append((lefts[-1] - pressed) / 1000)
                last_sent = self.last_press_sent()
                if last_sent is not None:
                    sent.append((last_sent - pressed) / 1000)
        self.results["stop"] = {"latencies": latencies, "missed": missed}
        if sent:
            self.results["stop sent"] = {"latencies": sent, "missed": missed}

    def last_press_sent(self):
        return None  # only the Wayland backend says when it sends

    def press_again_until_quiet(self, press):
        presses = 1
        while True:
            try:
                self.wait_quiet(0.3, 1.8)
                return presses
            except lh.harness.WaitTimeout:
                if presses >= 4:
                    raise
                presses += 1
                press()

    def soak(self, seconds):
        """One run of `seconds` at 10 ms: each 10 s window's clicks/s at the point and tapwing's
        resident memory as it goes, then the whole run's figures and the CPU of every process
        on the clicks' way, on stdout."""
        watched = self.on_the_way()
        tail, stamps = soak.LogTail(self.s.click_log), []
        self.start_run()
        start, ticks0 = now_us(), soak.cpu_snapshot(watched)
        rates, memory = [], []
        print(f"soak on {self.row.name}: {seconds:g} s at {PERIOD_MS} ms, "
              f"build {lh.TAPWING}", flush=True)
        for k in range(int(seconds // soak.WINDOW_S)):
            time.sleep(max(0.0, (start + (k + 1) * soak.WINDOW_S * 1_000_000 - now_us()) / 1e6 + 0.3))
            stamps += down_times([(int(us), e, int(x), int(y)) for us, e, x, y in
                                  (line.split() for line in tail.lines() if not line.startswith("#"))], at=POINT)
            rates.append(soak.window_rates(stamps, start, k + 1)[k])
            memory.append(soak.resident_kb(self.app.pid))
            print(f"window {k + 1:4d}  {rates[-1]:6.1f} clicks/s  resident {memory[-1]} kB", flush=True)
        cpu = soak.cpu_shares(ticks0, watched)
        self.stop_run()
        figures = soak.summary(rates, 0.97 * AIM_RATE)
        in_run = [s for s in stamps if start <= s < start + len(rates) * soak.WINDOW_S * 1_000_000]
        print(f"clicks {len(in_run)} of {len(rates) * soak.WINDOW_S * 1000 // PERIOD_MS}; windows {figures['windows']}: "
              f"median {figures['median']:.1f}, lowest {figures['lowest']:.1f}, below 97: {figures['below aim']}, "
              f"below 90: {figures['below 90']}; longest gap {soak.longest_gap_ms(in_run):.0f} ms; "
              f"resident {memory[0] if memory else 0} -> {memory[-1] if memory else 0} kB (max {max(memory, default=0)})")
        print("CPU % of a core while clicking: " + ", ".join(
            f"{n} {v:.1f}" for n, v in sorted(cpu.items(), key=lambda kv: -kv[1]) if v >= 0.1), flush=True)
        self.results["soak"] = {"rates": rates, "memory": memory, "cpu": cpu, **figures}

    def measure(self):
        if self.args.soak:
            self.setup()
            return self.soak(self.args.soak)
        self.setup()
        self.idle_cpu()
        self.periods()
        self.stop_latency()
        self.start_to_shown()


class X11Bench(Bench):
    def setup(self):
        self.app = self.s.start_tapwing()
        self.s.x.move(*POINT)
        self.s.hold_hotkey("F7", lambda: self.app.fields() == tuple(map(str, POINT)))
        self.app.select("动作", "左键单击")
        self.xt = XTest(self.s.display, clock=time.CLOCK_MONOTONIC)
        log(f"tapwing pid {self.app.pid} on {self.s.display}")

    def stop_run(self):
        """F6 from this process, its moment bracketed by CLOCK_MONOTONIC stamps; pressed again
        while the clicks go on. Returns (the press in µs, presses it took)."""
        before, after = self.xt.send(("key", XK_F6, True))
        time.sleep(0.15)  # held long enough for a 10 ms poll
        self.xt.send(("key", XK_F6, False))
        return (before + after) / 2, self.press_again_until_quiet(lambda: self.s.x.hold("F6"))

    def idle_cpu(self):
        """tapwing's share, and beside it that of a bare timerfd loop waking every 10 ms over
        the same window: the floor under any 10 ms poll on this machine."""
        time.sleep(1.0)  # start-up work settles
        hz = os.sysconf("SC_CLK_TCK")
        log(f"idle CPU over {self.args.idle:g} s")
        loop = subprocess.Popen([str(TIMERFD_CLICKS), str(round(self.args.idle * 1000 / PERIOD_MS) + 100),
                                 str(PERIOD_MS)])
        try:
            pids = (self.app.pid, loop.pid)
            before, t0 = [cpu_ticks(p) for p in pids], time.monotonic()
            time.sleep(self.args.idle)
            after, wall = [cpu_ticks(p) for p in pids], time.monotonic() - t0
        finally:
            lh._kill(loop)
        shares = [100 * (a - b) / hz / wall for a, b in zip(after, before)]
        self.results["idle"] = {"tapwing": shares[0], "timerfd wake-ups": shares[1], "resolution": 100 / hz / wall}

    def reference_round(self, name, command):
        def run():
            self.s.x.move(*POINT)
            mark = self.s.click_mark()
            subprocess.run([str(c) for c in command], env=self.s.env, check=True,
                           timeout=self.args.seconds * 3 + 10)
            self.wait_quiet(0.3, 5)
            return {name: round_figures(self.lefts(mark))}
        return run

    def periods(self):
        count = self.count()
        self.alternate([
            ("tapwing", self.tapwing_round),
            ("timerfd", self.reference_round("timerfd", [TIMERFD_CLICKS, count, PERIOD_MS, *POINT])),
            ("xdotool", self.reference_round("xdotool", ["xdotool", "click", "--repeat", count, "--delay",
                                                         PERIOD_MS, 1])),
        ])

    def window_of(self, pid):
        try:
            return self.s.x.xdotool("search", "--onlyvisible", "--pid", pid, "--name", "^Tapwing$").strip()
        except lh.XError:  # nothing matches yet
            return None

    def start_to_shown(self):
        self.app.kill()
        times = []
        for _ in range(self.args.starts):
            t0 = time.monotonic()
            app = self.s.start_tapwing(wait=False, log="starts")
            lh.wait_for(lambda: self.window_of(app.pid), 20, "the window to show", interval=0.002)
            times.append(time.monotonic() - t0)
            app.kill()
        self.results["shown"] = times


class WaylandBench(Bench):
    """tapwing through the portal (its Notify calls, or libei where it offers ConnectToEIS) or
    the wlroots virtual pointer (sway), against the reference clicker of that way in, in the
    same session. Its press sends come from the send_stamps library preloaded into it, the
    reference's from its own stamps: mutter's headless mode hands input to clients once per
    frame, so the target sees the clicks in batches."""

    def __init__(self, session, args, row):
        super().__init__(session, args, row)
        self.kind = row.name
        self.ref_name = row.reference
        self.stamps = session.dir / "sends-tapwing.log"
        self.watch = None

    def setup(self):
        self.s.env.update(self.row.env)  # every tapwing of the row, also the timed starts
        self.start_app()
        self.watch = BusWatch(self.s.env["DBUS_SESSION_BUS_ADDRESS"])

    def start_app(self):
        """The tapwing that clicks: send_stamps preloaded, the point captured, left click chosen."""
        # Only this tapwing: the reference and the timed starts go without the library.
        stamping = {"LD_PRELOAD": str(SEND_STAMPS), "TAPWING_SEND_STAMPS": str(self.stamps)}
        self.s.env.update(stamping)
        try:
            self.app = self.s.start_tapwing()
        finally:
            for name in stamping:
                del self.s.env[name]
        self.s.enter_point(self.app, POINT)  # typed where tapwing cannot read the pointer (KWin 6 headless)
        self.app.select("动作", "左键单击")
        # Its start-up line says which way the clicks take: a row must not pass off one for the other.
        said = (self.s.artifacts / "tapwing.log").read_text(errors="replace").splitlines()
        ways = [line.split(": ", 2)[-1] for line in said if line.startswith("tapwing: Wayland 输入: ")]
        if ways:
            self.results.setdefault("way", ways[-1])
        if self.way:
            self.way["tapwing"] = [self.app.pid]
        log(f"tapwing pid {self.app.pid} on {self.kind}")

    def press_f6(self):
        if self.s.global_hotkeys:
            self.s.input.hold("F6")  # the compositor's test input: a key as the keyboard gives it
        else:
            self.s.send_hotkey("F6")  # GNOME: a desktop shortcut running this

    def stop_run(self):
        """F6, again while the clicks go on. Returns (the moment the bus carried the first F6
        to tapwing in µs, or None if the watch missed it; presses it took)."""
        sent = now_us()
        self.press_f6()
        presses = self.press_again_until_quiet(self.press_f6)
        self.last_sent = sent
        return self.watch.first("F6", sent), presses

    def idle_cpu(self):
        """Of every process on the clicks' way, over the same window; the table shows tapwing's,
        the compositor's and PipeWire's, the CPU rows all of them. At rest as a user leaves it:
        focused, tapwing would blink its caret for GTK's 10 s after the setup's typing."""
        self.focus_target()
        time.sleep(1.0)
        log(f"idle CPU over {self.args.idle:g} s")
        way = self.on_the_way()
        before = soak.cpu_snapshot(way)
        time.sleep(self.args.idle)
        self.results["idle"] = soak.cpu_shares(before, way)
        self.results["idle"]["resolution"] = 100 / os.sysconf("SC_CLK_TCK") / self.args.idle

    def start_reference(self):
        from wayland_session import portal_dialog

        # Started as tapwing is: the same user, the same environment.
        command = [REFERENCE_TOOLS[self.ref_name], *REFERENCE_ARGS.get(self.ref_name, POINT)]
        self.ref = subprocess.Popen([str(c) for c in command], env=self.s.env, stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, stderr=self.s._log(self.ref_name), text=True,
                                    bufsize=1)
        self.s._record(self.ref.pid, self.ref_name)
        if self.s.family == "mutter" or self.s.plasma6:  # each new session without a restore token asks
            portal_dialog(allow=True)
        self.expect("ready", 20)

    def expect(self, word, timeout):
        if not select.select([self.ref.stdout], [], [], timeout)[0]:
            raise RuntimeError(f"{self.ref_name} said nothing within {timeout} s")
        line = self.ref.stdout.readline().strip()
        if line != word:
            raise RuntimeError(f"{self.ref_name}: {line or 'exited'} (code {self.ref.poll()})")

    def sends(self, path, start, end):
        try:
            stamps = [int(line) for line in path.read_text().split()]
        except FileNotFoundError:
            stamps = []
        return between(stamps, start, end)

    def delivered(self, clicker, sends, presses):
        """Each press's way from its sender to the click target, all rounds together."""
        self.results.setdefault("delivery", {}).setdefault(clicker, []).extend(delivery_ms(sends, presses))

    def last_press_sent(self):
        stamps = self.stamps.read_text().split() if self.stamps.exists() else []
        return int(stamps[-1]) if stamps else None

    def focus_target(self):
        """Every round starts as a user's does: the click target has the focus and the pointer
        is on the point. Typing into tapwing gives tapwing the focus, and the clicks that take it
        away reach the target late for some 250 ms, while the desktop and both windows redraw;
        a first move delays the first click too. This click comes before the round's mark."""
        self.s.input.click(*POINT)
        time.sleep(0.3)

    def tapwing_round(self):
        if self.app is None:
            self.start_app()
            time.sleep(SETTLE_S)
        self.focus_target()
        start = now_us()
        figures = super().tapwing_round()
        sends = self.sends(self.stamps, start, self.last_sent)
        self.delivered("tapwing", sends, self.presses)
        figures["tapwing sent"] = round_figures(sends)
        return figures

    def reference_round(self):
        if self.row.apart and self.app:
            self.app.kill()
            self.app = None
            time.sleep(SETTLE_S)  # the desktop ends its screen casts
        self.focus_target()
        sends = self.s.dir / f"sends-{self.ref_name}-{now_us()}.log"
        mark = self.s.click_mark()
        cpu = soak.cpu_snapshot(self.way)
        self.ref.stdin.write(f"run {self.count()} {PERIOD_MS} {sends}\n")
        self.expect("done", self.args.seconds * 3 + 10)
        self.cpu_since(cpu, self.ref_name)
        self.wait_quiet(0.3, 5)
        presses, sent = self.lefts(mark), self.sends(sends, 0, now_us())
        self.delivered(self.ref_name, sent, presses)
        return {self.ref_name: round_figures(presses), self.ref_name + " sent": round_figures(sent)}

    def periods(self):
        self.start_reference()
        self.way = self.on_the_way()
        try:
            self.alternate([("tapwing", self.tapwing_round), (self.ref_name, self.reference_round)])
        finally:
            self.ref.stdin.close()  # ends its portal session or its device
            lh._kill(self.ref)
        if self.app is None:
            self.start_app()

    def start_to_shown(self):
        """To the window showing in AT-SPI: Wayland tells no other client about windows. On
        GNOME the portal's dialog comes up beside it; it is cancelled after the measurement."""
        import pyatspi
        from wayland_session import portal_dialog

        self.app.kill()
        times, asked = [], False
        for _ in range(self.args.starts):
            asks = self.s.asks()  # GNOME 43 at every start, GNOME 48 while tapwing has no restore token
            asked |= asks
            t0 = time.monotonic()
            app = self.s.start_tapwing(wait=False, log="starts")

            def shown():
                if app.proc.poll() is not None:
                    raise AssertionError(f"tapwing exited with code {app.proc.returncode}")
                try:
                    return app.window().getState().contains(pyatspi.STATE_SHOWING)
                except Exception:  # not on the accessibility bus yet
                    return False

            lh.wait_for(shown, 20, "the window to show", interval=0.002)
            times.append(time.monotonic() - t0)
            if asks:
                portal_dialog(allow=False)
            app.kill()
        self.results["shown"] = times
        self.results["shown asked"] = asked

    def measure(self):
        try:
            super().measure()
        finally:
            if self.watch:
                self.watch.close()


def child(row, args):
    """Measures one row in a session of its own; writes what it has as JSON to args.results."""
    sys.setswitchinterval(0.0005)  # the bus watch's thread stamps as soon as it reads
    lh.harness.session.install_signal_cleanup()
    kind = row.kind
    if kind == "x11":
        session = lh.NativeSession("bench")
    else:
        from wayland_session import WaylandSession
        session = WaylandSession(f"bench-{row.name}", kind)
    bench = (X11Bench if kind == "x11" else WaylandBench)(session, args, row)
    failed = None
    try:
        session.start()
        bench.measure()
    except (Exception, unittest.SkipTest) as error:  # report what was measured before it went wrong
        failed = f"{type(error).__name__}: {error}"
    finally:
        session.stop()
    bench.results["rounds"] = bench.rounds
    bench.results["display"] = session.display if kind == "x11" else kind
    bench.results["failed"] = failed
    Path(args.results).write_text(json.dumps(bench.results))
    return 1 if failed else 0


# ---- Output -------------------------------------------------------------------------------


def rounds_text(f):
    if not f or not f.get("rounds"):
        return ""
    every = f"; all {fmt(f['all p99'])}" if "all p99" in f else ""
    return "/".join(fmt(p) for p in f["rounds"]) + every + f" ({f['total']})"


def period_row(label, f, verdict, aim=""):
    if not f or not f["n"]:
        return (label, "0", "-", "-", "-", "-", "-", "", "no clicks", verdict)
    return (label, str(f["n"]), fmt(f["median"], 3), fmt(f["p95"], 3), fmt(f["p99"], 3), fmt(f["max"], 3),
            fmt(f["rate"], 1), rounds_text(f), aim, verdict)


def period_ok(tap, ref):
    ok = bool(tap["n"]) and round(tap["rate"], 1) == AIM_RATE and abs(tap["median"] - PERIOD_MS) <= AIM_MEDIAN_MS
    if ref and ref["n"]:
        # Over every round's intervals: one round's p99 rests on its 5 worst, which a single
        # stall of the desktop decides.
        ok = ok and tap.get("all p99", tap["p99"]) <= AIM_P99_FACTOR * ref.get("all p99", ref["p99"])
    return ok


def tapwing_row(label, tap, ref, ref_name):
    return period_row(label, tap, yes_no(period_ok(tap, ref)),
                      f"{AIM_RATE:.1f}/s, median {PERIOD_MS}±{AIM_MEDIAN_MS:g}, "
                      f"p99 of all rounds <= {AIM_P99_FACTOR:g} x {ref_name}'s")


def other_row(label, n="", median="", aim="", verdict=""):
    return (label, n, median, "", "", "", "", "", aim, verdict)


def common_rows(results, prefix, source):
    rows = []
    for key, what in (("stop", "last click"), ("stop sent", "last press sent")):
        if key not in results:
            continue
        lat, missed = results[key]["latencies"], results[key]["missed"]
        text = f"max <= {AIM_STOP_MS:g} ms; max {fmt(max(lat, default=None))} ms; F6 presses missed: {missed}"
        rows.append(other_row(f"{prefix}F6 -> {what}{source}", str(len(lat)),
                              fmt(statistics.median(lat) if lat else None), text,
                              yes_no(bool(lat) and max(lat) <= AIM_STOP_MS)))
    return rows


def idle_rows(results, prefix, beside=None):
    """tapwing's idle share against the aim, and beside it those of `beside` (all without)."""
    idle = results.get("idle")
    if not idle:
        return []
    share = idle.get("tapwing")
    rows = [other_row(f"{prefix}idle CPU tapwing", aim=f"{fmt(share)} % of a core (±{fmt(idle['resolution'])}), "
                      f"aim <= {AIM_IDLE_CPU:g} %", verdict=yes_no(share is not None and share <= AIM_IDLE_CPU))]
    for name, value in idle.items():
        if name not in ("tapwing", "resolution") and (beside is None or name in beside):
            what = ("a bare 10 ms wake-up loop, same window" if name == "timerfd wake-ups"
                    else "the same window, serving the session")
            rows.append(other_row(f"{prefix}idle CPU {name}", aim=f"{fmt(value)} % of a core: {what}",
                                  verdict="(ref)"))
    return rows


def shown_rows(results, prefix, how=""):
    times = results.get("shown")
    if not times:
        return []
    median = statistics.median(times)
    return [other_row(f"{prefix}start to window shown", str(len(times)), fmt(median * 1000, 1),
                      f"median {fmt(median, 3)} s, max {fmt(max(times), 3)} s, aim < {AIM_SHOWN_S:g} s{how}",
                      yes_no(median < AIM_SHOWN_S))]


def table_rows(results):
    """The X11 rows; results hold the median rounds as "tapwing", "timerfd", "xdotool"."""
    rows = []
    tap, ref = results.get("tapwing"), results.get("timerfd")
    if tap:
        rows.append(tapwing_row(f"tapwing (native) {PERIOD_MS} ms", tap, ref, "timerfd"))
    if ref:
        rows.append(period_row(f"timerfd loop {PERIOD_MS} ms", ref, "(ref)"))
    if results.get("xdotool"):
        rows.append(period_row(f"xdotool --delay {PERIOD_MS}", results["xdotool"], "(ref)"))
    rows += common_rows(results, "", "")
    rows += idle_rows(results, "")
    rows += shown_rows(results, "")
    return rows


def cpu_rows(results, prefix, row):
    """The CPU of the processes on the clicks' way, each the median of the rounds of each
    clicker, beside its idle share: tapwing and the reference, the compositor and the portal's
    processes always, the others where they took 0.1 % or more."""
    cpu, idle = results.get("cpu"), results.get("idle", {})
    if not cpu:
        return []
    clickers = {c: median_shares(cpu[c]) for c in ("tapwing", row.reference) if c in cpu}
    seen = {name for shares in clickers.values() for name, value in shares.items() if value >= 0.1}
    first = ["tapwing", row.reference, row.compositor]
    names = first + sorted(n for n in set().union(*clickers.values()) - set(first)
                           if n.startswith("xdg-desktop-portal") or n in seen)
    rows = []
    for name in names:
        parts = []
        for clicker, shares in clickers.items():
            if name in shares:
                over = f" ({shares[name] - idle[name]:+.1f} over idle)" if name in idle else ""
                parts.append(f"{fmt(shares[name], 1)}{over} while {clicker} clicks")
        if name in idle:
            parts.append(f"idle {fmt(idle[name], 1)}")
        if parts:
            rows.append(other_row(f"{prefix}CPU {name}", aim="% of a core: " + ", ".join(parts), verdict="(ref)"))
    return rows


def wayland_rows(name, results):
    """One Wayland row's lines: at the target and as sent, tapwing beside its reference; the
    stops, the idle and clicking CPU, the starts."""
    row = ROWS[name]
    rows, p, name = [], f"{row.name}: ", row.reference
    if results.get("way"):
        rows.append(other_row(f"{p}tapwing's way", aim=results["way"]))
    for where in ("", " sent"):
        tap, ref = results.get("tapwing" + where), results.get(name + where)
        label = " at target" if not where else " sent"
        if tap:
            rows.append(tapwing_row(f"{p}tapwing {PERIOD_MS} ms{label}", tap, ref, name))
        if ref:
            rows.append(period_row(f"{p}{name} {PERIOD_MS} ms{label}", ref, "(ref)"))
    for clicker in ("tapwing", name):
        way = results.get("delivery", {}).get(clicker)
        if way:
            rows.append(other_row(f"{p}{clicker} sent -> target", str(len(way)), fmt(statistics.median(way), 3),
                                  f"p95 {fmt(percentile(way, 95))}, p99 {fmt(percentile(way, 99))}, "
                                  f"max {fmt(max(way))} ms: the desktop's delivery, all rounds", "(ref)"))
    rows += common_rows(results, p, f" (from {row.stop_from})")
    rows += idle_rows(results, p, beside=(row.compositor, "pipewire"))
    rows += cpu_rows(results, p, row)
    rows += shown_rows(results, p, "; in AT-SPI" + ("; dialog not yet answered" if results.get("shown asked") else ""))
    return rows


def reduced(part):
    """A child's results with each row's rounds reduced to the median round."""
    out = dict(part)
    for row, rounds in part.get("rounds", {}).items():
        out[row] = median_round(rounds)
    return out


def table(parts, info):
    head = ("measure", "n", "median ms", "p95 |dev|", "p99 |dev|", "max |dev|", "clicks/s", "p99 of rounds (n)",
            "aim / value", "met")
    rows = []
    for name in ROWS:
        if name in parts:
            part = reduced(parts[name])
            rows += table_rows(part) if name == "x11" else wayland_rows(name, part)
    out = [f"Tapwing native timing benchmark - {info['cpus']} CPUs, {info['kernel']}, "
           f"sessions: {', '.join(k for k in ROWS if k in parts)}",
           f"measured build: {lh.TAPWING}"]
    out += aligned(head, rows, left=(0, 7, 8))
    out.append("")
    out.append("intervals between left-button presses logged by each session's click target (CLOCK_MONOTONIC), "
               "\"sent\": between press calls as the sender stamped them; |dev| = |interval - 10 ms| in ms; "
               "each period row is the median round by p99; \"all\": the p99 over every round's intervals, "
               "which the aim is checked on")
    for kind, part in parts.items():
        if part.get("failed"):
            out.append(f"{kind}: stopped early: {part['failed']}")
    out.append(f"machine: load {info['load_before']} before, {info.get('load_after')} after; "
               f"CPUs {fmt(info.get('busy'), 0)} % busy during the run (this benchmark included); "
               f"whole run {fmt(info.get('wall'), 0)} s")
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    timing_options(parser)
    parser.add_argument("--starts", type=int, default=5, help="starts timed to the window (default 5)")
    parser.add_argument("--rounds", type=int, default=3, help="alternating rounds of each clicker (default 3)")
    parser.add_argument("--sessions", default=",".join(DEFAULT_ROWS),
                        help=f"rows or session kinds, of {','.join(ROWS)} (default {','.join(DEFAULT_ROWS)}; "
                             "gnome48, kwin6 and sway-current in the Debian 13 root, gnome-testing and "
                             "kwin-testing in the testing root)")
    parser.add_argument("--soak", type=float, default=0, metavar="SECONDS",
                        help="instead of the table: one run that long at 10 ms per session kind, "
                             "printing every 10 s window's clicks/s, the resident memory and the CPU on the way")
    parser.add_argument("--child", choices=ROWS, help=argparse.SUPPRESS)
    parser.add_argument("--results", help=argparse.SUPPRESS)
    args, ignored = parser.parse_known_args()
    if args.child:
        return child(ROWS[args.child], args)
    if ignored:
        log(f"ignoring the Wine part's options: {' '.join(ignored)}")
    try:
        rows = chosen_rows([k for k in args.sessions.split(",") if k])
    except ValueError as error:
        parser.error(f"--sessions: {error}; of {','.join(ROWS)}")
    needed = ([lh.TAPWING, TIMERFD_CLICKS] + sorted({REFERENCE_TOOLS[r.reference] for r in rows})
              + ([SEND_STAMPS] if any(r.kind != "x11" for r in rows) else []))
    if not all(p.exists() for p in needed):
        log(f"{' or '.join(map(str, needed))} is not built ({lh.BUILD_HINT})")
        return 2

    info = {"load_before": load_average(), "cpus": os.cpu_count(), "kernel": os.uname().release}
    busy0, total0 = machine_ticks()
    t0 = time.monotonic()
    parts, status = {}, 0
    forwarded = [f"--seconds={args.seconds:g}", f"--stops={args.stops}", f"--idle={args.idle:g}",
                 f"--starts={args.starts}", f"--rounds={args.rounds}", f"--soak={args.soak:g}"]
    with tempfile.TemporaryDirectory(prefix="tapwing-bench-") as tmp:
        for kind in (r.name for r in rows):
            log(f"--- {kind} ---")
            out = Path(tmp) / f"{kind}.json"
            proc = subprocess.Popen([sys.executable, __file__, "--child", kind, "--results", str(out), *forwarded])
            try:
                code = proc.wait(timeout=900 + args.soak)
            except BaseException:
                proc.terminate()  # its own cleanup stops the session
                code = proc.wait()
                if not out.exists():
                    raise
            if out.exists():
                parts[kind] = json.loads(out.read_text())
            else:
                parts[kind] = {"failed": f"no results (exit code {code})"}
            status |= code != 0
    busy1, total1 = machine_ticks()
    info["busy"] = 100 * (busy1 - busy0) / max(1, total1 - total0)
    info["load_after"] = load_average()
    info["wall"] = time.monotonic() - t0
    if not args.soak:
        print(table(parts, info))
    else:
        print(f"machine: load {info['load_before']} before, {info['load_after']} after; "
              f"CPUs {fmt(info['busy'], 0)} % busy during the run")
    return status


if __name__ == "__main__":
    sys.exit(main())
