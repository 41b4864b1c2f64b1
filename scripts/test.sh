#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests natively, then the end-to-end tests with
# the real Tapwing.exe under Wine on private Xvfb displays. Installs what it needs first.
#
# The e2e suite runs on the 32-bit build wherever this host can run 32-bit programs, with a
# short part of it on the 64-bit build too; elsewhere it runs whole on the 64-bit build. Only
# scripts/wine-arch.sh decides that, never a failing test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

for preset in win32 win64; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" --target all release
done
cmake --preset native
cmake --build --preset native

builds=$(bash scripts/wine-arch.sh 2>/dev/null) || { bash scripts/wine-arch.sh >/dev/null; exit 1; }
if [ "${builds%% *}" = win64 ]; then
  echo "test.sh: the e2e suite runs on the 64-bit build: $(bash scripts/wine-arch.sh why)"
fi
ctest --preset native
