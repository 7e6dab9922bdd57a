#!/usr/bin/env bash
# Installs the Debian packages that halvex needs to build, run and test, then
# configures and builds into build/ (or the folder given as BUILD_DIR).
# Usage: scripts/setup.sh [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ clang pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev libgl-dev libfftw3-dev libpng-dev python3-pydicom python3-numpy python3-pil dcmtk
          dicom3tools qt6-qpa-plugins fonts-dejavu-core dpkg-dev desktop-file-utils appstream libgdcm-dev
          libgdcm-tools python3-gdcm nlohmann-json3-dev libssl-dev poppler-utils)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then as_root=(); elif command -v sudo >/dev/null; then as_root=(sudo); else
    echo "Please install as root: apt-get install ${missing[*]}" >&2; exit 1
  fi
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
