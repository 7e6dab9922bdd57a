#!/usr/bin/env bash
# Runs every fuzz target (or the TARGETs named) for SECONDS each (default 30)
# from its seed corpus, in a clang build of its own (FUZZ_BUILD_DIR, default
# build-fuzz). A crash, leak, timeout or out-of-memory fails the run and
# leaves the reproducer in fuzz-artifacts/. Without clang there is nothing to
# run.
# Usage: scripts/fuzz.sh [SECONDS [TARGET...]]
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=$(realpath -m "${FUZZ_BUILD_DIR:-build-fuzz}")
artifacts=$PWD/fuzz-artifacts
targets="dicom_reader_fuzz dicom_walk_fuzz voxim_ini_fuzz param_txt_fuzz script_fuzz dicom_roundtrip_fuzz"
[ $# -gt 1 ] && targets="${*:2}"
if ! command -v clang++ >/dev/null; then
  echo "clang++ is not installed: the fuzz targets are not run"
  exit 0
fi
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVEX_FUZZ=ON \
  -DHALVEX_GUI=OFF -DHALVEX_BENCH=OFF -DHALVEX_WERROR=ON >/dev/null || exit 1
# shellcheck disable=SC2086
cmake --build "$build" --target lumvek phantom fuzz_corpus $targets || exit 1

mkdir -p "$artifacts"
# The targets write each input to a file: in memory when possible.
[ -d /dev/shm ] && export TMPDIR=/dev/shm
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizer/lsan.supp
status=0
total=0
for t in $targets; do
  work="$build/fuzz-work/$t"
  mkdir -p "$work"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024
           -artifact_prefix="$artifacts/$t-" -print_final_stats=1)
  case $t in
    dicom_reader_fuzz | dicom_walk_fuzz) options+=(-dict="$PWD/fuzz/dicom.dict" -max_len=65536) ;;
    dicom_roundtrip_fuzz) options+=(-dict="$PWD/fuzz/dicom.dict" -max_len=600000) ;;
    *) options+=(-max_len=4096) ;;
  esac
  log="$build/fuzz-work/$t.log"
  # The walk's seeds are the reader's.
  seeds=$build/fuzz-corpus/${t/dicom_walk_fuzz/dicom_reader_fuzz}
  "$build/bin/$t" "${options[@]}" "$work" "$seeds" >"$log" 2>&1
  code=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  total=$((total + ${runs:-0}))
  if [ $code -ne 0 ]; then
    status=1
    echo "$t: FAILED (exit $code), see $log and fuzz-artifacts/"
    tail -20 "$log"
  else
    echo "$t: ${runs:-?} executions, no finding"
  fi
done
echo "fuzzing: $total executions in all"
exit $status
