"""Screen areas compared with images: pixel differences, and how far an area is from the
banner as Tapwing draws it (the PNG at half size, 10 px up, cut to the picture box)."""

import re
import subprocess

from . import config

BANNER_SIZE = (122, 230)
BANNER_OFFSET = (0, -10)
PICTURE_SIZE = (61, 105)
BANNER_MATCH = 0.15  # banner_distance() below this: the banner, drawn where it belongs


def _compare(metric, a, b, fuzz=None):
    args = ["compare", "-metric", metric] + (["-fuzz", fuzz] if fuzz else []) + [str(a), str(b), "null:"]
    done = subprocess.run(args, capture_output=True, text=True, timeout=30)
    if done.returncode not in (0, 1):
        raise RuntimeError(f"compare failed: {done.stderr.strip()}")
    return done.stderr.strip()


def differing_pixels(a, b, fuzz="3%"):
    return int(float(_compare("AE", a, b, fuzz).split()[0]))


def banner_distance(path, scratch, png=None):
    """Normalised RMSE between an area and the banner as Tapwing should draw it. The same
    picture scores ~0.09 (GDI+ scales differently from ImageMagick), 5 px off ~0.27, a plain
    box ~0.66. `scratch` is a folder for the expected picture; `png` the banner file, when
    not the Windows build's."""
    expected = scratch / "banner-expected.png"
    if not expected.exists():
        width, height = (v // 2 for v in BANNER_SIZE)
        subprocess.run(["convert", str(png or config.PROGRAM_DIR / "Tapwing.PNG"), "-resize", f"{width}x{height}!",
                        "-crop", f"{PICTURE_SIZE[0]}x{PICTURE_SIZE[1]}+{-BANNER_OFFSET[0]}+{-BANNER_OFFSET[1]}",
                        "+repage", str(expected)], check=True, timeout=30)
    return float(re.search(r"\(([\d.e-]+)\)", _compare("RMSE", path, expected)).group(1))
