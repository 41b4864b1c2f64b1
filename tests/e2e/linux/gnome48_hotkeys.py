#!/usr/bin/env python3
"""tapwing's global hotkeys on GNOME 48, run by scripts/test-gnome48.sh inside its Debian 13
root (that root's python, GTK and pyatspi; none of the repo's harness, which needs the host).

    gnome48_hotkeys.py TAPWING LOGDIR        # prints PASS/FAIL per check, exit 0 or 1
    gnome48_hotkeys.py --target POINTERFILE  # the click target, started by the above

Everything runs in /tmp and /run, which the script makes private to the run: a system bus
(gnome-shell 48 needs one), a session bus, headless gnome-shell, PipeWire, WirePlumber, a
full-screen GTK window that records where the pointer is, and tapwing. Keys and moves go in
through mutter's own RemoteDesktop API, as a keyboard the shell's shortcuts hear.
"""

import os
import subprocess
import sys
import time
from pathlib import Path

RUN = Path("/tmp/session")
SOCKET = "wayland-tapwing"
SCREEN = (1280, 1024)
POINT, AWAY = (1100, 850), (200, 200)  # on the click target, away from the centred windows
KEYS = {"Escape": 1, "shift": 42, "F5": 63, "F6": 64, "F7": 65}  # evdev codes
LEFT = 0x110


def wait_for(condition, timeout, what, interval=0.05):
    """Polls condition until it is true; an error counts as not yet (AT-SPI objects come and go
    under a poll), and the last one is told at the timeout."""
    end, error = time.monotonic() + timeout, None
    while True:
        try:
            value = condition()
            if value:
                return value
        except (LookupError, RuntimeError, StopIteration, OSError, ValueError) as e:
            error = e
        except Exception as e:  # pyatspi's errors are GLib.GError
            if type(e).__module__.split(".")[0] not in ("gi", "pyatspi"):
                raise
            error = e
        if time.monotonic() > end:
            raise TimeoutError(f"timed out waiting for {what}" + (f" (last: {error})" if error else ""))
        time.sleep(interval)


# ---- The click target ---------------------------------------------------------------------

def click_target(pointer_file):
    """Full screen, under the other windows once they come; writes "x y" where it last saw the
    pointer (window coordinates, the desktop's at full screen)."""
    import gi
    gi.require_version("Gtk", "3.0")
    from gi.repository import Gtk

    def seen(_widget, event):
        tmp = pointer_file.with_suffix(".new")
        tmp.write_text(f"{round(event.x)} {round(event.y)}\n")
        tmp.replace(pointer_file)
        return False

    window = Gtk.Window(title="Tapwing click target")
    window.add_events(0xFFFFFE)  # every event, motion and buttons among them
    window.connect("motion-notify-event", seen)
    window.connect("button-press-event", seen)
    window.connect("map-event", lambda *_: pointer_file.write_text("ready\n"))
    window.connect("destroy", Gtk.main_quit)
    window.fullscreen()
    window.show_all()
    Gtk.main()


# ---- The session --------------------------------------------------------------------------

