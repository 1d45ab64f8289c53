#!/usr/bin/env bash
# Sets up, builds and runs every test.  BUILD_DIR and CMAKE_ARGS may be set
# (the CI uses them for the sanitizer build).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-debian.sh
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" ${CMAKE_ARGS:-}
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
