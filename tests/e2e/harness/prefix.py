"""The template Wine prefix: made once per test run, copied for every test module.

wineboot takes 10-20 s; `cp -a` of the finished prefix takes about 2 s. The prefix itself is
prepared by scripts/wine-prefix.sh, the same script scripts/run.sh uses.
"""

import fcntl
import os
import shutil
import subprocess
import time

from . import config


def wine_env(prefix, display=None):
    """The environment for Wine processes of a prefix, from scripts/wine-prefix.sh."""
    out = subprocess.run(["bash", str(config.PREFIX_SCRIPT), "env", str(prefix), str(config.LOCALE_DIR)],
                         check=True, capture_output=True, text=True).stdout
    env = dict(os.environ)
    env.update(line.split("=", 1) for line in out.splitlines() if "=" in line)
    if display:
        env["DISPLAY"] = display
    else:
        env.pop("DISPLAY", None)
    return env


def _script(*args, timeout):
    done = subprocess.run(["bash", str(config.PREFIX_SCRIPT), *map(str, args)],
                          capture_output=True, text=True, timeout=timeout)
    if done.returncode != 0:
        raise RuntimeError(f"wine-prefix.sh {' '.join(map(str, args))} failed: {done.stderr.strip()}")


def ensure_template(fresh=False, timeout=240):
    """Makes the template prefix (and the private zh_CN.UTF-8 locale) unless it exists.

    Returns the seconds spent creating it, 0 if it was already there. A lock keeps two
    test processes from building it at once.
    """
    config.WORK_DIR.mkdir(parents=True, exist_ok=True)
    with open(config.WORK_DIR / ".template.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        done_marker = config.TEMPLATE_PREFIX / ".tapwing-template-ready"
        if fresh:
            shutil.rmtree(config.TEMPLATE_PREFIX, ignore_errors=True)
        if done_marker.exists():
            return 0.0
        shutil.rmtree(config.TEMPLATE_PREFIX, ignore_errors=True)
        started = time.monotonic()
        _script("locale", config.LOCALE_DIR, timeout=60)
        _script("create", config.TEMPLATE_PREFIX, config.LOCALE_DIR, "unmanaged", timeout=timeout)
        done_marker.touch()
        return time.monotonic() - started


def copy_template(destination):
    if not (config.TEMPLATE_PREFIX / ".tapwing-template-ready").exists():
        raise RuntimeError(f"no template prefix in {config.TEMPLATE_PREFIX}")
    subprocess.run(["cp", "-a", str(config.TEMPLATE_PREFIX), str(destination)], check=True, timeout=120)
