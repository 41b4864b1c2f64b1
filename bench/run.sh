#!/bin/sh
# Builds the Windows program and the e2e tools for the build this host runs (win32, or win64
# where 32-bit programs cannot run; scripts/wine-arch.sh decides), then runs the timing
# benchmark. Build output goes to stderr so that stdout carries only the table.
set -e
cd "$(dirname "$0")/.."
arch=$(bash scripts/wine-arch.sh | cut -d' ' -f1)
cmake --preset "$arch" >&2
cmake --build --preset "$arch" >&2
TAPWING_ARCH=$arch exec python3 bench/bench.py "$@"
