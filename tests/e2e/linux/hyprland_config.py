#!/usr/bin/env python3
"""Hyprland as far as it can be checked without a GPU (it will not start without one): the key
bindings the README gives pass Hyprland's own config check, and the compositor carries the two
wlroots protocols Tapwing's way takes there."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

README = Path(__file__).resolve().parents[3] / "README.md"
HYPRLAND = "/usr/bin/Hyprland"
# The virtual pointer moves and clicks, the layer shell's overlay reads the pointer for F7.
PROTOCOLS = (b"zwlr_virtual_pointer_manager_v1", b"zwlr_layer_shell_v1")


def verify(config, home):
    """Hyprland's verdict on the config file, checked as a user: it refuses to run as root."""
    done = subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", HYPRLAND, "--verify-config",
                           "--config", str(config)], capture_output=True, text=True, timeout=30,
                          env={"HOME": home, "XDG_RUNTIME_DIR": home, "PATH": "/usr/bin:/bin"})
    return done.returncode, done.stdout + done.stderr


def readme_binds():
    """The README's Hyprland lines: the `bind = ...` lines of its key-binding block."""
    return [line for line in README.read_text().splitlines() if re.match(r"bind\s*=", line)]


class HyprlandTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not Path(HYPRLAND).exists():
            raise unittest.SkipTest(f"{HYPRLAND} is not installed (scripts/lane.sh testing installs it)")

    def test_the_readmes_bindings_pass_hyprlands_config_check(self):
        binds = readme_binds()
        self.assertEqual([b.split(",")[1].strip() for b in binds], ["F5", "F6", "F7"], binds)
        with tempfile.TemporaryDirectory() as home:
            config = Path(home) / "hyprland.conf"
            config.write_text("\n".join(binds) + "\n")
            wrong = Path(home) / "wrong.conf"  # a line it does not take says so: the check is a real one
            wrong.write_text("bind = , F5, no-such-dispatcher, x\n")
            shutil.chown(home, "nobody", "nogroup")
            os.chmod(home, 0o700)
            code, said = verify(config, home)
            self.assertEqual((code, said.strip().splitlines()[-1:]), (0, ["config ok"]), said)
            code, said = verify(wrong, home)
            self.assertIn("Invalid dispatcher", said)

    def test_it_offers_the_virtual_pointer_and_the_layer_shell(self):
        binary = Path(HYPRLAND).read_bytes()
        for protocol in PROTOCOLS:
            self.assertIn(protocol, binary)


if __name__ == "__main__":
    result = unittest.main(exit=False).result
    skipped = result.testsRun and len(result.skipped) == result.testsRun
    raise SystemExit(77 if skipped else 0 if result.wasSuccessful() else 1)
