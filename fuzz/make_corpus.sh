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
# Every finding so far.
cp "$src"/tests/data/fuzz/*.dcm "$out/dicom_reader_fuzz/"
cp "$src/resources/VOXIM.INI" "$out/voxim_ini_fuzz/"
cp "$src/resources/PARAM.TXT" "$out/param_txt_fuzz/"
for s in "$src"/tests/scripts/batch_*.sh; do
  sed -n '/<<EOS/,/^EOS/p' "$s" | grep -v 'EOS' > "$out/script_fuzz/$(basename "$s" .sh).hvx" || true
done
