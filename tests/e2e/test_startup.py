#!/usr/bin/env python3
"""Tapwing's start-up under Wine: one copy per session, korva.dll registered from an unusual
program folder, the optional files (banner, skin, skin library) missing or bad, and the
banner's painting at once and after being covered."""

import re
import shutil
import subprocess
import time
import unittest

import harness
from harness import config, prefix, wait_for, wait_stable
from harness.pixels import BANNER_MATCH, PICTURE_SIZE, differing_pixels
from harness import pixels
from harness.tapwing import Tapwing

session = None

KORVA_CLASS_KEY = r"HKLM\Software\Classes\CLSID\{F0BBCDBA-4496-4837-BC5F-77A05375485C}"
SERVER_KEY = KORVA_CLASS_KEY + r"\InprocServer32"
# What a command interpreter would have rewritten or split: %NAME% expands even inside quotes,
# & ^ ! are its operators. Windows forbids '"' in names.
UNUSUAL_FOLDER = "测试 A&B ^!%CMDCMDLINE% 50%windir%off 文件夹"
# Hangul is outside code page 936: the skin and the banner must do without ANSI paths.
OUTSIDE_CODE_PAGE = "한글 폴더"
CLICK_POINT = (200, 300)  # over the click target, far from Tapwing's centred window
WM_NULL = 0x0000


def setUpModule():
    global session
    harness.require_tapwing()
    session = harness.Session("startup").start()


def tearDownModule():
    if session:
        session.stop()


# ---- Program folders ------------------------------------------------------------------

def program_copy(name, without=(), replace=None):
    """A copy of the program folder in the session, without some files and with others
    replaced by given bytes (or by a folder, for the value None)."""
    folder = session.dir / name
    if not folder.exists():
        shutil.copytree(config.PROGRAM_DIR, folder)
        for file in without:
            (folder / file).unlink()
        for file, content in (replace or {}).items():
            (folder / file).unlink()
            if content is None:
                (folder / file).mkdir()
            else:
                (folder / file).write_bytes(content)
    return folder


_probe_pid = None


def message_boxes():
    """Message boxes of any process but the probe, which makes the covering box itself."""
    global _probe_pid
    if _probe_pid is None:
        _probe_pid = session.probe.ping()["pid"]
    return [b for b in session.probe.message_boxes() if b["pid"] != _probe_pid]


def start(folder):
    """Starts the folder's Tapwing.exe and waits for its window; a message box shown while
    starting fails at once instead of after the window timeout."""
    app = Tapwing(session, session.launch(folder / "Tapwing.exe", name="tapwing"))

    def shown():
        boxes = message_boxes()
        if boxes:
            raise AssertionError(f"message box while starting: {boxes[0]['title']!r} {boxes[0]['prompt']!r}")
        return app.wait_shown(timeout=0)

    try:
        wait_for(lambda: _attempt(shown), 30, f"Tapwing's window from {folder.name}")
    except BaseException:
        app.kill()
        raise
    return app


def _attempt(step):
    """Turns a single failed window search into "not yet" for wait_for; an exited process
    still fails at once."""
    try:
        return step()
    except (harness.WaitTimeout, harness.ProbeError) as e:
        raise LookupError(str(e)) from None


def assert_no_message_box(settle=2.0):
    try:
        boxes = wait_for(message_boxes, settle, "no message box")
    except AssertionError:
        return
    raise AssertionError(f"unexpected message box {boxes[0]['title']!r}: {boxes[0]['prompt']!r}")


# ---- Registry -------------------------------------------------------------------------

def wine(*args, timeout=30):
    return subprocess.run(prefix.wine(session.env, *args), env=session.env, cwd=session.dir, capture_output=True,
                          timeout=timeout)


def registered_server():
    """The default value of korva's InprocServer32 key, exactly (reg export writes UTF-16,
    so no code page comes between), or None while the key is missing."""
    out = session.dir / "server.reg"
    out.unlink(missing_ok=True)
    if wine("reg", "export", SERVER_KEY, config.windows_path(out), "/y").returncode != 0:
        return None
    text = out.read_bytes().decode("utf-16")
    found = re.search(r'^@="((?:[^"\\]|\\.)*)"\s*$', text, re.M)
    return re.sub(r"\\(.)", r"\1", found.group(1)) if found else None


