"""Where the e2e tests find the program, the helper tools and their scratch space, and which
Windows build they run.

The build is the first that scripts/wine-arch.sh says this host can run (win32 wherever
32-bit programs run, else win64); TAPWING_ARCH names one explicitly, for the short 64-bit
run beside the 32-bit suite. CTest sets the TAPWING_* variables; run by hand, the defaults
fit the standard presets.
"""

import hashlib
import os
import stat
import subprocess
from pathlib import Path

SOURCE_DIR = Path(os.environ.get("TAPWING_SOURCE_DIR") or Path(__file__).resolve().parents[3])
BUILD_ROOT = Path(os.environ.get("TAPWING_BUILD_ROOT") or SOURCE_DIR / "build")
WORK_DIR = Path(os.environ.get("TAPWING_E2E_WORK") or BUILD_ROOT / "native/e2e")

ARCH_SCRIPT = SOURCE_DIR / "scripts/wine-arch.sh"
PREFIX_SCRIPT = SOURCE_DIR / "scripts/wine-prefix.sh"


def host_builds():
    """The Windows builds this host can run, preferred first (empty when Wine cannot start)."""
    done = subprocess.run(["bash", str(ARCH_SCRIPT)], capture_output=True, text=True, timeout=30)
    return done.stdout.split() if done.returncode == 0 else []


def why_not_32bit():
    return subprocess.run(["bash", str(ARCH_SCRIPT), "why"], capture_output=True, text=True,
                          timeout=30).stdout.strip()


HOST_BUILDS = host_builds()
ARCH = os.environ.get("TAPWING_ARCH") or (HOST_BUILDS or ["win32"])[0]

PROGRAM_DIR = BUILD_ROOT / ARCH / "Tapwing"
TOOLS_DIR = BUILD_ROOT / ARCH / "e2e-tools"
LOCALE_DIR = WORK_DIR / "locale"


def short_private_dir(work):
    """The sessions' folder: a short one under /tmp, as their sockets' paths must fit in 107
    bytes wherever the clone lives. Named after the work folder, so that the cleanup of the
    same build finds what a killed run left there; refused where it is not ours alone."""
    digest = hashlib.sha1(str(Path(work).resolve()).encode()).hexdigest()[:10]
    folder = Path(f"/tmp/tw-{digest}")
    try:
        folder.mkdir(mode=0o700)
    except FileExistsError:
        pass
    info = os.lstat(folder)
    if not stat.S_ISDIR(info.st_mode) or info.st_uid != os.getuid() or info.st_mode & 0o077:
        raise RuntimeError(f"{folder} is not a private folder of this user's: remove it")
    return folder


SESSIONS_DIR = short_private_dir(WORK_DIR)
ARTIFACTS_DIR = WORK_DIR / "artifacts"

TAPWING_EXE = PROGRAM_DIR / "Tapwing.exe"
PROBE_EXE = TOOLS_DIR / "probe.exe"
CLICKTARGET_EXE = TOOLS_DIR / "clicktarget.exe"

SCREEN = (1280, 1024)


def windows_path(path):
    """The Wine path of a Unix path (drive Z: is the Unix root in every prefix)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")
