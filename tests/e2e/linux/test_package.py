#!/usr/bin/env python3
"""The Debian package: what it installs and depends on, Debian's and AppStream's checkers on it,
and that the installed program starts under its application id and finds its banner in
share/tapwing. The package is unpacked into the session, not installed."""

import subprocess
import unittest

import linux_harness as lh
from harness import pixels

DEB = lh.LINUX_BUILD / "tapwing_16.02.0005_amd64.deb"
APP_ID = "org.tapwing.Tapwing"
ENTRY = f"usr/share/applications/{APP_ID}.desktop"
INSTALLED = ["usr/bin/tapwing", "usr/share/tapwing/Tapwing.PNG", "usr/share/tapwing/Korva.Skin", ENTRY,
             f"usr/share/metainfo/{APP_ID}.metainfo.xml", "usr/share/man/man1/tapwing.1.gz",
             "usr/share/doc/tapwing/copyright"] + \
            [f"usr/share/icons/hicolor/{s}x{s}/apps/{APP_ID}.png" for s in (16, 32, 48, 256)]

session = None
root = None


def setUpModule():
    global session, root
    if not DEB.exists():
        raise unittest.SkipTest(f"{DEB} is not built (cd build/linux && cpack -G DEB)")
    lh.require_tapwing()
    session = lh.NativeSession("package").start()
    root = session.dir / "root"
    subprocess.run(["dpkg-deb", "-x", str(DEB), str(root)], check=True, timeout=60)


def tearDownModule():
    if session:
        session.stop()


class PackageTest(unittest.TestCase):
    def test_installs_the_program_its_files_a_desktop_entry_the_icons_and_the_manual(self):
        for path in INSTALLED:
            self.assertTrue((root / path).is_file(), path)
        entry = (root / ENTRY).read_text().splitlines()
        self.assertIn("Exec=tapwing", entry)
        self.assertIn(f"Icon={APP_ID}", entry)
        self.assertIn(f"StartupWMClass={APP_ID}", entry)
        depends = subprocess.run(["dpkg-deb", "-f", str(DEB), "Depends"], capture_output=True, text=True,
                                 check=True, timeout=30).stdout
        for package in ("libgtk-3-0", "libx11-6", "libxi6", "libxtst6", "fonts-wqy-microhei"):
            self.assertIn(package, depends)

    def test_lintian_finds_no_errors_or_warnings(self):
        result = subprocess.run(["lintian", "--fail-on", "error,warning", str(DEB)], capture_output=True,
                                text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_the_metainfo_validates_with_its_desktop_entry(self):
        # validate-tree also checks that the metainfo's launchable names the installed entry.
        result = subprocess.run(["appstreamcli", "validate-tree", "--no-net", str(root)], capture_output=True,
                                text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_the_installed_program_starts_with_its_banner_as_its_desktop_entry(self):
        session.x.move(0, 0)  # no tooltip over the banner
        app = session.start_tapwing(program=root / "usr/bin/tapwing")
        # The desktop matches the window to the entry by the instance part of WM_CLASS.
        self.assertIn(f'= "{APP_ID}",', session.x.run("xprop", "-id", str(app.xid), "WM_CLASS"))
        path = session.screenshot("installed-banner", app.extents(app.banner()))
        self.assertLess(pixels.banner_distance(path, session.artifacts, png=root / "usr/share/tapwing/Tapwing.PNG"),
                        pixels.BANNER_MATCH, f"{path} does not show the banner")


if __name__ == "__main__":
    lh.main()
