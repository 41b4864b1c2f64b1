"""Keyboard and pointer of a Wayland test session, with the calls the tests make of xdotool
(move, click, key, hold, type, pointer), through what each compositor offers a test:
KWin's org_kde_kwin_fake_input (the kwin_fake_input tool), mutter's own RemoteDesktop
D-Bus API (what its portal uses), sway's seat cursor over its IPC with wtype for keys.
Positions are desktop logical coordinates.
"""

import subprocess
import time

from harness import wait_for

# evdev codes (linux/input-event-codes.h) of the keys the tests press, US layout.
KEYCODES = {"Escape": 1, "BackSpace": 14, "Tab": 15, "Return": 28, "space": 57, "minus": 12,
            "period": 52, "shift": 42, "ctrl": 29, "alt": 56, "super": 125, "Up": 103, "Down": 108,
            "Left": 105, "Right": 106, "Home": 102, "End": 107, "Delete": 111}
KEYCODES.update({f"F{n}": 58 + n for n in range(1, 11)})
KEYCODES.update({str(n): 1 + n for n in range(1, 10)}, **{"0": 11})
for row, first in (("qwertyuiop", 16), ("asdfghjkl", 30), ("zxcvbnm", 44)):
    KEYCODES.update({c: first + i for i, c in enumerate(row)})
CHARACTERS = {"-": "minus", ".": "period", " ": "space"}
BUTTONS = {1: 0x110, 2: 0x112, 3: 0x111}  # left, middle, right as evdev buttons


def keycodes(combo):
    """"shift+Tab" -> [42, 15]: modifiers first, as they are pressed."""
    return [KEYCODES[part] for part in combo.split("+")]


