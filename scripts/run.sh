#!/usr/bin/env bash
# Builds Tapwing.exe and runs it under Wine, as on a Chinese Windows (code page 936).
#
#   scripts/run.sh [--no-build] [--xvfb]
#
# Runs the 32-bit build where this host can run 32-bit programs, else the 64-bit one
# (scripts/wine-arch.sh decides and says why). Uses $DISPLAY when it is set and reachable,
# otherwise (or with --xvfb) a private Xvfb whose display number is printed. The Wine prefix
# persists in ${XDG_DATA_HOME:-~/.local/share}/tapwing/wineprefix-ARCH and is made on first use
# by scripts/wine-prefix.sh, the same preparation the e2e tests use.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=1
force_xvfb=0
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build=0 ;;
    --xvfb) force_xvfb=1 ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

[ "$build" = 0 ] || bash "$root/scripts/setup.sh"
# Says why, with the fix, when Wine cannot start at all.
arch=$(bash "$root/scripts/wine-arch.sh" 2>/dev/null | cut -d' ' -f1) || true
[ -n "$arch" ] || { bash "$root/scripts/wine-arch.sh" >/dev/null; exit 1; }
if [ "$arch" = win32 ]; then
  echo "run.sh: running the 32-bit build (this host runs 32-bit programs)"
else
  echo "run.sh: running the 64-bit build: $(bash "$root/scripts/wine-arch.sh" why)"
fi
if [ "$build" = 1 ]; then
  (cd "$root" && cmake --preset "$arch" && cmake --build --preset "$arch")
fi
exe=$root/build/$arch/Tapwing/Tapwing.exe
[ -f "$exe" ] || { echo "run.sh: $exe not found; build with cmake --preset $arch && cmake --build --preset $arch" >&2; exit 1; }

data=${XDG_DATA_HOME:-$HOME/.local/share}/tapwing
prefix=$data/wineprefix-$arch
locdir=$data/locale

xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

if [ "$force_xvfb" = 0 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  # A window manager announces itself on the root window; without one, Wine must not
  # leave its windows to a manager (see wine-prefix.sh).
  if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
    mode=managed
  else
    mode=unmanaged
  fi
  echo "run.sh: using display $DISPLAY ($mode windows)"
else
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/tapwing-xvfb.XXXXXX")
  mkfifo "$fifo"
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 15 number <"$fifo" || { echo "run.sh: Xvfb did not start" >&2; rm -f "$fifo"; exit 1; }
  rm -f "$fifo"
  export DISPLAY=:$number
  mode=unmanaged
  cat <<EOF
run.sh: Tapwing runs on its own Xvfb display $DISPLAY (PID $xvfb_pid), ended when Tapwing exits.
  screenshot:   DISPLAY=$DISPLAY import -window root /tmp/tapwing.png
  send keys:    DISPLAY=$DISPLAY xdotool key F7
EOF
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
wine_env=()
while IFS= read -r line; do wine_env+=("$line"); done < <(bash "$root/scripts/wine-prefix.sh" env "$arch" "$prefix" "$locdir")
loader=$(printf '%s\n' "${wine_env[@]}" | sed -n 's/^WINELOADER=//p')
cd "$(dirname "$exe")"
env "${wine_env[@]}" "$loader" "$exe"
