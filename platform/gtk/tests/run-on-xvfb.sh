#!/usr/bin/env bash
# Runs a command on a private Xvfb display (its own number, no TCP), then stops that Xvfb.
# Usage: run-on-xvfb.sh COMMAND [ARGS...]
set -euo pipefail

dir=$(mktemp -d)
xvfb=
cleanup() {
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi
  rm -rf "$dir"
}
trap cleanup EXIT

Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x800x24 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
for _ in $(seq 200); do
  [ -s "$dir/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.05
done
if [ ! -s "$dir/display" ]; then
  echo "run-on-xvfb: Xvfb did not start:" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
fi

# No accessibility bus or settings daemon in a test session; GTK would wait for them.
export DISPLAY=":$(head -n1 "$dir/display")" GDK_BACKEND=x11 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
export XDG_RUNTIME_DIR="$dir"
"$@"
