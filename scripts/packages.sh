# Sourced by setup.sh (Debian 12) and lane.sh (the Debian 13 and testing roots), not run: the packages
# that build the Linux program and its unit tests on both releases. A package only one release
# has goes in that release's script instead (libei-dev: not in Debian 12).
# shellcheck shell=bash disable=SC2034  # used by the scripts that source this file
linux_build=(
  cmake ninja-build g++ pkg-config libgtest-dev
  libgtk-3-dev libx11-dev libxi-dev libxtst-dev libpipewire-0.3-dev
  libwayland-dev wayland-protocols libgtk-layer-shell-dev
)
