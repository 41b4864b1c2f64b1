#!/bin/sh
# The timing benchmark in two parts, each printing its table:
#  1. the Windows program under Wine (bench.py): builds the build this host runs (win32, or
#     win64 where 32-bit programs cannot run; scripts/wine-arch.sh decides);
#  2. the native Linux program (bench_linux.py) on X11, KWin, mutter and sway: builds the linux
#     preset (tapwing and the reference clickers timerfd_clicks, portal_clicks and wlr_clicks).
# Build output and progress go to stderr, so that stdout carries only the tables. A part that
# cannot run says why on stderr and the other still runs; the exit code is 1 if either failed.
# Options (--seconds, --stops, --idle) go to both parts; the native part's own (--rounds,
# --sessions, --starts) are taken by running bench_linux.py alone.
cd "$(dirname "$0")/.."
status=0

wine_part() {
  arch=$(bash scripts/wine-arch.sh | cut -d' ' -f1) || return 1
  cmake --preset "$arch" >&2 && cmake --build --preset "$arch" >&2 || return 1
  TAPWING_ARCH=$arch python3 bench/bench.py "$@"
}

native_part() {
  cmake --preset linux >&2 && cmake --build --preset linux >&2 || return 1
  # Debian's python3: the native part reads tapwing's window through pyatspi.
  /usr/bin/python3 bench/bench_linux.py "$@"
}

wine_part "$@" || { echo "run.sh: the Wine part did not complete" >&2; status=1; }
echo
native_part "$@" || { echo "run.sh: the native part did not complete" >&2; status=1; }
exit $status
