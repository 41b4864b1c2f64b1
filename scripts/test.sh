#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests natively, then the end-to-end tests with
# the real Tapwing.exe under Wine on a private Xvfb display. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

cmake --preset win32
cmake --build --preset win32 --target all release
cmake --preset native
cmake --build --preset native
ctest --preset native
