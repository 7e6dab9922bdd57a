#!/usr/bin/env bash
# halvex --batch on compressed copies of a phantom series: JPEG-LS, lossless
# JPEG, RLE, lossless JPEG 2000 and deflated files load through "Read" with
# the header values and ROI results of the original; saved as DICOM they
# validate and hold exactly the original pixels. A folder of odd files: a
# lossy JPEG loads and is marked lossy, a compressed multi-frame file gives
# each frame its position, and colour, 8-bit, 256 x 256 and truncated files,
# and a file on which the decoding library aborts (a fuzz finding), are named
# in one message with their reasons, a file cut short in the caption; the
# lossy slice saved says it is lossy.
# Usage: batch_compressed.sh BIN_DIR SOURCE_DIR
set -u
bin=$1
src=$2
source "$(dirname "$0")/common.sh"
py=/usr/bin/python3
for tool in dcmcjpls dcmcjpeg dcmcrle gdcmconv dciodvfy; do
  command -v $tool >/dev/null || { echo "$tool is needed (scripts/setup.sh installs it)"; exit 1; }
done
"$bin/phantom" --out "$work/plain" --slices 4 --start 10 --spacing 2 --noise 10 --seed 4 >/dev/null || exit 1

compress() {  # KIND IN OUT
  case $1 in
    jpegls) dcmcjpls "$2" "$3" ;;
    jpeg) dcmcjpeg "$2" "$3" ;;
    rle) dcmcrle "$2" "$3" ;;
    j2k) gdcmconv -U --j2k "$2" "$3" ;;
    deflated) gdcmconv -U --deflated "$2" "$3" ;;
  esac
}

# Reads a folder, prints the list and the ROI of the first slice, saves
# slices 1 .. 4 (info slice 1) into OUT.
read_and_save() {  # FOLDER OUT
  mkdir -p "$2"
  run <<EOS
file "$1/PH0001.dcm"
answer "$1/"
click DSORT
print slices
roi 200 300 60 60
print roi
folder "$2/"
answer 1
answer 1
answer 4
answer 5
answer 20240131.093000
click DICOMSVBTN
EOS
}

same_pixels() {  # SAVED_FOLDER: 0001.dcm .. 0004.dcm against PH0001 .. PH0004
  "$py" - "$1" "$work/plain" <<'PY'
import sys, numpy, pydicom
saved, plain = sys.argv[1], sys.argv[2]
for k in range(1, 5):
    a = pydicom.dcmread(f"{saved}/{k:04d}.dcm").pixel_array
    b = pydicom.dcmread(f"{plain}/PH{k:04d}.dcm").pixel_array
    if not numpy.array_equal(a, b):
        sys.exit(f"slice {k} differs")
PY
}

valid() {
  local f
  for f in "$@"; do ! dciodvfy "$f" 2>&1 | grep -q '^Error' || return 1; done
}

