#!/usr/bin/env bash
# Builds libqvp (Release) and runs every test with ctest. Installs missing
# Debian packages first. Extra arguments go to cmake's configure step.
#   scripts/test.sh [cmake options...]
# Environment: BUILD_DIR (default build), JOBS (default: number of cores).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build="${BUILD_DIR:-build}"
jobs="${JOBS:-$(nproc)}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs"
