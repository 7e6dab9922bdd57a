#!/usr/bin/env bash
# halvex --batch on generated phantom series: "Read" of a 40-slice folder with
# descending positions, the sort by slice position (both orders), paging with
# the scroll bar and the ROI result against the phantom's truth; "Read" of a
# multi-frame file; a drop of files of which some are not slices.
# Usage: batch_series.sh BIN_DIR SOURCE_DIR
set -u
bin=$1
source "$(dirname "$0")/common.sh"
"$bin/phantom" --out "$work/series" --slices 40 --start 20 --spacing -1 --noise 10 --seed 3 >/dev/null || exit 1
"$bin/phantom" --out "$work/multi" --form multiframe --slices 5 --noise 0 >/dev/null || exit 1
printf 'not a dicom file' > "$work/series/notes.dcm"

# Ascending sort by slice position (the default key), then page to slice 21.
out=$(run <<EOS
file "$work/series/PH0001.dcm"
answer "$work/series/"
click DSORT
print slices
click ROIS 1
set HS1 20
print roi
EOS
)
check "read exits 0" test $? -eq 0
check "40 slices, the junk file skipped" grep -qF 'slices 40 current 1' <<<"$out"
check "lowest position first" grep -qE '^slice 1 name "PH0040.dcm" .* pos -19\.00 ' <<<"$out"
check "highest position last" grep -qE '^slice 40 name "PH0001.dcm" .* pos 20\.00 ' <<<"$out"
check "header values in the entry" grep -qE '^slice 1 .* ct -1024 thick 1\.00 dfov 250\.00 srot 0\.500 kV 120 mA 200\.0 mAs 100 ctdi 12\.346 kernel "STANDARD" pname "PHANTOM\^WATER"' <<<"$out"
roi=$(grep -oE 'result "ave [-0-9.]+ sd [0-9.]+"' <<<"$out")
mean=$(awk '{print $3}' <<<"$roi")
sd=$(awk '{gsub(/"/, "", $5); print $5}' <<<"$roi")
check "ROI mean within 0.5 HU of water ($mean)" awk -v m="$mean" 'BEGIN { exit !(m > -0.5 && m < 0.5) }'
check "ROI SD within 5% of the noise ($sd)" awk -v s="$sd" 'BEGIN { exit !(s > 9.5 && s < 10.5) }'

# Descending order with "Order".
out=$(run <<EOS
click ORDER
file "$work/series/PH0001.dcm"
answer "$work/series/"
click DSORT
print slices
EOS
)
check "descending order puts the highest position first" grep -qE '^slice 1 name "PH0001.dcm" ' <<<"$out"

# A multi-frame file goes to the stack file frame by frame.
out=$(run <<EOS
file "$(ls "$work"/multi/*.dcm | head -n 1)"
click DSORT
print slices
EOS
)
check "five frames appended" grep -qF 'slices 5 current 1' <<<"$out"
check "frames are stack slots" grep -qE '^slice 5 name "ATEMP0004" .* ct -1024 ' <<<"$out"

# Dropped files: the text file and the missing one add nothing.
out=$(run <<EOS
drop "$work/series/PH0003.dcm" "$work/series/notes.dcm" "$work/nothing.dcm" "$work/series/PH0004.dcm"
print slices
EOS
)
check "drop adds only slices" grep -qF 'slices 2 current 1' <<<"$out"

finish
