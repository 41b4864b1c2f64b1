"""Where the e2e tests find the program, the helper tools and their scratch space.

CTest sets the TAPWING_* variables; run by hand, the defaults fit the standard presets.
"""

import os
from pathlib import Path

SOURCE_DIR = Path(os.environ.get("TAPWING_SOURCE_DIR") or Path(__file__).resolve().parents[3])
PROGRAM_DIR = Path(os.environ.get("TAPWING_PROGRAM_DIR") or SOURCE_DIR / "build/win32/Tapwing")
TOOLS_DIR = Path(os.environ.get("TAPWING_E2E_TOOLS") or SOURCE_DIR / "build/win32/e2e-tools")
WORK_DIR = Path(os.environ.get("TAPWING_E2E_WORK") or SOURCE_DIR / "build/native/e2e")

PREFIX_SCRIPT = SOURCE_DIR / "scripts/wine-prefix.sh"
TEMPLATE_PREFIX = WORK_DIR / "template-prefix"
LOCALE_DIR = WORK_DIR / "locale"
SESSIONS_DIR = WORK_DIR / "sessions"
ARTIFACTS_DIR = WORK_DIR / "artifacts"

TAPWING_EXE = PROGRAM_DIR / "Tapwing.exe"
PROBE_EXE = TOOLS_DIR / "probe.exe"
CLICKTARGET_EXE = TOOLS_DIR / "clicktarget.exe"

SCREEN = (1280, 1024)


def windows_path(path):
    """The Wine path of a Unix path (drive Z: is the Unix root in every prefix)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")
