"""Tapwing.exe as the tests see it: its main window, its controls by role, its message boxes.

Controls are told apart by class and place, not by handle or creation order, so a
rearranged implementation still maps: the group box is the "Button" with BS_GROUPBOX, the
X field is the left "Edit", the action list the upper "ComboBox", the banner the
"TapwingPicture".
"""

import subprocess

from .probe import ProbeError
from .waiting import wait_for

WM_CLOSE = 0x0010
BS_TYPEMASK = 0x000F
BS_GROUPBOX = 0x0007

ROLES = ("frame", "text1", "text2", "combo2", "combo3", "picture")


class Tapwing:
    def __init__(self, session, proc):
        self.session = session
        self.probe = session.probe
        self.proc = proc
        self.hwnd = None

    @property
    def pid(self):
        """The Unix PID; Wine runs the program in the process `wine` was started as."""
        return self.proc.pid

    def wait_shown(self, timeout=30):
        """Waits for this process's main window; another copy's window does not count."""
        def shown():
            if self.proc.poll() is not None:
                raise AssertionError(f"Tapwing.exe exited with code {self.proc.returncode} before showing its window")
            for w in self.probe.find_windows(cls="TapwingForm"):
                xid = self.probe.x11_window(w["hwnd"])
                if self.session.x.wm_pid(xid) == self.proc.pid:
                    return w["hwnd"]
            return None

        self.hwnd = wait_for(shown, timeout, 'a visible "TapwingForm" window of the started process')
        return self.hwnd

    # ---- Window state ------------------------------------------------------------------

    def window(self):
        return self.probe.window(self.hwnd)

    def controls(self):
        """role -> the probe's description of that child control."""
        kids = self.probe.children(self.hwnd)
        by_class = {}
        for k in kids:
            by_class.setdefault(k["class"].lower(), []).append(k)
        frames = [k for k in by_class.get("button", []) if k["style"] & BS_TYPEMASK == BS_GROUPBOX]
        edits = sorted(by_class.get("edit", []), key=lambda k: k["rect"]["left"])
        combos = sorted(by_class.get("combobox", []), key=lambda k: k["rect"]["top"])
        pictures = by_class.get("tapwingpicture", [])
        if len(frames) != 1 or len(edits) != 2 or len(combos) != 2 or len(pictures) != 1:
            raise LookupError("unexpected children: " +
                              ", ".join(f"{k['class']} {k['text']!r}" for k in kids))
        return dict(zip(ROLES, [frames[0], edits[0], edits[1], combos[0], combos[1], pictures[0]]))

    def control(self, role):
        return self.controls()[role]

    def layout(self):
        """role -> (left, top, width, height) relative to the main window's client area."""
        w = self.window()
        out = {}
        for role, c in self.controls().items():
            r = c["rect"]
            out[role] = (r["left"] - w["client_left"], r["top"] - w["client_top"], r["width"], r["height"])
        return out

    def text(self, role):
        return self.probe.get_text(self.control(role)["hwnd"])

    def focused_role(self):
        """The role of the control with the keyboard focus, the focused hwnd if it is none
        of them, or None."""
        focused = self.probe.focused_hwnd(self.hwnd)
        if not focused:
            return None
        for role, c in self.controls().items():
            if c["hwnd"] == focused:
                return role
        return focused

    def message_boxes(self):
        return [b for b in self.probe.message_boxes() if b["owner"] in (0, self.hwnd) and
                b["pid"] == self.window()["pid"]]

    def all_message_boxes(self):
        """Every box of the process, also one owned by another box: counts a pile-up."""
        pid = self.window()["pid"]
        return [b for b in self.probe.message_boxes() if b["pid"] == pid]

    def alive(self):
        """The process runs and its main window still exists and shows."""
        if self.proc.poll() is not None:
            return False
        try:
            return self.probe.window(self.hwnd)["visible"]
        except ProbeError:  # "no such window"
            return False

    def wait_message_box(self, timeout=10):
        return wait_for(lambda: self.message_boxes(), timeout, "a message box from Tapwing")[0]

    def dismiss(self, box, timeout=10):
        """Presses OK on a message box and waits until it is gone."""
        self.probe.press(box["hwnd"])
        wait_for(lambda: not any(b["hwnd"] == box["hwnd"] for b in self.probe.message_boxes()),
                 timeout, f"message box {box['title']!r} to close")

    def assert_no_message_box(self, settle=0.5):
        """Fails if a message box appears within `settle` seconds."""
        try:
            box = wait_for(lambda: self.message_boxes(), settle, "no message box")
        except AssertionError:
            return
        raise AssertionError(f"unexpected message box {box[0]['title']!r}: {box[0]['prompt']!r}")

    # ---- Input -------------------------------------------------------------------------

    def focus(self, timeout=10):
        self.session.focus(self.hwnd, timeout)

    def wait_text(self, role, text, timeout=5):
        wait_for(lambda: self.text(role) == text, timeout, f"{role} to read {text!r}")

    def set_text(self, role, text):
        """Replaces a control's text from outside, as a paste does. Only for text the
        field accepts: a refused one makes Tapwing show a box from inside the change, and
        the probe's WM_SETTEXT waits for it (type such text with the keyboard instead)."""
        self.probe.set_text(self.control(role)["hwnd"], text)

    def tab_to(self, role, backwards=False, limit=6):
        """Moves the keyboard focus with Tab (or Shift+Tab) one step at a time until `role`
        has it. Entering a coordinate field empties it, so the caller picks the direction."""
        key = "shift+Tab" if backwards else "Tab"
        for _ in range(limit):
            if self.focused_role() == role:
                return
            before = self.focused_role()
            self.session.x.key(key)
            wait_for(lambda: self.focused_role() != before, 5, f"{key} to move the focus from {before}")
        wait_for(lambda: self.focused_role() == role, 1, f"the focus on {role}")

    def choose(self, role, entry):
        """Selects a list entry with the arrow keys, as a user would; the list must have the
        focus. It steps from the current entry, so a running program sees only the entries
        in between (Home would pass through the first one)."""
        combo = self.control(role)["combo"]
        target = combo["items"].index(entry)
        steps = target - combo["selected"]
        if steps:
            self.session.x.key(*(["Down"] * steps if steps > 0 else ["Up"] * -steps))
        wait_for(lambda: self.control(role)["combo"]["selected"] == target, 5,
                 f"{role} to select {entry!r}")

    def click_control(self, role, dx=None, dy=None):
        r = self.control(role)["rect"]
        self.session.x.click(r["left"] + (r["width"] // 2 if dx is None else dx),
                             r["top"] + (r["height"] // 2 if dy is None else dy))

    # ---- End ---------------------------------------------------------------------------

    def close_after_test(self):
        """Dismisses any boxes left open, closes the program and says whether it had stayed up."""
        alive = self.alive()
        for box in self.all_message_boxes() if alive else []:
            self.probe.press(box["hwnd"])
        self.close()
        return alive

    def close(self, timeout=10):
        """Closes the window as its close button would and waits for the process to end."""
        if self.proc.poll() is None and self.hwnd:
            self.probe.post(self.hwnd, WM_CLOSE)
            try:
                self.proc.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                self.kill()
                raise AssertionError(f"Tapwing.exe did not exit within {timeout} s of WM_CLOSE")
        self.session.forget(self)
        return self.proc.returncode

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=10)
        self.session.forget(self)