def forget_registration():
    wine("reg", "delete", KORVA_CLASS_KEY, "/f")
    wait_for(lambda: registered_server() is None, 10, "korva's class key to be gone")


def wait_registered(folder, timeout=20):
    """Waits until korva.dll of the folder is the registered server and returns the value."""
    expected = config.windows_path(folder / "korva.dll")

    def registered():
        value = registered_server()
        if value != expected:
            raise ValueError(f"registered server {value!r}")
        return value

    return wait_for(registered, timeout, f"{expected} as korva's InprocServer32", interval=0.2)


# ---- Hotkeys --------------------------------------------------------------------------

def capture_with_f7(app, point):
    app.focus()
    session.move_pointer(*point)
    x, y = (str(v) for v in point)
    session.press_hotkey("F7", lambda: app.text("text1") == x and app.text("text2") == y)


def presses(events):
    """Button presses: a second click within the double-click time arrives as ldbl."""
    return [e for e in events if e[1] in ("ldown", "ldbl")]


# ---- Pixels ---------------------------------------------------------------------------

def screenshot(name, rect):
    """The screen area rect = (left, top, width, height) as a PNG in the artifacts."""
    left, top, width, height = rect
    path = session.artifacts / f"{name}.png"
    session.x.run("import", "-window", "root", "-crop", f"{width}x{height}+{left}+{top}", "+repage",
                  str(path), timeout=30)
    return path


def picture_rect(app):
    r = app.control("picture")["rect"]
    return r["left"], r["top"], r["width"], r["height"]


def client_look(app, name):
    """The client area of the focused window once painting has settled: the skin's colours
    (or their absence), not the caption, which the skin leaves alone."""
    session.x.move(*CLICK_POINT)  # no hover effect or tooltip in the picture
    app.focus()
    wait_for(lambda: app.focused_role() == "combo3", 5, "the focus on the delay list")
    w = app.window()
    rect = (w["client_left"], w["client_top"], w["client_width"], w["client_height"])
    previous = [screenshot(f"{name}-0", rect)]

    def settled():
        path = screenshot(f"{name}-{len(previous) % 2}", rect)
        same = differing_pixels(previous[-1], path, fuzz=None) == 0
        previous.append(path)
        return same and path

    final = session.artifacts / f"{name}.png"
    shutil.copy(wait_for(settled, 3, f"the window's look to settle ({name})"), final)
    return final


def banner_distance(path):
    return pixels.banner_distance(path, session.artifacts)


# ---- Tests ----------------------------------------------------------------------------

class SecondStartTest(unittest.TestCase):
    """A second Tapwing in the same session ends silently; the first carries on."""

    @classmethod
    def setUpClass(cls):
        cls.first = start(config.PROGRAM_DIR)
        cls.first_window = cls.first.window()

    @classmethod
    def tearDownClass(cls):
        cls.first.close()

    def test_a_second_start_exits_at_once_without_a_window_and_the_first_still_works(self):
        server = wait_registered(config.PROGRAM_DIR)
        for folder in (config.PROGRAM_DIR, program_copy(UNUSUAL_FOLDER)):
            with self.subTest(folder=folder.name):
                second = session.launch(folder / "Tapwing.exe", name="tapwing-second")
                started = time.monotonic()
                strangers = set()

                def ended():
                    for w in session.probe.find_windows(cls="TapwingForm"):
                        if w["hwnd"] != self.first.hwnd:
                            strangers.add(w["hwnd"])
                    return second.poll() is not None

                try:
                    wait_for(ended, 5, "the second Tapwing.exe to exit")
                finally:
                    if second.poll() is None:
                        second.kill()
                        second.wait(timeout=10)
                print(f"  second start from {folder.name} ended after {time.monotonic() - started:.2f} s",
                      flush=True)
                self.assertEqual(second.returncode, 0)
                self.assertEqual(strangers, set(), "the second copy showed a window")
                self.assertEqual([w["hwnd"] for w in session.probe.windows(include_hidden=True)
                                  if w["class"] == "TapwingForm"], [self.first.hwnd])
                self.assertEqual(message_boxes(), [])

        self.assertIsNone(self.first.proc.poll(), "the first Tapwing ended")
        self.assertEqual(session.probe.send(self.first.hwnd, WM_NULL), 0)
        after = self.first.window()
        self.assertTrue(after["visible"])
        self.assertEqual((after["title"], after["rect"]), (self.first_window["title"], self.first_window["rect"]))
        self.assertEqual(self.first.text("text1"), "X坐标")
        # The second copy ends before registering its own korva.dll.
        self.assertEqual(wait_stable(registered_server, 1.5, 10, "korva's registration"), server)
        capture_with_f7(self.first, (321, 234))


