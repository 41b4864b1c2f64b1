"""A test session: its own Xvfb display, its own copy of the Wine prefix (so its own
wineserver), the click target under everything and a persistent probe.

Every process the session starts is recorded in <session dir>/pids, so the CTest cleanup
fixture can end what a killed test left behind; nothing else is ever killed.
"""

import os
import re
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
from .waiting import wait_for, wait_stable
from .xdo import X


def renew_artifacts(folder):
    """An empty folder for a session's logs; the last session's go to <folder>.before, so a
    test CTest runs once more keeps its first try's."""
    before = folder.with_name(folder.name + ".before")
    shutil.rmtree(before, ignore_errors=True)
    if folder.exists():
        folder.rename(before)
    folder.mkdir(parents=True)


def _kill(proc, timeout=5):
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(timeout=timeout)


# Where korva.dll's class lives once it is registered (Wine does not merge HKCU classes in).
COMPONENT_SERVER_KEY = r"HKLM\Software\Classes\CLSID\{F0BBCDBA-4496-4837-BC5F-77A05375485C}\InprocServer32"


class Session:
    current = None  # the running session, for screenshots of failures
    xvfb_args = ()  # extra Xvfb options, for sessions that need a different server

    def __init__(self, name, click_target=True):
        """click_target=False leaves out the full-screen click target, for programs that
        must not have another Wine window tracking the pointer (it reports X pointer motion
        to the wineserver late, which can undo a SetCursorPos made just before)."""
        self.name = name
        self.with_click_target = click_target
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
                                        f"(cmake --preset {config.ARCH} && cmake --build --preset {config.ARCH})")
        started = time.monotonic()
        self.timings["template"] = prefix.ensure_template()
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        renew_artifacts(self.artifacts)
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
            subprocess.run(prefix.wineserver(self.env, "-p"), env=self.env, check=True, timeout=30)
            if self.with_click_target:
                self._start_clicktarget()
            self.probe = Probe(prefix.wine(self.env, config.PROBE_EXE), self.env, cwd=self.dir, log=self._log("probe"))
            self._record(self.probe.pid, "probe")
            self.probe.ping(timeout=30)
            if self.with_click_target:
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
            subprocess.run(prefix.wineserver(self.env, "-k"), env=self.env, timeout=30,
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
                 "-screen", "0", f"{w}x{h}x24", *self.xvfb_args],
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
            prefix.wine(self.env, config.CLICKTARGET_EXE, config.windows_path(self.click_log)),
            env=self.env, cwd=self.dir, stdout=subprocess.DEVNULL, stderr=self._log("clicktarget"))
        self._record(self._clicktarget.pid, "clicktarget")
        wait_for(lambda: self.click_log.read_text().startswith("# ready"), 30,
                 "the click target to start")

    # ---- Programs ----------------------------------------------------------------------

    def launch(self, exe, *args, cwd=None, name=None, arch=None):
        """Starts a Windows program in this session; returns its Popen (Unix PID = process).
        arch win32 starts a 32-bit program in a 64-bit prefix with the 32-bit loader: the
        64-bit one would hand it to another process."""
        name = name or Path(exe).stem
        env = prefix.loader_env(self.env, arch) if arch else self.env
        proc = subprocess.Popen(prefix.wine(env, exe, *args), env=env,
                                cwd=str(cwd or Path(exe).parent),
                                stdout=self._log(name), stderr=subprocess.STDOUT)
        self._record(proc.pid, name)
        return proc

    def run_program(self, exe, *args, cwd=None, timeout=60):
        """Runs a Windows console program to its end; returns (exit code, stdout, stderr)
        as text, also kept in the artifacts. Past the timeout it is killed and the wait fails.

        The output goes to files, not pipes: the first window of a prefix makes Wine start
        explorer.exe from that process, and it would hold a pipe open long after."""
        name = Path(exe).stem
        out_path, err_path = self.artifacts / f"{name}.stdout", self.artifacts / f"{name}.stderr"
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            proc = subprocess.Popen(prefix.wine(self.env, exe, *args), env=self.env,
                                    cwd=str(cwd or self.dir), stdout=out, stderr=err)
        self._record(proc.pid, name)
        try:
            proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            _kill(proc)
            raise AssertionError(f"{name} did not finish within {timeout} s; its output:\n"
                                 + out_path.read_text("utf-8", errors="replace")) from None
        return (proc.returncode, out_path.read_text("utf-8", errors="replace"),
                err_path.read_text("utf-8", errors="replace"))

    def copy_program(self, name="program-copy", without=(), source=None):
        """A copy of the program folder (or of `source`) inside the session, leaving out the
        named files; returns the folder. For runs whose folder must differ from the built one."""
        folder = self.dir / name
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir()
        skip = {w.lower() for w in without}
        for item in Path(source or config.PROGRAM_DIR).iterdir():
            if item.is_file() and item.name.lower() not in skip:
                shutil.copy2(item, folder / item.name)
        return folder

    def start_tapwing(self, *args, timeout=30, exe=None, arch=None):
        """Starts Tapwing.exe (the built one, or `exe`, say from copy_program, of build
        `arch` if that is not the prefix's) and waits for its window."""
        from .tapwing import Tapwing  # window knowledge lives with the Tapwing helpers

        exe = Path(exe or config.TAPWING_EXE)
        if not exe.exists():
            raise unittest.SkipTest(f"{exe} is not built "
                                    f"(cmake --preset {config.ARCH} && cmake --build --preset {config.ARCH})")
        app = Tapwing(self, self.launch(exe, *args, name="tapwing", arch=arch))
        self._apps.append(app)
        app.wait_shown(timeout)
        return app

    # ---- Registry ----------------------------------------------------------------------

    def reg_query(self, key, value=None, timeout=30, view=None):
        """The data of a registry value as text (value None: the key's default value), or
        None while the key or value does not exist. view 32 or 64 reads that registry view
        of a 64-bit prefix. Costs one short Wine process."""
        args = prefix.wine(self.env, "reg", "query", key, *(["/ve"] if value is None else ["/v", value]),
                           *([f"/reg:{view}"] if view else []))
        done = subprocess.run(args, env=self.env, capture_output=True, timeout=timeout)
        if done.returncode != 0:
            return None
        # reg.exe writes in the console code page: 936 in the test prefixes.
        for line in done.stdout.decode("gbk", errors="replace").splitlines():
            found = re.search(r"\s(REG_[A-Z_]+)\s+(.*)$", line)
            if found:
                return found.group(2).rstrip("\r")
        return None

    def wait_component_registered(self, folder=None, timeout=20, view=None):
        """Waits until korva.dll of `folder` (the built program folder by default) is the
        registered server of the input component (in registry view 32 or 64, if given);
        returns the registered path.

        Tapwing registers it at every start, before its window takes input; this confirms
        that it registered its own copy."""
        expected = config.windows_path(Path(folder or config.PROGRAM_DIR) / "korva.dll")
        return wait_for(lambda: (self.reg_query(COMPONENT_SERVER_KEY, view=view) or "").lower() == expected.lower()
                        and expected, timeout, f"{expected} registered under {COMPONENT_SERVER_KEY}",
                        interval=0.1)

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

    def press_hotkey(self, key, took_effect, timeout=3, attempts=3, window=None, seconds=None):
        """Holds a polled hotkey until took_effect() is true, pressing again if a press was
        missed (GetAsyncKeyState's "pressed since" bit is occasionally lost under Wine).
        window: send the key to that X window only (see X.hold); seconds: how long each
        press holds it. Returns the number of presses it took."""
        keys = getattr(self, "input", None) or self.x  # a Wayland session has no X
        for attempt in range(1, attempts + 1):
            keys.hold(key, seconds, window=window)
            try:
                wait_for(took_effect, timeout, f"{key} to take effect")
                return attempt
            except AssertionError:
                if attempt == attempts:
                    raise
        return attempts

    def clicks(self, since=0):
        """The click target's events after line `since`: (microseconds, event, x, y) tuples."""
        if not self.click_log.exists():
            return []
        text = self.click_log.read_text()
        text = text[:text.rfind("\n") + 1]  # not a line still being written
        lines = [l for l in text.splitlines() if l and not l.startswith("#")]
        out = []
        for line in lines[since:]:
            us, event, x, y = line.split()
            out.append((int(us), event, int(x), int(y)))
        return out

    def click_mark(self):
        return len(self.clicks())

    def wait_clicks(self, since, count, timeout, what=None):
        """Waits for at least `count` events after mark `since`; returns all of them."""
        return wait_for(lambda: (lambda events: len(events) >= count and events)(self.clicks(since)),
                        timeout, what or f"{count} click events")

    def wait_clicks_quiet(self, quiet, timeout):
        """Waits until no event has arrived for `quiet` seconds; returns the mark then."""
        return wait_stable(self.click_mark, quiet, timeout, "the click log to fall quiet")

    def assert_no_clicks(self, since, seconds):
        """Fails as soon as an event arrives after mark `since` within `seconds`."""
        deadline = time.monotonic() + seconds
        while True:
            events = self.clicks(since)
            if events:
                raise AssertionError(f"unexpected click events: {events[:6]}")
            if time.monotonic() >= deadline:
                return
            time.sleep(0.05)

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
