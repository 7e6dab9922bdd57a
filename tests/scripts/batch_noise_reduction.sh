#!/usr/bin/env bash
# halvex --batch through 3D-MORV on a generated phantom series: 20 slices
# 0.5 mm apart, a small along-edge window so the run is quick. The output
# slices are appended at the input positions, the noise in uniform water
# drops, and the mean of a ROI across the block's edge stays (the edge does
# not move).
# Usage: batch_noise_reduction.sh BIN_DIR SOURCE_DIR
set -u
bin=$1
source "$(dirname "$0")/common.sh"
"$bin/phantom" --out "$work/series" --slices 20 --spacing 0.5 --noise 20 --seed 4 >/dev/null || exit 1

out=$("$bin/halvex" --batch - --app-folder "$work/app" 2>/dev/null <<EOS
file "$work/series/PH0001.dcm"
answer "$work/series/"
click DSORT
$(morv20)
print slices
roi 224 224 64 64
set HS1 9
print roi
set HS1 29
print roi
roi 385 236 20 40
set HS1 9
print roi
set HS1 29
print roi
EOS
)
check "run exits 0" test $? -eq 0
check "20 slices appended" grep -qF 'slices 40 current' <<<"$out"
check "at the input positions" grep -qE '^slice 40 name "ATEMP0019" .* pos 9\.50 ' <<<"$out"
check "kernel of the range" grep -qE '^slice 21 name "ATEMP0000" .* kernel "STANDARD"' <<<"$out"
check "progress captions" grep -qF 'caption CTDSPF "z-interpolation & saving 19/ 19"' <<<"$out"
check "pass captions" grep -qF 'caption CTDSPF " 0/ 19  1/ 1"' <<<"$out"

mapfile -t sds < <(grep -oE '^roi left 224 .* sd [0-9.]+' <<<"$out" | awk '{print $NF}')
mapfile -t means < <(grep -oE '^roi left 385 .*result "ave [-0-9.]+' <<<"$out" | awk '{print $NF}')
echo "SD in water before/after: ${sds[0]:-?} / ${sds[1]:-?}; mean across the edge before/after: ${means[0]:-?} / ${means[1]:-?}"
check "noise drops by a fifth or more" awk -v a="${sds[0]:-0}" -v b="${sds[1]:-99}" 'BEGIN { exit !(b < 0.8 * a) }'
check "edge stays (mean across it within 3 HU)" awk -v a="${means[0]:-0}" -v b="${means[1]:-99}" \
  'BEGIN { d = a - b; exit !(d < 3 && d > -3) }'

finish
