#!/usr/bin/env bash
# Opt-in, not part of CI: the global hotkeys on GNOME 48, which Debian 12 does not have.
# Runs the built tapwing inside a Debian 13 root (made once with debootstrap from the mirror
# apt uses here, cached) on a headless gnome-shell 48 with its own system and session buses,
# and checks F7, F5, F6 and a held F5 through the GlobalShortcuts portal.
#   bash scripts/test-gnome48.sh      # as root; exit 0 all passed, 1 a check failed, 77 skipped
# The first run downloads about 250 MB and installs debootstrap on the host when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

skip() { echo "test-gnome48: SKIP: $*"; exit 77; }

[ "$(id -u)" -eq 0 ] || skip "needs root (debootstrap, chroot, mounts)"

# The Debian mirror apt uses here (not the security one).
mirror=$({ grep -hE '^\s*deb\s' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
             | awk '{for (i = 2; i <= NF; i++) if ($i ~ /^https?:/) { print $i; break }}'
           grep -hE '^\s*URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{$1 = ""; print}' | tr ' ' '\n'
         } | grep -v security | grep -E '^https?://.*/debian/?$' | head -n 1 || true)
[ -n "$mirror" ] || skip "no Debian mirror in apt's sources"
if [ ! -e "${XDG_CACHE_HOME:-$HOME/.cache}/tapwing/trixie-root/.ready" ]; then
  curl -sfI --max-time 20 "${mirror%/}/dists/trixie/InRelease" >/dev/null || skip "$mirror cannot be reached"
fi
unshare --mount --pid --fork true 2>/dev/null || skip "no mount and PID namespaces here"

program=build/linux/Tapwing
[ -x "$program/tapwing" ] || skip "$program/tapwing is not built (cmake --preset linux && cmake --build --preset linux)"

root=${XDG_CACHE_HOME:-$HOME/.cache}/tapwing/trixie-root
packages=(
  gnome-shell mutter xdg-desktop-portal xdg-desktop-portal-gnome gnome-settings-daemon-common
  pipewire wireplumber dbus dbus-daemon at-spi2-core python3-gi python3-pyatspi gir1.2-atspi-2.0
  gir1.2-glib-2.0 fonts-dejavu-core fonts-wqy-microhei
  libgtk-3-0t64 libpipewire-0.3-0t64 libx11-6 libxi6 libxtst6 libgtk-layer-shell0
)

# Runs a command inside the root with /proc, /dev and /sys, in a mount namespace of its own:
# the mounts end with it, and a run's /tmp and /run (the system bus) are its own.
in_root() {
  unshare --mount --pid --fork --kill-child -- bash -c '
    set -e; root=$1; shift
    mount --make-rprivate /
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount --rbind /sys "$root/sys"
    mount -t tmpfs tmpfs "$root/tmp"
    mount -t tmpfs tmpfs "$root/run"
    if [ -n "${STAGE:-}" ]; then  # the run'"'"'s files, and its logs kept outside
      cp -a "$STAGE/." "$root/tmp/"
      mkdir "$root/tmp/logs"
      mount --bind "$LOGS" "$root/tmp/logs"
    fi
    exec chroot "$root" "$@"' in_root "$root" "$@"
}

mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9  # one run makes the root, the others wait for it
if [ ! -e "$root/.ready" ]; then
  if ! command -v debootstrap >/dev/null; then
    echo "test-gnome48: installing debootstrap"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap >/dev/null \
      || skip "no debootstrap, and apt-get could not install it"
  fi
  echo "test-gnome48: making a Debian 13 root in $root from $mirror (once)"
  rm -rf "$root"
  mkdir -p "$root"
  debootstrap --variant=minbase trixie "$root" "$mirror" >"$root.log" 2>&1 \
    || { echo "test-gnome48: debootstrap failed, see $root.log"; exit 1; }
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"  # no services start in the root
  chmod 755 "$root/usr/sbin/policy-rc.d"
  in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${packages[@]}" \
    >>"$root.log" 2>&1 || { echo "test-gnome48: installing GNOME 48 failed, see $root.log"; exit 1; }
  in_root apt-get clean
  touch "$root/.ready"
fi
# A root made before the list grew gets what it lacks.
missing=$(in_root dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>&1 | awk '$1 != "ii" {print $NF}' || true)
if [ -n "$missing" ]; then
  echo "test-gnome48: adding to the root: $missing"
  # shellcheck disable=SC2086
  in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends ${packages[*]} \
    >>"$root.log" 2>&1 || { echo "test-gnome48: installing failed, see $root.log"; exit 1; }
fi
exec 9>&-

# The program and the driver go into the run's own /tmp. The desktop entry lets GNOME's registry
# accept tapwing's application id; GLib finds no entry whose Exec program is not on PATH, so a
# link leads there to the run's copy.
install -D -m 644 app/linux/org.tapwing.Tapwing.desktop "$root/usr/share/applications/org.tapwing.Tapwing.desktop"
ln -sfn /tmp/Tapwing/tapwing "$root/usr/local/bin/tapwing"
STAGE=$(mktemp -d)
LOGS=$PWD/build/linux/e2e/artifacts/gnome48
trap 'rm -rf "$STAGE"' EXIT
cp -a "$program" "$STAGE/Tapwing"
cp tests/e2e/linux/gnome48_hotkeys.py "$STAGE/"
rm -rf "$LOGS"
mkdir -p "$LOGS"
export STAGE LOGS
echo "test-gnome48: GNOME 48 in $root; logs in $LOGS"
status=0
in_root timeout 600 python3 /tmp/gnome48_hotkeys.py /tmp/Tapwing/tapwing /tmp/logs || status=$?
if [ "$status" -eq 0 ]; then echo "test-gnome48: PASS"; else echo "test-gnome48: FAIL"; fi
exit $((status == 0 ? 0 : 1))
