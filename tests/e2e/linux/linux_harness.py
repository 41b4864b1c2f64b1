"""Native Linux sessions for the e2e tests: the Wine harness's Session (Xvfb, click log,
hotkey presses, screenshots, PID records) with a private D-Bus session instead of a Wine
prefix, the native click target, and the native tapwing seen through AT-SPI.

The private bus keeps AT-SPI's bus and registry to this session, so the tests see only this
display's programs. pyatspi is Debian's: run the tests with /usr/bin/python3.
"""

import os
import re
import select
import shutil
import signal
import subprocess
import sys
import unittest
from pathlib import Path

_E2E = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(_E2E))
# The linux preset's tree; CTest passes it, run by hand it is the standard one.
LINUX_BUILD = Path(os.environ.get("TAPWING_LINUX_BUILD") or _E2E.parents[1] / "build" / "linux")
os.environ.setdefault("TAPWING_E2E_WORK", str(LINUX_BUILD / "e2e"))

import harness  # noqa: E402
from harness import config, wait_for, wait_stable  # noqa: E402,F401
from harness.session import Session, _kill, renew_artifacts  # noqa: E402
from harness.xdo import X, XError  # noqa: E402,F401

PROGRAM_DIR = LINUX_BUILD / "Tapwing"
TAPWING = PROGRAM_DIR / "tapwing"
TOOLS_DIR = LINUX_BUILD / "e2e-tools"
CLICKTARGET = TOOLS_DIR / "x11_clicktarget"
BUILD_HINT = "cmake --preset linux && cmake --build --preset linux"

HINT_TITLE = "提示:"
main = harness.main


def require_tapwing():
    for path in (TAPWING, CLICKTARGET):
        if not path.exists():
            raise unittest.SkipTest(f"{path} is not built ({BUILD_HINT})")


def _alive(pid):
    """Running, not a zombie: an orphan waits for whoever is PID 1 to reap it, and in a
    lane's root that is ctest, which never does."""
    try:
        return Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0] != "Z"
    except (OSError, IndexError):
        return False


def _signal(pids, number):
    for pid in pids:
        if _comm(pid):
            try:
                os.kill(pid, number)
            except ProcessLookupError:
                pass


def remove_tree(path):
    """rmtree, after detaching what is mounted inside: a document portal that died before it
    unmounted leaves a FUSE folder that fails every call (ENOTCONN), rmtree's too."""
    inside = str(path).rstrip("/") + "/"
    with open("/proc/self/mounts") as mounts:
        points = [line.split()[1].replace("\\040", " ") for line in mounts]
    for point in sorted((p for p in points if p.startswith(inside)), reverse=True):
        subprocess.run(["umount", "--lazy", point], stderr=subprocess.DEVNULL)
    shutil.rmtree(path, ignore_errors=True)


def _descendants(root):
    children = {}
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            ppid = int(entry.joinpath("stat").read_text().rsplit(")", 1)[1].split()[1])
        except (OSError, ValueError, IndexError):
            continue
        children.setdefault(ppid, []).append(int(entry.name))
    out, todo = [], [root]
    while todo:
        for kid in children.get(todo.pop(), []):
            out.append(kid)
            todo.append(kid)
    return out


def _comm(pid):
    try:
        return Path(f"/proc/{pid}/comm").read_text().strip()
    except OSError:
        return None


SESSION_KINDS = ("x11", "kwin", "mutter", "sway", "weston", "gnome48", "sway-current", "kwin6",
                 "gnome-testing", "kwin-testing", "sway-testing", "labwc")
# The lanes' kinds (scripts/lane.sh): Debian 13's and Debian testing's versions of the same
# desktops, and labwc. Each runs as its family; the session branches on what a version does
# differently (gnome-shell, Plasma 6), not on the kind's name.
FAMILIES = {"gnome48": "mutter", "gnome-testing": "mutter", "sway-current": "sway", "sway-testing": "sway",
            "kwin6": "kwin", "kwin-testing": "kwin"}


def session_family():
    """The family of the session kind TAPWING_E2E_SESSION names: x11, kwin, mutter, sway, weston."""
    kind = os.environ.get("TAPWING_E2E_SESSION", "x11")
    return FAMILIES.get(kind, kind)


def open_session(name, **options):
    """Starts the session kind TAPWING_E2E_SESSION names (x11 when unset): how one suite runs
    on every display server. options go to the Wayland kinds (outputs, scale); a module that
    needs no input says without_input=True, and only it runs on weston."""
    kind = os.environ.get("TAPWING_E2E_SESSION", "x11")
    if kind not in SESSION_KINDS:
        raise ValueError(f"TAPWING_E2E_SESSION={kind!r}: one of {', '.join(SESSION_KINDS)}")
    if kind == "x11":
        return NativeSession(name).start()
    if kind == "weston" and not options.pop("without_input", False):
        raise unittest.SkipTest("weston has no seat: nothing there can click, type or press a key")
    options.pop("without_input", None)
    from wayland_session import WaylandSession
    for option in ("outputs", "scale"):
        value = os.environ.get(f"TAPWING_E2E_{option.upper()}")
        if value:
            options.setdefault(option, int(value))
    # Its own artifacts folder: each kind's logs stay for a look after the whole suite.
    way = "-notify" if os.environ.get("TAPWING_NO_LIBEI") else ""
    return WaylandSession(f"{name}-{kind}{way}", kind, **options).start()


