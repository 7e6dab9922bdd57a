#!/usr/bin/env bash
# Sets up the machine, builds halvex and lumvek, and runs the whole test suite:
# first the plain build, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"

BUILD_DIR=build scripts/setup.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVEX_WERROR=ON
(cd build && ctest --output-on-failure -j "$(nproc)")

if [ "${1:-}" != "--quick" ]; then
  BUILD_DIR=build-asan scripts/setup.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVEX_SANITIZE=ON -DHALVEX_BENCH=OFF -DHALVEX_WERROR=ON
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j "$(nproc)")
fi
