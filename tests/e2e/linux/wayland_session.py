"""Wayland kinds of NativeSession: a headless KWin or mutter of the test's own, with PipeWire
(the portals' screen casts), the GTK click target and the compositor's test input; a headless
sway (no portal: the wlroots path), run with everything in it as an unprivileged user, since
sway refuses root and runs its key bindings as its own user; a headless weston, which has no
seat at all, so nothing in it can be clicked or typed at.

Everything is private to the session: runtime dir (0700), XDG config/data/cache/state dirs,
D-Bus session, Wayland socket name. The environment is complete before dbus-run-session
starts, since the portals it activates inherit the bus's environment. Each compositor gets
settings that keep the click target below tapwing and centre new windows, as tapwing centres
itself on X11.
"""

import itertools
import os
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import linux_harness as lh
from harness import config, wait_for
from harness.waiting import WaitTimeout
from harness.session import _kill, renew_artifacts
from wayland_input import KEYCODES, KWinFakeInput, MutterRemoteDesktop, SwayInput, WaylandInput

GTK_CLICKTARGET = lh.TOOLS_DIR / "gtk_clicktarget"
FAKE_INPUT = lh.TOOLS_DIR / "kwin_fake_input"
WLR_POINTER = lh.TOOLS_DIR / "wlr_virtual_pointer"
DESKTOP_ENTRY = Path(__file__).resolve().parents[3] / "app/linux/org.tapwing.Tapwing.desktop"

KWIN_ENV = dict(XDG_CURRENT_DESKTOP="KDE", KDE_FULL_SESSION="true", KDE_SESSION_VERSION="5",
                KWIN_COMPOSE="Q", KWIN_WAYLAND_NO_PERMISSION_CHECKS="1")  # the last opens fake input
