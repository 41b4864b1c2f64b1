"""End-to-end harness: the real Tapwing.exe under Wine on a private Xvfb display.

Implemented:
- a session per test module: Xvfb, a copy of the template prefix (zh_CN.UTF-8, code page
  936, CJK fonts, unmanaged X windows), a full-screen click target, a persistent probe;
- window, control, focus and message-box inspection through the probe;
- keys, typing, clicks and screenshots through xdotool and ImageMagick;
- bounded polling for everything that happens asynchronously, the click log included;
- copies of the program folder, and console tools run to their end in the session.
Not possible under Wine on Xvfb: a window manager's behaviour (activation by the WM, the
real title bar), high-DPI, UIPI, and texts far beyond 64 K characters in an edit control
(Wine's edit control is quadratic: 64 K chars take ~3 s, 256 K ~50 s, so 1 MB would take
many minutes). Wine draws the caption itself (Marlett is copied into each prefix so its
buttons show their glyphs).
"""

import os
import sys
import time
import traceback
import unittest

from . import config
from .probe import Probe, ProbeError
from .session import Session, install_signal_cleanup
from .waiting import WaitTimeout, wait_for, wait_stable

SKIPPED_EXIT_CODE = 77  # CTest's SKIP_RETURN_CODE for the e2e tests

__all__ = ["config", "Probe", "ProbeError", "Session", "WaitTimeout", "wait_for", "wait_stable",
           "main", "require_tapwing", "SKIPPED_EXIT_CODE"]


def require_tapwing():
    """Skips the calling module (setUpModule) when Tapwing.exe has not been built, and the
    short 64-bit run where the whole suite runs on the 64-bit build anyway."""
    if os.environ.get("TAPWING_E2E_SUBSET") and config.HOST_BUILDS[:1] == [config.ARCH]:
        raise unittest.SkipTest(f"the whole suite runs on the {config.ARCH} build here")
    if not config.TAPWING_EXE.exists():
        raise unittest.SkipTest(f"{config.TAPWING_EXE} not built yet "
                                f"(cmake --preset {config.ARCH} && cmake --build --preset {config.ARCH})")


class _ScreenshotResult(unittest.TextTestResult):
    """Saves a screenshot of the session's screen for every failing test, and says how long
    each test took (what makes a suite slow)."""

    def startTest(self, test):
        self._started = time.monotonic()
        super().startTest(test)

    def stopTest(self, test):
        super().stopTest(test)
        if self.showAll:
            self.stream.writeln(f"    {time.monotonic() - self._started:.1f} s")

    def _shoot(self, test):
        session = Session.current
        if session:
            name = "FAILED-" + test.id().rsplit(".", 1)[-1]
            try:
                path = session.screenshot(name)
                if path:
                    self.stream.writeln(f"\n  screenshot: {path}")
            except Exception:  # the screenshot is a courtesy; keep the real failure
                traceback.print_exc()

    def addFailure(self, test, err):
        self._shoot(test)
        super().addFailure(test, err)

    def addError(self, test, err):
        self._shoot(test)
        super().addError(test, err)


def main():
    """Runs the calling module's tests; exits 0, 1 on failure, 77 when all were skipped."""
    install_signal_cleanup()
    runner = unittest.TextTestRunner(resultclass=_ScreenshotResult, verbosity=2)
    program = unittest.main(module="__main__", testRunner=runner, exit=False)
    result = program.result
    if not result.wasSuccessful():
        sys.exit(1)
    if result.skipped and result.testsRun <= len(result.skipped):
        sys.exit(SKIPPED_EXIT_CODE)
    if result.testsRun == 0:
        print("no tests ran", file=sys.stderr)
        sys.exit(1)
    sys.exit(0)
