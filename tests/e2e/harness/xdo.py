"""Keyboard, mouse and screen of the session's X display, through xdotool and ImageMagick.

Wine reads keys only while one of its own X windows has the X focus, so keys go to the
window focused with focus() first. Without a window manager `windowfocus --sync` works
and `windowactivate` does not.
"""

import re
import subprocess
import time


class XError(RuntimeError):
    pass


class X:
    def __init__(self, display, env):
        self.display = display
        self.env = dict(env, DISPLAY=display)

    def run(self, *args, timeout=15):
        try:
            done = subprocess.run(args, env=self.env, capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise XError(f"{' '.join(map(str, args))} did not finish within {timeout} s") from None
        if done.returncode != 0:
            raise XError(f"{' '.join(map(str, args))} failed ({done.returncode}): "
                         f"{done.stderr.decode(errors='replace').strip()}")
        return done.stdout.decode(errors="replace")

    def xdotool(self, *args, timeout=15):
        return self.run("xdotool", *map(str, args), timeout=timeout)

    # ---- Keyboard ----------------------------------------------------------------------

    def focus(self, xid):
        self.xdotool("windowfocus", "--sync", xid)

    def focused_window(self):
        return int(self.xdotool("getwindowfocus").strip())

    def key(self, *keys, delay_ms=30):
        """Taps keys such as "Tab", "shift+Tab", "F5", one after the other."""
        self.xdotool("key", "--delay", delay_ms, *keys)

    def hold(self, key, seconds=None, window=None):
        """Presses a key long enough for a 10 ms GetAsyncKeyState poll to see it down (0.15 s
        unless told).

        window: an X window id to send the key events to directly (XSendEvent) instead of
        through XTEST; the only way to press keys on a server without that extension."""
        target = ("--window", window) if window else ()
        self.xdotool("keydown", *target, key)
        try:
            time.sleep(seconds or 0.15)
        finally:
            self.xdotool("keyup", *target, key)

    def type(self, text, delay_ms=60):
        self.xdotool("type", "--delay", delay_ms, text, timeout=15 + len(text) * delay_ms / 1000)

    # ---- Mouse -------------------------------------------------------------------------

    def move(self, x, y):
        # --sync waits for the pointer to move, forever if it is already there.
        if self.pointer() != (x, y):
            self.xdotool("mousemove", "--sync", x, y)

    def warp(self, x, y):
        """Moves the pointer without waiting for it (a run's tick may move it back at once)."""
        self.xdotool("mousemove", x, y)

    def click(self, x, y, button=1, repeat=1, delay_ms=80):
        self.move(x, y)
        self.xdotool("click", "--repeat", repeat, "--delay", delay_ms, button)

    def pointer(self):
        out = self.xdotool("getmouselocation", "--shell")
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"])

    # ---- Window properties ------------------------------------------------------------

    def wm_icon_sizes(self, xid):
        """The (width, height) of each image Wine put into the X window's _NET_WM_ICON.

        Under Wine another process's icon handles cannot be inspected (GetClassLongPtr reads
        0, WM_GETICON only returns icons set with WM_SETICON), but Wine publishes the
        window's big and small icon here.
        """
        out = self.run("xprop", "-id", str(xid), "_NET_WM_ICON")
        return [tuple(map(int, m)) for m in re.findall(r"Icon \((\d+) x (\d+)\)", out)]

    def wm_pid(self, xid):
        out = self.run("xprop", "-id", str(xid), "_NET_WM_PID")
        found = re.search(r"= (\d+)", out)
        return int(found.group(1)) if found else None

    # ---- Screen ------------------------------------------------------------------------

    def screenshot(self, path, crop=None):
        """Saves the whole screen, or crop=(left, top, width, height) of it, as PNG."""
        self.run("import", "-window", "root", str(path), timeout=30)
        if crop:
            left, top, width, height = crop
            self.run("convert", str(path), "-crop", f"{width}x{height}+{left}+{top}", "+repage",
                     str(path), timeout=30)
        return path

    def colour_count(self, path):
        """Number of distinct colours in an image: 1 for a blank area, many for text."""
        return int(self.run("identify", "-format", "%k", str(path)).strip())
