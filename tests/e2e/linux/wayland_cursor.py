"""The Wayland cursor probe against a private headless mutter: mutter, PipeWire and
WirePlumber in a D-Bus session and runtime dir of their own, a mutter ScreenCast session with
cursor metadata on each virtual monitor, the pointer moved through mutter's RemoteDesktop API.
Checks that cursor_probe reports the positions sent, and prints the latency from a move to
the probe's line, the probe's wake-ups and CPU while idle, and what it has mapped.

    /usr/bin/python3 tests/e2e/linux/wayland_cursor.py [--scale 2]

Exit 0 when every position came out right, 1 otherwise, 77 when something is missing.
"""

import os
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

BUILD = Path(os.environ.get("TAPWING_LINUX_BUILD") or Path(__file__).resolve().parents[3] / "build" / "linux")
PROBE = BUILD / "e2e-tools" / "cursor_probe"
# Side by side. Scaled by 2, each must stay at least 800x480 logical pixels (mutter's minimum).
MONITORS = {1: ("1280x1024", "800x600"), 2: ("2560x1600", "1600x1200")}


def wait_for(what, check, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = check()
        if result:
            return result
        time.sleep(0.02)
    raise TimeoutError(what)


class Mutter:
    """Calls into mutter's D-Bus API (inside the private session)."""

    def __init__(self):
        from gi.repository import Gio, GLib
        self.Gio, self.GLib = Gio, GLib
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)

    def call(self, path, iface, method, args=None, reply=None, name=None):
        result = self.bus.call_sync(name or "org.gnome.Mutter." + iface.split(".")[3], path,
                                    iface, method, args, reply and self.GLib.VariantType(reply),
                                    0, 5000, None)
        return result.unpack() if result else None

    def has_name(self, name):
        return self.call("/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                         self.GLib.Variant("(s)", (name,)), "(b)", "org.freedesktop.DBus")[0]

    def pump(self):
        while self.GLib.MainContext.default().iteration(False):
            pass


def inner(scale):
    m = Mutter()
    V = m.GLib.Variant
    # Monitor connectors in layout order.
    state = m.call("/org/gnome/Mutter/DisplayConfig", "org.gnome.Mutter.DisplayConfig",
                   "GetCurrentState")
    monitors = state[1]
    connectors = [mon[0][0] for mon in monitors]
    if scale != 1:
        logical = [(x, y, s, t, p, mons) for (x, y, s, t, p, mons, _props) in state[2]]
        m.call("/org/gnome/Mutter/DisplayConfig", "org.gnome.Mutter.DisplayConfig",
               "ApplyMonitorsConfig", V("(uua(iiduba(ssa{sv}))a{sv})",
                                        (state[0], 1, logical_layout(logical, monitors, scale), {})))
        state = wait_for("the scaled layout", lambda: next(
            (st for st in [m.call("/org/gnome/Mutter/DisplayConfig", "org.gnome.Mutter.DisplayConfig",
                                  "GetCurrentState")] if st[2][0][2] == scale), None))
        # layout-mode 1: logical pixels, scaled monitors take less room than their streams.
        print("layout-mode", state[3].get("layout-mode"), "logical monitors (x, y, scale):",
              [lm[:3] for lm in state[2]])
    rd = m.call("/org/gnome/Mutter/RemoteDesktop", "org.gnome.Mutter.RemoteDesktop",
                "CreateSession", None, "(o)")[0]
    rd_id = m.bus.call_sync("org.gnome.Mutter.RemoteDesktop", rd, "org.freedesktop.DBus.Properties",
                            "Get", V("(ss)", ("org.gnome.Mutter.RemoteDesktop.Session", "SessionId")),
                            None, 0, 5000, None).unpack()[0]
    sc = m.call("/org/gnome/Mutter/ScreenCast", "org.gnome.Mutter.ScreenCast", "CreateSession",
                V("(a{sv})", ({"remote-desktop-session-id": V("s", rd_id)},)), "(o)")[0]
    streams, nodes = [], {}
    for connector in connectors:
        path = m.call(sc, "org.gnome.Mutter.ScreenCast.Session", "RecordMonitor",
                      V("(sa{sv})", (connector, {"cursor-mode": V("u", 2)})), "(o)")[0]
        streams.append(path)
        m.bus.signal_subscribe(None, "org.gnome.Mutter.ScreenCast.Stream", "PipeWireStreamAdded",
                               path, None, 0,
                               lambda _c, _s, p, _i, _n, args: nodes.__setitem__(p, args.unpack()[0]))
    m.call(rd, "org.gnome.Mutter.RemoteDesktop.Session", "Start")
    wait_for("PipeWire nodes", lambda: (m.pump(), len(nodes) == len(streams))[1])
    print("monitors", connectors, "nodes", [nodes[p] for p in streams], "scale", scale)

    def move(stream, x, y):
        m.call(rd, "org.gnome.Mutter.RemoteDesktop.Session", "NotifyPointerMotionAbsolute",
               V("(sdd)", (streams[stream], float(x), float(y))))

    probe = subprocess.Popen([str(PROBE)] + [str(nodes[p]) for p in streams],
                             stdout=subprocess.PIPE, bufsize=0)
    lines, partial = [], [b""]

    def read(timeout):
        """Probe lines (split) that arrive within `timeout` seconds; returns at the first."""
        deadline = time.monotonic() + timeout
        while b"\n" not in partial[0]:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([probe.stdout], [], [], left)[0]:
                return []
            chunk = os.read(probe.stdout.fileno(), 4096)
            if not chunk:
                return []
            partial[0] += chunk
        *done, partial[0] = partial[0].split(b"\n")
        done = [line.decode() for line in done]
        lines.extend(done)
        return [line.split() for line in done]

    def expect(stream, x, y):
        """Moves to (x, y) of `stream` (its own pixels); waits for the probe to report that
        position there. Returns the latency in ms, or None."""
        sent = time.monotonic_ns() // 1000
        move(stream, x, y)
        deadline = time.monotonic() + 2
        while time.monotonic() < deadline:
            for ev in read(deadline - time.monotonic()):
                if ev[1:] == ["moved", str(stream), str(x), str(y)]:
                    return (int(ev[0]) - sent) / 1000
        return None

    ok = True
    try:
        # Connected once a move comes through (mutter may drop the first one).
        wait_for("the probe's first report", lambda: (move(0, 1, 1), read(1))[1], timeout=20)
        (w0, h0), (w1, h1) = ((int(n) for n in size.split("x")) for size in MONITORS[scale])
        checks = [(0, 100, 200), (0, w0 // 2, h0 // 2), (0, w0 - 1, h0 - 1)]
        if len(streams) > 1:
            checks += [(1, 10, 20), (1, w1 - 1, h1 - 1), (0, 3, 4)]
        for stream, x, y in checks:
            latency = expect(stream, x, y)
            print(f"move stream {stream} to ({x},{y}): "
                  + ("not reported" if latency is None else f"reported after {latency:.1f} ms"))
            ok &= latency is not None
        print("events:", "".join(" | " + ln for ln in lines[-9:]))
        ok &= any(ln.split()[1:] == ["left", "0"] for ln in lines) or len(streams) == 1

        if not ok:
            return 1
        # Latency over many moves, one at a time, after a short pause each.
        latencies = []
        for i in range(60):
            time.sleep(0.05)
            latency = expect(0, 200 + i * 7, 300 + i * 3)
            if latency is not None:
                latencies.append(latency)
        if latencies:
            q = statistics.quantiles(latencies, n=20)
            print(f"latency move -> Moved over {len(latencies)}/60 moves: median "
                  f"{statistics.median(latencies):.1f} ms, p95 {q[18]:.1f} ms, max {max(latencies):.1f} ms")
        ok &= len(latencies) == 60

        # Idle: no moves, nothing drawn. Then pointer-only moves.
        hz = os.sysconf("SC_CLK_TCK")

        def counters():
            """Wake-ups of the probe's main thread, and CPU ticks of the probe and of mutter."""
            status = Path(f"/proc/{probe.pid}/task/{probe.pid}/status").read_text()
            ticks = [sum(map(int, Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[11:13]))
                     for pid in (probe.pid, MUTTER_PID)]
            return [sum(int(ln.split()[1]) for ln in status.splitlines() if "ctxt_switches" in ln)] + ticks

        before, t0 = counters(), time.monotonic()
        time.sleep(5)
        after, t1 = counters(), time.monotonic()
        wakeups, probe_cpu, mutter_cpu = ((a - b) / (t1 - t0) for a, b in zip(after, before))
        print(f"idle 5 s: probe main-thread wake-ups {wakeups:.1f}/s, probe CPU "
              f"{100 * probe_cpu / hz:.2f} %, mutter CPU {100 * mutter_cpu / hz:.2f} %, lines {len(read(0.1))}")
        before = counters()
        for i in range(50):
            move(0, 500 + (i % 2), 500)
        read(0.3)
        wakeups, probe_cpu, mutter_cpu = (a - b for a, b in zip(counters(), before))
        print(f"50 pointer-only moves: probe wake-ups {wakeups}, probe CPU {1000 * probe_cpu / hz:.0f} ms, "
              f"mutter CPU {1000 * mutter_cpu / hz:.0f} ms; probe threads "
              f"{len(list(Path(f'/proc/{probe.pid}/task').iterdir()))}")

        maps = [ln.split() for ln in Path(f"/proc/{probe.pid}/maps").read_text().splitlines()]
        shared = [(int(a.split("-")[1], 16) - int(a.split("-")[0], 16), " ".join(rest[4:]))
                  for a, *rest in maps if "memfd" in " ".join(rest[4:]) or "dmabuf" in " ".join(rest[4:])]
        frame = max(int(w) * int(h) for w, h in (s.split("x") for s in MONITORS[scale][:len(streams)])) * 4
        print(f"shared mappings: {len(shared)}, largest {max((s for s, _ in shared), default=0)} bytes "
              f"(one frame is {frame} bytes):", sorted({n for _, n in shared}))
        ok &= all(size < frame for size, _ in shared)
    finally:
        probe.terminate()
        try:
            probe.wait(5)
        except subprocess.TimeoutExpired:
            probe.kill()
        rest = (partial[0] + probe.stdout.read()).decode().strip()
        if rest:
            print("probe at exit:", rest)
        print("probe exit status", probe.returncode)
    return 0 if ok and probe.returncode == 0 else 1


def logical_layout(logical, monitors, scale):
    """The logical monitors side by side at `scale`, each in its current mode."""
    out, x = [], 0
    for (_x, _y, _s, transform, primary, mons) in logical:
        connector = mons[0][0]
        mode = next(mode for mon in monitors if mon[0][0] == connector for mode in mon[1]
                    if mode[6].get("is-current"))
        out.append((x, 0, float(scale), transform, primary, [(connector, mode[0], {})]))
        x += mode[1] // scale
    return out


MUTTER_PID = None


def session(scale):
    """Mutter, PipeWire and WirePlumber under this D-Bus session; returns inner()'s status."""
    env = os.environ
    procs = []

    def start(*argv, **kw):
        procs.append(subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT, **kw))
        return procs[-1]

    log = open(Path(env["XDG_RUNTIME_DIR"]) / "stack.log", "w")
    try:
        mutter_env = dict(env)
        if scale != 1:  # logical layout: stream pixels and pointer coordinates differ
            mutter_env["GSETTINGS_BACKEND"] = "keyfile"
        monitors = [a for size in MONITORS[scale] for a in ("--virtual-monitor", size)]
        global MUTTER_PID
        MUTTER_PID = start("mutter", "--headless", "--wayland", "--no-x11", "--wayland-display",
                           env["WAYLAND_DISPLAY"], *monitors, env=mutter_env).pid
        m = Mutter()
        wait_for("mutter on the bus", lambda: m.has_name("org.gnome.Mutter.ScreenCast"))
        start("pipewire")
        wait_for("PipeWire socket", lambda: (Path(env["XDG_RUNTIME_DIR"]) / "pipewire-0").exists())
        start("wireplumber")
        return inner(scale)
    finally:
        for p in reversed(procs):
            p.terminate()
        for p in reversed(procs):
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        log.close()


def main():
    scale = int(sys.argv[sys.argv.index("--scale") + 1]) if "--scale" in sys.argv else 1
    if "--inner" in sys.argv:
        return session(scale)
    for tool in ("mutter", "pipewire", "wireplumber", "dbus-run-session"):
        if not shutil.which(tool):
            print(f"missing {tool} (scripts/setup.sh installs it)")
            return 77
    if not PROBE.exists():
        print(f"{PROBE} is not built (cmake --build --preset linux --target cursor_probe)")
        return 77
    with tempfile.TemporaryDirectory(prefix="tapwing-cursor-") as tmp:
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
        for name in ("runtime", "config", "data", "cache", "state"):
            os.makedirs(Path(tmp) / name, mode=0o700)
        env.update(XDG_RUNTIME_DIR=f"{tmp}/runtime", XDG_CONFIG_HOME=f"{tmp}/config",
                   XDG_DATA_HOME=f"{tmp}/data", XDG_CACHE_HOME=f"{tmp}/cache",
                   XDG_STATE_HOME=f"{tmp}/state", XDG_SESSION_TYPE="wayland",
                   XDG_CURRENT_DESKTOP="GNOME", WAYLAND_DISPLAY="wayland-tapwing",
                   GSETTINGS_BACKEND="memory", PYTHONUNBUFFERED="1")
        keyfile = Path(tmp) / "config" / "glib-2.0" / "settings" / "keyfile"
        keyfile.parent.mkdir(parents=True)
        keyfile.write_text("[org/gnome/mutter]\nexperimental-features=['scale-monitor-framebuffer']\n")
        outer = subprocess.Popen(["dbus-run-session", "--", "/usr/bin/python3", __file__, "--inner"]
                                 + sys.argv[1:], env=env)
        try:
            status = outer.wait(120)
        except subprocess.TimeoutExpired:
            outer.kill()
            outer.wait()
            status = 1
        if status not in (0, 77):
            print("stack log:\n" + (Path(tmp) / "runtime" / "stack.log").read_text()[-3000:])
        return status


if __name__ == "__main__":
    sys.exit(main())
