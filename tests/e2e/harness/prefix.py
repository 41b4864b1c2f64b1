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


def wine_env(prefix, display=None, arch=None):
    """The environment for Wine processes of a prefix, from scripts/wine-prefix.sh."""
    out = subprocess.run(["bash", str(config.PREFIX_SCRIPT), "env", arch or config.ARCH, str(prefix),
                          str(config.LOCALE_DIR)],
                         check=True, capture_output=True, text=True).stdout
    env = dict(os.environ)
    env.update(line.split("=", 1) for line in out.splitlines() if "=" in line)
    if display:
        env["DISPLAY"] = display
    else:
        env.pop("DISPLAY", None)
    return env


def loader_env(env, arch):
    """A prefix's environment with the Wine loader of build `arch` (WINEARCH left as the
    prefix was made)."""
    out = subprocess.run(["bash", str(config.ARCH_SCRIPT), "env", arch],
                         check=True, capture_output=True, text=True).stdout
    loader = next(line.split("=", 1)[1] for line in out.splitlines() if line.startswith("WINELOADER="))
    return {**env, "WINELOADER": loader}


def wine(env, *args):
    """A command line that runs a Windows program (or builtin tool) with the prefix's loader."""
    return [env["WINELOADER"], *map(str, args)]


def wineserver(env, *args):
    return [env["WINESERVER"], *map(str, args)]


def _script(*args, timeout):
    done = subprocess.run(["bash", str(config.PREFIX_SCRIPT), *map(str, args)],
                          capture_output=True, text=True, timeout=timeout)
    if done.returncode != 0:
        raise RuntimeError(f"wine-prefix.sh {' '.join(map(str, args))} failed: {done.stderr.strip()}")


def template(arch=None):
    return config.WORK_DIR / f"template-prefix-{arch or config.ARCH}"


def ensure_template(fresh=False, timeout=240, arch=None):
    """Makes the template prefix of a build (and the private zh_CN.UTF-8 locale) unless it
    exists.

    Returns the seconds spent creating it, 0 if it was already there. A lock keeps two
    test processes from building it at once.
    """
    config.WORK_DIR.mkdir(parents=True, exist_ok=True)
    arch = arch or config.ARCH
    folder = template(arch)
    with open(config.WORK_DIR / ".template.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        done_marker = folder / ".tapwing-template-ready"
        if fresh:
            shutil.rmtree(folder, ignore_errors=True)
        if done_marker.exists():
            return 0.0
        shutil.rmtree(folder, ignore_errors=True)
        started = time.monotonic()
        _script("locale", config.LOCALE_DIR, timeout=60)
        _script("create", arch, folder, config.LOCALE_DIR, "unmanaged", timeout=timeout)
        done_marker.touch()
        return time.monotonic() - started


def copy_template(destination):
    if not (template() / ".tapwing-template-ready").exists():
        raise RuntimeError(f"no template prefix in {template()}")
    subprocess.run(["cp", "-a", str(template()), str(destination)], check=True, timeout=120)