class UnusualFolderTest(unittest.TestCase):
    """A program folder whose name holds spaces, what a command interpreter would expand or
    obey, and Chinese characters: the registration of korva.dll and the banner's path must
    both survive it."""

    @classmethod
    def setUpClass(cls):
        cls.folder = program_copy(UNUSUAL_FOLDER)
        forget_registration()
        cls.app = start(cls.folder)

    @classmethod
    def tearDownClass(cls):
        cls.app.close()

    def test_registers_that_folders_korva_dll(self):
        value = wait_registered(self.folder)
        self.assertTrue(value.startswith("Z:\\") and value.endswith(f"\\{UNUSUAL_FOLDER}\\korva.dll"), value)

    def test_draws_the_banner_from_that_folder(self):
        path = screenshot("unusual-folder-picture", picture_rect(self.app))
        self.assertLess(banner_distance(path), BANNER_MATCH, f"{path} does not show the banner")

    def test_f7_captures_the_pointer_and_a_run_clicks_there_until_f6(self):
        wait_registered(self.folder)
        app = self.app
        app.focus()
        wait_for(lambda: app.focused_role() == "combo3", 5, "the focus on the delay list")
        session.x.key("Down", "Down")
        wait_for(lambda: app.text("combo3") == "延时100MS", 5, "延时100MS in the delay list")
        session.x.key("Tab")
        wait_for(lambda: app.focused_role() == "combo2", 5, "the focus on the action list")
        session.x.key("Down")
        wait_for(lambda: app.text("combo2") == "左键单击", 5, "左键单击 in the action list")

        capture_with_f7(app, CLICK_POINT)
        mark = session.click_mark()
        session.press_hotkey("F5", lambda: presses(session.clicks(mark)))
        wait_for(lambda: len(presses(session.clicks(mark))) >= 5, 5, "five clicks of the run")

        seen = {"count": -1, "since": 0.0}

        def stopped():
            count, now = len(session.clicks(mark)), time.monotonic()
            if count != seen["count"]:
                seen.update(count=count, since=now)
            return now - seen["since"] >= 0.4

        session.press_hotkey("F6", stopped)
        events = wait_stable(lambda: session.clicks(mark), 0.5, 5, "the click log after F6")
        self.assertEqual({(x, y) for _, _, x, y in events}, {CLICK_POINT})
        kinds = [e for _, e, _, _ in events]
        downs = presses(events)
        self.assertEqual(kinds, [k for d in downs for k in (d[1], "lup")], "left clicks only, each released")
        gaps = sorted((b[0] - a[0]) / 1000 for a, b in zip(downs, downs[1:]))
        median = gaps[len(gaps) // 2]
        print(f"  {len(downs)} clicks at {CLICK_POINT}, median gap {median:.0f} ms", flush=True)
        self.assertTrue(80 <= median <= 250, f"median gap {median:.0f} ms between clicks, 100 ms chosen")
        self.assertEqual((app.text("text1"), app.text("text2")), tuple(str(v) for v in CLICK_POINT))


class OptionalFilesTest(unittest.TestCase):
    """Banner, skin file and skin library are optional: without them (or with a skin file
    that holds no usable key) the window opens with no message, in the system's look."""

    @classmethod
    def setUpClass(cls):
        cls.skinned = cls.look_of(program_copy("complete"), "look-skinned")
        cls.default = cls.look_of(program_copy("no-skin-library", without=["KorvaSkin.dll"]), "look-default")

    @staticmethod
    def look_of(folder, name):
        app = start(folder)
        try:
            return client_look(app, name)
        finally:
            app.close()

    def setUp(self):
        self.app = None

    def tearDown(self):
        if self.app:
            self.app.close()

    def test_without_the_banner_the_picture_box_stays_plain(self):
        self.app = start(program_copy("no-banner", without=["Tapwing.PNG"]))
        assert_no_message_box()
        path = screenshot("no-banner-picture", picture_rect(self.app))
        self.assertLessEqual(session.x.colour_count(path), 2, f"{path} is not plain")
        self.assertGreater(banner_distance(path), 0.5)
        self.assertIsNone(self.app.proc.poll())

    def test_without_the_skin_library_f7_still_captures(self):
        folder = program_copy("no-skin-library", without=["KorvaSkin.dll"])
        self.app = start(folder)
        assert_no_message_box()
        wait_registered(folder)
        capture_with_f7(self.app, (400, 700))

    def test_a_folder_outside_the_ansi_code_page_keeps_the_skin_and_the_banner(self):
        self.app = start(program_copy(OUTSIDE_CODE_PAGE))
        look = client_look(self.app, "look-outside-code-page")
        self.assertLessEqual(differing_pixels(self.skinned, look), 20, f"{look} is not {self.skinned}")
        path = screenshot("outside-code-page-picture", picture_rect(self.app))
        self.assertLess(banner_distance(path), BANNER_MATCH, f"{path} does not show the banner")

    def test_a_missing_or_useless_skin_file_leaves_the_default_look(self):
        self.assertGreater(differing_pixels(self.default, self.skinned), 5000,
                           "the skin changes nothing, so the comparison below would prove nothing")
        variants = {
            "no-skin-file": dict(without=["Korva.Skin"]),
            "binary-skin-file": dict(replace={"Korva.Skin": bytes(range(256)) * 8}),
            "skin-file-is-a-folder": dict(replace={"Korva.Skin": None}),
        }
        for name, copy in variants.items():
            with self.subTest(name):
                self.app = start(program_copy(name, **copy))
                assert_no_message_box()
                look = client_look(self.app, f"look-{name}")
                self.assertLessEqual(differing_pixels(self.default, look), 20, f"{look} is not {self.default}")
                self.app.close()
                self.app = None


class BannerPaintingTest(unittest.TestCase):
    def setUp(self):
        session.x.move(*CLICK_POINT)  # the banner's tooltip must not get into the pictures
        self.app = start(config.PROGRAM_DIR)

    def tearDown(self):
        self.app.close()

    def test_the_banner_shows_at_once_and_again_after_being_covered(self):
        rect = picture_rect(self.app)
        self.assertEqual(rect[2:], PICTURE_SIZE)

        def banner_shown():
            path = screenshot("banner-first", rect)
            distance = banner_distance(path)
            if distance >= BANNER_MATCH:
                raise ValueError(f"{path} is {distance:.3f} from the banner")
            return path

        shown = time.monotonic()
        first = wait_for(banner_shown, 3, "the banner in the picture box")
        print(f"  banner matched {time.monotonic() - shown:.2f} s after the window showed", flush=True)
        self.assertGreater(session.x.colour_count(first), 100)

        # A message box of the probe, centred on the screen like Tapwing, covers the box.
        text = "\n".join(["遮住图片框的消息框 covering the banner box for a moment"] * 8)
        probe_pid = session.probe.msgbox_demo("cover", text)["pid"]
        box = wait_for(lambda: session.probe.message_boxes(probe_pid), 10, "the covering box")[0]
        b = box["rect"]
        self.assertTrue(b["left"] <= rect[0] and b["top"] <= rect[1] and
                        b["left"] + b["width"] >= rect[0] + rect[2] and
                        b["top"] + b["height"] >= rect[1] + rect[3], f"box {b} does not cover {rect}")

        def covered():
            count = differing_pixels(first, screenshot("banner-covered", rect))
            if count < rect[2] * rect[3] // 2:
                raise ValueError(f"only {count} pixels changed")
            return True

        wait_for(covered, 5, "the box over the banner")
        session.probe.press(box["hwnd"])
        wait_for(lambda: not session.probe.message_boxes(probe_pid), 10, "the covering box to close")

        def restored():
            path = screenshot("banner-uncovered", rect)
            count = differing_pixels(first, path)
            if count > 10:
                raise ValueError(f"{count} pixels of {path} differ from the first screenshot")
            return path

        wait_for(restored, 3, "the banner to be painted again as before")


if __name__ == "__main__":
    harness.main()
