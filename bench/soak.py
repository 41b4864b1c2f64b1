"""The soak run's arithmetic and bookkeeping: clicks per 10 s window, resident memory, and the
CPU of every process on the clicks' way. bench_linux.py --soak drives it."""

import os
import statistics
import time
from pathlib import Path

from bench import cpu_ticks

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


def cpu_snapshot(groups):
    """The moment and the CPU ticks of each group of processes (name -> PIDs), for cpu_shares."""
    return time.monotonic(), {name: _ticks(pids) for name, pids in groups.items()}


def cpu_shares(snapshot, groups):
    """% of one core each group took since the snapshot. A group with a process that ended
    meanwhile is left out: that process's ticks went with it."""
    t0, before = snapshot
    wall = time.monotonic() - t0
    hz = os.sysconf("SC_CLK_TCK")
    shares = {}
    for name, pids in groups.items():
        ticks = _ticks(pids)
        if ticks is not None and before.get(name) is not None:
            shares[name] = 100 * (ticks - before[name]) / hz / wall
    return shares


def _ticks(pids):
    try:
        return sum(cpu_ticks(pid) for pid in pids)
    except OSError:
        return None
