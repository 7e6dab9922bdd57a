#!/usr/bin/env bash
# halvex --batch with a file-size limit, as on a full disk: appending to the
# stack file, writing the 3D-MORV scratch file, saving the parameter sets,
# writing DICOM files and decoding compressed files into their cache. Each command ends with a message, the slice list holds
# exactly the slices whose pixels are on disk, and no earlier file changes.
# Usage: batch_full_disk.sh BIN_DIR SOURCE_DIR
set -u
bin=$1
source "$(dirname "$0")/common.sh"
"$bin/phantom" --out "$work/series" --slices 20 --spacing 0.5 --noise 20 --seed 4 >/dev/null 2>&1 || exit 1
mkdir -p "$work/out"

# halvex with files limited to $1 KiB; the limit's signal is ignored, so a
# write past it fails instead of ending the program.
limited() { (trap '' XFSZ; ulimit -f "$1"; exec "$bin/halvex" --batch - --app-folder "$work/app" 2>/dev/null); }
read20='file "'"$work"'/series/PH0001.dcm"
answer "'"$work"'/series/"
click DSORT'

# Room for three slots of the stack file (1536 KiB): four averages append three.
average='answer 0
answer 1
answer 2
click IMGAVE'
out=$(limited 1600 <<EOS
$read20
$average
$average
$average
$average
print slices
set HS1 22
roi 224 224 64 64
print roi
EOS
)
check "a full stack file is reported" grep -qF 'message "Cannot write the temporary stack file' <<<"$out"
check "three results appended" grep -qF 'slices 23 ' <<<"$out"
check "the last appended slot reads back" grep -qE '^roi left 224 .* result "ave -?[0-9]' <<<"$out"

# The scratch file of 3D-MORV does not fit: nothing appended.
out=$(limited 1000 <<EOS
$read20
$(morv20)
print slices
EOS
)
check "a full scratch file is reported" grep -qF 'Nothing was appended.' <<<"$out"
check "the list is as it was" grep -qF 'slices 20 ' <<<"$out"

# The parameter sets: the file keeps its content.
before=$(md5sum < "$work/app/PARAM.TXT")
out=$(limited 0 <<EOS
set RPTTX 3
answer 1
click PARAMSV
EOS
)
check "a failed save is reported" grep -qF 'the parameter sets were not saved' <<<"$out"
check "PARAM.TXT unchanged" test "$(md5sum < "$work/app/PARAM.TXT")" = "$before"

# DICOM files: saved once, then saved again over them where no file fits
# (each is 526 KiB): the save ends with a message, the earlier files stay
# whole and no half-written file is left.
save='folder "'"$work"'/out/"
answer 1
answer 1
answer 2
answer 4
answer 20240131.093000
click DICOMSVBTN'
printf '%s\n%s\n' "$read20" "$save" | run >/dev/null
check "the first save wrote two files" test "$(find "$work/out" -type f | wc -l)" -eq 2
saved=$(cat "$work"/out/* | md5sum)
out=$(printf '%s\n%s\n' "$read20" "$save" | limited 500)
check "a failed DICOM write is reported" grep -qF 'message "Cannot write ' <<<"$out"
check "the earlier files are whole" test "$(cat "$work"/out/* | md5sum)" = "$saved"
check "no half-written file" test -z "$(find "$work/out" -name '*.tmp')"

# Room for two decoded slices (1100 KiB): of three compressed files one is
# refused, and the list holds the two whose pixels are in the cache.
mkdir -p "$work/compressed"
for k in 1 2 3; do dcmcjpls "$work/series/PH000$k.dcm" "$work/compressed/C$k.dcm"; done
out=$(limited 1100 <<EOS
drop "$work/compressed/C1.dcm" "$work/compressed/C2.dcm" "$work/compressed/C3.dcm"
print slices
EOS
)
check "a full decoded-slice cache is reported" grep -qF "its pixels can't be written to $work/app/DECODED." <<<"$out"
check "two decoded slices listed" grep -qF 'slices 2 ' <<<"$out"

finish
