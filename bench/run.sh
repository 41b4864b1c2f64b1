#!/bin/sh
# Builds Tapwing.exe and the e2e tools (win32 preset), then runs the timing benchmark.
# Build output goes to stderr so that stdout carries only the table.
set -e
cd "$(dirname "$0")/.."
cmake --preset win32 >&2
cmake --build --preset win32 >&2
exec python3 bench/bench.py "$@"
