#!/usr/bin/env bash
# Seed corpora of the fuzz targets. Usage: make_corpus.sh PHANTOM OUT SOURCE
set -eu
phantom=$1 out=$2 src=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for form in implicit explicit bigendian multiframe; do
  "$phantom" --out "$tmp/$form" --form "$form" --slices 2 --noise 5 >/dev/null 2>&1
  for f in "$tmp/$form"/*.dcm; do
    name=$form-$(basename "$f" .dcm)
    cp "$f" "$out/dicom_roundtrip_fuzz/$name.dcm"
    head -c 41000 "$f" > "$out/dicom_reader_fuzz/$name.dcm"
    head -c 2000 "$f" > "$out/dicom_reader_fuzz/$name-short.dcm"
  done
done
# Compressed copies of a noiseless slice (small enough to be whole inputs),
# whole and with their compressed stream cut short.
"$phantom" --out "$tmp/still" --slices 1 --noise 0 >/dev/null 2>&1
slice=$tmp/still/PH0001.dcm
dcmcjpls "$slice" "$tmp/jpegls.dcm"
dcmcjpeg "$slice" "$tmp/jpeg.dcm"
dcmcrle "$slice" "$tmp/rle.dcm"
gdcmconv -U --j2k "$slice" "$tmp/j2k.dcm"
gdcmconv -U --deflated "$slice" "$tmp/deflated.dcm"
for kind in jpegls jpeg rle j2k deflated; do
  cp "$tmp/$kind.dcm" "$out/dicom_reader_fuzz/$kind.dcm"
  head -c 9000 "$tmp/$kind.dcm" > "$out/dicom_reader_fuzz/$kind-cut.dcm"
done
# Headers with sequences, nested, of undefined and defined length, in both
# VR forms: what the reader's element walk steps into and over.
/usr/bin/python3 - "$tmp" <<'PY'
import sys
from pydicom.dataset import Dataset, FileDataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian, ImplicitVRLittleEndian
for name, syntax in (("seq-implicit", ImplicitVRLittleEndian), ("seq-explicit", ExplicitVRLittleEndian)):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.2"
    meta.MediaStorageSOPInstanceUID = "1.2.3.4"
    meta.TransferSyntaxUID = syntax
    ds = FileDataset(name, {}, file_meta=meta, preamble=b"\0" * 128)
    ref = Dataset()
    ref.ReferencedSOPInstanceUID = "1.2.3.5"
    ref.SliceThickness = "9.9"
    ds.ReferencedImageSequence = Sequence([ref, ref])
    ds.add_new(0x00091010, "OB", b"\x18\x00\x50\x00\x04\x00\x00\x009.9 " * 4)
    ds.SliceThickness = "1.25"
    frames = []
    for z in ("-1.5", "-2.5"):
        plane = Dataset()
        plane.ImagePositionPatient = ["0", "0", z]
        group = Dataset()
        group.PlanePositionSequence = Sequence([plane])
        frames.append(group)
    ds.PerFrameFunctionalGroupsSequence = Sequence(frames)
    ds["PerFrameFunctionalGroupsSequence"].is_undefined_length = True
    ds.RescaleIntercept = "-1024"
    ds.BitsAllocated = 16
    ds.PixelData = b"\0" * 1024
    ds.is_little_endian, ds.is_implicit_VR = True, syntax == ImplicitVRLittleEndian
    ds.save_as(sys.argv[1] + "/" + name + ".dcm", write_like_original=False)
PY
cp "$tmp"/seq-*.dcm "$out/dicom_reader_fuzz/"
# Every finding so far.
cp "$src"/tests/data/fuzz/*.dcm "$out/dicom_reader_fuzz/"
cp "$src/resources/VOXIM.INI" "$out/voxim_ini_fuzz/"
cp "$src/resources/PARAM.TXT" "$out/param_txt_fuzz/"
for s in "$src"/tests/scripts/batch_*.sh; do
  sed -n '/<<EOS/,/^EOS/p' "$s" | grep -v 'EOS' > "$out/script_fuzz/$(basename "$s" .sh).hvx" || true
done
