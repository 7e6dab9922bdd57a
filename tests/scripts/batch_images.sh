#!/usr/bin/env bash
# halvex --batch on a generated phantom series: the average and the
# difference of two slices against their ROI means, a coronal reformat whose
# rod and disc sit where the phantom puts them, and the comparison window
# finding the main window's position.
# Usage: batch_images.sh BIN_DIR SOURCE_DIR
set -u
bin=$1
source "$(dirname "$0")/common.sh"
"$bin/phantom" --out "$work/series" --slices 21 --noise 10 --seed 5 >/dev/null 2>&1 || exit 1

# The ROI means printed by "print roi", in order.
means() { sed -n 's/^roi .* result "ave \([-0-9.]*\) sd.*/\1/p' <<<"$1"; }

# Slices 1 and 2, their average (appended as 22) and A - B (23), each
# measured over the same water ROI.
out=$(run <<EOS
file "$work/series/PH0001.dcm"
answer "$work/series/"
click DSORT
roi 200 200 40 40
print roi
set HS1 1
print roi
answer 0
answer 1
answer 2
click IMGAVE
answer 1
answer 1
answer 2
click IMGAVE
set HS1 21
print roi
set HS1 22
print roi
print slices
EOS
)
check "arithmetic run exits 0" test $? -eq 0
check "two slices appended" grep -qF 'slices 23 ' <<<"$out"
mapfile -t m < <(means "$out")
check "average of the two means" near "${m[2]}" "$(awk -v a="${m[0]}" -v b="${m[1]}" 'BEGIN { print (a + b) / 2 }')" 0.3
check "difference of the two means" near "${m[3]}" "$(awk -v a="${m[0]}" -v b="${m[1]}" 'BEGIN { print a - b }')" 0.01

# Coronal plane through row 256 (the rod's centre row: rod at x -78 mm,
# columns 70 .. 121, +300 HU) and through row 419 (the disc, 28 mm wide,
# +1000 HU and 0.5 mm thin, at the middle slice: output row 256).
out=$(run <<EOS
file "$work/series/PH0001.dcm"
answer "$work/series/"
click DSORT
roi 10 256 20 20
answer 1
answer 21
answer 0
answer 1
click MPRGO
roi 85 250 20 10
roi 150 250 20 10
print roi
roi 10 419 20 20
answer 1
answer 21
answer 0
answer 1
click MPRGO
roi 245 255 20 2
print roi
roi 245 240 20 2
print roi
EOS
)
check "reformat run exits 0" test $? -eq 0
rod=$(sed -n 's/^caption CTDSPF "Ave=\([-0-9.]*\) .*pixels 85 250"$/\1/p' <<<"$out")
mapfile -t m < <(means "$out")
check "the rod in the coronal plane" near "$rod" 300 15
check "water beside it" near "${m[0]}" 0 15
check "the disc at the middle slice's row" awk -v v="${m[1]}" 'BEGIN { exit !(v > 200) }'
check "water away from the disc" near "${m[2]}" 0 15

# The comparison window at another slice finds the main window's position,
# and measures the same ROI there.
out=$(run <<EOS
file "$work/series/PH0001.dcm"
answer "$work/series/"
click DSORT
set HS1 5
roi 200 200 40 40
print roi
click DUALBTN
window CTDSP2
set HS1 0
click SAMESP
click SAMEROI
print caption
EOS
)
check "comparison run exits 0" test $? -eq 0
main=$(means "$out" | head -1)
dual=$(sed -n 's/^caption CTDSP2 "Ave=\([-0-9.]*\) .*/\1/p' <<<"$out" | tail -1)
check "same position, same ROI, same mean" test "$main" = "$dual"

finish
