#!/usr/bin/env bash
# Sets up the machine, builds halvex and starts it.
set -euo pipefail
cd "$(dirname "$0")"
BUILD_DIR=build scripts/setup.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo
exec build/bin/halvex "$@"
