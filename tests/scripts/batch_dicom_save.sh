#!/usr/bin/env bash
# halvex --batch saving a range of a phantom series read with "Read" as
# DICOM files, which must pass dcmdump without corrections and dciodvfy
# without errors.
# Usage: batch_dicom_save.sh BIN_DIR SOURCE_DIR
set -u
bin=$1
source "$(dirname "$0")/common.sh"
for tool in dcmdump dciodvfy; do
  command -v $tool >/dev/null || { echo "$tool is needed (scripts/setup.sh installs it)"; exit 1; }
done
mkdir -p "$work/out"
"$bin/phantom" --out "$work/series" --slices 8 --start 30 --spacing -2 --noise 5 >/dev/null || exit 1

valid() {
  local f
  for f in "$@"; do
    dcmdump -E -Ep -dc +ml "$f" >/dev/null 2>"$work/dump.err" && [ ! -s "$work/dump.err" ] || return 1
    ! dciodvfy "$f" 2>&1 | grep -q '^Error' || return 1
  done
}

# Slices 3 to 6 of the series (sorted by position: 20, 22, 24, 26), series 4.
out=$(run <<EOS
file "$work/series/PH0001.dcm"
answer "$work/series/"
click DSORT
folder "$work/out/"
answer 1
answer 3
answer 6
answer 4
answer 20240131.093000
click DICOMSVBTN
print caption
EOS
)
check "save exits 0" test $? -eq 0
check "the folder dialog's title" grep -qF 'dialog "保存先のフォルダを選択してください" -> ' <<<"$out"
check "caption at the end" grep -qF 'caption CTDSPF "dcmsave is done"' <<<"$out"
check "four files" test "$(ls "$work/out")" = "$(printf '0001.dcm\n0002.dcm\n0003.dcm\n0004.dcm')"
check "files pass dcmdump and dciodvfy" valid "$work"/out/*.dcm
loc=$(dcmdump +P 0020,1041 "$work/out/0004.dcm")
check "last file at location 26 ($loc)" grep -qF '[26.000]' <<<"$loc"
series=$(dcmdump +P 0020,0011 +P 0020,0013 "$work/out/0002.dcm")
check "series 04 and instance 001" test "$(grep -c -e '\[04\]' -e '\[001\]' <<<"$series")" -eq 2

finish
