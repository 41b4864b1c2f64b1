"""The native tapwing as the tests see it: its X window, its controls found through AT-SPI
by role and accessible name ("X坐标", "Y坐标", "动作", "延时", "Tapwing"), and its message
boxes (dialogs: the title is the accessible name, the text a label).

Imported only once the session has set DISPLAY and DBUS_SESSION_BUS_ADDRESS: pyatspi
connects to the accessibility bus of that environment.
"""

import pyatspi

from harness import wait_for
from harness.session import _kill
from harness.xdo import XError

TEXT, LIST = pyatspi.ROLE_TEXT, pyatspi.ROLE_COMBO_BOX
DIALOG_ROLES = (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG)


def descendants(obj):
    """Every accessible below obj, depth first (pyatspi's own search also yields obj itself
    and hides errors)."""
    for child in obj:
        if child is not None:
            yield child
            yield from descendants(child)


class Tapwing:
    def __init__(self, session, proc):
        self.session = session
        self.proc = proc
        self.xid = None

    @property
    def pid(self):
        return self.proc.pid

    def kill(self):
        _kill(self.proc)
        self.session.forget(self)
        self.session.settle_after_exit()

    def wait_shown(self, timeout=20):
        """Waits for this process's visible X window named "Tapwing" (on X11) and for the same
        window in AT-SPI; another copy's window does not count."""
        def shown():
            if self.proc.poll() is not None:
                raise AssertionError(f"tapwing exited with code {self.proc.returncode} before showing its window")
            if self.session.x is None:  # Wayland: no window ids, AT-SPI alone tells
                return self.window().getState().contains(pyatspi.STATE_SHOWING)
            try:
                out = self.session.x.xdotool("search", "--onlyvisible", "--pid", self.pid, "--name", "^Tapwing$")
            except XError:  # xdotool search fails while nothing matches
                return None
            return int(out.split()[0])

        self.xid = wait_for(shown, timeout, "tapwing's window to show")
        wait_for(self.window, timeout, "tapwing's window in AT-SPI")
        return self.xid

    # ---- Through AT-SPI ---------------------------------------------------------------

    def app(self):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.pid:
                # Every read starts afresh: nothing stale between polls. (Turning the cache off
                # instead deadlocks libatspi when an event arrives during a call.)
                app.clearCache()
                return app
        raise LookupError(f"no AT-SPI application with PID {self.pid}")

    def window(self):
        for child in self.app():
            if child is not None and child.getRole() == pyatspi.ROLE_FRAME:
                return child
        raise LookupError("tapwing has no frame in AT-SPI")

    def find(self, predicate, what="a matching control"):
        for obj in descendants(self.window()):
            if predicate(obj):
                return obj
        raise LookupError(f"no {what} in tapwing's window")

    def control(self, role, name):
        return self.find(lambda o: o.getRole() == role and o.name == name,
                         f"{role} named {name!r}")

    def banner(self):
        return self.find(lambda o: o.name == "Tapwing", "banner named 'Tapwing'")

    def text(self, name):
        return self.control(TEXT, name).queryText().getText(0, -1)

    def fields(self):
        return self.text("X坐标"), self.text("Y坐标")

    def selected(self, name):
        return self.control(LIST, name).querySelection().getSelectedChild(0).name

    def entries(self, name):
        menu = self.control(LIST, name)[0]
        return [item.name for item in menu]

    def select(self, name, entry):
        """Chooses an entry of a list as a user would, and waits until the list shows it."""
        self.control(LIST, name).querySelection().selectChild(self.entries(name).index(entry))
        wait_for(lambda: self.selected(name) == entry, 5, f"{name} showing {entry}")

    def focus_field(self, name):
        """Gives the window the X focus and, inside it, a coordinate field the focus."""
        self.session.focus(self)
        self.control(TEXT, name).queryComponent().grabFocus()
        wait_for(lambda: self.control(TEXT, name).getState().contains(pyatspi.STATE_FOCUSED), 5,
                 f"{name} focused")

    @staticmethod
    def extents(control):
        """(x, y, width, height) of a control on the screen."""
        e = control.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return e.x, e.y, e.width, e.height

    def dialogs(self):
        """The open message boxes as (title, text) pairs; the text is the first non-empty label
        other than the title (where GTK draws the title bar itself, the title is a label too)."""
        out = []
        for child in self.app():
            if (child is not None and child.getRole() in DIALOG_ROLES
                    and child.getState().contains(pyatspi.STATE_SHOWING)):
                labels = [o for o in descendants(child)
                          if o.getRole() == pyatspi.ROLE_LABEL and o.name and o.name != child.name]
                out.append((child.name, labels[0].name if labels else ""))
        return out

    def press_ok(self):
        """Presses OK in the newest message box and waits until it has closed."""
        count = len(self.dialogs())
        dialog = [c for c in self.app() if c is not None and c.getRole() in DIALOG_ROLES
                  and c.getState().contains(pyatspi.STATE_SHOWING)][-1]
        button = next(o for o in descendants(dialog) if o.getRole() == pyatspi.ROLE_PUSH_BUTTON)
        button.queryAction().doAction(0)
        wait_for(lambda: len(self.dialogs()) < count, 5, "the message box to close")
