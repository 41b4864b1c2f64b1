#!/usr/bin/env bash
# Takes the README screenshot: Tapwing under Wine on a private Xvfb, in a fresh prefix made
# by scripts/wine-prefix.sh (as the e2e tests make theirs), cropped to the window plus a
# small margin.
#
#   scripts/screenshot.sh [-o FILE] [--no-f7] [--keep]
#
#   -o FILE   where to write the PNG (default docs/screenshot.png)
#   --no-f7   leave the coordinate fields at their placeholders instead of capturing a point
#   --keep    keep the scratch folder (prefix, logs) and print its path
#
# Shoots the build this host runs (scripts/wine-arch.sh: win32, or win64 where 32-bit programs
# cannot run); it needs that build's program folder (cmake --preset ARCH && cmake --build
# --preset ARCH) and the packages of scripts/setup.sh. Ends only the processes it started, by
# PID, and its own wineserver.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
arch=$(bash "$root/scripts/wine-arch.sh" 2>/dev/null | cut -d' ' -f1) || true
[ -n "$arch" ] || { bash "$root/scripts/wine-arch.sh" >/dev/null; exit 1; }
program_dir=${TAPWING_PROGRAM_DIR:-$root/build/$arch/Tapwing}
out=$root/docs/screenshot.png
press_f7=1
keep=0
margin=12
korva_key='HKLM\Software\Classes\CLSID\{F0BBCDBA-4496-4837-BC5F-77A05375485C}\InprocServer32'

while [ $# -gt 0 ]; do
  case "$1" in
    -o) out=$2; shift ;;
    --no-f7) press_f7=0 ;;
    --keep) keep=1 ;;
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    *) echo "screenshot.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

die() { echo "screenshot.sh: $*" >&2; exit 1; }
[ -f "$program_dir/Tapwing.exe" ] || die "$program_dir/Tapwing.exe not found; build with cmake --preset $arch && cmake --build --preset $arch"
for tool in Xvfb xdotool xprop import convert compare identify; do
  command -v "$tool" >/dev/null || die "$tool is missing (scripts/setup.sh installs it)"
done
case "$out" in /*) ;; *) out=$PWD/$out ;; esac

work=$(mktemp -d "${TMPDIR:-/tmp}/tapwing-screenshot.XXXXXX")
prefix=$work/prefix
xvfb_pid=""
tapwing_pid=""
wine_env=()

cleanup() {
  set +e
  if [ -n "$tapwing_pid" ] && kill -0 "$tapwing_pid" 2>/dev/null; then
    kill "$tapwing_pid"
    wait "$tapwing_pid" 2>/dev/null
  fi
  if [ ${#wine_env[@]} -gt 0 ] && [ -f "$prefix/system.reg" ]; then
    env "${wine_env[@]}" sh -c '"$WINESERVER" -k' 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  if [ "$keep" = 1 ]; then echo "screenshot.sh: kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# poll SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds; fails after SECONDS.
poll() {
  local seconds=$1 tries
  shift
  tries=$(( seconds * 10 ))
  until "$@"; do
    tries=$(( tries - 1 ))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

# ---- X server ---------------------------------------------------------------------------
# A white root window: the margin around the window is plain white.
mkfifo "$work/display"
Xvfb -displayfd 3 -noreset -nolisten tcp -wr -screen 0 1280x1024x24 3>"$work/display" \
  >/dev/null 2>"$work/xvfb.log" &
xvfb_pid=$!
read -r -t 15 number <"$work/display" || die "Xvfb did not start (see $work/xvfb.log)"
export DISPLAY=:$number

# ---- Wine prefix ------------------------------------------------------------------------
echo "screenshot.sh: making a Wine prefix (~15 s)"
bash "$root/scripts/wine-prefix.sh" create "$arch" "$prefix" "$work/locale" unmanaged
while IFS= read -r line; do wine_env+=("$line"); done \
  < <(bash "$root/scripts/wine-prefix.sh" env "$arch" "$prefix" "$work/locale")
loader=$(printf '%s\n' "${wine_env[@]}" | sed -n 's/^WINELOADER=//p')
wine_run() { env "${wine_env[@]}" DISPLAY="$DISPLAY" "$@"; }

# ---- Tapwing ----------------------------------------------------------------------------
(cd "$program_dir" && exec env "${wine_env[@]}" DISPLAY="$DISPLAY" "$loader" "$program_dir/Tapwing.exe") \
  >"$work/tapwing.log" 2>&1 &
tapwing_pid=$!

# The window is the visible top-level titled "Tapwing" whose X window carries our PID.
find_window() {
  local id
  for id in $(xdotool search --onlyvisible --name '^Tapwing$' 2>/dev/null); do
    if xprop -id "$id" _NET_WM_PID 2>/dev/null | grep -q "= $tapwing_pid\$"; then
      wid=$id
      return 0
    fi
  done
  kill -0 "$tapwing_pid" 2>/dev/null || die "Tapwing.exe exited (see $work/tapwing.log)"
  return 1
}
wid=""
poll 30 find_window || die "Tapwing's window did not appear within 30 s"
eval "$(xdotool getwindowgeometry --shell "$wid")"  # X Y WIDTH HEIGHT

shoot() {  # shoot FILE: the window plus the margin
  import -window root -crop "$(( WIDTH + 2 * margin ))x$(( HEIGHT + 2 * margin ))+$(( X - margin ))+$(( Y - margin ))" \
    +repage "$1"
}
# Painted and settled: many colours, and two shots in a row alike.
settled() {
  shoot "$work/a.png"
  [ "$(identify -format %k "$work/a.png")" -gt 30 ] || return 1
  shoot "$work/b.png"
  [ "$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1)" = 0 ]
}

xdotool windowfocus --sync "$wid"
poll 10 settled || die "the window did not finish painting"

if [ "$press_f7" = 1 ]; then
  # korva.dll captures the point once it is registered (Tapwing does that before it shows).
  registered() { wine_run "$loader" reg query "$korva_key" /ve >/dev/null 2>&1; }
  poll 30 registered || die "korva.dll was not registered within 30 s"
  # A point inside the window's bottom strip (Wine tracks the pointer over its own windows),
  # away from the banner, whose tooltip would show.
  xdotool mousemove --sync $(( X + WIDTH * 2 / 3 )) $(( Y + HEIGHT - 4 ))
  shoot "$work/before.png"
  changed() {
    shoot "$work/after.png"
    [ "$(compare -metric AE "$work/before.png" "$work/after.png" null: 2>&1)" != 0 ]
  }
  # A polled key: hold it long enough to be seen, press again if a press was missed.
  for attempt in 1 2 3; do
    xdotool keydown F7; sleep 0.15; xdotool keyup F7
    if poll 3 changed; then break; fi
    [ "$attempt" -lt 3 ] || die "F7 changed nothing"
  done
  poll 5 settled || die "the window did not settle after F7"
fi

mkdir -p "$(dirname "$out")"
cp "$work/b.png" "$out"
echo "screenshot.sh: wrote $out ($(identify -format '%wx%h' "$out"))"
