#!/usr/bin/env python3
"""CTest fixture of the e2e tests.

  fixture.py setup    fresh template prefixes (and the zh_CN.UTF-8 locale) for this run: one
                      for the build the suite runs on, and one for the 64-bit build where
                      the suite runs on the 32-bit one (for the short 64-bit run beside it)
  fixture.py cleanup  ends what killed tests left running, removes prefixes and sessions

Cleanup ends only processes the sessions recorded in their pids files, and only while the
PID still runs the program recorded there; sessions whose test process still runs are left.
"""

import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import config, prefix  # noqa: E402


def _cmdline(pid):
    try:
        return Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace")
    except OSError:
        return None


def _end_leftovers(session_dir):
    pids = session_dir / "pids"
    if pids.exists():
        for line in pids.read_text().splitlines():
            pid, _, name = line.partition(" ")
            cmd = _cmdline(int(pid))
            if cmd and name.lower() in cmd.lower():
                print(f"ending leftover {name} (PID {pid})")
                try:
                    os.kill(int(pid), signal.SIGKILL)
                except ProcessLookupError:
                    pass
    private = session_dir / "private"  # a session user's own folder outside the build tree
    if private.exists():
        shutil.rmtree(private.read_text().strip(), ignore_errors=True)
    wine_prefix = session_dir / "prefix"
    if (wine_prefix / "system.reg").exists():
        env = prefix.wine_env(wine_prefix)
        subprocess.run(prefix.wineserver(env, "-k"), env=env, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def _owner_runs(session_dir):
    """A session is named <module>-<PID of the test process>; that process may be another
    run's, still working (a module started by hand, a benchmark)."""
    owner = session_dir.name.rpartition("-")[2]
    cmd = _cmdline(int(owner)) if owner.isdigit() else None
    return cmd is not None and "python" in cmd


def cleanup(remove_template=True):
    if config.SESSIONS_DIR.exists():
        for session_dir in sorted(config.SESSIONS_DIR.iterdir()):
            if _owner_runs(session_dir):
                print(f"leaving {session_dir.name}: its test process still runs")
                continue
            _end_leftovers(session_dir)
            shutil.rmtree(session_dir, ignore_errors=True)
        try:
            config.SESSIONS_DIR.rmdir()  # only once no session is left in it
        except OSError:
            pass
    if remove_template:
        for arch in ("win32", "win64"):
            shutil.rmtree(prefix.template(arch), ignore_errors=True)


def setup():
    cleanup(remove_template=False)
    shutil.rmtree(config.ARTIFACTS_DIR, ignore_errors=True)
    if not config.HOST_BUILDS:
        subprocess.run(["bash", str(config.ARCH_SCRIPT)])  # says why Wine cannot start
        sys.exit(1)
    print(f"the suite runs on the {config.ARCH} build (this host runs: {' '.join(config.HOST_BUILDS)})")
    for arch in config.HOST_BUILDS:
        started = time.monotonic()
        prefix.ensure_template(fresh=True, arch=arch)
        print(f"template prefix {prefix.template(arch)} made in {time.monotonic() - started:.1f} s")
    for exe in (config.PROBE_EXE, config.CLICKTARGET_EXE, config.TAPWING_EXE):
        if not exe.exists():
            print(f"note: {exe} is not built; tests that need it will be skipped")


if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in ("setup", "cleanup"):
        sys.exit("usage: fixture.py setup|cleanup")
    setup() if sys.argv[1] == "setup" else cleanup()
