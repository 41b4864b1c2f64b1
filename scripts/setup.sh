#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Tapwing needs.
# Idempotent and non-interactive; run as root on Debian 12. Safe to call before every build.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config libgtest-dev
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  wine wine32:i386 wine64
  libgtk-3-dev libx11-dev libxi-dev libxtst-dev libpipewire-0.3-dev
  at-spi2-core python3-pyatspi dbus dbus-x11 dpkg-dev lintian appstream
  xvfb xdotool libxtst6 x11-utils imagemagick icoutils fonts-wqy-microhei
  locales zip file procps python3 fonts-dejavu-core fonts-wine
  # Wayland sessions of the native e2e tests: KDE and GNOME compositors with their portals,
  # PipeWire for the screen casts, and what the Wayland test tools are built from. Not the wlr
  # portal backend: beside it xdg-desktop-portal 1.16 picks it over the KDE/GNOME ones.
  kwin-wayland xdg-desktop-portal-kde qtwayland5
  mutter pipewire wireplumber xdg-desktop-portal xdg-desktop-portal-gnome gnome-settings-daemon-common
  libwayland-dev wayland-protocols plasma-wayland-protocols
  # wlroots and portal-less Wayland: the virtual pointer and layer shell (GTK 3), sway with
  # wtype for its key bindings, weston with no way to click at all, wayland-info.
  libgtk-layer-shell-dev sway wtype weston wayland-utils
  python3-gi gir1.2-glib-2.0 gir1.2-atspi-2.0
)

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

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  rm -f /var/lib/apt/lists/lock.updated
fi

todo=$(missing)
if [ -n "$todo" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $todo
fi
