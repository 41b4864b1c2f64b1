#!/usr/bin/env bash
# Builds Tapwing and starts it: the native Linux program by default, or with --windows the
# Windows program under Wine, as on a Chinese Windows (code page 936).
#
#   scripts/run.sh [--windows] [--no-build] [--xvfb]
#
# The native program runs on the current Wayland session when there is one (WAYLAND_DISPLAY;
# GDK_BACKEND=x11 keeps XWayland), else on $DISPLAY when it is set and reachable, otherwise (or
# with --xvfb) on a private Xvfb whose display number is printed. Under Wine it runs the 32-bit build where this host can run
# 32-bit programs, else the 64-bit one (scripts/wine-arch.sh decides and says why); the Wine
# prefix persists in ${XDG_DATA_HOME:-~/.local/share}/tapwing/wineprefix-ARCH and is made on
# first use by scripts/wine-prefix.sh, the same preparation the e2e tests use.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=1
force_xvfb=0
windows=0
while [ $# -gt 0 ]; do
  case "$1" in
    --windows) windows=1 ;;
    --no-build) build=0 ;;
    --xvfb) force_xvfb=1 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d'; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

# Only what building and running this program needs; scripts/test.sh installs the test stacks.
if [ "$build" = 1 ]; then
  if [ "$windows" = 1 ]; then bash "$root/scripts/setup.sh" windows; else bash "$root/scripts/setup.sh" run; fi
fi

xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

# A display to run on: the current one, or a private Xvfb. Sets DISPLAY and own_xvfb.
own_xvfb=0
wayland=0
if [ "$force_xvfb" = 0 ] && [ "$windows" = 0 ] && [ -n "${WAYLAND_DISPLAY:-}" ] && [ "${GDK_BACKEND:-}" != x11 ] \
   && [ -S "${XDG_RUNTIME_DIR:-/nonexistent}/$WAYLAND_DISPLAY" -o -S "$WAYLAND_DISPLAY" ]; then
  wayland=1
  echo "run.sh: using the Wayland session $WAYLAND_DISPLAY"
elif [ "$force_xvfb" = 0 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "run.sh: using display $DISPLAY"
else
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/tapwing-xvfb.XXXXXX")
  mkfifo "$fifo"
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 15 number <"$fifo" || { echo "run.sh: Xvfb did not start" >&2; rm -f "$fifo"; exit 1; }
  rm -f "$fifo"
  export DISPLAY=:$number
  own_xvfb=1
  cat <<EOF
run.sh: Tapwing runs on its own Xvfb display $DISPLAY (PID $xvfb_pid), ended when Tapwing exits.
  screenshot:   DISPLAY=$DISPLAY import -window root /tmp/tapwing.png
  send keys:    DISPLAY=$DISPLAY xdotool keydown F7; sleep 0.15; DISPLAY=$DISPLAY xdotool keyup F7
EOF
fi

run_native() {
  if [ "$build" = 1 ]; then
    (cd "$root" && cmake --preset linux && cmake --build --preset linux --target tapwing)
  fi
  local program=$root/build/linux/Tapwing/tapwing
  [ -x "$program" ] || { echo "run.sh: $program not found; build with cmake --preset linux && cmake --build --preset linux" >&2; exit 1; }
  if [ "$wayland" = 1 ]; then
    echo "run.sh: starting the native Linux build on Wayland (the desktop's portals give it the pointer and the hotkeys)"
  else
    echo "run.sh: starting the native Linux build (hotkeys and clicks reach every X11 window)"
  fi
  # A private Xvfb has no accessibility bus; GTK need not look for one.
  if [ "$own_xvfb" = 1 ]; then export NO_AT_BRIDGE=1; fi
  "$program"
}

run_windows() {
  # Says why, with the fix, when Wine cannot start at all.
  local arch
  arch=$(bash "$root/scripts/wine-arch.sh" 2>/dev/null | cut -d' ' -f1) || true
  [ -n "$arch" ] || { bash "$root/scripts/wine-arch.sh" >/dev/null; exit 1; }
  if [ "$arch" = win32 ]; then
    echo "run.sh: running the 32-bit Windows build under Wine (this host runs 32-bit programs)"
  else
    echo "run.sh: running the 64-bit Windows build under Wine: $(bash "$root/scripts/wine-arch.sh" why)"
  fi
  if [ "$build" = 1 ]; then
    (cd "$root" && cmake --preset "$arch" && cmake --build --preset "$arch")
  fi
  local exe=$root/build/$arch/Tapwing/Tapwing.exe
  [ -f "$exe" ] || { echo "run.sh: $exe not found; build with cmake --preset $arch && cmake --build --preset $arch" >&2; exit 1; }

  local data=${XDG_DATA_HOME:-$HOME/.local/share}/tapwing
  local prefix=$data/wineprefix-$arch locdir=$data/locale mode
  # A window manager announces itself on the root window; without one, Wine must not leave its
  # windows to a manager (see wine-prefix.sh).
  if [ "$own_xvfb" = 0 ] && xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
    mode=managed
  else
    mode=unmanaged
  fi
  if [ ! -f "$prefix/system.reg" ]; then
    echo "run.sh: making the Wine prefix $prefix (once, ~15 s)"
    bash "$root/scripts/wine-prefix.sh" create "$arch" "$prefix" "$locdir" "$mode"
    echo "$mode" >"$prefix/.tapwing-window-mode"
  elif [ "$(cat "$prefix/.tapwing-window-mode" 2>/dev/null)" != "$mode" ]; then
    bash "$root/scripts/wine-prefix.sh" window-mode "$arch" "$prefix" "$locdir" "$mode"
    echo "$mode" >"$prefix/.tapwing-window-mode"
  fi
  bash "$root/scripts/wine-prefix.sh" locale "$locdir"

  # Passed with env rather than exported: this shell itself cannot load the private locale.
  local line wine_env=() loader
  while IFS= read -r line; do wine_env+=("$line"); done < <(bash "$root/scripts/wine-prefix.sh" env "$arch" "$prefix" "$locdir")
  loader=$(printf '%s\n' "${wine_env[@]}" | sed -n 's/^WINELOADER=//p')
  cd "$(dirname "$exe")"
  env "${wine_env[@]}" "$loader" "$exe"
}

if [ "$windows" = 1 ]; then run_windows; else run_native; fi