class Session:
    def __init__(self, log_dir):
        self.log_dir = log_dir
        self.procs = []
        self.pointer_file = RUN / "pointer"

    def spawn(self, name, args, env=None):
        log = open(self.log_dir / f"{name}.log", "w")
        proc = subprocess.Popen(args, env=env or self.env, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        self.procs.append(proc)
        return proc

    def stop(self):
        for proc in reversed(self.procs):
            proc.terminate()
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                proc.kill()

    def start(self, tapwing):
        dirs = {var: RUN / sub for var, sub in (("XDG_RUNTIME_DIR", "run"), ("XDG_CONFIG_HOME", "config"),
                                               ("XDG_DATA_HOME", "data"), ("XDG_CACHE_HOME", "cache"),
                                               ("XDG_STATE_HOME", "state"))}
        for path in dirs.values():
            path.mkdir(mode=0o700, parents=True)
        keyfile = dirs["XDG_CONFIG_HOME"] / "glib-2.0/settings/keyfile"
        keyfile.parent.mkdir(parents=True)
        keyfile.write_text("[org/gnome/desktop/interface]\nenable-animations=false\n\n"
                           "[org/gnome/mutter]\ncenter-new-windows=true\n")
        bus = dirs["XDG_RUNTIME_DIR"] / "bus"
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "NO_AT_BRIDGE", "GTK_A11Y")}
        env.update({k: str(v) for k, v in dirs.items()})
        env.update(XDG_CURRENT_DESKTOP="GNOME", XDG_SESSION_TYPE="wayland", WAYLAND_DISPLAY=SOCKET,
                   GDK_BACKEND="wayland", GSETTINGS_BACKEND="keyfile", LANG="C.UTF-8",
                   DBUS_SESSION_BUS_ADDRESS=f"unix:path={bus}")
        self.env = env
        os.environ.update(env)  # pyatspi and Gio here use the session's bus

        Path("/run/dbus").mkdir(exist_ok=True)
        self.spawn("system-bus", ["dbus-daemon", "--system", "--nofork", "--nopidfile"])
        self.spawn("session-bus", ["dbus-daemon", "--session", "--nofork", "--nopidfile", f"--address=unix:path={bus}"])
        wait_for(lambda: Path("/run/dbus/system_bus_socket").exists() and bus.exists(), 10, "the buses")
        shell = self.spawn("gnome-shell", ["gnome-shell", "--headless", "--wayland", "--no-x11", "--wayland-display",
                                           SOCKET, "--virtual-monitor", "%dx%d" % SCREEN])

        def up():
            if shell.poll() is not None:
                raise RuntimeError(f"gnome-shell exited with code {shell.returncode}")
            return (dirs["XDG_RUNTIME_DIR"] / SOCKET).exists()

        wait_for(up, 30, "gnome-shell's Wayland socket")
        self.spawn("pipewire", ["pipewire"])
        self.spawn("wireplumber", ["wireplumber"])
        self.input = MutterInput()
        self.spawn("clicktarget", [sys.executable, __file__, "--target", str(self.pointer_file)])
        wait_for(self.pointer_file.exists, 15, "the click target")
        self.tapwing = self.spawn("tapwing", [str(tapwing)])

    def pointer(self):
        try:
            x, y = self.pointer_file.read_text().split()
            return int(x), int(y)
        except ValueError:
            return None

    def move(self, point):
        """Moves the pointer and waits until the click target saw it there. mutter drops the first
        move after a client maps, and reports none to where the pointer already is: from beside."""
        def there():
            self.input.move(point[0] + 1, point[1])
            self.input.move(*point)
            return self.pointer() == point

        wait_for(there, 10, f"the pointer at {point}", interval=0.2)


class MutterInput:
    """A session of org.gnome.Mutter.RemoteDesktop with a screen cast of the one monitor, whose
    stream positions are the desktop's."""

    RD, SC = "org.gnome.Mutter.RemoteDesktop", "org.gnome.Mutter.ScreenCast"

    def __init__(self):
        from gi.repository import Gio, GLib

        self.V = GLib.Variant
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        wait_for(lambda: self._owned(self.RD) and self._owned(self.SC), 15, "mutter's remote desktop API")
        self.session = self._call(self.RD, "/org/gnome/Mutter/RemoteDesktop", self.RD, "CreateSession", None)[0]
        session_id = self._call(self.RD, self.session, "org.freedesktop.DBus.Properties", "Get",
                                self.V("(ss)", (self.RD + ".Session", "SessionId")))[0]
        cast = self._call(self.SC, "/org/gnome/Mutter/ScreenCast", self.SC, "CreateSession",
                          self.V("(a{sv})", ({"remote-desktop-session-id": self.V("s", session_id)},)))[0]
        self.stream = self._call(self.SC, cast, self.SC + ".Session", "RecordMonitor", self.V("(sa{sv})", ("", {})))[0]
        self._rd("Start", None)
        self.key("shift")  # a new session drops its first key

    def _owned(self, name):
        return self._call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                          self.V("(s)", (name,)))[0]

    def _call(self, name, path, interface, method, args):
        reply = self.bus.call_sync(name, path, interface, method, args, None, 0, 10000, None)
        return reply.unpack() if reply else ()

    def _rd(self, method, args):
        self._call(self.RD, self.session, self.RD + ".Session", method, args)

    def move(self, x, y):
        self._rd("NotifyPointerMotionAbsolute", self.V("(sdd)", (self.stream, x, y)))

    def click(self):
        for down in (True, False):
            self._rd("NotifyPointerButton", self.V("(ib)", (LEFT, down)))

    def key(self, name, hold=0.05):
        self._rd("NotifyKeyboardKeycode", self.V("(ub)", (KEYS[name], True)))
        time.sleep(hold)
        self._rd("NotifyKeyboardKeycode", self.V("(ub)", (KEYS[name], False)))