class WaylandInput:
    """The tests' view of input; a driver does the sending (move, button, wheel, key)."""

    held = 0.15  # how long hold() holds a key by default
    # (x, width, height) of each output, where a move into another output must go by its middle
    # first: KWin 6's edge barrier holds a move across outputs about 100 px short.
    outputs = ()

    def __init__(self, driver, pointer_file):
        self.driver = driver
        self.pointer_file = pointer_file

    def pointer(self):
        """Where the click target last saw the pointer (Wayland tells no one else)."""
        x, y = self.pointer_file.read_text().split()
        return int(x), int(y)

    def _output(self, x, y):
        return next((o for o in self.outputs if o[0] <= x < o[0] + o[1] and 0 <= y < o[2]), None)

    def _send_move(self, x, y):
        there = self._output(x, y)
        if there:
            try:
                here = self._output(*self.pointer())
            except (OSError, ValueError):
                here = None
            if here != there:
                self.driver.move(there[0] + there[1] // 2, there[2] // 2)
        self.driver.move(x, y)

    def warp(self, x, y):
        self._send_move(x, y)

    def move(self, x, y):
        """Moves the pointer and waits until the click target saw it there. mutter sometimes
        holds a motion back (seen: a point part-way there) until more input comes; a nudge
        and the move again bring it through."""
        self._send_move(x, y)
        tries = iter(range(1000))

        def arrived():
            if self.pointer() == (x, y):
                return True
            if next(tries) % 10 == 9:
                self.driver.move(x + 1, y)
                self.driver.move(x, y)
            return False

        wait_for(arrived, 5, f"the pointer at {(x, y)}")

    def click(self, x, y, button=1, repeat=1, delay_ms=80):
        self.move(x, y)
        for i in range(repeat):
            if i:
                time.sleep(delay_ms / 1000)
            self.driver.button(BUTTONS[button], True)
            self.driver.button(BUTTONS[button], False)

    def wheel(self, steps):
        """Positive steps scroll down, as wl_pointer's axis does."""
        self.driver.wheel(steps)

    def _combo(self, combo, down):
        codes = keycodes(combo)
        for code in codes if down else reversed(codes):
            self.driver.key(code, down)

    def key(self, *keys, delay_ms=30):
        for combo in keys:
            self._combo(combo, True)
            self._combo(combo, False)
            time.sleep(delay_ms / 1000)

    def hold(self, key, seconds=None, window=None):
        self._combo(key, True)
        try:
            time.sleep(seconds or self.held)
        finally:
            self._combo(key, False)

    def type(self, text, delay_ms=60):
        for char in text:
            name = CHARACTERS.get(char, char)
            self.key(f"shift+{name.lower()}" if name.isupper() else name, delay_ms=delay_ms)


class KWinFakeInput:
    """One kwin_fake_input process: one fake device, each command answered once KWin has it."""

    def __init__(self, tool, env, log, record):
        self.proc = subprocess.Popen([str(tool)], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=log, text=True, bufsize=1)
        record(self.proc.pid, "kwin_fake_input")
        self._expect("ready")

    def _expect(self, answer):
        line = self.proc.stdout.readline().strip()
        if line != answer:
            raise RuntimeError(f"kwin_fake_input answered {line!r} (exit code {self.proc.poll()})")

    def _send(self, command):
        self.proc.stdin.write(command + "\n")
        self._expect("ok")

    def move(self, x, y):
        self._send(f"move {x} {y}")

    def button(self, code, down):
        self._send(f"button {code} {int(down)}")

    def wheel(self, steps):
        self._send(f"axis 0 {15 * steps}")

    def key(self, code, down):
        self._send(f"key {code} {int(down)}")

    def close(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            self.proc.wait(timeout=5)


class MutterRemoteDesktop:
    """A session of org.gnome.Mutter.RemoteDesktop with a screen cast of the primary monitor,
    whose stream absolute pointer positions refer to (one monitor: desktop coordinates)."""

    RD, SC = "org.gnome.Mutter.RemoteDesktop", "org.gnome.Mutter.ScreenCast"

    def __init__(self, bus_address):
        from gi.repository import Gio, GLib  # python3-gi: Debian's python only

        self._glib = GLib
        flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
        self.bus = Gio.DBusConnection.new_for_address_sync(bus_address, flags, None, None)
        wait_for(lambda: self._has_owner(self.RD) and self._has_owner(self.SC), 10, "mutter's remote desktop API")
        self.session = self._call(self.RD, "/org/gnome/Mutter/RemoteDesktop", self.RD, "CreateSession", None)[0]
        session_id = self._call(self.RD, self.session, "org.freedesktop.DBus.Properties", "Get",
                                GLib.Variant("(ss)", (self.RD + ".Session", "SessionId")))[0]
        cast = self._call(self.SC, "/org/gnome/Mutter/ScreenCast", self.SC, "CreateSession",
                          GLib.Variant("(a{sv})", ({"remote-desktop-session-id": GLib.Variant("s", session_id)},)))[0]
        self.stream = self._call(self.SC, cast, self.SC + ".Session", "RecordMonitor",
                                 GLib.Variant("(sa{sv})", ("", {})))[0]
        self._session_call("Start", None)
        # A new session drops its first key; a lone Shift press and release is harmless.
        self.key(KEYCODES["shift"], True)
        self.key(KEYCODES["shift"], False)

    def _has_owner(self, name):
        return self._call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                          "NameHasOwner", self._glib.Variant("(s)", (name,)))[0]

    def _call(self, name, path, interface, method, args):
        reply = self.bus.call_sync(name, path, interface, method, args, None, 0, 10000, None)
        return reply.unpack() if reply else ()

    def _session_call(self, method, args):
        self._call(self.RD, self.session, self.RD + ".Session", method, args)

    def move(self, x, y):
        self._session_call("NotifyPointerMotionAbsolute", self._glib.Variant("(sdd)", (self.stream, x, y)))

    def button(self, code, down):
        self._session_call("NotifyPointerButton", self._glib.Variant("(ib)", (code, down)))

    def wheel(self, steps):
        self._session_call("NotifyPointerAxisDiscrete", self._glib.Variant("(ui)", (0, steps)))

    def key(self, code, down):
        self._session_call("NotifyKeyboardKeycode", self._glib.Variant("(ub)", (code, down)))

    def close(self):
        try:
            self._session_call("Stop", None)
        except Exception:  # mutter may be gone already
            pass
        self.bus.close_sync(None)


class SwayInput(KWinFakeInput):
    """A wlr_virtual_pointer process (one device: it also gives sway's seat its pointer) and
    wtype's virtual keyboard, both run as the compositor's user. A key combination goes out as
    one wtype command once all its keys are released, so its presses and releases share one
    keyboard."""

    MODIFIERS = {KEYCODES["shift"]: "shift", KEYCODES["ctrl"]: "ctrl", KEYCODES["alt"]: "alt",
                 KEYCODES["super"]: "logo"}
    NAMES = {code: name for name, code in KEYCODES.items()}

    def __init__(self, tool, layout, run, env, log, record):
        self.run = run  # runs a command in the session, as its user; raises on failure
        self._pending, self._held = [], set()
        self.proc = subprocess.Popen([*tool, *map(str, layout)], env=env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=log, text=True, bufsize=1)
        record(self.proc.pid, "wlr_virtual_pointer")
        self._expect("ready")
        # A seat without a keyboard gives no window the keyboard focus: one idle wtype keeps a
        # virtual keyboard for the session's whole life.
        self.keyboard = subprocess.Popen([*tool[:-1], "wtype", "-s", "86400000"], env=env, stderr=log)
        record(self.keyboard.pid, "wtype")

    def close(self):
        self.keyboard.kill()
        self.keyboard.wait(timeout=5)
        super().close()

    def key(self, code, down):
        modifier = self.MODIFIERS.get(code)
        if modifier:
            self._pending += ["-M" if down else "-m", modifier]
        else:
            # wtype's keymap has one level per key: Shift+Tab must be named as the keysym it makes.
            name = "ISO_Left_Tab" if self.NAMES[code].lower() == "tab" and KEYCODES["shift"] in self._held else self.NAMES[code]
            self._pending += ["-P" if down else "-p", name]
        (self._held.add if down else self._held.discard)(code)
        if not self._held:
            keys, self._pending = self._pending, []
            self.run(["wtype", *keys])
