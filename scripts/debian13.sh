#!/usr/bin/env bash
# The Debian 13 lane: the Linux program built against Debian 13's libraries and its e2e tests
# (CTest label debian13) on Debian 13's desktops, GNOME 48, KWin 6.3 and sway 1.10, inside a
# Debian 13 root made once with debootstrap from the mirror apt uses here and cached.
#   bash scripts/debian13.sh        # as root; exit 0 passed, 1 failed, 77 skipped (with the reason)
#   bash scripts/debian13.sh root   # only makes (or completes) the root, e.g. early in test.sh
#   bash scripts/debian13.sh in-root CMD...  # a command in the root, in the checkout
# The checkout is bind-mounted into the root at its own path; the build is build/debian13.
# The first run downloads about 600 MB and installs debootstrap on the host when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/packages.sh
source scripts/packages.sh

say() { echo "debian13: $*"; }
skip() { echo "Debian 13 lane skipped: $*"; exit 77; }

# Everything the root gets: the build packages both releases take (packages.sh), the rest here.
# A root made before a package joined gets it on the next run.
build=("${linux_build[@]}" libei-dev plasma-wayland-protocols)
common=(
  dbus dbus-daemon dbus-user-session at-spi2-core python3 python3-gi python3-pyatspi gir1.2-atspi-2.0
  gir1.2-glib-2.0 libglib2.0-bin pipewire pipewire-bin wireplumber procps
  fonts-dejavu-core fonts-wqy-microhei
)
gnome48=(gnome-shell mutter xdg-desktop-portal xdg-desktop-portal-gnome gnome-settings-daemon-common)
sway_current=(sway wtype)
# Plasma 6: KWin 6.3 headless, KDE's portal and its dialogs (the kwin6 kind).
kwin6=(kwin-wayland kwin-common plasma-integration plasma-workspace xdg-desktop-portal-kde)
optional=(libeis-dev)  # taken where the mirror has it
packages=("${build[@]}" "${common[@]}" "${gnome48[@]}" "${sway_current[@]}" "${kwin6[@]}")

[ "$(id -u)" -eq 0 ] || skip "needs root (debootstrap, chroot, mounts)"
unshare --mount --pid --fork true 2>/dev/null || skip "no mount and PID namespaces here"

root=${XDG_CACHE_HOME:-$HOME/.cache}/tapwing/trixie-root
src=$PWD

# The Debian mirror apt uses here (not the security one).
mirror=$({ grep -hE '^\s*deb\s' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
             | awk '{for (i = 2; i <= NF; i++) if ($i ~ /^https?:/) { print $i; break }}'
           grep -hE '^\s*URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{$1 = ""; print}' | tr ' ' '\n'
         } | grep -v security | grep -E '^https?://.*/debian/?$' | head -n 1 || true)
reachable() { [ -n "$mirror" ] && curl -sfI --max-time 20 "${mirror%/}/dists/trixie/InRelease" >/dev/null; }
# A minimal Debian 12 has neither curl nor debootstrap: setup.sh's lane set installs them.
bash scripts/setup.sh lane >/dev/null || skip "no curl or debootstrap, and scripts/setup.sh lane could not install them"

# Runs a command inside the root with /proc, /dev and /sys and the checkout at its own path, in
# a mount namespace of its own: the mounts end with it, and a run's /tmp and /run are its own.
in_root() {
  unshare --mount --pid --fork --kill-child -- bash -c '
    set -e; root=$1; src=$2; shift 2
    mount --make-rprivate /
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount --rbind /sys "$root/sys"
    mount -t tmpfs tmpfs "$root/tmp"
    mount -t tmpfs tmpfs "$root/run"
    mkdir -p "$root$src"
    mount --bind "$src" "$root$src"
    exec chroot "$root" /bin/sh -c "cd \"\$0\" && exec \"\$@\"" "$src" "$@"' in_root "$root" "$src" "$@"
}
apt_in_root() {
  cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
  in_root env DEBIAN_FRONTEND=noninteractive apt-get -o Acquire::Retries=3 "$@" >>"$root.log" 2>&1
}

mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9  # one run makes the root, the others wait for it
if [ ! -e "$root/.ready" ] && [ ! -e "$root/.made" ]; then
  [ -n "$mirror" ] || skip "no Debian mirror in apt's sources"
  reachable || skip "$mirror cannot be reached"
  say "making a Debian 13 root in $root from $mirror (once)"
  rm -rf "$root"
  mkdir -p "$root/etc/dpkg/dpkg.cfg.d"
  # A throwaway root: no fsync per unpacked file, and no documentation.
  printf '%s\n' force-unsafe-io path-exclude=/usr/share/doc/* path-exclude=/usr/share/man/* \
    path-exclude=/usr/share/info/* >"$root/etc/dpkg/dpkg.cfg.d/tapwing-lane"
  debootstrap --variant=minbase trixie "$root" "$mirror" >"$root.log" 2>&1 \
    || { say "debootstrap failed, see $root.log"; exit 1; }
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"  # no services start in the root
  chmod 755 "$root/usr/sbin/policy-rc.d"
  touch "$root/.made"
fi
for p in "${optional[@]}"; do
  if in_root apt-cache show "$p" >/dev/null 2>&1; then packages+=("$p"); fi
done
missing=$(in_root dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>&1 \
            | awk '$1 != "ii" {print $NF}' || true)
if [ -n "$missing" ]; then
  say "installing into the root: $(echo $missing)"
  if ! reachable; then
    [ -e "$root/.ready" ] || skip "$mirror cannot be reached"
    say "$mirror cannot be reached; the root lacks $(echo $missing)"; exit 1
  fi
  apt_in_root update -q || { say "apt-get update failed, see $root.log"; exit 1; }
  apt_in_root install -y -q --no-install-recommends "${packages[@]}" \
    || { say "installing failed, see $root.log"; exit 1; }
  apt_in_root clean
fi
touch "$root/.ready"
exec 9>&-
case "${1:-}" in
  root) exit 0 ;;
  in-root) shift; in_root "$@"; exit ;;  # e.g. one module by hand, or a shell
esac

# The build: its own tree, only the lane's session kinds registered there.
say "building in build/debian13 against Debian 13 and running ctest -L debian13"
status=0
mkdir -p build/debian13
in_root sh -c 'cmake -S . -B build/debian13 -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAPWING_LINUX=ON \
                 -DTAPWING_E2E_LANE=debian13 >build/debian13/configure.log 2>&1 \
               || { tail -n 30 build/debian13/configure.log; exit 2; }
               cmake --build build/debian13' || status=$?
if [ "$status" -ne 0 ]; then say "FAIL: the build failed"; exit 1; fi
# Each test runs once: one that fails now and then is a fault to find, not to run again.
in_root ctest --test-dir build/debian13 -L debian13 --output-on-failure --no-tests=error \
  | tee build/debian13/ctest.log || status=$?
if [ "$status" -eq 0 ]; then say "PASS"; else say "FAIL (logs in build/debian13/e2e/artifacts/)"; fi
exit $((status == 0 ? 0 : 1))