plain_out=$(read_and_save "$work/plain" "$work/saved-plain")
plain_roi=$(grep -oE 'result "[^"]*"' <<<"$plain_out")
plain_first=$(grep -E '^slice 1 ' <<<"$plain_out" | sed -E 's/ path .* pos / pos /; s/ keys .*//')
for kind in jpegls jpeg rle j2k deflated; do
  mkdir -p "$work/$kind"
  for f in "$work"/plain/PH*.dcm; do compress $kind "$f" "$work/$kind/$(basename "$f")" >/dev/null 2>&1; done
  out=$(read_and_save "$work/$kind" "$work/saved-$kind")
  check "$kind: four slices, no message" test "$(grep -c '^slice [0-9]' <<<"$out")-$(grep -c '^message' <<<"$out")" = 4-0
  first=$(grep -E '^slice 1 ' <<<"$out" | sed -E 's/ path .* pos / pos /; s/ keys .*//')
  check "$kind: header values as the original" test "$first" = "$plain_first"
  check "$kind: from the decoded cache" grep -qE "^slice 1 .* path \"$work/app/DECODED\" .* source \"$work/$kind/PH0001.dcm\"$" <<<"$out"
  check "$kind: ROI as the original" test "$(grep -oE 'result "[^"]*"' <<<"$out")" = "$plain_roi"
  check "$kind: saved files validate" valid "$work/saved-$kind"/*.dcm
  check "$kind: saved pixels are the original's" same_pixels "$work/saved-$kind"
done
check "the cache is removed at exit" test ! -e "$work/app/DECODED"

# The odd folder.
odd="$work/odd"
mkdir -p "$odd" "$work/tmp"
dcmcjpeg +ee "$work/plain/PH0001.dcm" "$odd/L1.dcm"
"$bin/phantom" --out "$work/multi" --form multiframe --slices 3 --start 40 --spacing 5 --noise 0 >/dev/null 2>&1 || exit 1
dcmcjpls "$work/multi/"*.dcm "$odd/MF.dcm"
head -c 50000 "$work/jpegls/PH0002.dcm" > "$odd/T1.dcm"
# The finding ends one byte into its transfer syntax: as it is, it is a cut
# file our reader names; completed, it reaches the decoder, which stops on it.
cp "$src/tests/data/fuzz/gdcm-assertion.dcm" "$odd/Z0.dcm"
{ cat "$odd/Z0.dcm"; printf '\0'; } > "$odd/Z1.dcm"
"$py" - "$work/tmp" <<'PY'
import sys, numpy
from pydicom.dataset import FileDataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, generate_uid
def write(path, rows, samples, bits):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = FileDataset(path, {}, file_meta=meta, preamble=b"\0" * 128)
    ds.SOPClassUID, ds.SOPInstanceUID = meta.MediaStorageSOPClassUID, meta.MediaStorageSOPInstanceUID
    ds.Modality, ds.Rows, ds.Columns = "OT", rows, rows
    ds.SamplesPerPixel = samples
    ds.PhotometricInterpretation = "RGB" if samples == 3 else "MONOCHROME2"
    if samples == 3:
        ds.PlanarConfiguration = 0
    ds.BitsAllocated, ds.BitsStored, ds.HighBit, ds.PixelRepresentation = bits, bits, bits - 1, 0
    shape = (rows, rows, samples) if samples == 3 else (rows, rows)
    ds.PixelData = (numpy.arange(numpy.prod(shape)) % 200).astype(numpy.uint8 if bits == 8 else numpy.uint16).tobytes()
    ds.is_little_endian, ds.is_implicit_VR = True, False
    ds.save_as(path, write_like_original=False)
write(sys.argv[1] + "/C1.dcm", 512, 3, 8)
write(sys.argv[1] + "/B8.dcm", 512, 1, 8)
write(sys.argv[1] + "/S256.dcm", 256, 1, 16)
PY
for f in C1 B8 S256; do gdcmconv -U --rle "$work/tmp/$f.dcm" "$odd/$f.dcm"; done

out=$(run <<EOS
file "$odd/L1.dcm"
answer "$odd/"
click DSORT
print slices
EOS
)
check "odd: the lossy file and three frames" test "$(grep -c '^slice [0-9]' <<<"$out")" = 4
check "odd: the lossy file is marked" grep -qE '^slice [0-9] name "L1.dcm" .* lossy$' <<<"$out"
check "odd: the frames are not" test "$(grep -c '"MF.dcm".* lossy$' <<<"$out")" = 0
lossy=$(grep -E '^slice [0-9] name "L1.dcm"' <<<"$out" | cut -d' ' -f2)
for z in 40.00 45.00 50.00; do
  check "odd: a frame at z $z" grep -qE "^slice [0-9] name \"MF.dcm\" .* pos $z z $z " <<<"$out"
done
check "odd: one message naming five files" grep -qF 'message "5 files were not loaded:' <<<"$out"
for reason in 'B8.dcm: it has 8 bits allocated, not 16.' 'C1.dcm: it has 3 samples per pixel (colour).' \
              'S256.dcm: its matrix is 256 x 256, not 512 x 512.' 'T1.dcm: it' \
              'Z1.dcm: the decoder stopped on it (the file is corrupt).'; do
  check "odd: $reason" grep -qF "$reason" <<<"$out"
done
check "odd: the cut finding is named in the caption" grep -qF 'Z0.dcm (at byte 128) is cut short' <<<"$out"

# Saved, the lossy slice keeps its mark.
mkdir -p "$work/saved-lossy"
run >/dev/null <<EOS
file "$odd/L1.dcm"
answer "$odd/"
click DSORT
folder "$work/saved-lossy/"
answer $lossy
answer $lossy
answer $lossy
answer 6
answer 20240131.093000
click DICOMSVBTN
EOS
check "a saved lossy slice says so" grep -qF '[01]' <<<"$(dcmdump +P 0028,2110 "$work/saved-lossy/0001.dcm" 2>&1)"
check "and validates" valid "$work/saved-lossy/0001.dcm"

finish
