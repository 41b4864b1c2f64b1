"""A test session: its own Xvfb display, its own copy of the Wine prefix (so its own
wineserver), the click target under everything and a persistent probe.

Every process the session starts is recorded in <session dir>/pids, so the CTest cleanup
fixture can end what a killed test left behind; nothing else is ever killed.
"""

import os
import select
import shutil
import signal
import subprocess
import sys
import time
import unittest
from pathlib import Path

from . import config, prefix
from .probe import Probe
from .waiting import wait_for
from .xdo import X


def _kill(proc, timeout=5):
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(timeout=timeout)


class Session:
    current = None  # the running session, for screenshots of failures

    def __init__(self, name):
        self.name = name
        self.dir = config.SESSIONS_DIR / f"{name}-{os.getpid()}"
        self.prefix = self.dir / "prefix"
        self.artifacts = config.ARTIFACTS_DIR / name
        self.click_log = self.dir / "clicks.log"
        self.display = None
        self.env = None
        self.x = None
        self.probe = None
        self.clicktarget_hwnd = None
        self.timings = {}
        self._xvfb = None
        self._clicktarget = None
        self._apps = []
        self._other_window = None

    # ---- Lifecycle ---------------------------------------------------------------------

    def start(self):
        for exe in (config.PROBE_EXE, config.CLICKTARGET_EXE):
            if not exe.exists():
                raise unittest.SkipTest(f"{exe} is not built "
                                        "(cmake --preset win32 && cmake --build --preset win32)")
        started = time.monotonic()
        self.timings["template"] = prefix.ensure_template()
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        shutil.rmtree(self.artifacts, ignore_errors=True)
        self.artifacts.mkdir(parents=True)
        Session.current = self
        try:
            t = time.monotonic()
            prefix.copy_template(self.prefix)
            self.timings["copy"] = time.monotonic() - t

            t = time.monotonic()
            self._start_xvfb()
            self.timings["xvfb"] = time.monotonic() - t

            self.env = prefix.wine_env(self.prefix, self.display)
            self.x = X(self.display, os.environ)

            t = time.monotonic()
            # A persistent server: Wine processes come and go without restarting it.
            subprocess.run(["wineserver", "-p"], env=self.env, check=True, timeout=30)
            self._start_clicktarget()
            self.probe = Probe(str(config.PROBE_EXE), self.env, cwd=self.dir, log=self._log("probe"))
            self._record(self.probe.pid, "probe")
            self.probe.ping(timeout=30)
            wait_for(lambda: self.probe.find_windows(cls="TapwingClickTarget"), 20,
                     "the click target window to show")
            self.clicktarget_hwnd = self.probe.find_windows(cls="TapwingClickTarget")[0]["hwnd"]
            self.timings["wine"] = time.monotonic() - t
        except BaseException:
            self.stop()
            raise
        self.timings["start"] = time.monotonic() - started
        print(f"[{self.name}] session on {self.display}: " +
              ", ".join(f"{k} {v:.1f} s" for k, v in self.timings.items()), file=sys.stderr)
        return self

    def stop(self, keep=False):
        for app in list(self._apps):
            app.kill()
        if self.probe:
            self.probe.close()
        _kill(self._clicktarget)
        if self.env:
            # Ends what Wine itself started in this prefix (services, explorer).
            subprocess.run(["wineserver", "-k"], env=self.env, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _kill(self._xvfb)
        if Session.current is self:
            Session.current = None
        if not keep and not os.environ.get("TAPWING_E2E_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def _log(self, name):
        return open(self.artifacts / f"{name}.log", "ab")

    def _record(self, pid, what):
        with open(self.dir / "pids", "a") as f:
            f.write(f"{pid} {what}\n")

    def _start_xvfb(self):
        w, h = config.SCREEN
        read_end, write_end = os.pipe()
        try:
            self._xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp",
                 "-screen", "0", f"{w}x{h}x24"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=self._log("xvfb"),
                start_new_session=True)
            os.close(write_end)
            write_end = None
            self._record(self._xvfb.pid, "Xvfb")
            number = b""
            deadline = time.monotonic() + 15
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([read_end], [], [], left)[0]:
                    raise RuntimeError("Xvfb did not report its display within 15 s")
                chunk = os.read(read_end, 64)
                if not chunk:
                    raise RuntimeError(f"Xvfb exited (code {self._xvfb.wait()}) without a display")
                number += chunk
            self.display = ":" + number.decode().strip()
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)

    def _start_clicktarget(self):
        self.click_log.touch()
        self._clicktarget = subprocess.Popen(
            ["wine", str(config.CLICKTARGET_EXE), config.windows_path(self.click_log)],
            env=self.env, cwd=self.dir, stdout=subprocess.DEVNULL, stderr=self._log("clicktarget"))
        self._record(self._clicktarget.pid, "clicktarget")
        wait_for(lambda: self.click_log.read_text().startswith("# ready"), 30,
                 "the click target to start")

    # ---- Programs ----------------------------------------------------------------------

    def launch(self, exe, *args, cwd=None, name=None):
        """Starts a Windows program in this session; returns its Popen (Unix PID = process)."""
        name = name or Path(exe).stem
        proc = subprocess.Popen(["wine", str(exe), *map(str, args)], env=self.env,
                                cwd=str(cwd or Path(exe).parent),
                                stdout=self._log(name), stderr=subprocess.STDOUT)
        self._record(proc.pid, name)
        return proc

    def start_tapwing(self, *args, timeout=30):
        from .tapwing import Tapwing  # window knowledge lives with the Tapwing helpers

        if not config.TAPWING_EXE.exists():
            raise unittest.SkipTest(f"{config.TAPWING_EXE} is not built "
                                    "(cmake --preset win32 && cmake --build --preset win32)")
        app = Tapwing(self, self.launch(config.TAPWING_EXE, *args, name="tapwing"))
        self._apps.append(app)
        app.wait_shown(timeout)
        return app

    def forget(self, app):
        if app in self._apps:
            self._apps.remove(app)

    def other_window(self):
        """A plain Wine top-level window away from Tapwing, to take the activation from it."""
        if self._other_window is None or not self.probe.find_windows(cls="TapwingProbeDemo"):
            self._other_window = self.probe.demo_window("other window")
        return self._other_window

    # ---- Input and output --------------------------------------------------------------

    def focus(self, hwnd, timeout=10):
        """Gives a Wine top-level the X focus and waits until Wine makes it the foreground."""
        xid = wait_for(lambda: self.probe.x11_window(hwnd), timeout, f"an X window for {hwnd}")
        self.x.focus(xid)
        wait_for(lambda: self.probe.foreground() == hwnd, timeout, f"window {hwnd} in the foreground")

    def move_pointer(self, x, y, timeout=5):
        """Moves the X pointer and waits until Wine's GetCursorPos reports the new point;
        Wine learns of the motion asynchronously, through the click target."""
        self.x.move(x, y)
        wait_for(lambda: self.probe.cursor() == (x, y), timeout, f"Wine's cursor at {(x, y)}")

    def press_hotkey(self, key, took_effect, timeout=3, attempts=3):
        """Holds a polled hotkey until took_effect() is true, pressing again if a press was
        missed (GetAsyncKeyState's "pressed since" bit is occasionally lost under Wine).
        Returns the number of presses it took."""
        for attempt in range(1, attempts + 1):
            self.x.hold(key)
            try:
                wait_for(took_effect, timeout, f"{key} to take effect")
                return attempt
            except AssertionError:
                if attempt == attempts:
                    raise
        return attempts

    def clicks(self, since=0):
        """The click target's events after line `since`: (microseconds, event, x, y) tuples."""
        lines = [l for l in self.click_log.read_text().splitlines() if l and not l.startswith("#")]
        out = []
        for line in lines[since:]:
            us, event, x, y = line.split()
            out.append((int(us), event, int(x), int(y)))
        return out

    def click_mark(self):
        return len(self.clicks())

    def screenshot(self, name, crop=None):
        path = self.artifacts / f"{name}.png"
        return self.x.screenshot(path, crop)

    def screenshot_window(self, name, hwnd):
        r = self.probe.window(hwnd)["rect"]
        return self.screenshot(name, (r["left"], r["top"], r["width"], r["height"]))


def install_signal_cleanup():
    """Turns SIGTERM (a CTest timeout, a Ctrl+C in a wrapper) into a clean session stop."""
    def handler(signum, frame):
        if Session.current:
            Session.current.stop(keep=True)
        raise SystemExit(128 + signum)
    signal.signal(signal.SIGTERM, handler)