# KWin 6: Qt's accessibility on, for its portal's dialog; Plasma 6's settings and portal.
KWIN6_ENV = dict(KWIN_ENV, KDE_SESSION_VERSION="6", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
KDE_BACKEND = "org.freedesktop.impl.portal.desktop.kde"
GNOME_BACKEND = "org.freedesktop.impl.portal.desktop.gnome"
PERMISSION_STORE = "org.freedesktop.impl.portal.PermissionStore"
MUTTER_ENV = dict(XDG_CURRENT_DESKTOP="GNOME", GSETTINGS_BACKEND="keyfile")
# GIO's own volume monitor: gvfs's would ask for udisks, which no test session has.
GNOME48_ENV = dict(MUTTER_ENV, GIO_USE_VOLUME_MONITOR="unix")
# XDG_CURRENT_DESKTOP=sway: xdg-desktop-portal then offers no RemoteDesktop from the GNOME or
# KDE backends installed beside it.
SWAY_ENV = dict(XDG_CURRENT_DESKTOP="sway", WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                WLR_RENDERER="pixman")
# labwc as Raspberry Pi OS starts it; its portal config then takes any backend installed.
LABWC_ENV = dict(SWAY_ENV, XDG_CURRENT_DESKTOP="labwc:wlroots")
WESTON_ENV = dict(XDG_CURRENT_DESKTOP="weston")
# sway will not run as root: it, its bus, its key bindings and the test input run as this
# user. tapwing and the click target run as root on that bus and display, like the tests: an
# application's AT-SPI (atk-bridge's direct connection) answers its own user only, and the
# tests read them through AT-SPI. The bus lets root in.
SWAY_USER = ("setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups")
SWAY_BUS = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <include>/usr/share/dbus-1/session.conf</include>
  <policy context="default"><allow user="root"/></policy>
</busconfig>
"""

# weston stands for a desktop without the portals: its bus can start the accessibility bus and
# nothing else, so no GNOME or KDE portal backend installed on this machine answers there.
BARE_BUS = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <servicedir>{services}</servicedir>
  <policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>
"""
# gnome-shell 48's system bus: with nothing to activate, its calls to services a container lacks
# (accounts, colour, polkit, udisks) fail at once instead of blocking the shell 25 s each.
SYSTEM_BUS = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/><allow own="*"/><allow send_destination="*"/><allow receive_sender="*"/>
  </policy>
</busconfig>
"""
A11Y_SERVICE = "/usr/share/dbus-1/services/org.a11y.Bus.service"

KWIN_CONFIG = {
    "kwinrc": "[Windows]\nPlacement=Centered\nFocusStealingPreventionLevel=0\n",
    # A focused full-screen window would otherwise rise above tapwing.
    "kwinrulesrc": ("[General]\ncount=1\nrules=1\n\n[1]\nDescription=click target below\n"
                    "title=Tapwing click target\ntitlematch=1\nbelow=true\nbelowrule=2\n"),
}
MUTTER_CONFIG = {
    "glib-2.0/settings/keyfile": ("[org/gnome/mutter]\ncenter-new-windows=true\n\n"
                                  "[org/gnome/desktop/wm/preferences]\nraise-on-click=false\n"),
}
GNOME48_CONFIG = {name: text + "\n[org/gnome/desktop/interface]\nenable-animations=false\n"
                  for name, text in MUTTER_CONFIG.items()}


def _introspect(env, dest, path, *options):
    """What `gdbus introspect` says of dest's object at path (empty if it cannot)."""
    return subprocess.run(["gdbus", "introspect", "--session", "--dest", dest, "--object-path", path, *options],
                          env=env, capture_output=True, text=True, timeout=10).stdout


def _gdbus(env, *args, timeout=10):
    done = subprocess.run(["gdbus", "call", "--session", *map(str, args)], env=env, capture_output=True,
                          text=True, timeout=timeout)
    if done.returncode:
        raise RuntimeError(f"gdbus {' '.join(map(str, args))}: {done.stderr.strip()}")
    return done.stdout.strip()


class WaylandSession(lh.NativeSession):
    """kind "kwin", "mutter", "sway", "labwc" or "weston", or a lane's kind of those families
    ("gnome48", "gnome-testing": gnome-shell; "kwin6", "kwin-testing": Plasma 6; "sway-current",
    "sway-testing"); outputs and scale as the compositor's virtual outputs have them (mutter,
    weston: one output, scale 1; sway: the second output, at x=1280, gets the scale; with scale 1
    it has scale 2, so the outputs' scales always differ; a third, at x=2560, has the fractional
    scale 1.5; labwc: two, the second at x=1280 and scale 1.5; gnome-shell with two outputs: the
    second, at x=1280, at GNOME's fractional 1.497)."""

    # gnome-shell (GNOME 48 and later) rather than bare mutter 43; Plasma 6 rather than 5.27.
    shell = property(lambda self: self.kind in ("gnome48", "gnome-testing"))
    plasma6 = property(lambda self: self.kind in ("kwin6", "kwin-testing"))
    # sway and labwc: no portal of their own, the desktop binds the keys to `tapwing --hotkey`.
    wlroots = property(lambda self: self.family in ("sway", "labwc"))
    # mutter 43 has no GlobalShortcuts, GNOME 48 has.
    global_hotkeys = property(lambda self: self.family == "kwin" or self.wlroots or self.shell)
    # KWin 6 headless casts no screens (no OpenGL): F7 says it cannot read the pointer there.
    reads_pointer = property(lambda self: not self.plasma6)

    def __init__(self, name, kind, outputs=1, scale=1):
        super().__init__(name)
        family = lh.FAMILIES.get(kind, kind)
        if family not in ("kwin", "mutter", "sway", "labwc", "weston"):
            raise ValueError(f"unknown session kind {kind!r}")
        if family in ("sway", "labwc"):
            self.run_as = SWAY_USER
        self.kind, self.family, self.outputs, self.scale = kind, family, outputs, scale
        # What the session's own user must reach: the session dir where that user is root, a
        # private folder of that user's own elsewhere (the checkout may be where only root goes).
        self.home = self.dir
        self.socket = f"tapwing-{name}-{os.getpid()}"
        self.pointer_file = self.click_log.with_name(self.click_log.name + ".pointer")
        self.input = None
        # Where each output beside the first starts (x), where the tests click on those too.
        self.other_outputs = {"sway": [1280, 2560], "labwc": [1280]}.get(family, [])
        if self.plasma6:
            self.other_outputs = [x for x, _, _ in self._kwin6_outputs()[1:]]
        self._procs = {}  # compositor, pipewire, wireplumber: what stop() ends, in reverse

    def start(self):
        lh.require_tapwing()
        for tool in (GTK_CLICKTARGET,) + {"kwin": (FAKE_INPUT,), "sway": (WLR_POINTER,),
                                          "labwc": (WLR_POINTER,)}.get(self.family, ()):
            if not tool.exists():
                raise lh.unittest.SkipTest(f"{tool} is not built ({lh.BUILD_HINT})")
        programs = {"sway": ("sway", "swaymsg", "wtype", "setpriv"), "weston": ("weston",), "mutter": ("mutter",),
                    "labwc": ("labwc", "wlr-randr", "wtype", "setpriv"), "kwin": ("kwin_wayland",)}
        for tool in ("gnome-shell",) if self.shell else programs.get(self.family, ()):
            if not shutil.which(tool):
                raise lh.unittest.SkipTest(f"{tool} is not installed (scripts/setup.sh installs it)")
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        renew_artifacts(self.artifacts)
        lh.Session.current = self
        try:
            if self.run_as:
                self._make_private_home()
            if self.wlroots or self.family == "weston":
                self.bus_args = (f"--config-file={self.home / 'bus.conf'}",)
            self.env = self._environment()
            if self.shell:
                self._start_system_bus()
            self._start_bus()
            if self.shell:  # gnome-shell 48 started before PipeWire never answers a portal Start
                self._start_pipewire()
            self._start_compositor()
            if self.family == "labwc":
                self._lay_out_labwc()
            if self.shell:
                self._close_overview()
                if self.outputs > 1:
                    self._scale_second_monitor()
            if self.family in ("kwin", "mutter") and "pipewire" not in self._procs:
                self._start_pipewire()
            if self.family != "weston":  # no seat: nothing could click the target
                self._start_clicktarget()
                if self.shell:
                    self._keep_overview_closed()
                self._start_input()
                self._wait_pointer_seen()
        except BaseException:
            try:
                self.screenshot("FAILED-start")  # before the desktop goes
            except Exception:
                pass
            self.stop()
            raise
        os.environ.update(DBUS_SESSION_BUS_ADDRESS=self.env["DBUS_SESSION_BUS_ADDRESS"])
        os.environ.pop("DISPLAY", None)
        return self

    def stop(self, keep=False):
        for app in list(self._apps):
            app.kill()
        if self.input:
            self.input.driver.close()
        _kill(self._clicktarget)
        for proc in reversed(list(self._procs.values())):
            _kill(proc)
        self._procs.clear()
        super().stop(keep)  # the bus's services, the document portal's FUSE folder among them
        if self.home != self.dir and not keep and not os.environ.get("TAPWING_E2E_KEEP"):
            lh.remove_tree(self.home)

    # ---- Start-up ----------------------------------------------------------------------

    def _make_private_home(self):
        """A folder of the session's user under /tmp with copies of the programs that user runs
        (tapwing for its key bindings, the virtual pointer tool); the cleanup fixture finds it
        through the session dir. Says which path that user cannot reach, if any."""
        self.home = Path(tempfile.mkdtemp(prefix=f"tapwing-{self.name}-", dir="/tmp"))
        (self.dir / "private").write_text(str(self.home))
        bin_dir = self.home / "bin"
        bin_dir.mkdir()
        for tool in (lh.TAPWING, WLR_POINTER):
            shutil.copy2(tool, bin_dir / tool.name)
        self.program = bin_dir / lh.TAPWING.name
        self.pointer_tool = bin_dir / WLR_POINTER.name
        subprocess.run(["chown", "-R", "nobody:nogroup", str(self.home)], check=True)

    def _check_reachable(self, *paths):
        for path in paths:
            done = subprocess.run([*self.run_as, "test", "-r", str(path)], capture_output=True)
            if done.returncode:
                raise RuntimeError(f"the session's user ({self.run_as[1]}) cannot read {path}: "
                                   "a folder on its way is closed to that user")

    def _environment(self):
        dirs = {var: self.home / sub for var, sub in (("XDG_RUNTIME_DIR", "run"), ("XDG_CONFIG_HOME", "config"),
                                                    ("XDG_DATA_HOME", "data"), ("XDG_CACHE_HOME", "cache"),
                                                    ("XDG_STATE_HOME", "state"))}
        for path in dirs.values():
            path.mkdir(mode=0o700)
        configs = {"kwin": KWIN_CONFIG, "mutter": MUTTER_CONFIG, "sway": {"sway/config": self._sway_config()},
                   "labwc": {"labwc/rc.xml": self._labwc_config()}}
        if self.shell:
            configs["mutter"] = GNOME48_CONFIG
        if self.plasma6:
            configs["kwin"] = dict(KWIN_CONFIG, **self._kwin6_config())
        for name, text in configs.get(self.family, {}).items():
            (dirs["XDG_CONFIG_HOME"] / name).parent.mkdir(parents=True, exist_ok=True)
            (dirs["XDG_CONFIG_HOME"] / name).write_text(text)
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "NO_AT_BRIDGE", "GTK_A11Y", "QT_QPA_PLATFORM",
                            "DBUS_SESSION_BUS_ADDRESS", "XAUTHORITY")}
        env.update({k: str(v) for k, v in dirs.items()})
        envs = {"kwin": KWIN6_ENV if self.plasma6 else KWIN_ENV, "mutter": GNOME48_ENV if self.shell else MUTTER_ENV,
                "sway": SWAY_ENV, "labwc": LABWC_ENV, "weston": WESTON_ENV}
        env.update(envs[self.family])
        env.update(XDG_SESSION_TYPE="wayland", WAYLAND_DISPLAY=self.socket, GDK_BACKEND="wayland",
                   LANG="C.UTF-8", LC_ALL="C.UTF-8")
        if self.shell or self.plasma6:
            self._add_desktop_entry(dirs["XDG_DATA_HOME"], env)
        if self.wlroots:
            env.update(HOME=str(self.home), WLR_HEADLESS_OUTPUTS="3" if self.family == "sway" else "2")
            (self.home / "bus.conf").write_text(SWAY_BUS)
            subprocess.run(["chown", "-R", "nobody:nogroup", str(self.home)], check=True)
            self._check_reachable(self.home / "bus.conf", self.program, self.pointer_tool)
        if self.family == "weston":
            services = self.home / "services"
            services.mkdir()
            shutil.copy(A11Y_SERVICE, services)
            (self.home / "bus.conf").write_text(BARE_BUS.format(services=services))
        return env

    def _sway_config(self):
        """Three outputs at scales 1, 2 (or the session's) and 1.5 side by side, nothing that moves the pointer or the
        focus on its own, no borders (the click target's surface lies at its output's origin),
        and F5/F6/F7 bound the way a user binds them."""
        second = self.scale if self.scale != 1 else 2
        keys = "".join(f"bindsym --no-repeat {key} exec {self.program} --hotkey {key}\n" for key in ("F5", "F6", "F7"))
        return ("xwayland disable\ndefault_border none\ndefault_floating_border none\n"
                "focus_follows_mouse no\nmouse_warping none\n"
                "output HEADLESS-1 resolution 1280x1024 position 0 0 scale 1\n"
                f"output HEADLESS-2 resolution {1280 * second}x{1024 * second} position 1280 0 scale {second}\n"
                "output HEADLESS-3 resolution 1920x1536 position 2560 0 scale 1.5\n"
                + keys)

    def _labwc_config(self):
        """Nothing that moves the pointer or the focus on its own, new windows centred, and
        F5/F6/F7 bound the way a user binds them in rc.xml, beside labwc's own bindings (its
        Alt+Tab gives a window the focus here)."""
        keys = "".join(f'<keybind key="{key}"><action name="Execute" command="{self.program} --hotkey {key}"/></keybind>'
                       for key in ("F5", "F6", "F7"))
        return ('<?xml version="1.0"?>\n<labwc_config>\n'
                "<focus><followMouse>no</followMouse><raiseOnFocus>no</raiseOnFocus></focus>\n"
                "<placement><policy>center</policy></placement>\n"
                f"<keyboard><default />{keys}</keyboard>\n</labwc_config>\n")

    def _lay_out_labwc(self):
        """The two headless outputs side by side, the second at scale 1.5, with the modes the
        sway session's outputs have (labwc leaves the layout to wlr-randr)."""
        def laid_out():
            try:
                self.as_user(["wlr-randr", "--output", "HEADLESS-1", "--custom-mode", "1280x1024", "--pos", "0,0",
                              "--scale", "1", "--output", "HEADLESS-2", "--custom-mode", "1920x1536",
                              "--pos", "1280,0", "--scale", "1.5"])
            except RuntimeError:
                return False  # the outputs not there yet
            said = self.as_user(["wlr-randr"])
            return "Scale: 1.5" in said and "Position: 1280,0" in said
        wait_for(laid_out, 10, "labwc's outputs laid out", interval=0.2)

    def _kwin6_outputs(self):
        """(x, width, height) of each output in logical pixels: the first at scale 1.5, the others
        at 2, side by side, all with the same mode (KWin's virtual outputs share one size)."""
        w, h = config.SCREEN
        return [(0, w, h)] + [(w + (i - 1) * w * 3 // 4, w * 3 // 4, h * 3 // 4) for i in range(1, self.outputs)]

    def _kwin6_config(self):
        """KWin 6.3 keeps the outputs' scales in kwinoutputconfig.json, written before it starts:
        its --scale does not stick."""
        import json

        w, h = config.SCREEN
        mode = {"width": w * 3 // 2, "height": h * 3 // 2, "refreshRate": 60000}
        outputs = self._kwin6_outputs()
        data = [{"connectorName": f"Virtual-{i}", "mode": mode, "scale": 1.5 if i == 0 else 2.0}
                for i in range(len(outputs))]
        setup = {"lidClosed": False, "outputs": [{"enabled": True, "outputIndex": i, "priority": i,
                                                 "position": {"x": x, "y": 0}} for i, (x, _, _) in enumerate(outputs)]}
        return {"kwinoutputconfig.json": json.dumps([{"name": "outputs", "data": data},
                                                     {"name": "setups", "data": [setup]}])}

    def as_user(self, args, timeout=10):
        """Runs a command in the session as its user; raises if it fails."""
        done = subprocess.run([*self.run_as, *args], env=self.env, capture_output=True, text=True, timeout=timeout)
        if done.returncode:
            raise RuntimeError(f"{' '.join(args)}: exit code {done.returncode}: {done.stderr.strip()}")
        return done.stdout

    def _spawn(self, what, args, env=None):
        proc = subprocess.Popen([*self.run_as, *args], env=env or self.env, cwd=str(self.home), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=self._log(what))
        self._record(proc.pid, what)
        self._procs[what] = proc
        return proc

    def _start_system_bus(self):
        """A system bus of the session's own, which gnome-shell 48 will not start without."""
        socket = self.home / "system_bus_socket"
        (self.home / "system-bus.conf").write_text(SYSTEM_BUS.format(socket=socket))
        self._spawn("system-bus", ["dbus-daemon", f"--config-file={self.home / 'system-bus.conf'}", "--nofork",
                                   "--nopidfile"])
        wait_for(socket.exists, 10, "the system bus")
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = f"unix:path={socket}"

    @staticmethod
    def _add_desktop_entry(data_home, env):
        """GNOME 48's portal registry accepts tapwing's application id only with its desktop
        entry, and GLib skips an entry whose Exec program is not on PATH."""
        (data_home / "applications").mkdir()
        shutil.copy(DESKTOP_ENTRY, data_home / "applications")
        env["PATH"] = f"{lh.PROGRAM_DIR}:{env.get('PATH', '/usr/bin:/bin')}"

    def _start_compositor(self):
        w, h = config.SCREEN
        if self.family == "kwin":
            # A copy without the file capability the container may not grant; the Qt platform
            # plugin is chosen by the name, which must end in kwin_wayland.
            program = self.dir / "kwin_wayland"
            shutil.copyfile("/usr/bin/kwin_wayland", program)
            program.chmod(0o755)
            env = {k: v for k, v in self.env.items() if k not in ("WAYLAND_DISPLAY", "GDK_BACKEND")}
            scale = self.scale
            if self.plasma6:  # the mode's pixels; the scales come from its config file
                w, h, scale = w * 3 // 2, h * 3 // 2, 1
            self._spawn("kwin_wayland", [str(program), "--virtual", "--width", str(w), "--height", str(h),
                                         "--output-count", str(self.outputs), "--scale", str(scale),
                                         "--no-lockscreen", "--socket", self.socket], env)
        elif self.family == "mutter":
            monitors = [arg for _ in range(self.outputs) for arg in ("--virtual-monitor", f"{w}x{h}")]
            program = "gnome-shell" if self.shell else "mutter"
            # Unsafe mode: a failing test's screenshot and the shell's state come through its D-Bus API.
            unsafe = ["--unsafe-mode"] if self.shell else []
            self._spawn(program, [program, "--headless", "--wayland", "--no-x11", "--wayland-display",
                                  self.socket, *unsafe, *monitors])
        elif self.family == "sway":
            self._spawn("sway", ["sway", "-c", str(Path(self.env["XDG_CONFIG_HOME"]) / "sway" / "config")])
        elif self.family == "labwc":
            self._spawn("labwc", ["labwc", "-C", str(Path(self.env["XDG_CONFIG_HOME"]) / "labwc")])
        else:
            self._spawn("weston", ["weston", "--backend=headless-backend.so", f"--width={w}", f"--height={h}",
                                   "--use-pixman", "--no-config", f"--socket={self.socket}"])
        run = Path(self.env["XDG_RUNTIME_DIR"])
        compositor = list(self._procs.values())[-1]

        def up():
            _check_running(compositor, self.kind)
            if not self.wlroots:
                return (run / self.socket).exists()
            # sway and labwc name their sockets themselves; their clients learn them from their
            # environment.
            sockets = [p.name for p in run.glob("wayland-*") if not p.name.endswith(".lock")]
            ipc = list(run.glob("sway-ipc.*.sock"))
            if sockets and (ipc or self.family == "labwc"):
                self.env.update(WAYLAND_DISPLAY=sockets[0])
                if ipc:
                    self.env.update(SWAYSOCK=str(ipc[0]))
                return True
            return False

        wait_for(up, 30, f"{self.kind}'s Wayland socket")

    def _shell_eval(self, js):
        """gnome-shell's answer to a line of its JavaScript, as gdbus prints it; None while the
        shell is not on the bus yet."""
        try:
            return _gdbus(self.env, "--dest", "org.gnome.Shell", "--object-path", "/org/gnome/Shell", "--method",
                          "org.gnome.Shell.Eval", js)
        except RuntimeError:
            return None

    def _close_overview(self):
        """gnome-shell opens its Overview as it starts, hiding every window, and covers the
        screen against input until that start is over: wait for it to be over, then close the
        Overview (kept closed once the click target shows)."""
        wait_for(lambda: self._shell_eval("Main.layoutManager._startingUp") == "(true, 'false')", 30,
                 "gnome-shell's start to be over", interval=0.1)
        self._shell_eval("Main.overview.hide()")

    def _keep_overview_closed(self):
        """The Overview closed until it has stayed so for 2 s: GNOME 50 may open it again a
        moment later, also once the monitors change or the first window shows."""
        closed_since = None

        def stays_closed():
            nonlocal closed_since
            # actionMode 1: NORMAL, which nothing (a cover, the Overview, a modal) has taken over
            if self._shell_eval("Main.overview.visible || Main.actionMode !== 1") != "(true, 'false')":
                closed_since = None
                self._shell_eval("Main.overview.hide()")
                return False
            closed_since = closed_since or time.monotonic()
            return time.monotonic() - closed_since >= 2
        wait_for(stays_closed, 20, "the Overview to stay closed", interval=0.1)

    def _scale_second_monitor(self):
        """The second monitor at GNOME's fractional scale 1.5 (its nearest, 1.497: the scales
        that give whole logical sizes), as the display settings set it."""
        from gi.repository import Gio, GLib

        flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
        bus = Gio.DBusConnection.new_for_address_sync(self.env["DBUS_SESSION_BUS_ADDRESS"], flags, None, None)
        name, path = "org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig"

        def call(method, args=None):
            return bus.call_sync(name, path, name, method, args, None, 0, 10000, None).unpack()

        def state():
            try:
                return call("GetCurrentState")
            except GLib.Error:
                return None  # not on the bus yet

        serial, monitors, _, _ = wait_for(state, 15, "mutter's display configuration")
        layout, x = [], 0
        for i, ((connector, *_), modes, _) in enumerate(sorted(monitors)):
            mode = next(m for m in modes if m[6].get("is-current"))
            scale = min(mode[5], key=lambda s: abs(s - 1.5)) if i == 1 else 1.0
            layout.append((x, 0, scale, 0, i == 0, [(connector, mode[0], {})]))
            x += round(mode[1] / scale)
        call("ApplyMonitorsConfig", GLib.Variant("(uua(iiduba(ssa{sv}))a{sv})", (serial, 1, layout, {})))
        self.other_outputs = [m[0] for m in layout[1:]]
        bus.close_sync(None)

    def _start_pipewire(self):
        """PipeWire, then its session manager once PipeWire listens: a WirePlumber that comes
        too early gives up, and without it no screen-cast stream is ever linked."""
        pipewire = self._spawn("pipewire", ["pipewire"])

        def listening():
            _check_running(pipewire, "pipewire")
            return (Path(self.env["XDG_RUNTIME_DIR"]) / "pipewire-0").exists()

        wait_for(listening, 10, "PipeWire's socket")
        manager = self._spawn("wireplumber", ["wireplumber"])

        def managing():
            _check_running(manager, "wireplumber")
            return '"WirePlumber"' in self.as_user(["pw-cli", "ls", "Client"])

        wait_for(managing, 10, "WirePlumber to join PipeWire", interval=0.1)

    def _start_clicktarget(self):
        self.click_log.touch()
        # gnome-shell's top bar would push a maximized window down: full screen there, on each monitor.
        maximize = self.family == "mutter" and not self.shell
        args = [str(GTK_CLICKTARGET), str(self.click_log)] + (["--maximize"] if maximize else [])
        self._clicktarget = subprocess.Popen(args, env=self.env, stdout=subprocess.DEVNULL,
                                             stderr=self._log("clicktarget"))
        self._record(self._clicktarget.pid, "gtk_clicktarget")
        wait_for(lambda: "# ready" in self.click_log.read_text(), 15, "the click target to show")

    def _start_input(self):
        if self.family == "kwin":
            driver = KWinFakeInput(FAKE_INPUT, self.env, self._log("fake_input"), self._record)
        elif self.wlroots:
            layout = (1280 * (1 + len(self.other_outputs)), 1024)  # the outputs side by side, in logical pixels
            driver = SwayInput((*self.run_as, str(self.pointer_tool)), layout, self.as_user, self.env,
                               self._log("virtual_pointer"), self._record)
        else:
            driver = MutterRemoteDesktop(self.env["DBUS_SESSION_BUS_ADDRESS"])
        self.input = WaylandInput(driver, self.pointer_file)
        if self.plasma6:
            self.input.outputs = self._kwin6_outputs()
        if self.shell:
            # Keys held past GNOME's repeat delay (500 ms): its repeated Activated counts once.
            self.input.held = 0.8

    def _wait_pointer_seen(self):
        driver = self.input.driver
        # mutter drops the first pointer event after a client maps, and a move to where the
        # pointer already is reports nothing: alternate between two points until one is seen.
        # Each move gets the poll's interval to reach the click target before it is checked.
        points = itertools.cycle([(640, 512), (641, 512)])
        last = None

        def seen():
            nonlocal last
            if last and self._pointer_is(last):
                return True
            last = next(points)
            driver.move(*last)
            return False

        wait_for(seen, 20, "the click target to see the pointer", interval=0.1)

    def _pointer_is(self, point):
        try:
            return self.input.pointer() == point
        except (OSError, ValueError):
            return False

    # ---- What the tests use ------------------------------------------------------------

    @property
    def clicktarget_pid(self):
        return self._clicktarget.pid

    def focus(self, app=None):
        """Gives app's window (the click target's without one) the keyboard focus; waits until
        AT-SPI shows it active."""
        pid = app.pid if app else self.clicktarget_pid
        if self.active_pid() == pid:
            return
        if self.family == "kwin":
            script = self.dir / "focus.js"
            windows, active = ("windowList", "activeWindow") if self.plasma6 else ("clientList", "activeClient")
            script.write_text(f"for (const w of workspace.{windows}())\n"
                              f"  if (w.pid === {pid}) workspace.{active} = w;\n")
            name = f"focus{time.monotonic_ns()}"
            _gdbus(self.env, "--dest", "org.kde.KWin", "--object-path", "/Scripting",
                   "--method", "org.kde.kwin.Scripting.loadScript", script, name)
            _gdbus(self.env, "--dest", "org.kde.KWin", "--object-path", "/Scripting",
                   "--method", "org.kde.kwin.Scripting.start")
            wait_for(lambda: self.active_pid() == pid, 5, f"the window of PID {pid} active")
            _gdbus(self.env, "--dest", "org.kde.KWin", "--object-path", "/Scripting",
                   "--method", "org.kde.kwin.Scripting.unloadScript", name)
        elif self.family == "sway":
            # A window AT-SPI already shows may not be in sway's tree yet: no match, exit code 2.
            def focused():
                try:
                    self.as_user(["swaymsg", f"[pid={pid}] focus"])
                except RuntimeError:
                    return False
                return self.active_pid() == pid
            wait_for(focused, 5, f"the window of PID {pid} active", interval=0.1)
        else:
            # Plain mutter has no window API; its own Alt+Tab activates the next window.
            def switched():
                if self.active_pid() == pid:
                    return True
                self.input.key("alt+Tab")
                return self.active_pid() == pid
            wait_for(switched, 5, f"the window of PID {pid} active", interval=0.2)

    def has_focus(self, app=None):
        return self.active_pid() == (app.pid if app else self.clicktarget_pid)

    def active_pid(self):
        """The PID of the application whose window AT-SPI shows active, or None."""
        import pyatspi

        for app in pyatspi.Registry.getDesktop(0):
            if app is None:
                continue
            app.clearCache()
            for window in app:
                if window is not None and window.getState().contains(pyatspi.STATE_ACTIVE):
                    return app.get_process_id()
        return None

    def settle_after_exit(self):
        """KDE drops an ended tapwing's global shortcuts a moment later, by their component
        name, which the next tapwing shares: wait for that first, or it drops the new ones.
        Plasma 6 names the component after the application id tapwing registers, 5.27 after the
        session's token."""
        if self.family != "kwin":
            return
        component = "/component/org_tapwing_Tapwing" if self.plasma6 else "/component/tapwing"

        def dropped():
            try:
                return _gdbus(self.env, "--dest", "org.kde.kglobalaccel", "--object-path", component,
                              "--method", "org.kde.kglobalaccel.Component.isActive") == "(false,)"
            except RuntimeError:
                return True  # never registered
        wait_for(dropped, 5, "KDE to drop the ended tapwing's shortcuts", interval=0.05)

    def start_tapwing(self, *args, permit=True, **kwargs):
        """tapwing, and the portal's dialogs at its start answered (permit: allow, False: cancel,
        None: left open). GNOME 43 asks at every start. GNOME 48 and KWin 6 ask when their portal
        holds no restore token of tapwing's, which a test cannot foresee (a tapwing ended while
        its session started has used its token and got none): there each dialog is answered as
        it comes, until tapwing's session is ready."""
        log = self.artifacts / f"{kwargs.get('log', 'tapwing')}.log"
        since = log.stat().st_size if log.exists() else 0
        app = super().start_tapwing(*args, **kwargs)
        app.said_since = (log, since)
        if kwargs.get("wait", True) and permit is not None:
            try:
                if self.shell or self.plasma6:
                    self.answer_dialogs(log, since, allow=permit)
                elif self.family == "mutter":
                    portal_dialog(allow=permit)
            except BaseException:
                app.kill()  # or the next test's tapwing is a second copy
                raise
        return app

    def answer_dialogs(self, log, since, allow=True, dialogs=None, timeout=60):
        """The portal's dialogs, answered (the first cancelled if not allow) until tapwing's log
        after byte offset since says its session is ready, or where tapwing asks again (it says
        so only once, at start) until `dialogs` are answered. KWin 6 without OpenGL refuses a
        session with screen casts after its dialog, and tapwing asks again without them: a
        second dialog, at every start (the refused session takes the restore token along).
        Asked again later by the same tapwing, it is restored silently."""
        answered = 0

        def ready():
            nonlocal answered
            said = said_after(log, since)
            # Its shortcuts too: GNOME 48 may ask for them after the session is granted.
            if dialogs is None and READY in said and (BOUND in said or not self.global_hotkeys):
                return True
            if dialogs is not None and answered >= dialogs:
                return True
            if portal_dialog_shown():
                try:
                    portal_dialog(allow=allow, timeout=3)
                except AssertionError:
                    return False  # an answered one still on its way out: look again
                answered += 1
                return not allow
            return False

        wait_for(ready, timeout, "tapwing's remote desktop session granted", interval=0.2)

    def asks(self):
        """Whether the desktop shows its dialog when tapwing next asks for a session: GNOME 43
        always, GNOME 48 unless its portal holds tapwing's restore token (a token is good once:
        the session that uses it gets the next)."""
        if not self.shell:
            return self.family == "mutter"
        path = Path(self.env["XDG_STATE_HOME"]) / "tapwing" / "restore-token"
        token = path.read_text().strip() if path.exists() else ""
        if not token:
            return True
        try:
            _gdbus(self.env, "--dest", PERMISSION_STORE, "--object-path", "/org/freedesktop/impl/portal/PermissionStore",
                   "--method", PERMISSION_STORE + ".Lookup", "remote-desktop", token)
        except RuntimeError:  # NotFound: spent
            return True
        return False

    def capture_once(self, app, point):
        """The one F7 waits until the desktop has bound tapwing's keys: a key pressed before
        that never reaches tapwing, as a user's would not (its portal session may still be
        starting: that wait is tapwing's own)."""
        if self.global_hotkeys and not self.wlroots:
            wait_for(lambda: BOUND in said_after(*app.said_since), 20, "the desktop to bind tapwing's keys")
        return super().capture_once(app, point)

    def hold_hotkey(self, key, took_effect, app=None, seconds=None):
        """press_hotkey; where the desktop has no global shortcuts, the key goes the way a user
        binds it there: a desktop shortcut running `tapwing --hotkey KEY`."""
        if self.global_hotkeys:
            return self.press_hotkey(key, took_effect, seconds=seconds)
        self.send_hotkey(key)
        wait_for(took_effect, 3, f"{key} to take effect")
        return 1

    def restart_pipewire(self):
        """Ends PipeWire and starts it again: how a test closes a portal session from outside
        (mutter then ends its screen casts, and the portal says Closed)."""
        for what in ("wireplumber", "pipewire"):
            _kill(self._procs.pop(what))
        self._start_pipewire()
        if self.family == "mutter":  # the test's own input went with its screen cast
            self.input.driver.close()
            self.input.driver = MutterRemoteDesktop(self.env["DBUS_SESSION_BUS_ADDRESS"])
            self._wait_gnome_backend()

    def _wait_gnome_backend(self):
        """GNOME 43's portal backend sometimes dies with PipeWire. Started again by the next call
        to it, it answers that call before it offers RemoteDesktop, and the portal fails it (seen
        in about one run in four): start it here, and wait until it offers RemoteDesktop."""
        def offered():
            return "org.freedesktop.impl.portal.RemoteDesktop" in _introspect(self.env, GNOME_BACKEND,
                                                                              "/org/freedesktop/portal/desktop")
        time.sleep(0.5)  # a backend that dies does so within a few ms of PipeWire
        wait_for(offered, 10, "GNOME's portal backend to offer RemoteDesktop", interval=0.2)

    def end_portal_session(self):
        """Ends tapwing's RemoteDesktop session from the desktop's side. mutter: PipeWire
        restarted (it then ends its screen casts, and the portal says Closed; its backend's own
        Close does not reach the client). KDE: its portal backend's session closed, as its "stop
        sharing" does; only the remote-desktop ones (tokens tapwingN), not the shortcuts'."""
        if self.family == "mutter":
            return self.restart_pipewire()
        handles = self.portal_sessions()
        if not handles:
            raise AssertionError(f"no remote desktop session of tapwing at {KDE_BACKEND}")
        for handle in handles:
            _gdbus(self.env, "--dest", KDE_BACKEND, "--object-path", handle,
                   "--method", "org.freedesktop.impl.portal.Session.Close")

    def portal_sessions(self):
        """tapwing's remote desktop sessions as KDE's portal backend holds them."""
        tree = _introspect(self.env, KDE_BACKEND, "/org/freedesktop/portal/desktop/session", "--recurse",
                           "--only-properties")
        return re.findall(r"node (/org/freedesktop/portal/desktop/session/\S+/tapwing\d+) ", tree)

    def screenshot(self, name, crop=None):
        """gnome-shell's screenshot of the whole desktop (crop is not applied), and beside it what
        the shell holds (modal grabs, windows, pointer); other desktops have no screenshot API
        here: their failures are read from logs."""
        if not self.shell:
            return None
        path = self.artifacts / f"{name}.png"
        (self.artifacts / f"{name}.shell.txt").write_text(_gdbus(
            self.env, "--dest", "org.gnome.Shell", "--object-path", "/org/gnome/Shell",
            "--method", "org.gnome.Shell.Eval", SHELL_STATE) + "\n")
        _gdbus(self.env, "--dest", "org.gnome.Shell", "--object-path", "/org/gnome/Shell/Screenshot",
               "--method", "org.gnome.Shell.Screenshot.Screenshot", "true", "false", path)
        return path


# What gnome-shell holds that can keep input from the windows, as JSON.
SHELL_STATE = """(() => {
  const [x, y] = global.get_pointer();
  const windows = global.get_window_actors().map(actor => {
    const w = actor.meta_window, r = w.get_frame_rect();
    return `${w.get_pid()} ${w.get_wm_class()} "${w.get_title()}" ${r.x},${r.y} ${r.width}x${r.height}` +
      `${actor.visible ? '' : ' hidden'}${w.has_focus() ? ' focused' : ''}${w.is_attached_dialog() ? ' attached' : ''}`;
  });
  return JSON.stringify({modalCount: Main.modalCount, actionMode: Main.actionMode, overview: Main.overview.visible,
    pointer: [x, y],
    underPointer: String(global.stage.get_actor_at_pos(1, x, y)), grab: String(global.stage.get_grab_actor()),
    keyFocus: String(global.stage.key_focus), windows}, null, 1);
})()"""


def _check_running(proc, what):
    """Raises once proc has ended: waiting on it would only run into the timeout."""
    if proc.poll() is not None:
        raise AssertionError(f"{what} exited with code {proc.returncode}; see its log")


# tapwing's start-up line once its portal session is ready.
READY = "tapwing: Wayland 输入: 远程桌面门户 (RemoteDesktop), 点击经"
BOUND = "tapwing: 全局快捷键 F5/F6/F7 已由桌面绑定"


def said_after(log, since):
    """What a tapwing wrote to its log after byte offset since (where it started)."""
    return log.read_bytes()[since:].decode(errors="replace")


def _showing(obj):
    import pyatspi

    try:
        return obj.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:  # gone meanwhile
        return False


def _portal_windows():
    """Each portal window on screen: its application's and its own name, and its objects. GNOME
    50 shows its shortcuts and remote desktop dialogs at once, and each is answered on its own."""
    import pyatspi
    from atspi_window import descendants

    for app in pyatspi.Registry.getDesktop(0):
        # GNOME 48 asks for the shortcuts from gnome-control-center-global-shortcuts-provider.
        if app is None or not any(word in (app.name or "") for word in ("portal", "shortcuts")):
            continue
        app.clearCache()
        for window in app:
            if window is not None and _showing(window):
                yield (app.name, window.name), list(descendants(window))


def portal_dialog_shown():
    from gi.repository import GLib

    try:
        return any(True for _ in _portal_windows())
    except GLib.Error:  # an object gone under the look: the dialogs are changing
        return False


# The buttons of the desktops' dialogs, by what they do. A dialog that offers a grant is the
# remote desktop's; one that offers only an acceptance asks for the shortcuts (GNOME's "Add
# Keyboard Shortcuts", Plasma 6.7's "Global Shortcuts Requested"), and is always accepted.
GRANT = ("Share", "Approve")
REFUSE = ("Cancel", "Deny")
ACCEPT = ("Add", "OK")


def _buttons(objs):
    """A window's push buttons by label (GTK 4 names a button by its mnemonic and its label:
    "_Share Share"; Qt by its label with the accelerator's & gone)."""
    import pyatspi

    return {o.name.split(" ")[-1].replace("&", ""): o for o in objs
            if o.getRole() == pyatspi.ROLE_PUSH_BUTTON and o.name}


def portal_dialog(allow=True, interact=True, timeout=15):
    """Answers the desktop's remote desktop dialog through AT-SPI, by what it offers: every
    monitor chosen and "Allow remote interaction" on (interact; a check box, a toggle button or
    GNOME 50's switch; KDE's dialog has none), then the grant (Share, Approve), or else the
    refusal (Cancel, Deny). A shortcuts dialog on screen, beside it or before it, is accepted.
    Returns once the dialog is gone. Only a dialog on screen counts: an earlier one may linger
    in AT-SPI for a moment."""
    import pyatspi
    from gi.repository import GLib

    def press(obj):
        obj.queryAction().doAction(0)

    def remote_dialog():
        try:
            for window, objs in _portal_windows():
                buttons = _buttons(objs)
                wanted = next((buttons[b] for b in (GRANT if allow else REFUSE) if b in buttons), None)
                if wanted and any(b in buttons for b in GRANT):
                    return window, objs, wanted
                accept = next((buttons[b] for b in ACCEPT if b in buttons), None)
                if accept:
                    press(accept)
        except GLib.Error:  # an object gone under the look: the dialogs are changing
            pass
        return None

    try:
        window, objs, button = wait_for(remote_dialog, timeout, "the portal's dialog")
    except WaitTimeout as failure:
        raise AssertionError(f"{failure}; {_dump_portal()}; "
                             f"{lh.Session.current.said('tapwing', 'dbus', tail=1500)}") from None
    if allow:
        _choose_everything(objs, interact)
        wait_for(lambda: button.getState().contains(pyatspi.STATE_SENSITIVE), 5, "the grant to be enabled")
    press(button)

    def closed():  # a gone button's cached state may still say showing: the window is looked for
        try:
            return not _showing(button) or all(shown != window for shown, _ in _portal_windows())
        except GLib.Error:
            return False

    wait_for(closed, 10, "the portal's dialog to close", interval=0.2)


def _choose_everything(objs, interact):
    """Every monitor toggle on (GNOME keeps Share greyed until one is), and the remote
    interaction allowed: named twice on GNOME 48, the row without an action and the check box
    in it; a switch on GNOME 50, off by default."""
    import pyatspi

    def on(obj):
        return any(obj.getState().contains(state) for state in
                   (pyatspi.STATE_CHECKED, pyatspi.STATE_PRESSED, pyatspi.STATE_SELECTED))

    for monitor in [o for o in objs if o.getRole() == pyatspi.ROLE_TOGGLE_BUTTON and _actionable(o)]:
        if not on(monitor) and "remote interaction" not in (monitor.name or "").lower():
            monitor.queryAction().doAction(0)
    tick = next((o for o in objs if (o.getRole() in (pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_TOGGLE_BUTTON)
                                     or o.getRoleName() == "switch")
                 and "remote interaction" in (o.name or "").lower() and _actionable(o)), None)
    if interact and tick is not None and not on(tick):
        tick.queryAction().doAction(0)
        wait_for(lambda: on(tick), 5, "remote interaction allowed")


def _actionable(obj):
    try:
        return obj.queryAction().nActions > 0
    except NotImplementedError:
        return False


def _dump_portal():
    """What the portal's windows showed, for a failure's message."""
    try:
        return "portal shows: " + " | ".join(f"{window}: " + ", ".join(f"{o.getRoleName()} {o.name!r}" for o in objs)
                                             for window, objs in _portal_windows())
    except Exception as error:
        return f"portal unreadable: {error}"
