#!/usr/bin/env python3
"""What a Wayland desktop's portals decide, as tapwing shows it: a refused permission says why
once, and the next F7 asks again; a session the desktop ends stops the run before its one
message, and the next F7 asks again and captures; a desktop without global shortcuts is named
once on stderr, with no box, and GNOME's custom shortcuts for `tapwing --hotkey` are written and
taken out on request. GNOME and KDE 6 ask, KDE 5.27 grants without asking; KWin 6 without
screen casts (headless, no OpenGL) cannot have F7 read the pointer, so there a
granted session is shown by its clicks instead of a capture."""

import subprocess
import unittest

import linux_harness as lh
from linux_harness import HINT_TITLE, wait_for, wait_stable
from wayland_session import portal_dialog

UNAVAILABLE = "输入组件 远程桌面 不可用: "
POINT = (1100, 850)

session = None


def setUpModule():
    global session
    kind = lh.session_family()
    if kind not in ("mutter", "kwin"):
        raise unittest.SkipTest(f"{kind}: no portal")
    lh.require_tapwing()
    session = lh.open_session("portal")


def tearDownModule():
    if session:
        session.stop()


def one_message(app):
    """The one message box, once no other joins it; closed again."""
    wait_for(app.dialogs, 10, "a message")
    shown = wait_stable(app.dialogs, 0.5, 5, "message boxes")
    app.press_ok()
    return shown


def clicks_or_captures(app, point):
    """That tapwing's new session works: F7 captures the point; without screen casts, a run
    clicks exactly there."""
    if session.reads_pointer:
        return session.capture(app, point)
    session.enter_point(app, point)
    app.select("动作", "左键单击")
    mark = session.click_mark()
    session.hold_hotkey("F5", lambda: len(session.clicks(mark)) >= 4, app)
    session.hold_hotkey("F6", lambda: True, app)
    session.wait_clicks_quiet(0.3, 5)
    events = session.clicks(mark)
    if events and events[0][1] == "lup":
        # The release of a press from before the mark: KWin 6 ended the old session between a
        # press and its release, and lets the release through with the next session's input.
        events = events[1:]
    assert {(x, y) for _, _, x, y in events} == {point}, events


class PortalTest(unittest.TestCase):
    def setUp(self):
        self.log = session.artifacts / "tapwing.log"
        self.log.unlink(missing_ok=True)

    def test_a_refused_permission_says_why_once_and_the_next_f7_asks_again(self):
        if session.kind == "kwin":
            self.skipTest("KDE 5.27 grants without asking")
        app = session.start_tapwing(permit=False)
        try:
            [(title, text)] = one_message(app)
            self.assertEqual(title, HINT_TITLE)
            self.assertTrue(text.startswith(UNAVAILABLE), text)

            # The press that asks does nothing else; granted, the next one captures.
            since = self.log.stat().st_size
            self.assertEqual(session.send_hotkey("F7")[0], 0)
            if session.plasma6:  # with screen casts, refused for them; then without
                session.answer_dialogs(self.log, since, dialogs=2)
            else:
                portal_dialog(allow=True)
            self.assertEqual(app.fields(), ("X坐标", "Y坐标"))
            clicks_or_captures(app, POINT)
            self.assertEqual(app.dialogs(), [])

            # Named once where the desktop lacks them, never where it has them (GNOME 48).
            said = [line for line in self.log.read_text().splitlines() if "GlobalShortcuts" in line]
            self.assertEqual(len(said), 0 if session.global_hotkeys else 1, said)
        finally:
            app.kill()

    def test_a_session_the_desktop_ends_stops_the_run_before_its_one_message_and_f7_asks_again(self):
        app = session.start_tapwing()
        try:
            session.enter_point(app, POINT)
            app.select("动作", "左键单击")
            mark = session.click_mark()
            session.hold_hotkey("F5", lambda: len(session.clicks(mark)) >= 10, app)
            session.end_portal_session()
            [(title, text)] = one_message(app)
            self.assertTrue(text.startswith(UNAVAILABLE), text)
            session.assert_no_clicks(session.wait_clicks_quiet(0.3, 5), 0.5)

            # The press that asks does nothing else; KDE's shortcut signals bring a short press
            # with its release, and it still asks.
            moved = (POINT[0] - 300, POINT[1] - 200)
            session.input.move(*moved)
            if session.family == "kwin":  # KWin 6 asks nothing: tapwing has its restore token
                session.input.key("F7")
                wait_for(session.portal_sessions, 5, "KDE to grant a new session")
            else:
                # Known before the press: the session it asks for may spend the token at once.
                asks = session.asks()
                self.assertEqual(session.send_hotkey("F7"), (0, ""))
                if asks:
                    portal_dialog(allow=True, timeout=30)  # the portal's backend may still be ending the old one
            if session.reads_pointer:
                # One F7 in the new session fills where the pointer is, never the run's point.
                self.assertEqual(session.capture_once(app, moved), (tuple(map(str, moved)), []))
            else:
                clicks_or_captures(app, moved)
            self.assertEqual(app.dialogs(), [])
        finally:
            app.kill()

    def test_gnome_shortcuts_are_set_up_and_removed_beside_the_users_own(self):
        if session.family != "mutter":
            self.skipTest("GNOME's settings")
        def run(*args):
            return subprocess.run(args, env=session.env, capture_output=True, text=True, timeout=10)

        media_keys = "org.gnome.settings-daemon.plugins.media-keys"
        folder = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/"
        own = folder + "custom0/"
        self.assertEqual(run("gsettings", "set", media_keys, "custom-keybindings", f"['{own}']").returncode, 0)
        listed = lambda: run("gsettings", "get", media_keys, "custom-keybindings").stdout.strip()

        done = run(str(lh.TAPWING), "--setup-shortcuts")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("--hotkey F6", done.stdout)  # it says what it wrote
        ours = [f"{folder}tapwing-{key}/" for key in ("F5", "F6", "F7")]
        self.assertEqual(listed(), str([own] + ours))
        command = run("gsettings", "get", f"{media_keys}.custom-keybinding:{ours[0]}", "command").stdout
        self.assertTrue(command.strip().strip("'\"").endswith("--hotkey F5"), command)

        self.assertEqual(run(str(lh.TAPWING), "--remove-shortcuts").returncode, 0)
        self.assertEqual(listed(), str([own]))


if __name__ == "__main__":
    lh.main()
