#!/usr/bin/env bash
# A lane: the Linux program built against another Debian release's libraries, packaged there,
# and its e2e tests on that release's desktops, inside a root of that release made once with
# debootstrap from the mirror apt uses here and cached.
#   bash scripts/lane.sh trixie    # Debian 13: GNOME 48, KWin 6.3, sway 1.10 (CTest label debian13)
#   bash scripts/lane.sh testing   # Debian testing: GNOME, Plasma, sway, labwc as they are there today,
#                                  # and Hyprland's config check (CTest label testing)
#   bash scripts/lane.sh SUITE root           # only makes (or completes) the root, e.g. early in test.sh
#   bash scripts/lane.sh SUITE build          # ... and builds and packages the program there
#   bash scripts/lane.sh SUITE in-root CMD... # a command in the root, in the checkout
# As root; exit 0 passed, 1 failed, 77 skipped (with the reason). The checkout is bind-mounted
# into the root at its own path; the build is build/<label>. The first run of a suite downloads
# about 600 MB (trixie) or 900 MB (testing) and installs debootstrap on the host when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/packages.sh
source scripts/packages.sh

suite=${1:-}
case "$suite" in
  trixie) name="Debian 13" label=debian13 tag=deb13 ;;
  testing) name="Debian testing" label=testing tag=testing ;;
  *) echo "usage: lane.sh trixie|testing [root | in-root CMD...]" >&2; exit 2 ;;
esac
shift

say() { echo "$label: $*"; }
skip() { echo "$name lane skipped: $*"; exit 77; }

# Everything the root gets: the build packages every release takes (packages.sh), the rest
# here. A root made before a package joined gets it on the next run.
build=("${linux_build[@]}" libei-dev plasma-wayland-protocols dpkg-dev lintian)
common=(
  dbus dbus-daemon dbus-user-session at-spi2-core python3 python3-gi python3-pyatspi gir1.2-atspi-2.0
  gir1.2-glib-2.0 libglib2.0-bin pipewire pipewire-bin wireplumber procps
  fonts-dejavu-core fonts-wqy-microhei
)
gnome=(gnome-shell mutter xdg-desktop-portal xdg-desktop-portal-gnome gnome-settings-daemon-common)
sway=(sway wtype)
# Plasma 6: KWin headless, KDE's portal and its dialogs.
kwin=(kwin-wayland kwin-common plasma-integration plasma-workspace xdg-desktop-portal-kde)
packages=("${build[@]}" "${common[@]}" "${gnome[@]}" "${sway[@]}" "${kwin[@]}")
# Debian 12's debootstrap has no script for testing's codename: sid's serves. The mirror lets
# testing's Release file run out of date now and then.
debootstrap_script=()
apt_options=(-o Acquire::Retries=3)
if [ "$suite" = testing ]; then
  # labwc with wlr-randr for its outputs, and Hyprland for its config check (it needs a GPU to run).
  packages+=(labwc wlr-randr hyprland)
  debootstrap_script=(/usr/share/debootstrap/scripts/sid)
  apt_options+=(-o Acquire::Check-Valid-Until=false)
fi
optional=(libeis-dev)  # taken where the mirror has it

[ "$(id -u)" -eq 0 ] || skip "needs root (debootstrap, chroot, mounts)"
unshare --mount --pid --fork true 2>/dev/null || skip "no mount and PID namespaces here"

root=${XDG_CACHE_HOME:-$HOME/.cache}/tapwing/$suite-root
src=$PWD

# The Debian mirror apt uses here (not the security one).
mirror=$({ grep -hE '^\s*deb\s' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
             | awk '{for (i = 2; i <= NF; i++) if ($i ~ /^https?:/) { print $i; break }}'
           grep -hE '^\s*URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{$1 = ""; print}' | tr ' ' '\n'
         } | grep -v security | grep -E '^https?://.*/debian/?$' | head -n 1 || true)
reachable() { [ -n "$mirror" ] && curl -sfI --max-time 20 "${mirror%/}/dists/$suite/InRelease" >/dev/null; }
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
  in_root env DEBIAN_FRONTEND=noninteractive apt-get "${apt_options[@]}" "$@" >>"$root.log" 2>&1
}

