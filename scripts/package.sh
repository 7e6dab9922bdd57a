#!/usr/bin/env bash
# Builds the Debian package of halvex (CPack) and prints its path. Without a
# BUILD_DIR it makes a Release build in build-package/; with one it packages
# that build (installed under /usr).
# Usage: scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}
first_time=()
[ -f "$build/CMakeCache.txt" ] || first_time=(-DCMAKE_BUILD_TYPE=Release -DHALVEX_BENCH=OFF)
BUILD_DIR="$build" scripts/setup.sh -DCMAKE_INSTALL_PREFIX=/usr "${first_time[@]}"
rm -f "$build"/halvex_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$PWD/$build"/halvex_*.deb
