"""The soak run's arithmetic and bookkeeping: clicks per 10 s window, resident memory, and the
CPU of every process on the clicks' way. bench_linux.py --soak drives it."""

import os
import statistics
from pathlib import Path

WINDOW_S = 10


def window_rates(stamps, start, windows, window_s=WINDOW_S):
    """Clicks/s in each of `windows` consecutive windows from `start` (stamps and start in µs)."""
    counts = [0] * windows
    span = window_s * 1_000_000
    for s in stamps:
        k = (s - start) // span
        if 0 <= k < windows:
            counts[k] += 1
    return [c / window_s for c in counts]


def longest_gap_ms(stamps):
    return max((b - a for a, b in zip(stamps, stamps[1:])), default=0) / 1000


def summary(rates, aim):
    """The figures the closing note quotes for one run."""
    return {"windows": len(rates), "median": statistics.median(rates) if rates else 0.0,
            "lowest": min(rates, default=0.0), "below aim": sum(r < aim for r in rates),
            "below 90": sum(r < 90 for r in rates)}


class LogTail:
    """New complete lines of a growing file, read from where the last call stopped."""

    def __init__(self, path):
        self.path, self.offset = Path(path), Path(path).stat().st_size

    def lines(self):
        with open(self.path, "rb") as f:
            f.seek(self.offset)
            data = f.read()
        data = data[:data.rfind(b"\n") + 1]
        self.offset += len(data)
        return data.decode(errors="replace").splitlines()


def resident_kb(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def on_bus(address, runner):
    """Every live process of a session's bus: its daemon (a child of `runner`) and the services
    started for it at `address` (they reparent to init, so they are found by the address they
    were given), by name."""
    found = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            environ = Path(f"/proc/{entry}/environ").read_bytes().split(b"\0")
            stat = Path(f"/proc/{entry}/stat").read_text()
            command = Path(f"/proc/{entry}/cmdline").read_bytes().split(b"\0")[0].decode(errors="replace")
        except OSError:
            continue
        parent = int(stat[stat.rindex(")") + 2:].split()[1])
        if f"DBUS_STARTER_ADDRESS={address}".encode() in environ or parent == runner:
            found[int(entry)] = os.path.basename(command)
    return found