make_root() {
  [ -n "$mirror" ] || skip "no Debian mirror in apt's sources"
  reachable || skip "$mirror cannot be reached"
  say "making a $name root in $root from $mirror (once)"
  rm -rf "$root"
  mkdir -p "$root/etc/dpkg/dpkg.cfg.d"
  # A throwaway root: no fsync per unpacked file, no documentation, and no translations (the
  # sessions run in C.UTF-8): a quarter fewer files to unpack.
  printf '%s\n' force-unsafe-io path-exclude=/usr/share/doc/* path-exclude=/usr/share/man/* \
    path-exclude=/usr/share/info/* path-exclude=/usr/share/locale/*/* \
    >"$root/etc/dpkg/dpkg.cfg.d/tapwing-lane"
  debootstrap --variant=minbase "$suite" "$root" "$mirror" "${debootstrap_script[@]}" >"$root.log" 2>&1 \
    || { say "debootstrap failed, see $root.log"; exit 1; }
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"  # no services start in the root
  chmod 755 "$root/usr/sbin/policy-rc.d"
  touch "$root/.made"
}

complete_root() {
  for p in "${optional[@]}"; do
    if in_root apt-cache show "$p" >/dev/null 2>&1; then packages+=("$p"); fi
  done
  local missing
  missing=$(in_root dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>&1 \
              | awk '$1 != "ii" {print $NF}' || true)
  [ -n "$missing" ] || return 0
  say "installing into the root: $(echo $missing)"
  if ! reachable; then
    [ -e "$root/.ready" ] || skip "$mirror cannot be reached"
    say "$mirror cannot be reached; the root lacks $(echo $missing)"; exit 1
  fi
  apt_in_root update -q || { say "apt-get update failed, see $root.log"; exit 1; }
  apt_in_root install -y -q --no-install-recommends "${packages[@]}" \
    || { say "installing failed, see $root.log"; exit 1; }
  apt_in_root clean
}

mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9  # one run makes the root, the others wait for it
if [ ! -e "$root/.ready" ] && [ ! -e "$root/.made" ]; then make_root; fi
complete_root
touch "$root/.ready"
exec 9>&-
case "${1:-}" in
  root) exit 0 ;;
  in-root) shift; in_root "$@"; exit ;;  # e.g. one module by hand, or a shell
  build | "") ;;
  *) echo "usage: lane.sh trixie|testing [root | build | in-root CMD...]" >&2; exit 2 ;;
esac

# The build: its own tree, only the lane's session kinds registered there, warnings on, and its
# package. Quick when nothing changed since `lane.sh SUITE build`, which test.sh runs early.
out=build/$label
mkdir -p "$out"
in_root sh -c "cmake -S . -B $out -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAPWING_LINUX=ON \
                 -DTAPWING_E2E_LANE=$label -DTAPWING_PACKAGE_TAG=$tag >$out/configure.log 2>&1 \
               || { tail -n 30 $out/configure.log; exit 2; }
               cmake --build $out && cd $out && rm -f tapwing_*.deb && cpack -G DEB >cpack.log" \
  || { say "FAIL: the build failed"; exit 1; }
[ "${1:-}" != build ] || exit 0

# What this run tests against, so that a failure names the desktop that changed.
say "the root's versions:"
in_root dpkg-query -W -f='  ${Package} ${Version}\n' g++ libgtk-3-0t64 gnome-shell mutter \
  xdg-desktop-portal xdg-desktop-portal-gnome kwin-wayland xdg-desktop-portal-kde sway labwc hyprland pipewire \
  libei1 2>/dev/null || true
status=0
# The package: Debian's checker on it, then installed as a user installs it, with apt, into the
# root (taken out again after).
deb=$(cd "$out" && ls tapwing_*.deb)
say "$out/$deb depends on: $(in_root dpkg-deb -f "$out/$deb" Depends)"
in_root lintian --fail-on error,warning "$out/$deb" || { say "FAIL: lintian finds fault with $out/$deb"; status=1; }
apt_in_root install -y -q --no-install-recommends "./$out/$deb" || { say "FAIL: apt could not install $out/$deb"; exit 1; }
# Each test runs once: one that fails now and then is a fault to find, not to run again.
say "running ctest -L $label"
in_root ctest --test-dir "$out" -L "$label" --output-on-failure --no-tests=error | tee "$out/ctest.log" || status=1
apt_in_root remove -y -q tapwing || true
if [ "$status" -eq 0 ]; then say "PASS"; else say "FAIL (logs in $out/e2e/artifacts/)"; fi
exit $((status == 0 ? 0 : 1))
