#!/usr/bin/env bash
# Installs the Debian packages Tapwing needs. Idempotent and non-interactive; run as root on
# Debian 12. Safe to call before every build.
#   setup.sh           everything: building, running and testing (scripts/test.sh)
#   setup.sh run       building and running the native Linux program (scripts/run.sh)
#   setup.sh windows   building and running the Windows program under Wine (run.sh --windows)
#   setup.sh lane      making the lanes' roots (scripts/lane.sh)
set -euo pipefail
# shellcheck source=scripts/packages.sh
source "$(dirname "$0")/packages.sh"

# Building the native program (its unit tests are part of the build) and running it, on the
# desktop or on a private Xvfb.
native=(
  "${linux_build[@]}"
  xvfb x11-utils dbus dbus-x11 at-spi2-core fonts-wqy-microhei fonts-dejavu-core
)
# The Windows program and Wine, as on a Chinese Windows (the locale gives code page 936).
windows=(
  cmake ninja-build
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  wine wine32:i386 wine64 fonts-wine fonts-wqy-microhei locales xvfb x11-utils
)
# The lanes' roots are made with these; the rest comes from the mirror into the roots.
lane=(curl debootstrap)
# Everything else the tests, the package and the screenshots use.
testing=(
  python3-pyatspi dpkg-dev lintian appstream
  xdotool libxtst6 imagemagick icoutils zip file procps python3
  # Wayland sessions of the native e2e tests: KDE and GNOME compositors with their portals,
  # PipeWire for the screen casts, and what the Wayland test tools are built from. Not the wlr
  # portal backend: beside it xdg-desktop-portal 1.16 picks it over the KDE/GNOME ones.
  kwin-wayland xdg-desktop-portal-kde qtwayland5
  mutter pipewire wireplumber xdg-desktop-portal xdg-desktop-portal-gnome gnome-settings-daemon-common
  plasma-wayland-protocols
  # wlroots and portal-less Wayland: sway with wtype for its key bindings, weston with no way to
  # click at all, wayland-info.
  sway wtype weston wayland-utils
  python3-gi gir1.2-glib-2.0 gir1.2-atspi-2.0
)

case "${1:-all}" in
  run) packages=("${native[@]}") ;;
  windows) packages=("${windows[@]}") ;;
  lane) packages=("${lane[@]}") ;;
  all) packages=("${native[@]}" "${windows[@]}" "${lane[@]}" "${testing[@]}") ;;
  *) echo "setup: unknown set $1 (run, windows, lane or nothing for all)" >&2; exit 2 ;;
esac

missing() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

if [ "$(id -u)" -ne 0 ] && [ -n "$(missing)" ]; then
  echo "setup: missing packages and not root: $(missing | tr '\n' ' ')" >&2
  exit 1
fi

# wine32 only where the kernel runs 32-bit programs: elsewhere it could never start, and its
# i386 package lists are one more thing a mirror can get wrong.
no32=$(bash "$(dirname "$0")/wine-arch.sh" kernel32)
if [ -n "$no32" ] && [[ " ${packages[*]} " == *" wine32:i386 "* ]]; then
  echo "setup: not installing wine32:i386: $no32"
  for i in "${!packages[@]}"; do [ "${packages[$i]}" != wine32:i386 ] || unset "packages[$i]"; done
fi

if [[ " ${packages[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  rm -f /var/lib/apt/lists/lock.updated
fi

todo=$(missing)
if [ -n "$todo" ]; then
  export DEBIAN_FRONTEND=noninteractive
  # A mirror caught mid-sync fails one index now and then: ask again, and go on with the lists
  # that came if it keeps failing (the install then says what it cannot find).
  for try in 1 2 3; do
    apt-get update -q && break
    [ "$try" -lt 3 ] && { echo "setup: apt-get update failed, trying again in 15 s" >&2; sleep 15; }
  done
  install_packages() { apt-get install -y -q --no-install-recommends -o Acquire::Retries=3 "$@"; }
  # shellcheck disable=SC2086
  if ! install_packages $todo; then
    # An i386 list the mirror got wrong leaves wine32 uninstallable: the rest still goes in,
    # and wine-arch.sh then says the 32-bit build cannot run here and why.
    [[ " $(echo $todo) " == *:i386* ]] || exit 1
    echo "setup: installing without the i386 packages, which apt could not resolve" >&2
    # shellcheck disable=SC2046
    install_packages $(printf '%s\n' $todo | grep -v ':i386$')
  fi
fi
