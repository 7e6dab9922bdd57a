#!/usr/bin/env bash
# Sets up the machine, builds halvex and lumvek, and runs the whole test suite:
# first the plain build and its Debian package, then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer and in a clang build, the
# kernel tests under ThreadSanitizer, and a short pass of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")"

BUILD_DIR=build scripts/setup.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVEX_WERROR=ON -DCMAKE_INSTALL_PREFIX=/usr
(cd build && ctest --output-on-failure -j "$(nproc)")
# The Debian package of that build, unpacked and run from a temporary root.
tests/scripts/package_check.sh build/bin "$(scripts/package.sh build | tail -1)"

if [ "${1:-}" != "--quick" ]; then
  BUILD_DIR=build-asan scripts/setup.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVEX_SANITIZE=ON -DHALVEX_BENCH=OFF -DHALVEX_WERROR=ON
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/../tests/sanitizer/lsan.supp \
    ctest --output-on-failure -j "$(nproc)")

  # The whole project with clang too: it builds without warnings and passes
  # the same tests.
  CC=clang CXX=clang++ BUILD_DIR=build-clang scripts/setup.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVEX_BENCH=OFF \
    -DHALVEX_WERROR=ON
  (cd build-clang && ctest --output-on-failure -j "$(nproc)")

  # The kernel library's threads under ThreadSanitizer.
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVEX_TSAN=ON -DHALVEX_GUI=OFF \
    -DHALVEX_BENCH=OFF -DHALVEX_WERROR=ON >/dev/null
  cmake --build build-tsan --target lumvek_tests
  TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/lumvek_tests --gtest_brief=1

  # Every fuzz target for a short while from its seed corpus (clang builds).
  scripts/fuzz.sh 30
fi