# ---- AT-SPI -------------------------------------------------------------------------------

def descendants(obj):
    for child in obj:
        if child is not None:
            yield child
            yield from descendants(child)


def apps():
    import pyatspi

    for app in pyatspi.Registry.getDesktop(0):
        if app is not None:
            app.clearCache()
            yield app


def app_of(pid):
    return next((app for app in apps() if app.get_process_id() == pid), None)


def dump_accessibles(log):
    """Every application's tree, into the log: what a failed dialog search saw."""
    with open(log, "w") as out:
        for app in apps():
            out.write(f"{app.name} pid {app.get_process_id()}\n")
            for obj in descendants(app):
                out.write(f"  {obj.getRoleName()}: {obj.name!r}\n")


def answer_dialogs(timeout=60):
    """Answers the "Remote desktop" dialog (remote interaction ticked, Share) and the one
    "Add Keyboard Shortcuts" dialog (Add), in whichever order they come."""
    import pyatspi

    todo = {"Share", "Add"}

    def answered():
        for app in apps():
            objs = list(descendants(app))
            # GTK 4 names a button by its mnemonic and its label: "_Share Share".
            buttons = {o.name.split(" ")[-1]: o for o in objs if o.getRole() == pyatspi.ROLE_PUSH_BUTTON and o.name}
            for label in todo & buttons.keys():
                if label == "Share":
                    # Named twice: the row, without an action, and the check box in it.
                    tick = next(o for o in objs if o.getRole() == pyatspi.ROLE_CHECK_BOX
                                and "remote interaction" in o.name.lower() and o.queryAction().nActions)
                    if not tick.getState().contains(pyatspi.STATE_CHECKED):
                        tick.queryAction().doAction(0)
                        wait_for(lambda: tick.getState().contains(pyatspi.STATE_CHECKED), 5, "the tick")
                buttons[label].queryAction().doAction(0)
                todo.discard(label)
        return not todo

    try:
        wait_for(answered, timeout, "the portal dialogs", interval=0.3)
    except TimeoutError:
        raise TimeoutError(f"no dialog with {' or '.join(sorted(todo))}")


class Tapwing:
    def __init__(self, pid):
        self.pid = pid

    def find(self, role, name):
        import pyatspi

        app = app_of(self.pid)
        if app is None:
            raise LookupError("tapwing is not in AT-SPI")
        for obj in descendants(app):
            if obj.getRole() == getattr(pyatspi, role) and obj.name == name:
                return obj
        raise LookupError(f"no {role} {name!r}")

    def fields(self):
        return tuple(self.find("ROLE_TEXT", name).queryText().getText(0, -1) for name in ("X坐标", "Y坐标"))

    def select(self, name, entry):
        combo = self.find("ROLE_COMBO_BOX", name)
        entries = [item.name for item in combo[0]]
        combo.querySelection().selectChild(entries.index(entry))
        wait_for(lambda: self.find("ROLE_COMBO_BOX", name).querySelection().getSelectedChild(0).name == entry, 5,
                 f"{name} showing {entry}")

    def dialogs(self):
        import pyatspi

        app = app_of(self.pid)
        return [c for c in app if c is not None and c.getRole() in (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG)
                and c.getState().contains(pyatspi.STATE_SHOWING)]

    def has_focus(self):
        import pyatspi

        app = app_of(self.pid)
        return any(w is not None and w.getState().contains(pyatspi.STATE_ACTIVE) for w in app)


