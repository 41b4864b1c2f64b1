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
  at-spi2-core python3-pyatspi dbus dbus-x11 dpkg-dev
  xvfb xdotool libxtst6 x11-utils imagemagick icoutils fonts-wqy-microhei
  locales zip file procps python3 fonts-dejavu-core fonts-wine
  mutter pipewire wireplumber
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
