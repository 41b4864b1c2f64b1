#!/usr/bin/env bash
# Builds everything and runs every test. Installs what it needs first.
#   - the Windows program, 32-bit and 64-bit, with their release zips;
#   - the native Linux program and its Debian package;
#   - the unit tests natively, the end-to-end tests of the Windows program under Wine and of the
#     Linux program on X, each on private Xvfb displays.
#
# Then the lanes (scripts/lane.sh): the Linux program built, packaged and tested in a cached root
# of Debian 13 (GNOME 48, KWin 6.3, sway 1.10) and of Debian testing (GNOME, Plasma, sway and
# labwc as they are there today, Hyprland's config check). The roots are made (once) and the
# program built in them side by side while the rest installs, builds and runs its tests.
# TAPWING_LANES="trixie" runs one lane only, TAPWING_LANES="" none.
#
# The Wine e2e suite runs on the 32-bit build wherever this host can run 32-bit programs, with a
# short part of it on the 64-bit build too; elsewhere it runs whole on the 64-bit build. Only
# scripts/wine-arch.sh decides that, never a failing test.
set -euo pipefail
cd "$(dirname "$0")/.."

lanes=${TAPWING_LANES-trixie testing}
declare -A build_jobs=()
if [ -n "$lanes" ]; then
  bash scripts/setup.sh lane
  mkdir -p build
  # Each lane's root is made, and the program built there, while the rest installs, builds and
  # runs its tests. Those jobs only get the CPU time nothing else wants (SCHED_IDLE), so a test
  # session that wakes takes a core back at once, and its F6 stays as prompt as on a quiet
  # machine.
  for suite in $lanes; do
    chrt --idle 0 bash scripts/lane.sh "$suite" build >"build/lane-$suite-build.log" 2>&1 &
    build_jobs[$suite]=$!
  done
fi
bash scripts/setup.sh

for preset in win32 win64; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" --target all release
done
cmake --preset linux
cmake --build --preset linux
(cd build/linux && cpack -G DEB >/dev/null && ls tapwing_*.deb)
cmake --preset native
cmake --build --preset native

builds=$(bash scripts/wine-arch.sh 2>/dev/null) || { bash scripts/wine-arch.sh >/dev/null; exit 1; }
if [ "${builds%% *}" = win64 ]; then
  echo "test.sh: the Wine e2e suite runs on the 64-bit build: $(bash scripts/wine-arch.sh why)"
fi
status=0
ctest --preset native || status=1
ctest --preset linux || status=1
for suite in $lanes; do
  wait "${build_jobs[$suite]}" || true  # the lane itself says why, if its root or build failed
  cat "build/lane-$suite-build.log"
done
# One lane after the other: each runs one session at a time, and two at once would load the
# machine enough to make a run late.
for suite in $lanes; do
  result=0
  bash scripts/lane.sh "$suite" || result=$?
  [ "$result" -eq 0 ] || [ "$result" -eq 77 ] || status=1  # 77: it said why it was skipped
done
[ -n "$lanes" ] || echo "test.sh: no lane ran (TAPWING_LANES is empty)"
exit $status