# ---- The checks ---------------------------------------------------------------------------

def main(tapwing_path, log_dir):
    session = Session(log_dir)
    failed = []

    def check(name, test):
        try:
            test()
            print(f"PASS {name}", flush=True)
        except Exception as error:  # one check failing does not stop the others
            failed.append(name)
            print(f"FAIL {name}: {type(error).__name__}: {error}", flush=True)

    try:
        session.start(tapwing_path)
        app = Tapwing(session.tapwing.pid)
        wait_for(lambda: app_of(app.pid), 20, "tapwing in AT-SPI", interval=0.2)
        try:
            answer_dialogs()
        finally:
            dump_accessibles(log_dir / "accessibles.txt")
        keyfile = RUN / "config/glib-2.0/settings/keyfile"
        wait_for(lambda: "global-shortcuts" in keyfile.read_text(), 10, "the shortcuts bound")
        key = session.input.key
        key("Escape")  # the Overview, open since the shell started, holds the shortcuts back
    except Exception as error:
        print(f"FAIL session: {error}", flush=True)
        session.stop()
        return 1

    def focus_target():
        """The click target takes the focus: what reaches tapwing comes through the shortcuts."""
        session.move(AWAY)
        session.input.click()
        wait_for(lambda: not app.has_focus(), 5, "tapwing's window to lose the focus", interval=0.2)

    def held_f5_counts_once():
        # First of all: before any Deactivated has come, GNOME's repeats of the held key must
        # not count. Both fields show their placeholders, so every counted F5 shows a box.
        focus_target()
        key("F5", hold=1.5)  # past the desktop's key repeat
        wait_for(app.dialogs, 5, "F5's message box")
        time.sleep(1)  # any further press would show another box by now
        count = len(app.dialogs())
        if count != 1:
            raise AssertionError(f"{count} message boxes")
        import pyatspi

        button = next(o for o in descendants(app.dialogs()[0]) if o.getRole() == pyatspi.ROLE_PUSH_BUTTON)
        button.queryAction().doAction(0)
        wait_for(lambda: not app.dialogs(), 5, "the message box to close")

    def f7_captures():
        expected = tuple(map(str, POINT))
        focus_target()
        for attempt in range(3):  # from beside the point: the desktop reports only moves
            session.move(POINT)
            key("F7")
            try:
                return wait_for(lambda: app.fields() == expected, 3, f"the fields showing {expected}")
            except TimeoutError:
                if attempt == 2:
                    raise AssertionError(f"the fields show {app.fields()}")

    def f5_runs():
        app.select("动作", "无动作")
        app.select("延时", "延时100MS")
        focus_target()
        key("F5")
        wait_for(lambda: session.pointer() == POINT, 5, "the run to move the pointer to the point")

    def f6_stops():
        key("F6")

        def stopped():
            session.move(AWAY)
            time.sleep(1)  # ten periods of the run
            return session.pointer() == AWAY

        wait_for(stopped, 5, "the pointer to stay away")

    check("F5 held counts once (one message box)", held_f5_counts_once)
    check("F7 captures the pointer into X坐标/Y坐标", f7_captures)
    check("F5 starts the run (the pointer comes back to the point)", f5_runs)
    check("F6 stops the run (the pointer stays away)", f6_stops)
    session.stop()
    return 1 if failed else 0


if __name__ == "__main__":
    if sys.argv[1] == "--target":
        click_target(Path(sys.argv[2]))
    else:
        sys.exit(main(Path(sys.argv[1]), Path(sys.argv[2])))