class NativeSession(Session):
    """Xvfb (without XTEST if asked), a dbus-run-session of its own, the click target, and
    tapwing processes started in that environment. The Wayland kinds (wayland_session.py)
    keep its API: input (xdotool's calls), focus(), hold_hotkey(), the click log; x is the X
    display, None there."""

    kind = family = "x11"
    shell = plasma6 = wlroots = False  # gnome-shell, Plasma 6, a wlroots compositor (the Wayland kinds)
    global_hotkeys = True  # XInput2 hears the keys whatever has the focus
    reads_pointer = True  # F7 reads the pointer wherever it is
    run_as = ()  # a command prefix for the session's own user, where that is not root (sway)
    bus_args = ()
    program = TAPWING  # tapwing as the session's own user runs it

    def __init__(self, name, xtest=True):
        super().__init__(name)
        self.xtest = xtest
        self.xvfb_args = ("-dpi", "96") + (() if xtest else ("-extension", "XTEST"))
        self.with_click_target = xtest  # without XTEST nothing could click it
        self._bus = None

    def start(self):
        require_tapwing()
        shutil.rmtree(self.dir, ignore_errors=True)
        (self.dir / "run").mkdir(parents=True, mode=0o700)
        renew_artifacts(self.artifacts)
        Session.current = self
        try:
            self._start_xvfb()
            # C.UTF-8: the decimal point is "." and GTK's own buttons say "OK".
            self.env = dict(os.environ, DISPLAY=self.display, XDG_RUNTIME_DIR=str(self.dir / "run"),
                            LANG="C.UTF-8", LC_ALL="C.UTF-8")
            for off_switch in ("NO_AT_BRIDGE", "GTK_A11Y"):  # accessibility is how the tests look
                self.env.pop(off_switch, None)
            self._start_bus()
            self.x = self.input = X(self.display, self.env)
            if self.with_click_target:
                self._start_clicktarget()
        except BaseException:
            self.stop()
            raise
        # pyatspi, imported later in this process, finds the session's buses through these.
        os.environ.update(DISPLAY=self.display, DBUS_SESSION_BUS_ADDRESS=self.env["DBUS_SESSION_BUS_ADDRESS"])
        return self

    def stop(self, keep=False):
        for app in list(self._apps):
            app.kill()
        if self._bus:
            # The bus launched AT-SPI's bus and registry on demand; they are its descendants.
            started = [pid for pid in _descendants(self._bus.pid) if _comm(pid)]
            for pid in started:
                self._record(pid, _comm(pid))
            self._bus.stdin.close()  # ends the holder, and with it dbus-run-session's bus
            _kill(self._bus)
            self._bus.stdout.close()
            _signal(started, signal.SIGTERM)
            # The document portal unmounts its FUSE folder as it ends; one that will not end
            # is killed (remove_tree then detaches its folder).
            try:
                wait_for(lambda: not any(_alive(pid) for pid in started), 5, "the bus's services to end")
            except AssertionError:
                _signal(started, signal.SIGKILL)
        _kill(self._clicktarget)
        _kill(self._xvfb)
        if Session.current is self:
            Session.current = None
        if not keep and not os.environ.get("TAPWING_E2E_KEEP"):
            remove_tree(self.dir)

    def _start_bus(self):
        self._bus = subprocess.Popen(
            [*self.run_as, "dbus-run-session", *self.bus_args, "--", "sh", "-c",
             'echo "$DBUS_SESSION_BUS_ADDRESS"; exec cat >/dev/null'],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self._log("dbus"), env=self.env)
        self._record(self._bus.pid, "dbus-run-session")
        if not select.select([self._bus.stdout], [], [], 15)[0]:
            raise RuntimeError("dbus-run-session reported no bus address within 15 s")
        address = self._bus.stdout.readline().decode().strip()
        if not address:
            said = (self.artifacts / "dbus.log").read_text(errors="replace").strip()[-400:]
            raise RuntimeError(f"dbus-run-session exited (code {self._bus.wait()}) without a bus: {said}")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        if os.environ.get("TAPWING_E2E_MONITOR"):  # the bus's traffic, for a failure's reading
            monitor = subprocess.Popen(["dbus-monitor", "--address", address], stdout=self._log("monitor"),
                                       stderr=subprocess.STDOUT, env=self.env)
            self._record(monitor.pid, "dbus-monitor")

    def _start_clicktarget(self):
        self.click_log.touch()
        self._clicktarget = subprocess.Popen([str(CLICKTARGET), str(self.click_log)], env=self.env,
                                             stdout=subprocess.DEVNULL, stderr=self._log("clicktarget"))
        self._record(self._clicktarget.pid, "x11_clicktarget")
        ready = wait_for(lambda: re.match(r"# ready xid=(\d+)", self.click_log.read_text()), 10,
                         "the click target to show")
        self.clicktarget_xid = int(ready.group(1))

    def start_tapwing(self, program=TAPWING, wait=True, timeout=20, log="tapwing"):
        """Starts tapwing (the built one, or a copy from copy_program) and, if asked, waits
        until its window is shown and visible through AT-SPI."""
        from atspi_window import Tapwing  # imports pyatspi: only once the bus is known

        log = self._log(log)
        proc = subprocess.Popen([str(program)], env=self.env, cwd=str(self.dir), stdout=log,
                                stderr=subprocess.STDOUT)
        self._record(proc.pid, "tapwing")
        app = Tapwing(self, proc)
        self._apps.append(app)
        if wait:
            app.wait_shown(timeout)
        return app

    def copy_program(self, name="program-copy", without=()):
        return super().copy_program(name, without, source=PROGRAM_DIR) / TAPWING.name

    def focus(self, app=None):
        """Gives app's window (the click target's without one) the keyboard focus."""
        self.x.focus(app.xid if app else self.clicktarget_xid)

    def has_focus(self, app=None):
        return self.x.focused_window() == (app.xid if app else self.clicktarget_xid)

    def hold_hotkey(self, key, took_effect, app=None, seconds=None):
        """press_hotkey, with the key sent to app's window when the server has no XTEST."""
        window = app.xid if app and not self.xtest else None
        return self.press_hotkey(key, took_effect, window=window, seconds=seconds)

    def settle_after_exit(self):
        """After a tapwing ended: nothing of it lingers in an X session."""

    def said(self, *logs, tail=600):
        """The ends of these session logs, for a failure's message: CI shows only that."""
        parts = []
        for name in logs:
            log = self.artifacts / f"{name}.log"
            parts.append(f"{name} said: {log.read_text(errors='replace')[-tail:] if log.exists() else ''!r}")
        return "; ".join(parts)

    def send_hotkey(self, key):
        """`tapwing --hotkey KEY`, as a desktop shortcut runs it: its exit status and what it said."""
        done = self.run_tapwing("--hotkey", key)
        return done.returncode, done.stderr

    def run_tapwing(self, *args, program=None):
        """`tapwing ARGS` in the session, as its user (program: another tapwing than the
        session's); returns the finished process."""
        return subprocess.run([*self.run_as, str(program or self.program), *args], env=self.env, capture_output=True, text=True,
                              timeout=20)

    def enter_point(self, app, point):
        """Puts the point into app's fields: by F7 where tapwing reads the pointer, else typed."""
        if self.reads_pointer:
            return self.capture(app, point)
        for name, value in zip(("X坐标", "Y坐标"), map(str, point)):
            app.focus_field(name)  # which empties it
            self.input.type(value)
            wait_for(lambda: app.text(name) == value, 5, f"{value} typed into {name}")

    def capture_once(self, app, point):
        """The pointer moved there by the desktop's own input, then one F7: what the fields and
        message boxes show once either changes (F7 may wait for the desktop's first report)."""
        before = app.fields()
        self.input.move(*point)
        self.input.hold("F7") if self.global_hotkeys else self.send_hotkey("F7")
        try:
            wait_for(lambda: app.fields() != before or app.dialogs(), 5, "F7 to fill the fields or say why not")
        except AssertionError:
            pass  # what it shows is the caller's to judge
        return app.fields(), app.dialogs()

    def capture(self, app, point, attempts=5):
        """Puts the point into app's fields the user's way: pointer there, F7. Each try comes
        from beside the point: a Wayland desktop reports the pointer only when it moves, and a
        portal may still be granting the session."""
        if app.fields() == tuple(map(str, point)):
            # F7 there would show no change to wait for, and could land after the caller moved
            # the pointer on: go by a point beside it.
            self.capture(app, (point[0] + 1, point[1] + 1), attempts)
        for attempt in range(attempts):
            for dx, dy in ((6, 6), (-6, -6), (0, 0)):  # real motions, each a fresh report
                self.input.move(point[0] + dx, point[1] + dy)
            try:
                self.hold_hotkey("F7", lambda: app.fields() == tuple(map(str, point)), app)
                return
            except AssertionError as failure:
                if attempt == attempts - 1:
                    raise AssertionError(f"{failure}; fields {app.fields()}, message boxes {app.dialogs()}; "
                                         f"{self.said('tapwing')}") from None
